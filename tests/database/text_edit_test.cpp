#include "database/text_edit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/code_page.h"
#include "database/insertion_plan.h"
#include "database/layout_check.h"
#include "database/little_endian.h"
#include "database/text_entry_insertion.h"
#include "tests/support/database_builder.h"
#include "tests/support/generated_databases.h"

namespace orva {
namespace {

using test_support::Bytes;
using test_support::DatabaseBuilder;
using test_support::Generated;

// Giving entry k the text S, followed literally: its old text up to its NUL
// is replaced by S, and every text offset past its text (those of entries
// 1 ... N and of a marker just past the table) is moved by s - l.
std::vector<std::byte> LiteralSet(const std::vector<std::byte>& b, std::size_t k,
                                  const std::string& s) {
  const auto n = static_cast<std::size_t>(DecodeInt32(b, 0));
  const auto t = static_cast<std::size_t>(DecodeInt32(b, 8 * k + 4));
  std::size_t nul = t;
  while (b[nul] != std::byte{0}) ++nul;
  const auto l = static_cast<std::int32_t>(nul - t);
  std::vector<std::byte> f(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(t));
  for (char c : s) f.push_back(static_cast<std::byte>(c));
  f.insert(f.end(), b.begin() + static_cast<std::ptrdiff_t>(nul), b.end());
  const bool marker_past_table = b.size() >= 8 * (n + 2) && DecodeInt32(b, 8 * (n + 1)) == 6000 &&
                                 FindInsertionPoint(b) == static_cast<std::int32_t>(n);
  for (std::size_t j = 1; j <= n + (marker_past_table ? 1 : 0); ++j) {
    const std::int32_t offset = DecodeInt32(f, 8 * j + 4);
    if (offset > static_cast<std::int32_t>(t)) {
      EncodeInt32(f, 8 * j + 4, offset + static_cast<std::int32_t>(s.size()) - l);
    }
  }
  return f;
}

TEST(PlanTextChanges, MatchesTheLiteralStepsAndDoesThemAllAtOnce) {
  Generated generated(20261208);
  for (int round = 0; round < 500; ++round) {
    const std::vector<std::byte> db = generated.Next();
    ASSERT_EQ(CheckLayout(db), std::vector<LayoutProblem>{}) << "round " << round;
    const auto n = static_cast<std::size_t>(DecodeInt32(db, 0));
    // One to three entries get new texts, first one at a time literally.
    std::vector<TextChange> changes;
    std::vector<std::byte> expected = db;
    for (int i = generated.Pick(1, 3); i > 0; --i) {
      const auto slot = static_cast<std::size_t>(generated.Pick(1, static_cast<int>(n)));
      if (std::any_of(changes.begin(), changes.end(), [&](auto& c) { return c.slot == slot; })) {
        continue;
      }
      const std::string text = generated.AnyText(60);
      expected = LiteralSet(expected, slot, text);
      changes.push_back({slot, Bytes(text)});
    }
    Result<NewContents> planned = PlanTextChanges(db, changes);
    ASSERT_TRUE(planned.ok()) << "round " << round << ": " << planned.status().message();
    const std::vector<std::byte> image = Joined(*planned);
    ASSERT_EQ(image, expected) << "round " << round;
    ASSERT_EQ(CheckLayout(image), std::vector<LayoutProblem>{}) << "round " << round;
  }
}

TEST(PlanRemoval, UndoesAnInsertionByteForByte) {
  Generated generated(20261209);
  int undone = 0;
  for (int round = 0; round < 500; ++round) {
    const std::vector<std::byte> db = generated.Next();
    std::string text = generated.AnyText(45);
    std::erase_if(text, [](char c) { return c == '\n' || c == '\r'; });
    if (text.empty()) text = "x";
    Result<PlannedInsertion> inserted = PlanInsertion(db, ExchangeText(Bytes(text)));
    if (!inserted.ok()) continue;  // 0x98 cannot be typed into an insertion
    // The new entry follows the marker's predecessor: it is the last before
    // the (next) marker, or, numbered 6000, the marker itself.
    const auto k = static_cast<std::size_t>(*FindInsertionPoint(db));
    Result<NewContents> removed = PlanRemoval(inserted->image, k + 1);
    if (inserted->entry.id == 6000) {
      EXPECT_FALSE(removed.ok()) << "round " << round;
      continue;
    }
    ASSERT_TRUE(removed.ok()) << "round " << round << ": " << removed.status().message();
    ASSERT_EQ(Joined(*removed), db) << "round " << round;
    ++undone;
  }
  EXPECT_GT(undone, 300);
}

// Every entry a removal may take out goes back to its slot, its text to its
// place, and the database is what it was; a slot or place that would break
// the order of the texts is refused.
TEST(PlanRestoration, PutsARemovedEntryBackByteForByte) {
  Generated generated(20261211);
  int restored = 0;
  for (int round = 0; round < 300; ++round) {
    const std::vector<std::byte> db = generated.Next();
    const std::vector<EntryText> entries = ReadEntryTexts(db).value();
    for (const EntryText& entry : entries) {
      Result<NewContents> removal = PlanRemoval(db, entry.slot);
      if (!removal.ok()) continue;  // the marker, or the only entry before it
      const std::vector<std::byte> removed = Joined(*removal);
      const RemovedEntry what{
          entry.slot, entry.id, entry.offset, {entry.text.begin(), entry.text.end()}};
      Result<NewContents> back = PlanRestoration(removed, what);
      ASSERT_TRUE(back.ok()) << "round " << round << ": " << back.status().message();
      ASSERT_EQ(Joined(*back), db) << "round " << round << ", slot " << entry.slot;
      ++restored;

      RemovedEntry elsewhere = what;
      elsewhere.slot = entries.size() + 1;
      elsewhere.offset = 8;
      EXPECT_FALSE(PlanRestoration(removed, elsewhere).ok()) << "round " << round;
    }
  }
  EXPECT_GT(restored, 1000);
}

// Every entry that can be removed, put back where it was with its id and
// text, gives the database back byte for byte, whatever lies around its
// texts (a gap, trailing bytes, a marker past the table).
TEST(PlanInsertionAtSlot, UndoesEveryRemovalByteForByte) {
  Generated generated(20261210);
  int undone = 0;
  for (int round = 0; round < 300; ++round) {
    const std::vector<std::byte> db = generated.Next();
    const std::vector<EntryText> entries = ReadEntryTexts(db).value();
    for (const EntryText& entry : entries) {
      Result<NewContents> removed = PlanRemoval(db, entry.slot);
      if (!removed.ok()) continue;  // the end marker, or the only entry before it
      const std::vector<std::byte> without = Joined(*removed);
      Result<NewContents> back = PlanInsertionAtSlot(without, entry.slot, entry.id, entry.text);
      ASSERT_TRUE(back.ok()) << "round " << round << ": " << back.status().message();
      ASSERT_EQ(Joined(*back), db) << "round " << round << ", slot " << entry.slot;
      ++undone;
    }
  }
  EXPECT_GT(undone, 1000);
  const auto db = DatabaseBuilder().Entry(5001, "a").Marker("z").Build();
  EXPECT_FALSE(PlanInsertionAtSlot(db, 4, 5002, Bytes("b")).ok());
  EXPECT_FALSE(PlanInsertionAtSlot(db, 0, 5002, Bytes("b")).ok());
  EXPECT_FALSE(PlanInsertionAtSlot(db, 1, 5002, Bytes(std::string("b\0", 2))).ok());
}

// A table planned anew as the text changes would leave it gives what they
// give: the two plans share no code, so each checks the other.
TEST(PlanTable, GivesWhatTextChangesGiveForTheirTable) {
  Generated generated(20261211);
  for (int round = 0; round < 300; ++round) {
    const std::vector<std::byte> db = generated.Next();
    const std::vector<EntryText> entries = ReadEntryTexts(db).value();
    std::vector<PlannedEntry> table;
    std::vector<TextChange> changes;
    std::vector<std::vector<std::byte>> texts(entries.size());
    for (const EntryText& entry : entries) {
      table.push_back({entry.id, entry.text});
      if (generated.Pick(0, 2) != 0) continue;
      texts[entry.slot - 1] = Bytes(generated.AnyText(20));
      table.back().text = texts[entry.slot - 1];
      changes.push_back({entry.slot, texts[entry.slot - 1]});
    }
    const std::vector<std::byte> expected = Joined(PlanTextChanges(db, changes).value());
    Result<NewContents> planned = PlanTable(db, entries, table);
    ASSERT_TRUE(planned.ok()) << planned.status().message();
    ASSERT_EQ(Joined(*planned), expected) << "round " << round;
  }
}

TEST(TextEdit, RefusesWhatWouldLoseOrMixUpTexts) {
  const auto db =
      DatabaseBuilder().Entry(5001, "a").Entry(5002, "b").Entry(5001, "c").Marker("z").Build();
  Result<std::vector<EntryText>> entries = ReadEntryTexts(db);
  ASSERT_TRUE(entries.ok());
  // An id of several entries is named with their slots, and a slot picks one.
  const std::string several = ChooseEntry(*entries, {5001, {}}).status().message();
  EXPECT_NE(several.find("table slots 1, 3"), std::string::npos) << several;
  EXPECT_EQ(ChooseEntry(*entries, {5001, 3}).value(), 2u);
  EXPECT_FALSE(ChooseEntry(*entries, {5001, 2}).ok());
  EXPECT_FALSE(ChooseEntry(*entries, {4000, {}}).ok());

  // Two entries on one text: editing one would change both.
  auto shared = db;
  EncodeInt32(shared, 20, DecodeInt32(shared, 12));
  const TextChange change{1, Bytes("new")};
  const std::string refusal = PlanTextChanges(shared, std::span(&change, 1)).status().message();
  EXPECT_NE(refusal.find("not well-formed"), std::string::npos) << refusal;
  EXPECT_NE(refusal.find("entry 2"), std::string::npos) << refusal;
  const TextChange with_nul{1, Bytes(std::string("a\0b", 3))};
  EXPECT_FALSE(PlanTextChanges(db, std::span(&with_nul, 1)).ok());

  EXPECT_NE(PlanRemoval(db, 4).status().message().find("end marker"), std::string::npos);
  const auto one = DatabaseBuilder().Entry(5001, "a").Marker("z").Build();
  EXPECT_NE(PlanRemoval(one, 1).status().message().find("entry 1"), std::string::npos);
}

TEST(ExchangeText, KeepsEveryByteButNul) {
  std::string all;
  for (int b = 1; b <= 255; ++b) all += static_cast<char>(b);
  const std::string utf8 = ExchangeText(Bytes(all));
  EXPECT_NE(utf8.find("\xC2\x98"), std::string::npos);
  EXPECT_EQ(StoredText(utf8).value(), Bytes(all));
  EXPECT_FALSE(StoredText(std::string("a\0", 2)).ok());
  EXPECT_FALSE(StoredText("\xEF\xBF\xBD").ok());  // U+FFFD stands for no byte
}

}  // namespace
}  // namespace orva
