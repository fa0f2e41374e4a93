#include "database/layout_check.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "database/insertion_plan.h"
#include "database/little_endian.h"
#include "database/text_entry_insertion.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;

std::vector<std::int64_t> EntriesOf(const std::vector<LayoutProblem>& problems) {
  std::vector<std::int64_t> entries;
  entries.reserve(problems.size());
  for (const auto& p : problems) entries.push_back(p.entry);
  return entries;
}

std::vector<std::byte> WellFormed() {
  return DatabaseBuilder()
      .Entry(100, "other")
      .Entry(5001, "one")
      .Entry(5002, "two")
      .Marker("end")
      .Entry(7000, "after")
      .GapBeforeTexts(4)
      .Trailing("tail")
      .Build();
}

TEST(FindInsertionPoint, FindsTheEntryBeforeTheMarker) {
  EXPECT_EQ(FindInsertionPoint(WellFormed()), 3);
  EXPECT_EQ(FindInsertionPoint(DatabaseBuilder().Marker().Entry(5001, "a").Build()), std::nullopt);
  EXPECT_EQ(FindInsertionPoint(DatabaseBuilder().Entry(5001, "a").Build()), std::nullopt);
  EXPECT_EQ(FindInsertionPoint(DatabaseBuilder().ClaimedCount(2'000'000'000).Build()),
            std::nullopt);
}

TEST(CheckLayout, AcceptsAWellFormedDatabase) {
  EXPECT_EQ(CheckLayout(WellFormed()), std::vector<LayoutProblem>{});
  // The gap before the first text may hold anything: no NUL need end it.
  auto gap = WellFormed();
  std::fill_n(gap.begin() + 48, 4, std::byte{'g'});
  EXPECT_EQ(CheckLayout(gap), std::vector<LayoutProblem>{});
}

TEST(CheckLayout, NamesTheEntryOfEachBrokenOffset) {
  auto db = WellFormed();
  EncodeInt32(db, 1 * 8 + 4, 8);                                     // inside the table
  EncodeInt32(db, 5 * 8 + 4, static_cast<std::int32_t>(db.size()));  // past the end
  EXPECT_EQ(EntriesOf(CheckLayout(db)), (std::vector<std::int64_t>{1, 5}));
}

TEST(CheckLayout, FindsTextsOutOfOrderOrNotSeparatedByNul) {
  auto swapped = DatabaseBuilder().Entry(5001, "aa").Entry(5002, "bb").Marker().Build();
  const std::int32_t first = DecodeInt32(swapped, 12);
  const std::int32_t second = DecodeInt32(swapped, 20);
  EncodeInt32(swapped, 12, second);
  EncodeInt32(swapped, 20, first);
  EXPECT_EQ(EntriesOf(CheckLayout(swapped)), (std::vector<std::int64_t>{2}));

  auto shared = DatabaseBuilder().Entry(5001, "aa").Entry(5002, "aa").Marker().Build();
  EncodeInt32(shared, 20, DecodeInt32(shared, 12));  // two entries on one text
  EXPECT_EQ(EntriesOf(CheckLayout(shared)), (std::vector<std::int64_t>{2}));

  auto joined = DatabaseBuilder().Entry(5001, "aa").Entry(5002, "bb").Marker().Build();
  joined[static_cast<std::size_t>(DecodeInt32(joined, 20)) - 1] = std::byte{'!'};
  EXPECT_EQ(EntriesOf(CheckLayout(joined)), (std::vector<std::int64_t>{2}));

  auto unended = DatabaseBuilder().Entry(5001, "aa").Marker("zz").Build();
  unended.pop_back();
  EXPECT_EQ(EntriesOf(CheckLayout(unended)), (std::vector<std::int64_t>{2}));
}

TEST(CheckLayout, WantsAMarkerAfterTheFirstEntry) {
  const auto first = CheckLayout(DatabaseBuilder().Marker().Build());
  EXPECT_EQ(EntriesOf(first), (std::vector<std::int64_t>{1, 0}));
  const auto none = CheckLayout(DatabaseBuilder().Entry(5001, "a").Build());
  ASSERT_EQ(none.size(), 1u);
  EXPECT_NE(none[0].what.find("no end marker"), std::string::npos);
}

TEST(CheckLayout, StopsAtATableThatCannotBeThere) {
  EXPECT_EQ(EntriesOf(CheckLayout(test_support::Bytes("short"))), (std::vector<std::int64_t>{0}));
  EXPECT_EQ(EntriesOf(CheckLayout(DatabaseBuilder().Marker().ClaimedCount(-3).Build())),
            (std::vector<std::int64_t>{0}));
  const auto huge = CheckLayout(DatabaseBuilder().Entry(5001, "a").ClaimedCount(1'000'000).Build());
  ASSERT_EQ(huge.size(), 1u);
  EXPECT_NE(huge[0].what.find("8000008 bytes"), std::string::npos);
}

// An offset equal to the file's size points at no byte, though a table may
// end right there; the check and the insertion agree, wherever the marker is.
TEST(CheckLayout, KnowsWhereTheFileEnds) {
  auto table_only = DatabaseBuilder().Entry(5001, "").Build();
  table_only.pop_back();  // entry 1's text offset is now the file's size
  const auto problems = CheckLayout(table_only);
  EXPECT_EQ(EntriesOf(problems), (std::vector<std::int64_t>{1, 0}));
  EXPECT_NE(problems[0].what.find("past the end of the file (16 bytes)"), std::string::npos);

  auto after_marker = DatabaseBuilder().Entry(5001, "a").Marker().Entry(7000, "b").Build();
  auto marker_past_table = DatabaseBuilder().Entry(5001, "a").Marker().ClaimedCount(1).Build();
  for (auto [db, entry] : {std::pair{&after_marker, 3}, std::pair{&marker_past_table, 2}}) {
    EncodeInt32(*db, format::TextOffsetField(entry), static_cast<std::int32_t>(db->size()));
    EXPECT_NE(CheckLayout(*db), std::vector<LayoutProblem>{}) << "entry " << entry;
    EXPECT_EQ(PlanInsertion(*db, "x").status().kind(), ErrorKind::kMalformed) << "entry " << entry;
  }
  marker_past_table.resize(format::SlotOffset(3) - 1);  // the marker's slot lacks its last byte
  EXPECT_NE(PlanInsertion(marker_past_table, "x").status().message().find("runs past the end"),
            std::string::npos);
}

}  // namespace
}  // namespace orva
