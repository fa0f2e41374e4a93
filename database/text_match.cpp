#include "database/text_match.h"

#include <algorithm>
#include <array>
#include <locale>
#include <new>
#include <regex>

#include "database/code_page.h"
#include "database/mission_list.h"

namespace orva {
namespace {

constexpr std::byte kNoCharacter{0x98};  // stands for itself, as U+0098
constexpr char32_t kNoCharacterCode = 0x98;

// The case pairs of the letters Windows-1251 has, as Unicode lays them out:
// ASCII, А-Я and а-я, Ѐ-Џ and ѐ-џ (Ё, Ђ, Љ, ...), Ґ and ґ.
char32_t Lower(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 0x20;
  if (c >= 0x0410 && c <= 0x042F) return c + 0x20;
  if (c >= 0x0400 && c <= 0x040F) return c + 0x50;
  if (c == 0x0490) return 0x0491;
  return c;
}

char32_t Upper(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c >= 0x0430 && c <= 0x044F) return c - 0x20;
  if (c >= 0x0450 && c <= 0x045F) return c - 0x50;
  if (c == 0x0491) return 0x0490;
  return c;
}

const std::array<std::byte, 256>& FoldTable() {
  static const std::array<std::byte, 256> table = [] {
    std::array<std::byte, 256> folded{};
    for (std::size_t b = 0; b < folded.size(); ++b) {
      const auto byte = static_cast<std::byte>(b);
      folded[b] = Windows1251Byte(Lower(Windows1251Character(byte))).value_or(byte);
    }
    return folded;
  }();
  return table;
}

// What std::regex asks of a locale: case as above, and the character classes
// of the classic locale for ASCII alone, so that \w means the same on every
// system.
class RegexCtype final : public std::ctype<wchar_t> {
 protected:
  wchar_t do_tolower(wchar_t c) const override { return Wide(Lower(Code(c))); }
  const wchar_t* do_tolower(wchar_t* low, const wchar_t* high) const override {
    for (; low < high; ++low) *low = do_tolower(*low);
    return high;
  }
  wchar_t do_toupper(wchar_t c) const override { return Wide(Upper(Code(c))); }
  const wchar_t* do_toupper(wchar_t* low, const wchar_t* high) const override {
    for (; low < high; ++low) *low = do_toupper(*low);
    return high;
  }
  bool do_is(mask m, wchar_t c) const override {
    return Code(c) < 0x80 && std::ctype<wchar_t>::do_is(m, c);
  }
  const wchar_t* do_is(const wchar_t* low, const wchar_t* high, mask* classes) const override {
    std::ctype<wchar_t>::do_is(low, high, classes);
    for (; low < high; ++low, ++classes) {
      if (Code(*low) >= 0x80) *classes = mask();
    }
    return high;
  }
  const wchar_t* do_scan_is(mask m, const wchar_t* low, const wchar_t* high) const override {
    return std::find_if(low, high, [&](wchar_t c) { return do_is(m, c); });
  }
  const wchar_t* do_scan_not(mask m, const wchar_t* low, const wchar_t* high) const override {
    return std::find_if(low, high, [&](wchar_t c) { return !do_is(m, c); });
  }

 private:
  static char32_t Code(wchar_t c) { return static_cast<char32_t>(c); }
  static wchar_t Wide(char32_t c) { return static_cast<wchar_t>(c); }
};

std::wstring Wide(std::span<const std::byte> text) {
  std::wstring wide;
  wide.reserve(text.size());
  for (std::byte b : text) {
    wide += static_cast<wchar_t>(b == kNoCharacter ? kNoCharacterCode : Windows1251Character(b));
  }
  return wide;
}

// Every character of the pattern; where wchar_t has 16 bits, one past the
// Basic Multilingual Plane as its surrogate pair (it occurs in no text).
std::wstring Wide(std::u32string_view characters) {
  std::wstring wide;
  for (char32_t c : characters) {
    if constexpr (sizeof(wchar_t) == 2) {
      if (c > 0xFFFF) {
        wide += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        wide += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        continue;
      }
    }
    wide += static_cast<wchar_t>(c);
  }
  return wide;
}

// Only characters of texts and of stored replacements reach here, each of
// which has its byte.
Result<std::vector<std::byte>> Stored(std::wstring_view wide) {
  std::vector<std::byte> out;
  out.reserve(wide.size());
  for (wchar_t w : wide) {
    const auto c = static_cast<char32_t>(w);
    const std::optional<std::byte> b = c == kNoCharacterCode ? kNoCharacter : Windows1251Byte(c);
    if (!b) return Status::InvalidText("a character of the new text has no byte in Windows-1251");
    out.push_back(*b);
  }
  return out;
}

Status TooComplex(const std::regex_error& error) {
  return Status::InvalidText(std::string("the regular expression cannot be run on a text (") +
                             error.what() + ")");
}

std::string Entry(const EntryText& entry) {
  return "the entry in table slot " + std::to_string(entry.slot) + " (id " +
         std::to_string(entry.id) + ")";
}

}  // namespace

