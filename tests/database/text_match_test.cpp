#include "database/text_match.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "database/code_page.h"
#include "database/text_edit.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

std::vector<std::byte> Stored(const std::string& utf8) { return StoredText(utf8).value(); }

TextPattern Pattern(const std::string& utf8, TextSearch how = {}) {
  Result<TextPattern> pattern = TextPattern::Make(utf8, how);
  EXPECT_TRUE(pattern.ok()) << pattern.status().message();
  return std::move(pattern).value();
}

// The text with every occurrence replaced, as UTF-8.
std::string Replaced(const TextPattern& pattern, const std::string& text,
                     const std::string& replacement) {
  Result<ReplacedText> replaced = pattern.Replace(Stored(text), Stored(replacement));
  EXPECT_TRUE(replaced.ok()) << replaced.status().message();
  return ExchangeText(replaced->text);
}

// Every letter pair of the code page folds, and nothing else does.
TEST(FoldCase, FoldsEachLetterPairOfTheCodePageAndNothingElse) {
  std::string upper = "ABCDEFGHIJKLMNOPQRSTUVWXYZАБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯЁЂЃЉЊЌЋЏЎЈҐЄЇІЅ";
  std::string lower = "abcdefghijklmnopqrstuvwxyzабвгдежзийклмнопрстуфхцчшщъыьэюяёђѓљњќћџўјґєїіѕ";
  const std::vector<std::byte> from = Stored(upper);
  const std::vector<std::byte> to = Stored(lower);
  ASSERT_EQ(from.size(), 73u);
  for (std::size_t i = 0; i < from.size(); ++i) {
    EXPECT_EQ(FoldCase(from[i]), to[i]) << i;
    EXPECT_EQ(FoldCase(to[i]), to[i]) << i;
  }
  int folded = 0;
  for (int b = 0; b < 256; ++b) folded += FoldCase(static_cast<std::byte>(b)) != std::byte(b);
  EXPECT_EQ(folded, 73);
}

TEST(TextPattern, FindsALiteralTextWhateverTheCaseUnlessToldOtherwise) {
  const std::string text = "ЁЛКА, Ёлка и ёлка; ЃЉЊ ѓљњ";
  EXPECT_EQ(Replaced(Pattern("ёлка"), text, "ель"), "ель, ель и ель; ЃЉЊ ѓљњ");
  EXPECT_EQ(Replaced(Pattern("ѓЉњ"), text, "-"), "ЁЛКА, Ёлка и ёлка; - -");
  EXPECT_EQ(Replaced(Pattern("ёлка", {.match_case = true}), text, "ель"),
            "ЁЛКА, Ёлка и ель; ЃЉЊ ѓљњ");
  // Left to right, without overlapping.
  Result<ReplacedText> aaa = Pattern("aa").Replace(Stored("aaaaa"), Stored("b"));
  EXPECT_EQ(ExchangeText(aaa->text), "bba");
  EXPECT_EQ(aaa->occurrences, 2u);
  // A text the code page cannot hold occurs nowhere; an empty one is refused.
  EXPECT_FALSE(*Pattern("ж日").Occurs(Stored("ж?ж\xC2\x98")));
  EXPECT_FALSE(TextPattern::Make("", {}).ok());
}

