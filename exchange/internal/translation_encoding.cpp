#include "exchange/internal/translation_encoding.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>

#include "database/code_page.h"

namespace orva {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleEndianMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigEndianMark = "\xFE\xFF";

std::size_t LineAt(std::string_view text, std::size_t end) {
  return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + end, '\n'));
}

std::string Hex(unsigned value, int digits) {
  char out[16];
  std::snprintf(out, sizeof out, "0x%0*X", digits, value);
  return out;
}

DecodedFile Utf8(std::string_view content) {
  const std::size_t good = WellFormedUtf8Length(content);
  if (good == content.size()) return {std::string(content), std::nullopt};
  return {
      {},
      FileProblem{LineAt(content, good),
                  "this line holds the byte " + Hex(static_cast<unsigned char>(content[good]), 2) +
                      ", which is no part of a UTF-8 character, and the file is read as UTF-8",
                  ProblemKind::kNotUtf8}};
}

// UTF-16 in the byte order given, its surrogate pairs joined.
DecodedFile Utf16(std::string_view content, bool big_endian) {
  DecodedFile decoded;
  std::string& out = decoded.text;
  std::size_t line = 1;
  const auto unit = [&](std::size_t at) {
    const auto first = static_cast<unsigned char>(content[at]);
    const auto second = static_cast<unsigned char>(content[at + 1]);
    return static_cast<char32_t>(big_endian ? first << 8 | second : second << 8 | first);
  };
  const auto problem = [&](std::string what) {
    return DecodedFile{{}, FileProblem{line, std::move(what)}};
  };
  for (std::size_t at = 0; at < content.size(); at += 2) {
    if (content.size() - at < 2) {
      return problem("the file ends in half a UTF-16 character (it has an odd number of bytes)");
    }
    char32_t c = unit(at);
    if (c >= 0xDC00 && c <= 0xDFFF) {
      return problem("this line holds the UTF-16 low surrogate " + Hex(c, 4) +
                     " without a high one before it");
    }
    if (c >= 0xD800 && c <= 0xDBFF) {
      const char32_t low = content.size() - at >= 4 ? unit(at + 2) : 0;
      if (low < 0xDC00 || low > 0xDFFF) {
        return problem("this line holds the UTF-16 high surrogate " + Hex(c, 4) +
                       " without a low one after it");
      }
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      at += 2;
    }
    if (c == '\n') ++line;
    AppendUtf8(out, c);
  }
  return decoded;
}

}  // namespace

DecodedFile DecodeTranslationFile(std::string_view content, TextEncoding without_mark) {
  if (content.starts_with(kUtf8Mark)) return Utf8(content.substr(kUtf8Mark.size()));
  if (content.starts_with(kUtf16LittleEndianMark)) {
    return Utf16(content.substr(kUtf16LittleEndianMark.size()), false);
  }
  if (content.starts_with(kUtf16BigEndianMark)) {
    return Utf16(content.substr(kUtf16BigEndianMark.size()), true);
  }
  if (without_mark == TextEncoding::kWindows1251) {
    // As the export decodes the database's texts, so that 0x98 is U+0098.
    return {ExchangeText(std::as_bytes(std::span(content.data(), content.size()))), std::nullopt};
  }
  return Utf8(content);
}

}  // namespace orva