std::byte FoldCase(std::byte byte) { return FoldTable()[std::to_integer<std::size_t>(byte)]; }

struct TextPattern::Regex {
  std::wregex regex;
};

Result<TextPattern> TextPattern::Make(std::string_view utf8, const TextSearch& how) {
  try {
    TextPattern pattern;
    pattern.match_case_ = how.match_case;
    if (how.regex) {
      Result<std::u32string> characters = DecodeUtf8(utf8);
      if (!characters.ok()) return characters.status().Within("the regular expression: ");
      auto regex = std::make_shared<Regex>();
      regex->regex.imbue(std::locale(std::locale::classic(), new RegexCtype));
      // libstdc++'s polynomial matcher walks the text once, with a stack as
      // deep as the pattern; the default one recurses once a character and
      // overflows the stack on a long text. It takes no back-references.
      auto flags = std::regex_constants::ECMAScript | std::regex_constants::__polynomial;
      if (!how.match_case) flags |= std::regex_constants::icase;
      try {
        regex->regex.assign(Wide(*characters), flags);
      } catch (const std::regex_error& error) {
        return Status::InvalidText(std::string("the regular expression is not valid: ") +
                                   error.what());
      }
      pattern.regex_ = std::move(regex);
      return pattern;
    }
    if (utf8.empty()) return Status::InvalidText("there is no text to look for");
    Result<std::vector<std::byte>> stored = StoredText(utf8);
    if (!stored.ok()) {
      pattern.storable_ = false;
      return pattern;
    }
    pattern.literal_ = std::move(stored).value();
    pattern.numeric_ = utf8.find_first_not_of("-0123456789") == std::string_view::npos;
    if (!how.match_case) {
      for (std::byte& b : pattern.literal_) b = FoldCase(b);
    }
    return pattern;
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("read what to look for");
  }
}

namespace {

// Where `literal` next occurs in `text` from `from` on, or text.size().
std::size_t FindLiteral(std::span<const std::byte> text, std::size_t from,
                        std::span<const std::byte> literal, bool match_case) {
  const auto found = match_case ? std::search(text.begin() + static_cast<std::ptrdiff_t>(from),
                                              text.end(), literal.begin(), literal.end())
                                : std::search(text.begin() + static_cast<std::ptrdiff_t>(from),
                                              text.end(), literal.begin(), literal.end(),
                                              [&folded = FoldTable()](std::byte t, std::byte l) {
                                                return folded[std::to_integer<std::size_t>(t)] == l;
                                              });
  return static_cast<std::size_t>(found - text.begin());
}

}  // namespace

Result<bool> TextPattern::Occurs(std::span<const std::byte> text) const {
  try {
    if (!regex_) {
      return storable_ && FindLiteral(text, 0, literal_, match_case_) < text.size();
    }
    try {
      return std::regex_search(Wide(text), regex_->regex);
    } catch (const std::regex_error& error) {
      return TooComplex(error);
    }
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("search the texts");
  }
}

