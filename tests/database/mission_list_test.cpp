#include "database/mission_list.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

#include "database/format.h"
#include "database/little_endian.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

using test_support::Bytes;
using test_support::DatabaseBuilder;

std::vector<std::int32_t> IdsOf(const MissionList& list) {
  std::vector<std::int32_t> ids;
  for (const auto& m : list.missions) ids.push_back(m.id);
  return ids;
}

TEST(ImageName, DropsTheFirstDigitOfTheId) {
  EXPECT_EQ(ImageName(5000), "shot000.bmp");
  EXPECT_EQ(ImageName(5001), "shot001.bmp");
  EXPECT_EQ(ImageName(5123), "shot123.bmp");
  EXPECT_EQ(ImageName(12345), "shot2345.bmp");
}

TEST(DisplayText, TrimsLeadingSpacesAndEndsAtTheFirstNul) {
  EXPECT_EQ(DisplayText(Bytes(std::string("  Hello\0xyz", 11))), "Hello");
  EXPECT_EQ(DisplayText(Bytes(std::string("Hello  \0", 8))), "Hello  ");
  EXPECT_EQ(DisplayText(Bytes(std::string(60, 'a') + std::string(10, ' '))), std::string(60, 'a'));
  EXPECT_EQ(DisplayText(Bytes(std::string("   \0abc", 7))), "");
  EXPECT_EQ(DisplayText(Bytes(std::string(70, ' '))), "");
}

TEST(ReadMissionList, ListsMissionsInTableOrderUpToTheMarker) {
  const auto db = DatabaseBuilder()
                      .Entry(5001, "Первая")
                      .Entry(5002, std::string(75, 'w'))  // shown as far as the 70-byte window
                      .Marker()
                      .Entry(5003, "after the marker")
                      .Build();
  const MissionList list = ReadMissionList(db);
  ASSERT_TRUE(list.status.ok()) << list.status.message();
  EXPECT_EQ(list.missions,
            (std::vector<MissionEntry>{{5001, "Первая"}, {5002, std::string(70, 'w')}}));
  EXPECT_EQ(list.ids, (MissionIds{5001, 5002, 0, 0, 0}));
}

TEST(ReadMissionList, SortsEntriesByIdAlone) {
  const auto db = DatabaseBuilder()
                      .Entry(4999, "below the threshold")
                      .Entry(5000, "threshold")
                      .Entry(17, "other")
                      .Entry(6001, "above the marker")
                      .Entry(7000, "not a marker")
                      .Entry(-5, "negative")
                      .Marker("end")
                      .Build();
  const MissionList list = ReadMissionList(db);
  ASSERT_TRUE(list.status.ok());
  EXPECT_EQ(IdsOf(list), (std::vector<std::int32_t>{5000, 6001, 7000}));
  EXPECT_EQ(list.missions[0].text, "threshold");
}

TEST(ReadMissionList, MarkerInTheFirstSlotGivesAnEmptyList) {
  const MissionList list = ReadMissionList(DatabaseBuilder().Marker().Entry(5001, "x").Build());
  EXPECT_TRUE(list.status.ok());
  EXPECT_TRUE(list.missions.empty());
}

TEST(ReadMissionList, ReadsMissingBytesAsZeros) {
  // The last mission's text starts 3 bytes before the end of the file and has no NUL.
  auto db = DatabaseBuilder().Entry(5001, "first").Marker().Build();
  db.resize(db.size() - 1);                                       // drop the marker text's NUL ...
  EncodeInt32(db, 12, static_cast<std::int32_t>(db.size()) - 3);  // ... and point 5001 near the end
  db[db.size() - 3] = std::byte{'a'};
  db[db.size() - 2] = std::byte{'b'};
  db[db.size() - 1] = std::byte{'c'};
  MissionList list = ReadMissionList(db);
  ASSERT_TRUE(list.status.ok());
  ASSERT_EQ(list.missions.size(), 1u);
  EXPECT_EQ(list.missions[0].text, "abc");

  // A slot cut by the end of the data: its missing byte is a zero, not the
  // byte that follows in memory, so the id is the marker's, not a mission's.
  auto cut = DatabaseBuilder().Entry(5001, "a").Marker().Build();
  cut[8 * 2 + 3] = std::byte{1};
  EXPECT_EQ(ReadMissionList(std::span(cut).first(8 * 2 + 3)).missions,
            (std::vector<MissionEntry>{{5001, ""}}));

  // A text offset far past the end shows an empty text.
  EncodeInt32(db, 12, std::numeric_limits<std::int32_t>::max());
  list = ReadMissionList(db);
  ASSERT_TRUE(list.status.ok());
  EXPECT_EQ(list.missions[0].text, "");
}