// A literal text is found, in any case or in its own, where a plain search
// of the text's bytes (both folded unless case is matched) finds it: left
// to right, not overlapping, wherever its letters of either case lie.
TEST(TextPattern, FindsALiteralWhereAPlainSearchOfTheBytesFindsIt) {
  std::mt19937 random(20261209);
  static constexpr char32_t kLetters[] = {U'a', U'A', U'ж', U'Ж', U'ё', U'Ё', U'№', U'1'};
  const auto letters = [&](int shortest, int longest) {
    std::string utf8;
    for (int n = std::uniform_int_distribution<int>(shortest, longest)(random); n > 0; --n) {
      AppendUtf8(
          utf8,
          kLetters[std::uniform_int_distribution<std::size_t>(0, std::size(kLetters) - 1)(random)]);
    }
    return utf8;
  };
  std::size_t found = 0;
  for (int round = 0; round < 4000; ++round) {
    const std::string text = letters(0, 40);
    const std::string literal = letters(1, 3);
    const bool match_case = round % 2 == 0;
    std::vector<std::byte> bytes = Stored(text);
    std::vector<std::byte> wanted = Stored(literal);
    if (!match_case) {
      for (std::byte& b : bytes) b = FoldCase(b);
      for (std::byte& b : wanted) b = FoldCase(b);
    }
    std::vector<Occurrence> expected;
    for (std::size_t at = 0; at + wanted.size() <= bytes.size();) {
      if (std::equal(wanted.begin(), wanted.end(),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at))) {
        expected.push_back({at, wanted.size()});
        at += wanted.size();
      } else {
        ++at;
      }
    }
    const TextPattern pattern = Pattern(literal, {.match_case = match_case});
    ASSERT_EQ(pattern.Find(Stored(text)).value(), expected) << literal << " in " << text;
    ASSERT_EQ(pattern.Occurs(Stored(text)).value(), !expected.empty());
    found += expected.size();
  }
  EXPECT_GT(found, 3000u);
}

TEST(TextPattern, RunsARegularExpressionOverCharacters) {
  const TextSearch regex{.regex = true, .match_case = true};
  EXPECT_TRUE(*Pattern("^п.езд$", regex).Occurs(Stored("поезд")));
  EXPECT_FALSE(*Pattern("^[а-я]+$", regex).Occurs(Stored("ПОЕЗД")));
  EXPECT_TRUE(*Pattern("^[а-я]+$", {.regex = true}).Occurs(Stored("ПоЕзД")));
  EXPECT_TRUE(*Pattern("^Ё[ђ-џ]$", {.regex = true}).Occurs(Stored("ёЋ")));
  // \w is ASCII's; \pL and \p{Cyrillic} are Unicode's.
  EXPECT_FALSE(*Pattern("\\w", regex).Occurs(Stored("поезд")));
  EXPECT_TRUE(*Pattern("^\\w+$", regex).Occurs(Stored("Train_1")));
  EXPECT_TRUE(*Pattern("^\\p{Cyrillic}+ \\pL$", regex).Occurs(Stored("поезд Ж")));
  EXPECT_EQ(Replaced(Pattern("(\\S+) (\\S+)", regex), "первый второй", "$2 $1 ($$)"),
            "второй первый ($)");
  EXPECT_EQ(Replaced(Pattern("б", regex), "абв", "[$`|$&|$']"), "а[а|б|в]в");
  // Empty occurrences count, and the search goes on a character after each.
  EXPECT_EQ(Replaced(Pattern("ж*", regex), "абжв", "-"), "-а-б--в-");
  // 0x98, which has no character, comes through as it was.
  EXPECT_EQ(Replaced(Pattern("x", regex), "x\xC2\x98x", "у"), "у\xC2\x98у");

  // However long the text: the stack does not grow with it.
  EXPECT_TRUE(*Pattern("^(а|б)*$", regex).Occurs(test_support::Bytes(std::string(400000, '\xE0'))));
  EXPECT_FALSE(TextPattern::Make("(а)\\1", regex).ok());

  const Result<TextPattern> bad = TextPattern::Make("(а", regex);
  ASSERT_FALSE(bad.ok());
  EXPECT_NE(bad.status().message().find("regular expression is not valid"), std::string::npos);
}

