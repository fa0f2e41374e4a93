#include "review/text_checks.h"

#include <algorithm>
#include <array>

#include "database/code_page.h"
#include "storage/quote.h"

namespace orva {
namespace {

constexpr char32_t kNoCharacter = 0x98;  // the byte 0x98, as ExchangeText has it

std::string Utf8(std::u32string_view characters) {
  std::string out;
  for (char32_t c : characters) AppendUtf8(out, c);
  return out;
}

std::string Hex(char32_t c) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string digits;
  for (auto v = static_cast<std::uint32_t>(c); v != 0 || digits.size() < 4; v >>= 4) {
    digits.insert(digits.begin(), kDigits[v & 0xF]);
  }
  return "U+" + digits;
}

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// A character in a message: quoted and named by its code point, or, for a
// control character, in words.
std::string Describe(char32_t c) {
  switch (c) {
    case U'\n':
      return "a line break (\\n)";
    case U'\t':
      return "a tab (\\t)";
    case U'\r':
      return "a carriage return (\\r)";
    default:
      break;
  }
  if (IsControl(c)) return "the control character " + Hex(c);
  std::string one;
  AppendUtf8(one, c);
  return QuoteText(one) + " (" + Hex(c) + ")";
}

// "'a' (U+0061), 'b' (U+0062) and 'c' (U+0063)"
std::string DescribeAll(std::span<const char32_t> characters) {
  std::string out;
  for (std::size_t i = 0; i < characters.size(); ++i) {
    if (i > 0) out += i + 1 == characters.size() ? " and " : ", ";
    out += Describe(characters[i]);
  }
  return out;
}

std::string Times(std::size_t n) {
  return n == 1 ? "once" : n == 2 ? "twice" : std::to_string(n) + " times";
}

std::string Count(std::size_t n, std::string_view what) {
  if (n == 0) return "no " + std::string(what) + "s";
  return std::to_string(n) + " " + std::string(what) + (n == 1 ? "" : "s");
}

bool IsLetter(char32_t c) {
  return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') || (c >= 0x00C0 && c <= 0x024F) ||
         (c >= 0x0370 && c <= 0x052F);
}

// The characters that occur in `text` where `keep` says no, each once, in
// the order of their first occurrence; and where the first lies.
struct Offenders {
  std::vector<char32_t> characters;
  std::size_t first = 0;
};
template <typename Keep>
Offenders FindOffenders(std::u32string_view text, Keep keep) {
  Offenders found;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (keep(text[i])) continue;
    if (found.characters.empty()) found.first = i;
    if (std::find(found.characters.begin(), found.characters.end(), text[i]) ==
        found.characters.end()) {
      found.characters.push_back(text[i]);
    }
  }
  return found;
}

// ---- The markers a translation must keep ----

enum class MarkerKind : std::uint8_t { kControl, kFormat, kTag, kRule };

struct Marker {
  std::u32string_view text;
  std::size_t at = 0;
  MarkerKind kind = MarkerKind::kControl;
};

