#include "review/glyph_set.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <new>
#include <string>

#include "database/code_page.h"
#include "database/read_limits.h"
#include "storage/no_memory.h"
#include "storage/path_text.h"
#include "storage/quote.h"

namespace orva {

void GlyphSet::Add(char32_t c) {
  if (c >= bits_.size()) bits_.resize(std::max<std::size_t>(c + 1, 0x500), false);
  if (!bits_[c]) ++count_;
  bits_[c] = true;
}

Result<GlyphSet> ParseCharset(std::string_view utf8) {
  if (utf8.starts_with("\xEF\xBB\xBF")) utf8.remove_prefix(3);
  Result<std::u32string> characters = DecodeUtf8(utf8);
  if (!characters.ok()) return characters.status().Within("the charset: ");
  GlyphSet set;
  for (char32_t c : *characters) {
    if (c != U'\n' && c != U'\r') set.Add(c);
  }
  return set;
}

namespace {

// The value of `key=` among the fields of a BMFont line, which follow its
// tag and are separated by spaces.
std::string_view Field(std::string_view line, std::string_view key) {
  for (std::size_t at = 0; (at = line.find(key, at)) != std::string_view::npos; at += key.size()) {
    const bool starts = at == 0 || line[at - 1] == ' ' || line[at - 1] == '\t';
    if (!starts || line.substr(at + key.size(), 1) != "=") continue;
    std::string_view value = line.substr(at + key.size() + 1);
    return value.substr(0, value.find_first_of(" \t\r"));
  }
  return {};
}

}  // namespace

Result<GlyphSet> ParseBmFont(std::string_view text) {
  if (text.starts_with("BMF")) {
    return Status::Malformed(
        "the BMFont file is in the binary form; save it in the text form (BMFont's export "
        "options: font descriptor \"Text\")");
  }
  GlyphSet set;
  bool info = false;
  std::size_t number = 0;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    ++number;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    const std::string_view tag = line.substr(0, line.find_first_of(" \t\r"));
    if (tag == "info") info = true;
    if (tag != "char") continue;
    const std::string_view id = Field(line, "id");
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), value);
    if (error != std::errc() || end != id.data() + id.size() || id.empty() || value > 0x10FFFF) {
      return Status::Malformed("line " + std::to_string(number) +
                               " of the BMFont file: a char line without an id from 0 to "
                               "1114111");
    }
    set.Add(static_cast<char32_t>(value));
  }
  if (!info || set.size() == 0) {
    return Status::Malformed(
        "the file is no BMFont descriptor in text form: it needs an info line and char lines");
  }
  return set;
}

Result<GlyphSet> ReadGlyphSet(const std::filesystem::path& path, FileSystem& fs) {
  const auto doing = [&] { return "read " + DescribePath(path); };
  return OrNoMemory(doing, [&]() -> Result<GlyphSet> {
    Result<std::vector<std::byte>> bytes = ReadWholeFile(path, kExchangeReadLimit, fs);
    if (!bytes.ok()) return bytes.status();
    std::string extension = PathToUtf8(path.extension());
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
      return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    Result<GlyphSet> set =
        extension == ".fnt" ? ParseBmFont(text)
        : extension == ".ttf" || extension == ".otf" || extension == ".ttc" || extension == ".otc"
            ? ParseFontFile(*bytes)
            : ParseCharset(text);
    if (!set.ok()) return set.status().Within(DescribePath(path) + ": ");
    return set;
  });
}

}  // namespace orva