// Case is ignored as --match ignores it, by (?i) as by match_case false: Ё
// and ё are one letter, each Cyrillic pair folds, in ranges too, while Ё
// lies outside [а-я] in either case.
TEST(TextPattern, FoldsCyrillicCaseInARegularExpression) {
  const TextSearch cased{.regex = true, .match_case = true};
  for (const TextPattern& any_case :
       {Pattern("ёлка", {.regex = true}), Pattern("(?i)ёлка", cased), Pattern("(?i)ЁЛКА", cased)}) {
    EXPECT_EQ(Replaced(any_case, "ЁЛКА, Ёлка и ёлка; елка", "ель"), "ель, ель и ель; елка");
  }
  EXPECT_EQ(Replaced(Pattern("ёлка", cased), "ЁЛКА, Ёлка и ёлка", "ель"), "ЁЛКА, Ёлка и ель");
  EXPECT_TRUE(*Pattern("(?i)^[а-я]+$", cased).Occurs(Stored("ПОЕЗД")));
  EXPECT_FALSE(*Pattern("(?i)[а-я]", cased).Occurs(Stored("Ёё")));
  EXPECT_TRUE(*Pattern("(?i)^[а-яё]+$", cased).Occurs(Stored("ЁЛКА")));
  // Every pair of the code page, as FoldCase has it, and nothing else.
  for (int b = 0x80; b < 256; ++b) {
    const auto byte = static_cast<std::byte>(b);
    if (byte == std::byte{0x98}) continue;
    const std::string upper = ExchangeText(std::span(&byte, 1));
    for (int c = 0x80; c < 256; ++c) {
      const auto other = static_cast<std::byte>(c);
      if (other == std::byte{0x98}) continue;
      const bool same_letter = FoldCase(byte) == FoldCase(other);
      const Result<bool> found =
          Pattern("^" + upper + "$", {.regex = true}).Occurs(std::span(&other, 1));
      ASSERT_EQ(*found, same_letter) << upper << " against " << ExchangeText(std::span(&other, 1));
    }
  }
}

// What people may type and no engine should choke on: nesting past any
// sensible depth, a pattern past any sensible length, repetitions past the
// memory budget, \C. Each is refused in words, never a crash.
TEST(TextPattern, RefusesPatternsTooDeepOrTooLargeInWords) {
  const TextSearch regex{.regex = true, .match_case = true};
  auto refusal = [&](const std::string& pattern) {
    const Result<TextPattern> made = TextPattern::Make(pattern, regex);
    EXPECT_FALSE(made.ok()) << pattern.substr(0, 40);
    return made.ok() ? std::string() : made.status().message();
  };
  auto nested = [](const std::string& open, std::size_t depth) {
    std::string pattern;
    for (std::size_t i = 0; i < depth; ++i) pattern += open;
    return pattern + "a" + std::string(depth, ')');
  };
  EXPECT_NE(refusal(nested("(?:", 2000)).find("nests groups 2,000 deep, past the 1,000"),
            std::string::npos);
  EXPECT_NE(refusal(nested("(?:", 20000)).find("too long: 80,001 bytes"), std::string::npos);
  EXPECT_NE(refusal(nested("(", 30000)).find("nests groups 30,000 deep"), std::string::npos);
  EXPECT_NE(refusal(std::string(70000, 'a')).find("too long: 70,000 bytes"), std::string::npos);
  EXPECT_NE(refusal("((((а{1000}){1000}){1000}){1000})").find("not valid"), std::string::npos);
  EXPECT_NE(refusal("\\pL{1000}\\pL{1000}\\pL{1000}\\pL{1000}").find("too large"),
            std::string::npos);
  EXPECT_NE(refusal("а\\Cб").find("one byte"), std::string::npos);
  // Quoted, escaped and classed parentheses are no groups.
  std::string escaped;
  for (int i = 0; i < 3000; ++i) escaped += "\\(";
  EXPECT_TRUE(
      TextPattern::Make(
          "\\Q" + std::string(3000, '(') + "\\E[" + std::string(3000, '(') + "]" + escaped, regex)
          .ok());
  EXPECT_TRUE(TextPattern::Make("[(]{1}\\(" + nested("(", 1000) + "[(((]", regex).ok());
}

// Random patterns from a small grammar over random texts: RE2's occurrences,
// as Replace marks them, are those of a plain backtracking matcher that
// tries alternatives and repetitions in the order written, leftmost first,
// in both cases.
class Reference {
 public:
  struct Node {
    enum Kind { kChar, kAny, kClass, kGroup, kCapture, kStart, kEnd, kRepeat } kind;
    std::u32string chars;                         // kChar: one; kClass: the set
    bool negated = false;                         // kClass
    std::vector<std::vector<Node>> alternatives;  // kGroup, kCapture, kRepeat: one, the body
    int min = 0, max = -1;                        // kRepeat; -1 unbounded
    bool lazy = false;                            // kRepeat
    int capture = 0;                              // kCapture: its number
  };