bool IsDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
bool IsAsciiLetter(char32_t c) { return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z'); }

// The length of a printf conversion (%s, %5.2f, %1$s, %ld) or a numbered
// argument (%1) at `at`, where a percent sign is; 0 for none (a lone percent
// sign, "%%", "50% off").
std::size_t FormatMarkerLength(std::u32string_view text, std::size_t at) {
  std::size_t i = at + 1;
  auto digits = [&] {
    const std::size_t from = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    return i - from;
  };
  const std::size_t number = digits();
  if (number > 0 && i < text.size() && text[i] == U'$') {
    ++i;
  } else {
    i = at + 1;
  }
  while (i < text.size() &&
         std::u32string_view(U"-+#0").find(text[i]) != std::u32string_view::npos) {
    ++i;
  }
  digits();
  if (i < text.size() && text[i] == U'.') {
    ++i;
    digits();
  }
  while (i < text.size() &&
         std::u32string_view(U"hlLqjzt").find(text[i]) != std::u32string_view::npos) {
    ++i;
  }
  if (i < text.size() &&
      std::u32string_view(U"diouxXeEfFgGaAcspn").find(text[i]) != std::u32string_view::npos) {
    return i + 1 - at;
  }
  // Not a printf conversion: a numbered argument (%1, %12), as Qt's arg() takes.
  return number > 0 ? number + 1 : 0;
}

// The length of {0}, {12} at `at`, where a brace is; 0 for none.
std::size_t BraceMarkerLength(std::u32string_view text, std::size_t at) {
  std::size_t i = at + 1;
  while (i < text.size() && IsDigit(text[i])) ++i;
  return i > at + 1 && i < text.size() && text[i] == U'}' ? i + 1 - at : 0;
}

// The length of a tag (<b>, </b>, <br/>, <color=red>) at `at`, where a '<'
// is; 0 for none.
std::size_t TagLength(std::u32string_view text, std::size_t at) {
  constexpr std::size_t kLongestTag = 64;
  std::size_t i = at + 1;
  if (i < text.size() && text[i] == U'/') ++i;
  if (i >= text.size() || !IsAsciiLetter(text[i])) return 0;
  for (; i < text.size() && i - at < kLongestTag; ++i) {
    if (text[i] == U'>') return i + 1 - at;
    if (text[i] == U'<' || IsControl(text[i])) return 0;
  }
  return 0;
}

void FindMarkers(std::u32string_view text, const CheckRules& rules, std::vector<Marker>& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t c = text[i];
    std::size_t length = 0;
    MarkerKind kind = MarkerKind::kFormat;
    if (IsControl(c) && c != kNoCharacter) {
      length = 1;
      kind = MarkerKind::kControl;
    } else if (c == U'%') {
      if (i + 1 < text.size() && text[i + 1] == U'%') {
        ++i;  // a percent sign written as printf writes one
        continue;
      }
      length = FormatMarkerLength(text, i);
    } else if (c == U'{') {
      length = BraceMarkerLength(text, i);
    } else if (c == U'<') {
      length = TagLength(text, i);
      kind = MarkerKind::kTag;
    }
    if (length == 0) continue;
    out.push_back({text.substr(i, length), i, kind});
    i += length - 1;
  }
  if (rules.markers.empty()) return;
  // The patterns run over the text as stored; a character the code page
  // lacks is the byte no character has, which no pattern of letters matches.
  std::vector<std::byte> stored;
  stored.reserve(text.size());
  for (char32_t c : text) {
    stored.push_back(c == kNoCharacter ? std::byte{0x98}
                                       : Windows1251Byte(c).value_or(std::byte{0x98}));
  }
  for (const MarkerPattern& marker : rules.markers) {
    Result<std::vector<Occurrence>> found = marker.pattern.Find(stored);
    if (!found.ok()) continue;  // a text too complex for the pattern shows nothing
    for (const Occurrence& o : *found) {
      if (o.length > 0) out.push_back({text.substr(o.at, o.length), o.at, MarkerKind::kRule});
    }
  }
}

std::string DescribeMarker(const Marker& marker) {
  switch (marker.kind) {
    case MarkerKind::kControl:
      return Describe(marker.text.front());
    case MarkerKind::kFormat:
      return "the format marker " + QuoteText(Utf8(marker.text));
    case MarkerKind::kTag:
      return "the tag " + QuoteText(Utf8(marker.text));
    case MarkerKind::kRule:
      break;
  }
  return "the marker " + QuoteText(Utf8(marker.text));
}

// ---- The checks ----

