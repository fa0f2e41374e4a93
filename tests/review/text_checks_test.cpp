// Each check against a literal model of what it must report and what it
// must leave alone, run as the editor runs them on a text being typed.
#include "review/text_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "database/code_page.h"
#include "review/check_rules.h"
#include "review/database_review.h"

namespace orva {
namespace {

using format::EntryKind;

struct Case {
  std::string text;
  std::optional<std::string> reference = std::nullopt;
  EntryKind kind = EntryKind::kOther;
  std::int32_t id = 7000;
  std::size_t id_count = 1;
};

// What `check` finds in the case (every other check's findings dropped).
std::vector<Finding> Found(std::string_view check, const Case& c, const CheckRules& rules = {}) {
  const std::u32string text = TypedCharacters(c.text);
  const std::u32string reference = TypedCharacters(c.reference.value_or(""));
  CheckedEntry entry{3, c.id, c.kind, text, std::nullopt, c.id_count};
  if (c.reference) entry.reference = reference;
  std::vector<Finding> all, found;
  CheckEntry(entry, rules, all);
  for (const Finding& f : all) {
    EXPECT_EQ(f.slot, 3u);
    EXPECT_EQ(f.id, c.id);
    EXPECT_FALSE(f.message.empty());
    if (f.span) {
      EXPECT_LT(f.span->from, f.span->to);
      EXPECT_LE(f.span->to, text.size());
    }
    if (f.check == check) found.push_back(f);
  }
  return found;
}

std::vector<TextSpan> Spans(const std::vector<Finding>& found) {
  std::vector<TextSpan> spans;
  spans.reserve(found.size());
  for (const Finding& f : found) spans.push_back(f.span.value_or(TextSpan{}));
  return spans;
}

TEST(TextChecks, TheRegistryNamesEachCheckOnce) {
  std::vector<std::string_view> ids;
  for (const TextCheck* check : TextChecks()) {
    EXPECT_EQ(FindTextCheck(check->id()), check);
    EXPECT_FALSE(check->name().empty());
    ids.push_back(check->id());
  }
  EXPECT_EQ(ids,
            (std::vector<std::string_view>{"too-long", "not-storable", "markers", "font", "spaces",
                                           "untranslated", "empty", "id-twice", "spelling"}));
  EXPECT_EQ(FindTextCheck("no-such-check"), nullptr);
}

TEST(TextChecks, TooLongCountsCharactersAgainstTheMissionBoxAndTheRules) {
  std::string cyrillic45;
  for (int i = 0; i < 45; ++i) cyrillic45 += "ж";  // 45 characters, 90 bytes of UTF-8
  EXPECT_TRUE(Found("too-long", {cyrillic45, {}, EntryKind::kMission, 5001}).empty());
  const auto found = Found("too-long", {cyrillic45 + "жж", {}, EntryKind::kMission, 5001});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].severity, Severity::kError);
  EXPECT_EQ(Spans(found), (std::vector<TextSpan>{{45, 47}}));
  EXPECT_NE(found[0].message.find("47 characters"), std::string::npos);
  // A mission the window does not list still goes into its box when edited;
  // any other entry has no limit without rules.
  EXPECT_EQ(Found("too-long", {cyrillic45 + "ж", {}, EntryKind::kUnlistedMission, 5001}).size(),
            1u);
  EXPECT_TRUE(Found("too-long", {cyrillic45 + cyrillic45, {}, EntryKind::kOther, 7000}).empty());
  EXPECT_TRUE(Found("too-long", {cyrillic45 + "ж", {}, EntryKind::kEndMarker, 6000}).empty());

  CheckRules rules;
  rules.limits = {{{7000, 7999}, 10}, {{7005, 7005}, 3}, {{5000, 5999}, 60}};
  EXPECT_TRUE(Found("too-long", {"0123456789", {}, EntryKind::kOther, 7000}, rules).empty());
  EXPECT_EQ(Spans(Found("too-long", {"0123456789A", {}, EntryKind::kOther, 7999}, rules)),
            (std::vector<TextSpan>{{10, 11}}));
  // The smallest limit that applies: the narrower range, the window's box.
  EXPECT_EQ(Spans(Found("too-long", {"abcd", {}, EntryKind::kOther, 7005}, rules)),
            (std::vector<TextSpan>{{3, 4}}));
  EXPECT_EQ(Found("too-long", {cyrillic45 + "ж", {}, EntryKind::kMission, 5001}, rules).size(), 1u);
  EXPECT_TRUE(Found("too-long", {"abcdefghijk", {}, EntryKind::kOther, 8000}, rules).empty());
}