  Reference(std::vector<std::vector<Node>> top, int captures, bool match_case)
      : top_(std::move(top)), captures_(captures), match_case_(match_case) {}

  // The occurrences of the pattern in `text`, each marked <...> with its
  // first group after a |, found as TextPattern::Replace goes on after each.
  std::u32string Marked(const std::u32string& text, std::size_t& count) const {
    std::u32string out;
    std::size_t from = 0, kept = 0;
    count = 0;
    while (from <= text.size()) {
      std::size_t start = from, end = 0;
      std::vector<std::pair<int, int>> groups;
      for (; start <= text.size(); ++start) {
        if (MatchAt(text, start, end, groups)) break;
      }
      if (start > text.size()) break;
      out.append(text, kept, start - kept);
      out += U'<';
      out.append(text, start, end - start);
      if (captures_ > 0) {
        out += U'|';
        if (groups[1].first >= 0) {
          out.append(text, static_cast<std::size_t>(groups[1].first),
                     static_cast<std::size_t>(groups[1].second - groups[1].first));
        }
      }
      out += U'>';
      ++count;
      kept = end;
      from = end > start ? end : end + 1;
    }
    if (kept < text.size()) out.append(text, kept);
    return out;
  }

 private:
  using Next = std::function<bool(std::size_t)>;

  char32_t Fold(char32_t c) const {
    if (match_case_) return c;
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    if (c >= 0x0410 && c <= 0x042F) return c + 0x20;
    if (c >= 0x0400 && c <= 0x040F) return c + 0x50;
    return c;
  }

  bool MatchAt(const std::u32string& text, std::size_t start, std::size_t& end,
               std::vector<std::pair<int, int>>& groups) const {
    text_ = &text;
    groups_.assign(static_cast<std::size_t>(captures_) + 1, {-1, -1});
    return Alternatives(top_, start, [&](std::size_t at) {
      end = at;
      groups = groups_;
      return true;
    });
  }

  bool Alternatives(const std::vector<std::vector<Node>>& alternatives, std::size_t at,
                    const Next& next) const {
    for (const std::vector<Node>& sequence : alternatives) {
      if (Sequence(sequence, 0, at, next)) return true;
    }
    return false;
  }

  bool Sequence(const std::vector<Node>& sequence, std::size_t i, std::size_t at,
                const Next& next) const {
    if (i == sequence.size()) return next(at);
    return One(sequence[i], at,
               [&](std::size_t after) { return Sequence(sequence, i + 1, after, next); });
  }

  bool One(const Node& node, std::size_t at, const Next& next) const {
    const std::u32string& text = *text_;
    switch (node.kind) {
      case Node::kChar:
        return at < text.size() && Fold(text[at]) == Fold(node.chars[0]) && next(at + 1);
      case Node::kAny:
        return at < text.size() && text[at] != U'\n' && next(at + 1);
      case Node::kClass: {
        if (at >= text.size()) return false;
        bool in = false;
        for (char32_t c : node.chars) in = in || Fold(c) == Fold(text[at]);
        return in != node.negated && next(at + 1);
      }
      case Node::kStart:
        return at == 0 && next(at);
      case Node::kEnd:
        return at == text.size() && next(at);
      case Node::kGroup:
        return Alternatives(node.alternatives, at, next);
      case Node::kCapture: {
        const auto slot = static_cast<std::size_t>(node.capture);
        return Alternatives(node.alternatives, at, [&, slot](std::size_t after) {
          const std::pair<int, int> before = groups_[slot];
          groups_[slot] = {static_cast<int>(at), static_cast<int>(after)};
          if (next(after)) return true;
          groups_[slot] = before;
          return false;
        });
      }
      case Node::kRepeat:
        return Repeat(node, 0, at, next);
    }
    return false;
  }

