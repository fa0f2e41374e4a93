#include "window/comparison_marks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "database/entry_diff.h"

namespace orva {
namespace {

// A table of entries whose texts stay where they are while entries come and go.
class Table {
 public:
  void Add(std::size_t at, std::int32_t id, std::string text) {
    texts_.push_back(std::move(text));
    const std::string& kept = texts_.back();
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at),
                    EntryText{0, id, 0, std::as_bytes(std::span(kept.data(), kept.size()))});
    Renumber();
  }
  void Remove(std::size_t at) {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
    Renumber();
  }
  const std::vector<EntryText>& entries() const { return entries_; }

 private:
  void Renumber() {
    for (std::size_t i = 0; i < entries_.size(); ++i) entries_[i].slot = i + 1;
  }
  std::deque<std::string> texts_;
  std::vector<EntryText> entries_;
};

void ExpectSame(const SlotPairs& followed, const SlotPairs& anew) {
  ASSERT_EQ(followed.marks, anew.marks);
  ASSERT_EQ(followed.paired, anew.paired);
  ASSERT_EQ(followed.partner, anew.partner);
  ASSERT_EQ(followed.added, anew.added);
  ASSERT_EQ(followed.changed, anew.changed);
  ASSERT_EQ(RemovedEntries(followed), RemovedEntries(anew));
}

// Pairing from scratch marks what the library's diff finds: the slots of
// the entries added and changed, and the old entries removed, each row of
// a removed entry after the partner of the paired entry before it.
// Followed through any insertions and removals of runs of entries, among
// ids that repeat (so that an entry coming or going moves the places of
// later ones with its id), the pairs are those made from scratch.
TEST(ComparisonMarksTest, FollowingInsertionsAndRemovalsGivesThePairsMadeFromScratch) {
  std::mt19937 random(20261209);
  const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution(lo, hi)(random); };
  const auto text = [&] { return std::string(1, static_cast<char>('a' + pick(0, 2))); };
  int repaired = 0, unpaired_became_paired = 0;
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int ids = pick(1, 6);
    Table old, now;
    for (int i = pick(0, 12); i > 0; --i) old.Add(old.entries().size(), pick(1, ids), text());
    for (const EntryText& entry : old.entries()) {
      if (pick(0, 3) > 0) {
        now.Add(now.entries().size(), entry.id,
                std::string(reinterpret_cast<const char*>(entry.text.data()), entry.text.size()));
      }
    }
    for (int i = pick(0, 4); i > 0; --i) {
      now.Add(static_cast<std::size_t>(pick(0, static_cast<int>(now.entries().size()))),
              pick(1, ids + 1), text());
    }
    const EntryIndex old_index(old.entries());
    SlotPairs pairs = PairSlots(old.entries(), old_index, now.entries(), EntryIndex(now.entries()));

    // From scratch, as the diff has it.
    const EntryDiff diff =
        DiffEntries(old.entries(), old_index, now.entries(), EntryIndex(now.entries()));
    std::vector<RowMark> marks(now.entries().size(), RowMark::kNone);
    std::vector<std::size_t> removed;
    for (const EntryDifference& d : diff.differences) {
      if (d.kind == DifferenceKind::kRemoved) {
        removed.push_back(static_cast<std::size_t>(d.old_entry - old.entries().data()));
      } else {
        marks[d.new_entry->slot - 1] =
            d.kind == DifferenceKind::kAdded ? RowMark::kAdded : RowMark::kChanged;
      }
    }
    ASSERT_EQ(pairs.marks, marks);
    std::vector<std::size_t> removed_listed;
    for (const auto& [after, index] : RemovedEntries(pairs)) {
      removed_listed.push_back(index);
      std::size_t partner_before = 0;
      for (std::size_t i = index; i > 0 && partner_before == 0; --i) {
        partner_before = pairs.partner[i - 1];
      }
      ASSERT_EQ(after, partner_before);
    }
    std::sort(removed.begin(), removed.end());
    std::sort(removed_listed.begin(), removed_listed.end());
    ASSERT_EQ(removed_listed, removed);

    for (int step = 0; step < 12; ++step) {
      SCOPED_TRACE("step " + std::to_string(step));
      const auto size = static_cast<int>(now.entries().size());
      const bool add = size == 0 || pick(0, 1) == 0;
      const auto first = static_cast<std::size_t>(pick(0, add ? size : size - 1));
      const auto length = static_cast<std::size_t>(
          add ? pick(1, 3) : pick(1, std::min(3, size - static_cast<int>(first))));
      std::vector<std::size_t> slots;
      const std::size_t added_before = pairs.added;
      std::size_t unpaired_removed = 0;
      for (std::size_t i = 0; i < length; ++i) {
        slots.push_back(first + i + 1);
        if (add) {
          now.Add(first + i, pick(1, ids + 1), text());
        } else {
          repaired += pairs.paired[first + i] != 0;
          unpaired_removed += pairs.paired[first + i] == 0;
          now.Remove(first);
        }
      }
      FollowMoves(pairs, add, slots, old.entries(), old_index,
                  [&](std::size_t slot) { return now.entries()[slot - 1]; });
      // An entry added before one of its id that went takes that one's partner.
      unpaired_became_paired += !add && pairs.added + unpaired_removed < added_before;
      ExpectSame(pairs,
                 PairSlots(old.entries(), old_index, now.entries(), EntryIndex(now.entries())));
      if (HasFatalFailure()) return;
    }
  }
  // Enough removals of paired entries, and of those that gave an added
  // entry with their id its partner.
  EXPECT_GT(repaired, 300);
  EXPECT_GT(unpaired_became_paired, 30);
}

}  // namespace
}  // namespace orva