TEST(ReadMissionList, ScansSlotsPastTheCountUntilTheMarker) {
  // N claims one entry, but the scan does not stop there: the next mission
  // still fits position 1 of 2, the third has no position left and fails.
  const auto db = DatabaseBuilder()
                      .Entry(5001, "a")
                      .Entry(5002, "b")
                      .Entry(5003, "c")
                      .Marker()
                      .ClaimedCount(1)
                      .Build();
  const MissionList list = ReadMissionList(db);
  EXPECT_EQ(list.status.kind(), ErrorKind::kMalformed);
  EXPECT_EQ(IdsOf(list), (std::vector<std::int32_t>{5001, 5002, 5003}));
  EXPECT_EQ(list.ids, (MissionIds{5001, 5002}));
}

TEST(ReadMissionList, StopsAfterAThousandSlotsWithoutAMarker) {
  DatabaseBuilder builder;
  for (int i = 0; i < 1200; ++i) builder.Entry(5000 + i + (i >= 1000 ? 1 : 0), "m");
  const MissionList list = ReadMissionList(builder.Build());
  ASSERT_TRUE(list.status.ok());
  EXPECT_EQ(list.missions.size(), 1000u);
  EXPECT_EQ(list.missions.back().id, 5999);
}

// A table without an end marker has nothing after one: each entry is what
// it would be before a marker further on than any slot, and never the
// marker itself.
TEST(EntryKind, WithoutAMarkerEveryEntryIsWhatItIsBeforeOne) {
  const std::size_t beyond = 5000;
  for (const std::int32_t id : {1, 4999, 5000, 5001, format::kEndMarkerId, 7000}) {
    for (const std::size_t slot : {std::size_t{1}, std::size_t{2}, std::size_t{999},
                                   std::size_t{1000}, std::size_t{1001}, std::size_t{1200}}) {
      const format::EntryKind kind = format::KindOf(id, slot, std::nullopt);
      EXPECT_EQ(kind, format::KindOf(id, slot, beyond)) << id << " in slot " << slot;
      EXPECT_NE(kind, format::EntryKind::kEndMarker) << id << " in slot " << slot;
    }
  }
  EXPECT_EQ(format::KindOf(5001, 3, std::nullopt), format::EntryKind::kMission);
  EXPECT_EQ(format::KindOf(5001, 1001, std::nullopt), format::EntryKind::kUnlistedMission);
  EXPECT_EQ(format::KindOf(5001, 3, 2), format::EntryKind::kOther);
}

TEST(ReadMissionList, AHugeEntryCountAllocatesNoMoreThanTheListCanUse) {
  const auto db = DatabaseBuilder().Entry(5001, "a").Marker().ClaimedCount(2'000'000'000).Build();
  const MissionList list = ReadMissionList(db);
  ASSERT_TRUE(list.status.ok());
  EXPECT_EQ(list.ids.size(), 1001u);
  EXPECT_EQ(list.ids[0], 5001);
}

TEST(ReadMissionList, FailsOnDamageButKeepsWhatWasRead) {
  auto db = DatabaseBuilder().Entry(5001, "kept").Entry(5002, "bad").Marker().Build();
  EncodeInt32(db, 2 * 8 + 4, -1);
  const MissionList list = ReadMissionList(db);
  EXPECT_EQ(list.status.kind(), ErrorKind::kMalformed);
  EXPECT_NE(list.status.message().find("negative text offset"), std::string::npos);
  EXPECT_EQ(list.missions, (std::vector<MissionEntry>{{5001, "kept"}}));
  EXPECT_EQ(list.ids[0], 5001);
  EncodeInt32(db, 2 * 8 + 4, 0);  // the start of the file is an odd place for a text, not damage
  EXPECT_TRUE(ReadMissionList(db).status.ok());
}

TEST(ReadMissionList, RefusesWhatIsNoDatabase) {
  EXPECT_EQ(ReadMissionList(Bytes("abc")).status.kind(), ErrorKind::kMalformed);
  EXPECT_TRUE(ReadMissionList(Bytes(std::string(4, '\0'))).status.ok());  // the count, 0, alone
  auto negative = DatabaseBuilder().Entry(5001, "a").Marker().ClaimedCount(-1).Build();
  const MissionList list = ReadMissionList(negative);
  EXPECT_EQ(list.status.kind(), ErrorKind::kMalformed);
  EXPECT_NE(list.status.message().find("negative"), std::string::npos);
  EXPECT_TRUE(list.missions.empty());
}

TEST(ReadMissionList, ReadsAFileByPath) {
  test_support::TempDir dir;
  const auto path = dir / "textdb_00.def";
  test_support::WriteFileBytes(path, DatabaseBuilder().Entry(5123, "  Миссия").Marker().Build());
  const MissionList list = ReadMissionList(path);
  ASSERT_TRUE(list.status.ok());
  EXPECT_EQ(list.missions, (std::vector<MissionEntry>{{5123, "Миссия"}}));

  const MissionList missing = ReadMissionList(dir / "gone.def");
  EXPECT_EQ(missing.status.kind(), ErrorKind::kNotFound);
  EXPECT_NE(missing.status.message().find("gone.def"), std::string::npos);

  EXPECT_EQ(ReadMissionList(dir.path()).status.kind(), ErrorKind::kUnsupported);  // a folder
}

}  // namespace
}  // namespace orva