TEST(TextChecks, NotStorableNamesEachCharacterWindows1251Lacks) {
  EXPECT_TRUE(Found("not-storable", {"Ёлка № 5 — «да» €"}).empty());
  // U+0098 is how a stored 0x98 reads; storing it back gives the byte again.
  EXPECT_TRUE(Found("not-storable", {"a\xC2\x98"
                                     "b"})
                  .empty());
  const auto found = Found("not-storable", {"Mañana 日本 ñ"});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(Spans(found), (std::vector<TextSpan>{{2, 3}}));
  EXPECT_NE(found[0].message.find("U+00F1"), std::string::npos);
  EXPECT_NE(found[0].message.find("U+65E5"), std::string::npos);
  EXPECT_EQ(found[0].message.find("U+00F1", found[0].message.find("U+00F1") + 1),
            std::string::npos);  // named once however often it occurs
  // Bytes that are not UTF-8 are no text Windows-1251 can hold.
  EXPECT_EQ(Found("not-storable", {"ab\xFF"}).size(), 1u);
}

TEST(TextChecks, MarkersMustBeTheReferencesInAnyOrder) {
  const auto none = [](const Case& c, const CheckRules& rules = {}) {
    return Found("markers", c, rules).empty();
  };
  EXPECT_TRUE(none({"Привет, %s!\nУ вас %d писем", "Hello, %s!\nYou have %d letters"}));
  EXPECT_TRUE(none({"%2 из %1", "%1 of %2"}));  // reordered numbered arguments
  EXPECT_TRUE(none({"<b>Внимание</b>: {0}", "<b>Warning</b>: {0}"}));
  EXPECT_TRUE(none({"50% скидка, 100%% да", "50% off, 100%% yes"}));
  EXPECT_TRUE(none({"скидка 50%", "5% off"}));  // a lone percent sign is no marker
  EXPECT_TRUE(none({"a < b и c > d", "a<b"}));  // comparisons are no tags
  EXPECT_TRUE(none({"Текст", std::nullopt}));   // nothing to compare with
  EXPECT_TRUE(none({"", "Hello %s"}));          // empty, which another check reports

  const auto lost = Found("markers", {"Привет!", "Hello, %s!\n"});
  ASSERT_EQ(lost.size(), 2u);
  for (const Finding& f : lost) {
    EXPECT_EQ(f.severity, Severity::kError);
    EXPECT_FALSE(f.span);  // what is missing has no place in the text
  }
  const auto extra = Found("markers", {"Один\tдва\tтри", "One\ttwo three"});
  ASSERT_EQ(extra.size(), 1u);
  EXPECT_NE(extra[0].message.find("tab"), std::string::npos);
  EXPECT_EQ(Spans(extra), (std::vector<TextSpan>{{8, 9}}));  // the second tab, the one too many
  EXPECT_EQ(Found("markers", {"<b>Жирный<b>", "<b>Bold</b>"}).size(), 2u);
  EXPECT_EQ(Found("markers", {"%1 и %1", "%1 and %2"}).size(), 2u);
  EXPECT_EQ(Found("markers", {"{0} {1}", "{0}"}).size(), 1u);
  EXPECT_EQ(Found("markers", {"Line\r\n", "Line\n"}).size(), 1u);
  EXPECT_EQ(Found("markers", {"%5.2f км", "%.2f km"}).size(), 2u);

  CheckRules rules;
  rules.markers.push_back(
      {"\\$[A-Z]+\\$",
       TextPattern::Make("\\$[A-Z]+\\$", {.regex = true, .match_case = true}).value()});
  EXPECT_TRUE(none({"Игрок $NAME$ готов", "Player $NAME$ ready"}, rules));
  const auto renamed = Found("markers", {"Игрок $ИМЯ$ готов", "Player $NAME$ ready"}, rules);
  ASSERT_EQ(renamed.size(), 1u);
  EXPECT_NE(renamed[0].message.find("$NAME$"), std::string::npos);
}

TEST(TextChecks, SpacesAtTheEndsFollowTheReferenceAndDoubledOnesAreReported) {
  const auto none = [](const Case& c) { return Found("spaces", c).empty(); };
  EXPECT_TRUE(none({" Готово ", " Done "}));
  EXPECT_TRUE(none({"Готово", "Done"}));
  EXPECT_TRUE(none({"Как  в оригинале", "As  written"}));  // the reference doubles one too
  EXPECT_TRUE(none({"   ", "   "}));
  EXPECT_TRUE(none({" Только без образца", std::nullopt}));  // ends unknown without a reference

  const auto ends = Found("spaces", {" Готово", "Done "});
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_EQ(ends[0].severity, Severity::kWarning);
  EXPECT_EQ(ends[0].span, (TextSpan{0, 1}));
  EXPECT_FALSE(ends[1].span);  // the text has no trailing space to point at
  EXPECT_EQ(Spans(Found("spaces", {"Два   пробела", "Two spaces"})),
            (std::vector<TextSpan>{{3, 6}}));
  EXPECT_EQ(Found("spaces", {"Два  пробела", std::nullopt}).size(), 1u);
}