Result<bool> TextPattern::OccursInEntry(const EntryText& entry, bool mission) const {
  Result<bool> in_text = Occurs(entry.text);
  if (!in_text.ok() || *in_text) return in_text;
  try {
    // An id has digits and a minus sign alone, so only such a text is looked for in it.
    if (regex_ || numeric_) {
      const std::string id = std::to_string(entry.id);
      Result<bool> in_id = Occurs(std::as_bytes(std::span(id)));
      if (!in_id.ok() || *in_id) return in_id;
    }
    if (!mission) return false;
    const std::string image = ImageName(entry.id);
    return Occurs(std::as_bytes(std::span(image)));
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("search the entries");
  }
}

Result<std::vector<Occurrence>> TextPattern::Find(std::span<const std::byte> text) const {
  try {
    std::vector<Occurrence> found;
    if (!regex_) {
      for (std::size_t from = 0, at;
           storable_ && (at = FindLiteral(text, from, literal_, match_case_)) < text.size();
           from = at + literal_.size()) {
        found.push_back({at, literal_.size()});
      }
      return found;
    }
    const std::wstring wide = Wide(text);
    try {
      for (std::wsregex_iterator it(wide.begin(), wide.end(), regex_->regex), end; it != end;
           ++it) {
        found.push_back(
            {static_cast<std::size_t>(it->position(0)), static_cast<std::size_t>(it->length(0))});
      }
    } catch (const std::regex_error& error) {
      return TooComplex(error);
    }
    return found;
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("search the texts");
  }
}

Result<ReplacedText> TextPattern::Replace(std::span<const std::byte> text,
                                          std::span<const std::byte> replacement) const {
  try {
    ReplacedText out;
    if (!regex_) {
      std::size_t from = 0;
      for (std::size_t at;
           storable_ && (at = FindLiteral(text, from, literal_, match_case_)) < text.size();) {
        out.text.insert(out.text.end(), text.begin() + static_cast<std::ptrdiff_t>(from),
                        text.begin() + static_cast<std::ptrdiff_t>(at));
        out.text.insert(out.text.end(), replacement.begin(), replacement.end());
        from = at + literal_.size();
        ++out.occurrences;
      }
      out.text.insert(out.text.end(), text.begin() + static_cast<std::ptrdiff_t>(from), text.end());
      return out;
    }
    const std::wstring wide = Wide(text);
    const std::wstring format = Wide(replacement);
    std::wstring replaced;
    try {
      auto rest = wide.cbegin();
      for (std::wsregex_iterator it(wide.begin(), wide.end(), regex_->regex), end; it != end;
           ++it) {
        replaced.append(rest, (*it)[0].first);
        replaced += it->format(format);
        rest = (*it)[0].second;
        ++out.occurrences;
      }
      replaced.append(rest, wide.cend());
    } catch (const std::regex_error& error) {
      return TooComplex(error);
    }
    Result<std::vector<std::byte>> stored = Stored(replaced);
    if (!stored.ok()) return stored.status();
    out.text = std::move(stored).value();
    return out;
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("replace in the texts");
  }
}

Result<PlannedReplacement> PlanReplacement(std::span<const EntryText> entries,
                                           const TextPattern& pattern,
                                           std::string_view utf8_replacement) {
  try {
    // A replacement that cannot be stored is refused only where it would go.
    const Result<std::vector<std::byte>> replacement = StoredText(utf8_replacement);
    PlannedReplacement plan;
    for (const EntryText& entry : entries) {
      Result<bool> occurs = pattern.Occurs(entry.text);
      if (!occurs.ok()) return occurs.status().Within("cannot search " + Entry(entry) + ": ");
      if (!*occurs) continue;
      const std::string cannot = "cannot replace in " + Entry(entry) + ": ";
      if (!replacement.ok()) return replacement.status().Within(cannot);
      Result<ReplacedText> replaced = pattern.Replace(entry.text, *replacement);
      if (!replaced.ok()) return replaced.status().Within(cannot);
      plan.occurrences += replaced->occurrences;
      if (std::equal(replaced->text.begin(), replaced->text.end(), entry.text.begin(),
                     entry.text.end())) {
        continue;
      }
      plan.changes.push_back({entry.slot, std::move(replaced->text)});
    }
    return plan;
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("replace in the texts");
  }
}

}  // namespace orva