class TooLong final : public TextCheck {
 public:
  std::string_view id() const override { return "too-long"; }
  std::string_view name() const override { return "Too long for its kind"; }
  Severity severity() const override { return Severity::kError; }
  void Check(const CheckedEntry& entry, const CheckRules& rules,
             std::vector<Finding>& findings) const override {
    const std::optional<CheckRules::Limit> limit = rules.LimitFor(entry.id, entry.kind);
    if (!limit || entry.text.size() <= limit->length) return;
    std::string message = "the text has " + std::to_string(entry.text.size()) + " characters; ";
    message += limit->mission ? "a mission's text holds at most " + std::to_string(limit->length) +
                                    ", as many as the window's input box takes"
                              : "the rules allow the id " + std::to_string(entry.id) + " at most " +
                                    std::to_string(limit->length);
    Report(entry, std::move(message), TextSpan{limit->length, entry.text.size()}, findings);
  }
};

class NotStorable final : public TextCheck {
 public:
  std::string_view id() const override { return "not-storable"; }
  std::string_view name() const override { return "Not storable in Windows-1251"; }
  Severity severity() const override { return Severity::kError; }
  void Check(const CheckedEntry& entry, const CheckRules&,
             std::vector<Finding>& findings) const override {
    const Offenders found = FindOffenders(entry.text, [](char32_t c) {
      return c == kNoCharacter || (c != 0 && Windows1251Byte(c).has_value());
    });
    if (found.characters.empty()) return;
    Report(entry, "Windows-1251 cannot store " + DescribeAll(found.characters),
           TextSpan{found.first, found.first + 1}, findings);
  }
};

class Markers final : public TextCheck {
 public:
  std::string_view id() const override { return "markers"; }
  std::string_view name() const override { return "Markers differ from the reference"; }
  Severity severity() const override { return Severity::kError; }
  void Check(const CheckedEntry& entry, const CheckRules& rules,
             std::vector<Finding>& findings) const override {
    if (!entry.reference || entry.text.empty() || entry.text == *entry.reference) return;
    thread_local std::vector<Marker> mine, theirs;
    FindMarkers(entry.text, rules, mine);
    FindMarkers(*entry.reference, rules, theirs);
    if (mine.empty() && theirs.empty()) return;
    const auto by_text = [](const Marker& a, const Marker& b) {
      return a.text != b.text ? a.text < b.text : a.at < b.at;
    };
    std::sort(mine.begin(), mine.end(), by_text);
    std::sort(theirs.begin(), theirs.end(), by_text);
    // One pass over both, a run of equal markers at a time.
    for (std::size_t a = 0, b = 0; a < mine.size() || b < theirs.size();) {
      const bool take_mine =
          b == theirs.size() || (a < mine.size() && mine[a].text <= theirs[b].text);
      const std::u32string_view text = take_mine ? mine[a].text : theirs[b].text;
      std::size_t in_mine = 0, in_theirs = 0;
      const std::size_t run = a;
      while (a < mine.size() && mine[a].text == text) ++a, ++in_mine;
      while (b < theirs.size() && theirs[b].text == text) ++b, ++in_theirs;
      if (in_mine == in_theirs) continue;
      const Marker& marker = in_mine > 0 ? mine[run] : theirs[b - in_theirs];
      std::string message = DescribeMarker(marker) + " is in the reference " +
                            (in_theirs == 0 ? "not at all" : Times(in_theirs)) +
                            " and in the text " + (in_mine == 0 ? "not at all" : Times(in_mine));
      std::optional<TextSpan> span;
      if (in_mine > in_theirs) {  // the first one too many
        const Marker& extra = mine[run + in_theirs];
        span = TextSpan{extra.at, extra.at + extra.text.size()};
      }
      Report(entry, std::move(message), span, findings);
    }
  }
};

class Font final : public TextCheck {
 public:
  std::string_view id() const override { return "font"; }
  std::string_view name() const override { return "Outside the game's font"; }
  Severity severity() const override { return Severity::kError; }
  void Check(const CheckedEntry& entry, const CheckRules& rules,
             std::vector<Finding>& findings) const override {
    if (!rules.glyphs) return;
    const GlyphSet& glyphs = *rules.glyphs;
    const Offenders found =
        FindOffenders(entry.text, [&](char32_t c) { return IsControl(c) || glyphs.Has(c); });
    if (found.characters.empty()) return;
    Report(entry,
           "the font (" + rules.glyphs_from + ") has no glyph for " + DescribeAll(found.characters),
           TextSpan{found.first, found.first + 1}, findings);
  }
};