TEST(TextChecks, UntranslatedAndEmptyTextsAgainstTheReference) {
  EXPECT_EQ(Found("untranslated", {"Patrol", "Patrol"}).size(), 1u);
  EXPECT_TRUE(Found("untranslated", {"Патруль", "Patrol"}).empty());
  EXPECT_TRUE(Found("untranslated", {"100 %", "100 %"}).empty());  // nothing to translate
  EXPECT_TRUE(Found("untranslated", {"Patrol", std::nullopt}).empty());
  EXPECT_TRUE(Found("untranslated", {"end", "end", EntryKind::kEndMarker, 6000}).empty());
  EXPECT_TRUE(Found("untranslated", {"", ""}).empty());

  EXPECT_EQ(Found("empty", {"", "Patrol"}).size(), 1u);
  EXPECT_EQ(Found("empty", {"", std::nullopt}).size(), 1u);
  EXPECT_TRUE(Found("empty", {"", ""}).empty());  // empty in the source language too
  EXPECT_TRUE(Found("empty", {"", "x", EntryKind::kEndMarker, 6000}).empty());
  EXPECT_TRUE(Found("empty", {" ", "Patrol"}).empty());
}

TEST(TextChecks, FontCoverageNamesTheCharactersWithoutAGlyph) {
  CheckRules rules;
  rules.glyphs = ParseCharset("абвгдежз ,.!\n").value();
  rules.glyphs_from = "font.txt";
  EXPECT_TRUE(Found("font", {"где, жаба!"}, {}).empty());        // no font given: nothing to check
  EXPECT_TRUE(Found("font", {"где же\tда.\n"}, rules).empty());  // controls are never drawn
  const auto found = Found("font", {"где жук?"}, rules);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].span, (TextSpan{5, 6}));
  EXPECT_NE(found[0].message.find("font.txt"), std::string::npos);
  EXPECT_NE(found[0].message.find("U+0443"), std::string::npos);  // у
  EXPECT_NE(found[0].message.find("U+003F"), std::string::npos);  // ?
}

TEST(TextChecks, IdTwiceAndIgnoresFromTheRules) {
  EXPECT_TRUE(Found("id-twice", {"a"}).empty());
  EXPECT_EQ(Found("id-twice", {"a", std::nullopt, EntryKind::kOther, 7000, 2}).size(), 1u);

  CheckRules rules;
  rules.ignores = {{{7000, 7009}, {"untranslated"}}, {{7100, 7100}, {}}};
  EXPECT_TRUE(Found("untranslated", {"Patrol", "Patrol", EntryKind::kOther, 7009}, rules).empty());
  EXPECT_EQ(Found("untranslated", {"Patrol", "Patrol", EntryKind::kOther, 7010}, rules).size(), 1u);
  EXPECT_EQ(Found("empty", {"", "Patrol", EntryKind::kOther, 7001}, rules).size(), 1u);
  EXPECT_TRUE(Found("empty", {"", "Patrol", EntryKind::kOther, 7100}, rules).empty());
}

TEST(TextChecks, StoredCharactersReadEveryByteAsExchangeTextDoes) {
  std::vector<std::byte> all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<std::byte>(b));
  const std::u32string characters = StoredCharacters(all);
  ASSERT_EQ(characters.size(), all.size());
  EXPECT_EQ(characters, TypedCharacters(ExchangeText(all)));
}

// The tally says how many entries have each id, whatever order the ids come
// in (rising as a game keeps them, or shuffled, with the smallest and largest
// ids), and goes on saying it as the counts change; an id no two entries
// share counts 1, and only shared ids are kept.
TEST(IdTally, CountsTheEntriesOfEachIdInAnyOrderAndAsTheyChange) {
  std::mt19937 random(7);
  const std::vector<std::int32_t> pool{INT_MIN, -5, 0, 1200, 5001, 5002, 7000, INT_MAX};
  for (int run = 0; run < 40; ++run) {
    std::vector<std::int32_t> ids;
    for (std::size_t n = random() % 60; ids.size() < n;)
      ids.push_back(pool[random() % pool.size()]);
    if (run % 2 == 0) std::sort(ids.begin(), ids.end());
    std::map<std::int32_t, std::size_t> expected;
    for (const std::int32_t id : ids) ++expected[id];
    IdTally tally(ids);
    for (int change = 0; change <= 20; ++change) {
      std::size_t shared = 0;
      for (const std::int32_t id : pool) {
        const std::size_t count = expected.contains(id) ? expected[id] : 0;
        ASSERT_EQ(tally.CountOf(id), std::max<std::size_t>(count, 1))
            << "run " << run << ", change " << change << ", id " << id;
        shared += count > 1 ? 1 : 0;
      }
      ASSERT_EQ(tally.shared(), shared) << "run " << run << ", change " << change;
      const std::int32_t id = pool[random() % pool.size()];
      expected[id] = random() % 4;
      tally.Set(id, expected[id]);
    }
  }
}

}  // namespace
}  // namespace orva
