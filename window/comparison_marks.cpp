#include "window/comparison_marks.h"

#include <algorithm>
#include <optional>

namespace orva {
namespace {

void Unmark(SlotPairs& pairs, std::size_t index) {
  pairs.added -= pairs.marks[index] == RowMark::kAdded;
  pairs.changed -= pairs.marks[index] == RowMark::kChanged;
  pairs.marks[index] = RowMark::kNone;
}

void Mark(SlotPairs& pairs, std::size_t index, RowMark mark) {
  pairs.marks[index] = mark;
  pairs.added += mark == RowMark::kAdded;
  pairs.changed += mark == RowMark::kChanged;
}

// The runs of consecutive slots in `slots` (rising), each as its first slot
// and length.
std::vector<std::pair<std::size_t, std::size_t>> Runs(std::span<const std::size_t> slots) {
  std::vector<std::pair<std::size_t, std::size_t>> runs;
  for (const std::size_t slot : slots) {
    if (!runs.empty() && runs.back().first + runs.back().second == slot) {
      ++runs.back().second;
    } else {
      runs.emplace_back(slot, 1);
    }
  }
  return runs;
}

// Pairs the entries with `id` again: the n-th of them in the table with the
// n-th in the old table. `unpaired` holds the slots paired with nothing and
// their ids.
void PairAgain(SlotPairs& pairs, std::int32_t id,
               std::span<const std::pair<std::size_t, std::int32_t>> unpaired,
               std::span<const EntryText> old, const EntryIndex& old_index,
               const EntryOfSlot& entry_at) {
  const std::size_t count = old_index.Count(id);
  std::vector<std::size_t> olds;
  olds.reserve(count);
  std::vector<std::size_t> slots;
  for (std::uint32_t n = 1; n <= count; ++n) {
    const std::optional<std::size_t> found = old_index.Find({id, n, false});
    if (!found) break;
    olds.push_back(*found);
    if (pairs.partner[*found] != 0) slots.push_back(pairs.partner[*found]);
    pairs.partner[*found] = 0;
  }
  for (const auto& [slot, slot_id] : unpaired) {
    if (slot_id == id) slots.push_back(slot);
  }
  std::sort(slots.begin(), slots.end());
  for (std::size_t n = 0; n < slots.size(); ++n) {
    const std::size_t index = slots[n] - 1;
    Unmark(pairs, index);
    if (n >= olds.size()) {
      pairs.paired[index] = 0;
      Mark(pairs, index, RowMark::kAdded);
      continue;
    }
    pairs.paired[index] = static_cast<std::uint32_t>(olds[n] + 1);
    pairs.partner[olds[n]] = static_cast<std::uint32_t>(slots[n]);
    const bool same = std::ranges::equal(old[olds[n]].text, entry_at(slots[n]).text);
    Mark(pairs, index, same ? RowMark::kNone : RowMark::kChanged);
  }
}

}  // namespace

SlotPairs PairSlots(std::span<const EntryText> old, const EntryIndex& old_index,
                    std::span<const EntryText> now, const EntryIndex& new_index) {
  SlotPairs pairs;
  // Room for as many entries again, so that an insertion moves the slots
  // after it within the vectors as they are. Grown by the first insertion
  // instead, each would be copied whole into new memory that the system
  // hands over a page at a time: on a large table, several times what the
  // insertion costs otherwise. The room is only reserved: its pages take
  // memory once entries come into them.
  pairs.marks.reserve(2 * now.size());
  pairs.paired.reserve(2 * now.size());
  pairs.marks.assign(now.size(), RowMark::kNone);
  pairs.paired.assign(now.size(), 0);
  pairs.partner.assign(old.size(), 0);
  for (std::size_t i = 0; i < now.size(); ++i) {
    const std::optional<std::size_t> partner =
        old_index.Find({now[i].id, new_index.Occurrence(i), false});
    if (!partner) {
      Mark(pairs, i, RowMark::kAdded);
      continue;
    }
    pairs.paired[i] = static_cast<std::uint32_t>(*partner + 1);
    pairs.partner[*partner] = static_cast<std::uint32_t>(i + 1);
    if (!std::ranges::equal(old[*partner].text, now[i].text)) Mark(pairs, i, RowMark::kChanged);
  }
  return pairs;
}

void FollowMoves(SlotPairs& pairs, bool added, std::span<const std::size_t> slots,
                 std::span<const EntryText> old, const EntryIndex& old_index,
                 const EntryOfSlot& entry_at) {
  std::vector<std::int32_t> ids;  // of the entries whose places among their ids moved
  const std::vector<std::pair<std::size_t, std::size_t>> runs = Runs(slots);
  if (added) {
    // Rising: each run's slots are those it has once the runs before it are in.
    for (const auto& [first, length] : runs) {
      const auto at = static_cast<std::ptrdiff_t>(first - 1);
      pairs.paired.insert(pairs.paired.begin() + at, length, 0);
      pairs.marks.insert(pairs.marks.begin() + at, length, RowMark::kNone);
      for (std::uint32_t& slot : pairs.partner) {
        if (slot >= first) slot += static_cast<std::uint32_t>(length);
      }
      for (std::size_t slot = first; slot < first + length; ++slot) {
        Mark(pairs, slot - 1, RowMark::kAdded);
        ids.push_back(entry_at(slot).id);
      }
    }
  } else {
    // Falling, so that the slots of the runs still to go stay where they were.
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
      const auto [first, length] = *run;
      for (std::size_t index = first - 1; index < first - 1 + length; ++index) {
        // An entry paired with none was among the last with its id, past
        // those the old table has: the later ones with its id stay unpaired.
        if (const std::uint32_t partner = pairs.paired[index]; partner != 0) {
          ids.push_back(old[partner - 1].id);
          pairs.partner[partner - 1] = 0;
        }
        Unmark(pairs, index);
      }
      const auto at = static_cast<std::ptrdiff_t>(first - 1);
      const auto end = at + static_cast<std::ptrdiff_t>(length);
      pairs.paired.erase(pairs.paired.begin() + at, pairs.paired.begin() + end);
      pairs.marks.erase(pairs.marks.begin() + at, pairs.marks.begin() + end);
      for (std::uint32_t& slot : pairs.partner) {
        if (slot >= first + length) slot -= static_cast<std::uint32_t>(length);
      }
    }
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  if (ids.empty()) return;
  std::vector<std::pair<std::size_t, std::int32_t>> unpaired;
  unpaired.reserve(pairs.added);
  // Each slot marked added is one paired with nothing: the scan ends at the
  // last of them, which for missions, added before the end marker, is near
  // the table's start.
  for (std::size_t index = 0; unpaired.size() < pairs.added && index < pairs.paired.size();
       ++index) {
    if (pairs.paired[index] == 0) unpaired.emplace_back(index + 1, entry_at(index + 1).id);
  }
  for (const std::int32_t id : ids) PairAgain(pairs, id, unpaired, old, old_index, entry_at);
}

std::vector<std::pair<std::size_t, std::size_t>> RemovedEntries(const SlotPairs& pairs) {
  std::vector<std::pair<std::size_t, std::size_t>> removed;
  std::size_t after = 0;
  for (std::size_t i = 0; i < pairs.partner.size(); ++i) {
    if (pairs.partner[i] != 0) {
      after = pairs.partner[i];
    } else {
      removed.emplace_back(after, i);
    }
  }
  // Out of order only where the entries both have are in another order.
  std::stable_sort(removed.begin(), removed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return removed;
}

}  // namespace orva
