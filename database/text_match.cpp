#include "database/text_match.h"

#include <re2/re2.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <new>

#include "database/code_page.h"
#include "database/mission_list.h"
#include "database/read_limits.h"
#include "storage/no_memory.h"
#include "storage/quote.h"

namespace orva {
namespace {

// The case pairs of the letters Windows-1251 has, as Unicode lays them out:
// ASCII, А-Я and а-я, Ѐ-Џ and ѐ-џ (Ё, Ђ, Љ, ...), Ґ and ґ.
char32_t Lower(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 0x20;
  if (c >= 0x0410 && c <= 0x042F) return c + 0x20;
  if (c >= 0x0400 && c <= 0x040F) return c + 0x50;
  if (c == 0x0490) return 0x0491;
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

// What a regular expression may be: RE2 parses and compiles without
// recursion and refuses a program past its memory budget, but a tree of
// groups nested deeper than people write, or a pattern longer than anyone
// types, is refused here first, in words, rather than left to RE2's walkers,
// which give up on such trees and say so on stderr.
constexpr std::size_t kMaxPatternBytes = 64 * 1024;
constexpr std::size_t kMaxNesting = 1000;
// RE2's budget for one expression: its compiled program and the DFA states
// it caches while it matches. A program that does not fit is refused; a
// search whose states do not fit goes on in RE2's NFA, slower and still
// linear in the text.
constexpr std::int64_t kRegexMemory = std::int64_t{32} << 20;

struct PatternShape {
  std::size_t nesting = 0;  // of groups
  bool any_byte = false;    // \C, which matches one byte of a character
};

// Reads the pattern's groups and escapes as RE2's parser does: \Q...\E is
// literal, a class ([...], with [:alpha:] inside) holds no groups, and a ]
// right after [ or [^ is a character of the class.
PatternShape ShapeOf(std::string_view p) {
  PatternShape shape;
  std::size_t depth = 0;
  bool quoted = false;
  bool in_class = false;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const char c = p[i];
    const char next = i + 1 < p.size() ? p[i + 1] : '\0';
    if (quoted) {
      if (c == '\\' && next == 'E') {
        quoted = false;
        ++i;
      }
      continue;
    }
    if (c == '\\') {
      if (next == 'Q') quoted = true;
      if (next == 'C') shape.any_byte = true;
      ++i;
      continue;
    }
    if (in_class) {
      if (c == ']') {
        in_class = false;
      } else if (c == '[' && next == ':') {
        const std::size_t end = p.find(":]", i + 2);
        if (end != std::string_view::npos) i = end + 1;
      }
      continue;
    }
    if (c == '[') {
      in_class = true;
      if (i + 1 < p.size() && p[i + 1] == '^') ++i;
      if (i + 1 < p.size() && p[i + 1] == ']') ++i;
    } else if (c == '(') {
      shape.nesting = std::max(shape.nesting, ++depth);
    } else if (c == ')' && depth > 0) {
      --depth;
    }
  }
  return shape;
}

std::string Thousands(std::size_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

// The length of the UTF-8 character that starts with `lead`.
std::size_t Utf8Length(char lead) {
  const auto b = static_cast<unsigned char>(lead);
  return b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
}

// Appends the expansion of an ECMAScript replacement format for one match:
// $& the match, $1 ... $99 its groups (of two digits when the pattern has
// that group, else of one), $` and $' the text before and after it, $$ a
// dollar sign; any other $ stands for itself. `groups` holds the match and
// every group the format can name.
void AppendExpansion(std::string& out, std::string_view format, std::string_view text,
                     std::span<const re2::StringPiece> groups) {
  auto group = [&](std::size_t n) {
    const re2::StringPiece& g = groups[n];
    if (g.data() != nullptr) out.append(g.data(), g.size());
  };
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    const char next = i + 1 < format.size() ? format[i + 1] : '\0';
    if (c != '$' || next == '\0') {
      out += c;
      continue;
    }
    if (next == '$') {
      out += '$';
    } else if (next == '&') {
      group(0);
    } else if (next == '`') {
      out.append(text.data(), static_cast<std::size_t>(groups[0].data() - text.data()));
    } else if (next == '\'') {
      const std::size_t end =
          static_cast<std::size_t>(groups[0].data() - text.data()) + groups[0].size();
      out.append(text.substr(end));
    } else if (next >= '0' && next <= '9') {
      std::size_t n = static_cast<std::size_t>(next - '0');
      const char third = i + 2 < format.size() ? format[i + 2] : '\0';
      if (third >= '0' && third <= '9' && n * 10 + static_cast<std::size_t>(third - '0') > 0 &&
          n * 10 + static_cast<std::size_t>(third - '0') < groups.size()) {
        n = n * 10 + static_cast<std::size_t>(third - '0');
        ++i;
      }
      if (n == 0 || n >= groups.size()) {
        out.append(format.substr(i, 2));  // no such group: as written
      } else {
        group(n);
      }
    } else {
      out += c;
      continue;
    }
    ++i;
  }
}

// The highest group a replacement format names ($1 ... $99), which is how
// many groups each match must report.
std::size_t GroupsNamed(std::string_view format, std::size_t groups) {
  std::size_t highest = 0;
  for (std::size_t i = 0; i + 1 < format.size(); ++i) {
    if (format[i] != '$') continue;
    const char next = format[i + 1];
    if (next == '$') {
      ++i;
    } else if (next >= '0' && next <= '9') {
      std::size_t n = static_cast<std::size_t>(next - '0');
      if (i + 2 < format.size() && format[i + 2] >= '0' && format[i + 2] <= '9') {
        const std::size_t two = n * 10 + static_cast<std::size_t>(format[i + 2] - '0');
        if (two <= groups) n = two;
      }
      highest = std::max(highest, n);
    }
  }
  return std::min(highest, groups);
}

Status TooLong() {
  return Status::InvalidText(
      "the text is too long to search with a regular expression (2 GiB as UTF-8)");
}

std::string Entry(const EntryText& entry) {
  return "the entry in table slot " + std::to_string(entry.slot) + " (id " +
         std::to_string(entry.id) + ")";
}

}  // namespace

std::byte FoldCase(std::byte byte) { return FoldTable()[std::to_integer<std::size_t>(byte)]; }

struct TextPattern::Regex {
  Regex(std::string_view pattern, const re2::RE2::Options& options)
      : re(re2::StringPiece(pattern.data(), pattern.size()), options) {}
  re2::RE2 re;
};

namespace {

Status NotValid(const std::string& why) {
  return Status::InvalidText("the regular expression is not valid: " + why);
}

// RE2's refusal in words.
Status Refusal(const re2::RE2& re) {
  if (re.error_code() == re2::RE2::ErrorPatternTooLarge) {
    return Status::InvalidText("the regular expression is too large: it would need more than " +
                               std::to_string(kRegexMemory >> 20) +
                               " MiB to run; write it shorter, or with smaller repetition counts");
  }
  if (re.error_code() == re2::RE2::ErrorRepeatSize) {
    return NotValid(re.error() + " (a repetition count goes up to 1000, counts repeated " +
                    "inside each other up to 1000 together)");
  }
  return NotValid(re.error());
}

}  // namespace

Result<TextPattern> TextPattern::Make(std::string_view utf8, const TextSearch& how) {
  return OrNoMemory("read what to look for", [&]() -> Result<TextPattern> {
    TextPattern pattern;
    pattern.match_case_ = how.match_case;
    if (how.regex) {
      if (Result<std::u32string> characters = DecodeUtf8(utf8); !characters.ok()) {
        return characters.status().Within("the regular expression: ");
      }
      if (utf8.size() > kMaxPatternBytes) {
        return Status::InvalidText("the regular expression is too long: " + Thousands(utf8.size()) +
                                   " bytes, past the " + Thousands(kMaxPatternBytes) +
                                   " it may have");
      }
      const PatternShape shape = ShapeOf(utf8);
      if (shape.nesting > kMaxNesting) {
        return Status::InvalidText("the regular expression nests groups " +
                                   Thousands(shape.nesting) + " deep, past the " +
                                   Thousands(kMaxNesting) + " levels it may have");
      }
      if (shape.any_byte) {
        return NotValid(
            "\\C matches one byte, which may be part of a character; . matches one "
            "character");
      }
      re2::RE2::Options options;
      options.set_encoding(re2::RE2::Options::EncodingUTF8);
      options.set_case_sensitive(how.match_case);
      options.set_log_errors(false);
      options.set_max_mem(kRegexMemory);
      auto regex = std::make_shared<const Regex>(utf8, options);
      if (!regex->re.ok()) return Refusal(regex->re);
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
  });
}

namespace {

// The bytes that fold to each byte: itself, and its other case where it
// has one, as many as there are.
struct Variants {
  std::array<std::array<std::byte, 4>, 256> bytes{};
  std::array<std::uint8_t, 256> count{};
};

const Variants& FoldVariants() {
  static const Variants variants = [] {
    Variants v;
    const std::array<std::byte, 256>& folded = FoldTable();
    for (std::size_t b = 0; b < 256; ++b) {
      const auto to = std::to_integer<std::size_t>(folded[b]);
      if (v.count[to] < v.bytes[to].size()) v.bytes[to][v.count[to]++] = static_cast<std::byte>(b);
    }
    return v;
  }();
  return variants;
}

// Where `literal` next occurs in `text` from `from` on, or text.size(). The
// places its first byte may be found at are looked for with memchr, each of
// its cases apart, each from where its last place was found, so that the
// search stays linear in the text.
std::size_t FindLiteral(std::span<const std::byte> text, std::size_t from,
                        std::span<const std::byte> literal, bool match_case) {
  const std::size_t n = literal.size();
  if (n == 0) return std::min(from, text.size());
  if (text.size() < n || from > text.size() - n) return text.size();
  const std::size_t end = text.size() - n + 1;  // past the last place one may start
  const std::array<std::byte, 256>& folded = FoldTable();
  const Variants& variants = FoldVariants();
  const auto first = std::to_integer<std::size_t>(literal[0]);
  const std::span<const std::byte> firsts =
      match_case ? literal.first(1)
                 : std::span<const std::byte>(variants.bytes[first]).first(variants.count[first]);
  std::array<std::size_t, 4> next{};  // each first byte's next place at or after `at`, or `end`
  const auto find = [&](std::byte b, std::size_t at) -> std::size_t {
    const void* found = std::memchr(text.data() + at, std::to_integer<int>(b), end - at);
    return found == nullptr
               ? end
               : static_cast<std::size_t>(static_cast<const std::byte*>(found) - text.data());
  };
  for (std::size_t v = 0; v < firsts.size(); ++v) next[v] = find(firsts[v], from);
  for (;;) {
    std::size_t at = end;
    for (std::size_t v = 0; v < firsts.size(); ++v) at = std::min(at, next[v]);
    if (at == end) return text.size();
    std::size_t k = 1;
    if (match_case) {
      while (k < n && text[at + k] == literal[k]) ++k;
    } else {
      while (k < n && folded[std::to_integer<std::size_t>(text[at + k])] == literal[k]) ++k;
    }
    if (k == n) return at;
    for (std::size_t v = 0; v < firsts.size(); ++v) {
      if (next[v] == at) next[v] = at + 1 < end ? find(firsts[v], at + 1) : end;
    }
  }
}

}  // namespace

Result<bool> TextPattern::Occurs(std::span<const std::byte> text) const {
  return OrNoMemory("search the texts", [&]() -> Result<bool> {
    if (!regex_) {
      return storable_ && FindLiteral(text, 0, literal_, match_case_) < text.size();
    }
    const std::string utf8 = ExchangeText(text);
    if (utf8.size() > INT_MAX) return TooLong();
    return re2::RE2::PartialMatch(re2::StringPiece(utf8.data(), utf8.size()), regex_->re);
  });
}

Result<bool> TextPattern::OccursInEntry(const EntryText& entry, bool mission) const {
  Result<bool> in_text = Occurs(entry.text);
  if (!in_text.ok() || *in_text) return in_text;
  return OrNoMemory("search the entries", [&]() -> Result<bool> {
    // An id has digits and a minus sign alone, so only such a text is looked for in it.
    if (regex_ || numeric_) {
      const std::string id = std::to_string(entry.id);
      Result<bool> in_id = Occurs(std::as_bytes(std::span(id)));
      if (!in_id.ok() || *in_id) return in_id;
    }
    if (!mission) return false;
    const std::string image = ImageName(entry.id);
    return Occurs(std::as_bytes(std::span(image)));
  });
}

Result<std::vector<Occurrence>> TextPattern::Find(std::span<const std::byte> text) const {
  return OrNoMemory("search the texts", [&]() -> Result<std::vector<Occurrence>> {
    std::vector<Occurrence> found;
    if (!regex_) {
      for (std::size_t from = 0, at;
           storable_ && (at = FindLiteral(text, from, literal_, match_case_)) < text.size();
           from = at + literal_.size()) {
        found.push_back({at, literal_.size()});
      }
      return found;
    }
    const std::string utf8 = ExchangeText(text);
    if (utf8.size() > INT_MAX) return TooLong();
    const re2::StringPiece whole(utf8.data(), utf8.size());
    re2::StringPiece match;
    // Each byte of the text is one character, which UTF-8 writes in one to
    // three bytes: the occurrences are counted back in characters as they
    // come, in order.
    std::size_t byte = 0;
    std::size_t character = 0;
    const auto character_at = [&](std::size_t utf8_offset) {
      for (; byte < utf8_offset; ++character) byte += Utf8Length(utf8[byte]);
      return character;
    };
    std::size_t from = 0;
    while (from <= utf8.size() &&
           regex_->re.Match(whole, from, utf8.size(), re2::RE2::UNANCHORED, &match, 1)) {
      const auto start = static_cast<std::size_t>(match.data() - utf8.data());
      const std::size_t end = start + match.size();
      const std::size_t first = character_at(start);
      found.push_back({first, character_at(end) - first});
      from = end > start ? end : end + (end < utf8.size() ? Utf8Length(utf8[end]) : 1);
    }
    return found;
  });
}

Result<ReplacedText> TextPattern::Replace(std::span<const std::byte> text,
                                          std::span<const std::byte> replacement) const {
  return OrNoMemory("replace in the texts", [&]() -> Result<ReplacedText> {
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
    const std::string utf8 = ExchangeText(text);
    if (utf8.size() > INT_MAX) return TooLong();
    const std::string format = ExchangeText(replacement);
    const re2::StringPiece whole(utf8.data(), utf8.size());
    // Each match reports the groups the format names, no more: every group
    // asked for costs RE2 time in each match.
    std::vector<re2::StringPiece> groups(
        1 + GroupsNamed(format, static_cast<std::size_t>(regex_->re.NumberOfCapturingGroups())));
    std::string replaced;
    std::size_t from = 0;  // where the next search starts
    std::size_t kept = 0;  // the end of what is in `replaced`
    while (from <= utf8.size() &&
           regex_->re.Match(whole, from, utf8.size(), re2::RE2::UNANCHORED, groups.data(),
                            static_cast<int>(groups.size()))) {
      const auto start = static_cast<std::size_t>(groups[0].data() - utf8.data());
      const std::size_t end = start + groups[0].size();
      replaced.append(utf8, kept, start - kept);
      AppendExpansion(replaced, format, utf8, groups);
      ++out.occurrences;
      kept = end;
      // After an empty occurrence the search goes on past the character
      // there, which stays as it was.
      from = end > start ? end : end + (end < utf8.size() ? Utf8Length(utf8[end]) : 1);
    }
    replaced.append(utf8, kept);
    Result<std::vector<std::byte>> stored = StoredText(replaced);
    if (!stored.ok()) return stored.status();
    out.text = std::move(stored).value();
    return out;
  });
}

Result<PlannedReplacement> PlanReplacement(std::span<const EntryText> entries,
                                           const TextPattern& pattern,
                                           std::string_view utf8_replacement) {
  return OrNoMemory("replace in the texts", [&]() -> Result<PlannedReplacement> {
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
  });
}

Result<DatabaseReplacement> ReplaceInDatabase(const std::filesystem::path& path,
                                              const TextPattern& pattern,
                                              std::string_view utf8_replacement, bool dry_run,
                                              const BeforeRename& before_rename, FileSystem& fs) {
  const auto doing = [&] { return "replace in the texts of " + DescribePath(path); };
  return OrNoMemory(doing, [&]() -> Result<DatabaseReplacement> {
    DatabaseReplacement done;
    Result<RewrittenIfAny> rewritten = RewriteDatabaseIfAny(
        path, kDatabaseReadLimit,
        [&](std::span<const std::byte> old) -> Result<std::optional<NewContents>> {
          Result<std::vector<EntryText>> entries = ReadEntryTexts(old);
          if (!entries.ok()) return entries.status();
          Result<PlannedReplacement> planned = PlanReplacement(*entries, pattern, utf8_replacement);
          if (!planned.ok()) return planned.status();
          done.occurrences = planned->occurrences;
          done.changed.clear();
          for (const TextChange& change : planned->changes) {
            const EntryText& entry = (*entries)[change.slot - 1];
            done.changed.push_back(
                {entry.slot, entry.id, ExchangeText(entry.text), ExchangeText(change.text)});
          }
          if (planned->changes.empty()) return std::optional<NewContents>();
          Result<NewContents> contents = PlanTextChanges(old, *entries, planned->changes);
          if (!contents.ok()) return contents.status();
          return std::optional(std::move(contents).value());
        },
        dry_run, before_rename, fs);
    if (!rewritten.ok()) return rewritten.status();
    done.written = rewritten->written;
    done.warning = std::move(rewritten->warning);
    return done;
  });
}

}  // namespace orva
