#include <algorithm>
#include <string>
#include <vector>

#include "database/code_page.h"
#include "database/text_match.h"
#include "fuzz/properties.h"

namespace orva::fuzz {
namespace {

// The literal text as a regular expression that matches it alone: every
// ASCII character but letters, digits and _ escaped, as RE2 reads an escaped
// punctuation character as itself.
std::string Quoted(std::string_view literal) {
  std::string quoted;
  for (const char c : literal) {
    const auto b = static_cast<unsigned char>(c);
    const bool word =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (b < 0x80 && !word) quoted += '\\';
    quoted += c;
  }
  return quoted;
}

bool Same(std::span<const std::byte> a, std::span<const std::byte> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

Status CheckOne(std::string_view pattern, std::span<const std::byte> text, bool match_case) {
  const std::string how = match_case ? " (case matched)" : " (any case)";
  const Result<TextPattern> regex =
      TextPattern::Make(pattern, {.regex = true, .match_case = match_case});
  if (regex.ok()) {
    const Result<bool> occurs = regex->Occurs(text);
    if (!occurs.ok())
      return Status::Malformed("a text of " + std::to_string(text.size()) +
                               " bytes could not be searched" + how);
    // Each occurrence replaced by itself gives the text back, and there is one
    // exactly when the pattern occurs.
    static constexpr char kItself[] = "$&";
    const Result<ReplacedText> same = regex->Replace(text, std::as_bytes(std::span(kItself, 2)));
    if (!same.ok()) return Status::Malformed("replacing by $& failed: " + same.status().message());
    if (!Same(same->text, text)) return Status::Malformed("replacing by $& changed the text" + how);
    if ((same->occurrences > 0) != *occurs) {
      return Status::Malformed("Occurs and Replace disagree on whether the pattern occurs" + how);
    }
    // Each occurrence replaced by a mark: as many marks as occurrences, and
    // the text back once they are taken out.
    static constexpr char kMark[] = "\x98";  // the byte no text character has
    std::vector<std::byte> unmarked(text.begin(), text.end());
    std::erase(unmarked, std::byte{0x98});
    const Result<ReplacedText> marked =
        regex->Replace(unmarked, std::as_bytes(std::span(kMark, 1)));
    if (!marked.ok()) return Status::Malformed("replacing by a mark failed" + how);
    if (static_cast<std::size_t>(std::count(marked->text.begin(), marked->text.end(),
                                            std::byte{0x98})) != marked->occurrences) {
      return Status::Malformed("the marks are not as many as the occurrences" + how);
    }
  } else if (regex.status().message().empty()) {
    return Status::Malformed("a pattern was refused without a reason");
  }
  // The pattern as a literal text, searched for as one and as a quoted
  // regular expression: both find it in the same texts, in either case.
  const Result<TextPattern> literal = TextPattern::Make(pattern, {.match_case = match_case});
  if (!literal.ok() || !StoredText(pattern).ok()) return Status::Ok();
  const Result<TextPattern> quoted =
      TextPattern::Make(Quoted(pattern), {.regex = true, .match_case = match_case});
  if (!quoted.ok()) {
    return Status::Malformed("the quoted literal was refused: " + quoted.status().message());
  }
  if (*literal->Occurs(text) != *quoted->Occurs(text)) {
    return Status::Malformed("the literal and the quoted regular expression disagree" + how);
  }
  return Status::Ok();
}

}  // namespace

PatternInput SplitPatternInput(std::span<const std::byte> input) {
  if (input.empty()) return {};
  const std::size_t length = std::min(std::to_integer<std::size_t>(input[0]), input.size() - 1);
  return {std::string_view(reinterpret_cast<const char*>(input.data()) + 1, length),
          input.subspan(1 + length)};
}

std::vector<std::byte> JoinPatternInput(std::string_view pattern, std::span<const std::byte> text) {
  std::vector<std::byte> input;
  input.push_back(static_cast<std::byte>(std::min<std::size_t>(pattern.size(), 255)));
  for (const char c : pattern.substr(0, 255)) input.push_back(static_cast<std::byte>(c));
  input.insert(input.end(), text.begin(), text.end());
  return input;
}

Status CheckPattern(std::span<const std::byte> input) {
  const PatternInput split = SplitPatternInput(input);
  // A stored text ends at its first NUL, so no text searched holds one.
  std::vector<std::byte> text(split.text.begin(), split.text.end());
  std::erase(text, std::byte{0});
  for (const bool match_case : {true, false}) {
    if (Status s = CheckOne(split.pattern, text, match_case); !s.ok()) return s;
  }
  return Status::Ok();
}

}  // namespace orva::fuzz
