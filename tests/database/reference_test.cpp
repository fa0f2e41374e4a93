// The join of a database to its reference by id, and the reference read
// from a file's bytes.
#include "database/reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "database/text_edit.h"
#include "tests/support/database_builder.h"
#include "tests/support/generated_databases.h"

namespace orva {
namespace {

std::vector<std::int32_t> RandomIds(std::mt19937& rng, int most) {
  // Few distinct ids, so that most of them repeat on one side or both.
  std::vector<std::int32_t> ids(std::uniform_int_distribution<int>(0, most)(rng));
  for (std::int32_t& id : ids) id = std::uniform_int_distribution<std::int32_t>(-2, 6)(rng);
  return ids;
}

// The n-th entry with an id on one side pairs with the n-th entry with that
// id on the other, while both have one; every other entry is only in its
// file; and joining the other way round gives the same pairs. Whether the
// ids of either side rise or not (as a game's mostly do) makes no difference.
TEST(JoinById, PairsTheNthEntryOfAnIdWithTheNthOnTheOtherSide) {
  std::mt19937 rng(37);
  for (int round = 0; round < 4000; ++round) {
    std::vector<std::int32_t> mine = RandomIds(rng, 14);
    std::vector<std::int32_t> theirs = RandomIds(rng, 14);
    if ((round & 1) != 0) std::ranges::sort(mine);
    if ((round & 2) != 0) std::ranges::sort(theirs);
    const EntryJoin join = JoinById(mine, theirs);
    ASSERT_EQ(join.partner.size(), mine.size());

    // The occurrences of each id on each side, in table order.
    std::map<std::int32_t, std::vector<std::uint32_t>> a, b;
    for (std::uint32_t i = 0; i < mine.size(); ++i) a[mine[i]].push_back(i);
    for (std::uint32_t i = 0; i < theirs.size(); ++i) b[theirs[i]].push_back(i);
    std::vector<bool> paired(theirs.size(), false);
    for (const auto& [id, occurrences] : a) {
      const std::vector<std::uint32_t>& others = b[id];
      for (std::size_t n = 0; n < occurrences.size(); ++n) {
        const std::uint32_t expected = n < others.size() ? others[n] : EntryJoin::kNone;
        ASSERT_EQ(join.partner[occurrences[n]], expected) << "round " << round << ", id " << id;
        if (expected != EntryJoin::kNone) paired[expected] = true;
      }
    }
    std::vector<std::uint32_t> alone;
    for (std::uint32_t i = 0; i < theirs.size(); ++i) {
      if (!paired[i]) alone.push_back(i);
    }
    EXPECT_EQ(join.only_in_reference, alone);
    EXPECT_EQ(join.OnlyInDatabase() + (theirs.size() - alone.size()), mine.size());

    // The same when their ids are read from a reference's own table (its
    // end marker, last, pairs with none of mine).
    if (!theirs.empty()) {
      test_support::DatabaseBuilder builder;
      for (const std::int32_t id : theirs) builder.Entry(id, "t");
      const ReferenceDatabase reference =
          ReferenceDatabase::FromBytes(builder.Marker().Build()).value();
      const EntryJoin read = JoinById(mine, reference.ids());
      EXPECT_EQ(read.partner, join.partner);
      std::vector<std::uint32_t> alone_read = read.only_in_reference;
      ASSERT_EQ(alone_read.back(), theirs.size());
      alone_read.pop_back();
      EXPECT_EQ(alone_read, join.only_in_reference);
    }

    const EntryJoin back = JoinById(theirs, mine);
    for (std::uint32_t i = 0; i < mine.size(); ++i) {
      if (join.partner[i] != EntryJoin::kNone) {
        EXPECT_EQ(back.partner[join.partner[i]], i);
      }
    }
    EXPECT_EQ(back.OnlyInDatabase(), join.only_in_reference.size());
  }
}

// What the reference holds of a database is what ReadEntryTexts reads from
// it, entry for entry, for any well-formed database; and it refuses what
// ReadEntryTexts refuses.
TEST(ReferenceDatabase, HoldsTheEntriesReadEntryTextsReads) {
  test_support::Generated generated(37);
  for (int round = 0; round < 500; ++round) {
    const std::vector<std::byte> bytes = generated.Next();
    const std::vector<EntryText> entries = ReadEntryTexts(bytes).value();
    Result<ReferenceDatabase> reference = ReferenceDatabase::FromBytes(bytes);
    ASSERT_TRUE(reference.ok()) << reference.status().message();
    ASSERT_EQ(reference->size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(reference->ids()[i], entries[i].id);
      EXPECT_TRUE(std::ranges::equal(reference->text(i), entries[i].text));
    }
  }
  std::vector<std::byte> damaged =
      test_support::DatabaseBuilder().Entry(5001, "a").Marker().Build();
  damaged[12] = std::byte{0x7F};  // entry 1's text offset points far past the end
  const Result<ReferenceDatabase> refused = ReferenceDatabase::FromBytes(damaged);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.status().kind(), ErrorKind::kMalformed);
  EXPECT_NE(refused.status().message().find("not well-formed"), std::string::npos);
}

}  // namespace
}  // namespace orva