class Spaces final : public TextCheck {
 public:
  std::string_view id() const override { return "spaces"; }
  std::string_view name() const override { return "Spaces"; }
  Severity severity() const override { return Severity::kWarning; }
  void Check(const CheckedEntry& entry, const CheckRules&,
             std::vector<Finding>& findings) const override {
    const std::u32string_view text = entry.text;
    if (text.empty()) return;
    const std::size_t lead = Leading(text);
    const std::size_t trail = lead == text.size() ? 0 : Trailing(text);
    if (entry.reference && !entry.reference->empty()) {
      const std::u32string_view reference = *entry.reference;
      const std::size_t their_lead = Leading(reference);
      const std::size_t their_trail = their_lead == reference.size() ? 0 : Trailing(reference);
      if (lead != their_lead) {
        Report(entry,
               "the text begins with " + Count(lead, "space") + ", the reference with " +
                   Count(their_lead, "space"),
               lead > 0 ? std::optional(TextSpan{0, lead}) : std::nullopt, findings);
      }
      if (trail != their_trail) {
        Report(entry,
               "the text ends with " + Count(trail, "space") + ", the reference with " +
                   Count(their_trail, "space"),
               trail > 0 ? std::optional(TextSpan{text.size() - trail, text.size()}) : std::nullopt,
               findings);
      }
      if (Doubled(reference, Leading(reference), their_trail)) return;
    }
    if (const std::optional<TextSpan> doubled = Doubled(text, lead, trail)) {
      Report(entry, "the text has a doubled space", doubled, findings);
    }
  }

 private:
  static std::size_t Leading(std::u32string_view text) {
    std::size_t n = 0;
    while (n < text.size() && text[n] == U' ') ++n;
    return n;
  }
  static std::size_t Trailing(std::u32string_view text) {
    std::size_t n = 0;
    while (n < text.size() && text[text.size() - 1 - n] == U' ') ++n;
    return n;
  }
  // The first run of two or more spaces between the leading and trailing ones.
  static std::optional<TextSpan> Doubled(std::u32string_view text, std::size_t lead,
                                         std::size_t trail) {
    if (lead + trail >= text.size()) return std::nullopt;
    const std::u32string_view inside = text.substr(lead, text.size() - lead - trail);
    const std::size_t at = inside.find(U"  ");
    if (at == std::u32string_view::npos) return std::nullopt;
    std::size_t end = at;
    while (end < inside.size() && inside[end] == U' ') ++end;
    return TextSpan{lead + at, lead + end};
  }
};

class Untranslated final : public TextCheck {
 public:
  std::string_view id() const override { return "untranslated"; }
  std::string_view name() const override { return "Untranslated"; }
  Severity severity() const override { return Severity::kWarning; }
  void Check(const CheckedEntry& entry, const CheckRules&,
             std::vector<Finding>& findings) const override {
    if (entry.kind == format::EntryKind::kEndMarker || !entry.reference ||
        entry.text != *entry.reference ||
        std::none_of(entry.text.begin(), entry.text.end(), IsLetter)) {
      return;
    }
    Report(entry, "the text is still the reference's", std::nullopt, findings);
  }
};

class Empty final : public TextCheck {
 public:
  std::string_view id() const override { return "empty"; }
  std::string_view name() const override { return "Empty text"; }
  Severity severity() const override { return Severity::kWarning; }
  void Check(const CheckedEntry& entry, const CheckRules&,
             std::vector<Finding>& findings) const override {
    if (entry.kind == format::EntryKind::kEndMarker || !entry.text.empty() ||
        (entry.reference && entry.reference->empty())) {
      return;
    }
    Report(entry,
           entry.reference ? "the text is empty; the reference's is not" : "the text is empty",
           std::nullopt, findings);
  }
};