  // The body's bodies never match empty (the grammar makes sure), so each
  // repetition moves on.
  bool Repeat(const Node& node, int done, std::size_t at, const Next& next) const {
    const bool may_stop = done >= node.min;
    const bool may_go = node.max < 0 || done < node.max;
    auto again = [&] {
      return may_go && Alternatives(node.alternatives, at, [&](std::size_t after) {
               return Repeat(node, done + 1, after, next);
             });
    };
    if (node.lazy) return (may_stop && next(at)) || again();
    return again() || (may_stop && next(at));
  }

  std::vector<std::vector<Node>> top_;
  int captures_;
  bool match_case_;
  mutable const std::u32string* text_ = nullptr;
  mutable std::vector<std::pair<int, int>> groups_;
};

// Makes a pattern and its tree together.
class PatternMaker {
 public:
  explicit PatternMaker(std::mt19937& random) : random_(random) {}

  std::string pattern;
  int captures = 0;

  std::vector<std::vector<Reference::Node>> Alternatives(int depth, bool& nullable) {
    std::vector<std::vector<Reference::Node>> alternatives;
    const int count = Chance(4) ? 2 : 1;
    nullable = false;
    for (int i = 0; i < count; ++i) {
      if (i > 0) pattern += '|';
      bool sequence_nullable = true;
      alternatives.push_back(Sequence(depth, sequence_nullable));
      nullable = nullable || sequence_nullable;
    }
    return alternatives;
  }

 private:
  bool Chance(int one_in) { return std::uniform_int_distribution<int>(1, one_in)(random_) == 1; }

  char32_t Letter() {
    static constexpr char32_t kLetters[] = {U'a', U'A', U'b', U'ж', U'Ж', U'ё', U'Ё'};
    return kLetters[std::uniform_int_distribution<std::size_t>(0,
                                                               std::size(kLetters) - 1)(random_)];
  }

  std::vector<Reference::Node> Sequence(int depth, bool& nullable) {
    std::vector<Reference::Node> sequence;
    const int length = std::uniform_int_distribution<int>(1, 3)(random_);
    nullable = true;
    for (int i = 0; i < length; ++i) {
      bool item_nullable = false;
      sequence.push_back(Item(depth, item_nullable));
      nullable = nullable && item_nullable;
    }
    return sequence;
  }

  Reference::Node Item(int depth, bool& nullable) {
    using Node = Reference::Node;
    Node atom{};
    nullable = false;
    const int kind = std::uniform_int_distribution<int>(0, depth > 0 ? 9 : 6)(random_);
    if (kind <= 2) {
      atom.kind = Node::kChar;
      atom.chars = {Letter()};
      AppendUtf8(pattern, atom.chars[0]);
    } else if (kind == 3) {
      atom.kind = Node::kAny;
      pattern += '.';
    } else if (kind == 4) {
      atom.kind = Node::kClass;
      atom.negated = Chance(3);
      pattern += atom.negated ? "[^" : "[";
      for (int i = std::uniform_int_distribution<int>(1, 3)(random_); i > 0; --i) {
        atom.chars += Letter();
        AppendUtf8(pattern, atom.chars.back());
      }
      pattern += ']';
    } else if (kind == 5) {
      atom.kind = Chance(2) ? Node::kStart : Node::kEnd;
      pattern += atom.kind == Node::kStart ? '^' : '$';
      nullable = true;
      return atom;  // never repeated
    } else if (kind == 6) {
      atom.kind = Node::kChar;
      atom.chars = {U'b'};
      pattern += 'b';
    } else {
      const bool capture = Chance(2);
      atom.kind = capture ? Node::kCapture : Node::kGroup;
      if (capture) atom.capture = ++captures;
      pattern += capture ? "(" : "(?:";
      atom.alternatives = Alternatives(depth - 1, nullable);
      pattern += ')';
    }
    if (nullable || Chance(2)) return atom;
    Node repeat{};
    repeat.kind = Node::kRepeat;
    repeat.alternatives = {{atom}};
    const int how = std::uniform_int_distribution<int>(0, 3)(random_);
    static constexpr const char* kSigns[] = {"*", "+", "?", "{1,2}"};
    static constexpr int kMin[] = {0, 1, 0, 1};
    static constexpr int kMax[] = {-1, -1, 1, 2};
    repeat.min = kMin[how];
    repeat.max = kMax[how];
    repeat.lazy = Chance(3);
    pattern += kSigns[how];
    if (repeat.lazy) pattern += '?';
    nullable = repeat.min == 0;
    return repeat;
  }