class IdTwice final : public TextCheck {
 public:
  std::string_view id() const override { return "id-twice"; }
  std::string_view name() const override { return "Id twice"; }
  Severity severity() const override { return Severity::kWarning; }
  void Check(const CheckedEntry& entry, const CheckRules&,
             std::vector<Finding>& findings) const override {
    if (entry.id_count < 2) return;
    Report(entry,
           "the id " + std::to_string(entry.id) + " names " + std::to_string(entry.id_count) +
               " entries; translation files tell them apart as ID#SLOT",
           std::nullopt, findings);
  }
};

class Spelling final : public TextCheck {
 public:
  std::string_view id() const override { return "spelling"; }
  std::string_view name() const override { return "Misspelt word"; }
  Severity severity() const override { return Severity::kWarning; }
  void Check(const CheckedEntry& entry, const CheckRules& rules,
             std::vector<Finding>& findings) const override {
    if (!rules.speller || entry.kind == format::EntryKind::kEndMarker) return;
    // No suggestions: they cost hunspell a tenth of a second a word, and
    // how many it finds in that time depends on the machine.
    for (const Misspelling& m : rules.speller->Check(entry.text)) {
      Report(entry, DescribeMisspelling(m), TextSpan{m.from, m.to}, findings);
    }
  }
};

const TooLong kTooLong;
const NotStorable kNotStorable;
const Markers kMarkers;
const Font kFont;
const Spaces kSpaces;
const Untranslated kUntranslated;
const Empty kEmpty;
const IdTwice kIdTwice;
const Spelling kSpelling;
const std::array<const TextCheck*, 9> kChecks = {&kTooLong, &kNotStorable, &kMarkers,
                                                 &kFont,    &kSpaces,      &kUntranslated,
                                                 &kEmpty,   &kIdTwice,     &kSpelling};

}  // namespace

std::string_view SeverityName(Severity severity) {
  return severity == Severity::kError ? "error" : "warning";
}

std::span<const TextCheck* const> TextChecks() { return kChecks; }

const TextCheck* FindTextCheck(std::string_view id) {
  for (const TextCheck* check : kChecks) {
    if (check->id() == id) return check;
  }
  return nullptr;
}

void CheckEntry(const CheckedEntry& entry, const CheckRules& rules,
                std::vector<Finding>& findings) {
  const bool some_ignored = !rules.ignores.empty();
  for (const TextCheck* check : kChecks) {
    if (some_ignored && rules.Ignored(check->id(), entry.id)) continue;
    check->Check(entry, rules, findings);
  }
}

void StoredCharacters(std::span<const std::byte> stored, std::u32string& out) {
  static const std::array<char32_t, 256> table = [] {
    std::array<char32_t, 256> characters{};
    for (std::size_t b = 0; b < characters.size(); ++b) {
      characters[b] = Windows1251Character(static_cast<std::byte>(b));
    }
    characters[0x98] = kNoCharacter;
    return characters;
  }();
  out.resize(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    out[i] = table[std::to_integer<std::size_t>(stored[i])];
  }
}

std::u32string StoredCharacters(std::span<const std::byte> stored) {
  std::u32string out;
  StoredCharacters(stored, out);
  return out;
}

std::u32string TypedCharacters(std::string_view utf8) {
  std::u32string out;
  while (!utf8.empty()) {
    const std::size_t good = WellFormedUtf8Length(utf8);
    Result<std::u32string> part = DecodeUtf8(utf8.substr(0, good));
    if (part.ok()) out += *part;
    if (good == utf8.size()) break;
    out += U'\uFFFD';
    utf8.remove_prefix(good + 1);
  }
  return out;
}

}  // namespace orva