  std::mt19937& random_;
};

TEST(TextPattern, FindsWhatABacktrackingMatcherFindsOnRandomPatterns) {
  std::mt19937 random(20260601);
  static constexpr char32_t kTextLetters[] = {U'a', U'A', U'b', U'B', U'ж', U'Ж', U'ё', U'Ё', U'x'};
  int compared = 0;
  for (int round = 0; round < 3000; ++round) {
    PatternMaker maker(random);
    bool nullable = false;
    auto tree = maker.Alternatives(2, nullable);
    const bool match_case = round % 2 == 0;
    const Reference reference(std::move(tree), maker.captures, match_case);
    const Result<TextPattern> pattern =
        TextPattern::Make(maker.pattern, {.regex = true, .match_case = match_case});
    ASSERT_TRUE(pattern.ok()) << maker.pattern << ": " << pattern.status().message();
    for (int t = 0; t < 4; ++t) {
      std::u32string text;
      for (int n = std::uniform_int_distribution<int>(0, 10)(random); n > 0; --n) {
        text += kTextLetters[std::uniform_int_distribution<std::size_t>(
            0, std::size(kTextLetters) - 1)(random)];
      }
      std::string utf8;
      for (char32_t c : text) AppendUtf8(utf8, c);
      std::size_t count = 0;
      std::string expected;
      for (char32_t c : reference.Marked(text, count)) AppendUtf8(expected, c);
      const std::string format = maker.captures > 0 ? "<$&|$1>" : "<$&>";
      const Result<ReplacedText> replaced = pattern->Replace(Stored(utf8), Stored(format));
      ASSERT_TRUE(replaced.ok()) << replaced.status().message();
      ASSERT_EQ(ExchangeText(replaced->text), expected)
          << "pattern " << maker.pattern << (match_case ? "" : " in any case") << ", text " << utf8;
      ASSERT_EQ(replaced->occurrences, count);
      ASSERT_EQ(*pattern->Occurs(Stored(utf8)), count > 0);
      ++compared;
    }
  }
  EXPECT_EQ(compared, 12000);
}

TEST(PlanReplacement, ChangesTheEntriesWhoseTextsChangeAndNamesOneItCannotStore) {
  const auto db = test_support::DatabaseBuilder()
                      .Entry(5001, "Поезд")
                      .Entry(1200, "нет")
                      .Entry(5002, "поезд и ПОЕЗД")
                      .Marker("конец")
                      .Build();
  const std::vector<EntryText> entries = ReadEntryTexts(db).value();
  Result<PlannedReplacement> plan = PlanReplacement(entries, Pattern("поезд"), "состав");
  ASSERT_TRUE(plan.ok()) << plan.status().message();
  EXPECT_EQ(plan->occurrences, 3u);
  ASSERT_EQ(plan->changes.size(), 2u);
  EXPECT_EQ(plan->changes[1].slot, 3u);
  EXPECT_EQ(ExchangeText(plan->changes[1].text), "состав и состав");

  EXPECT_TRUE(PlanReplacement(entries, Pattern("нет"), "нет")->changes.empty());
  EXPECT_TRUE(PlanReplacement(entries, Pattern("самолёт"), "日本").ok());
  const Result<PlannedReplacement> refused = PlanReplacement(entries, Pattern("нет"), "日本");
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.status().message().find("table slot 2 (id 1200)"), std::string::npos)
      << refused.status().message();
}

}  // namespace
}  // namespace orva
