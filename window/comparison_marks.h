// How the entries of the table pair with those of the database compared
// with, as `orva-cli diff` pairs them (by id, then by place among the
// entries with that id), and the marks that gives each table slot: kept
// through an insertion or a removal without comparing the whole table
// again.
//
// An entry that comes or goes moves the slots after it, and changes the
// place of each later entry with its id among those with that id: so only
// the entries with the ids of the entries that came or went are paired
// again, and the rest keep their partners, moved on or back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "database/entry_diff.h"
#include "database/text_edit.h"
#include "window/editor_display.h"

namespace orva {

struct SlotPairs {
  std::vector<RowMark> marks;  // by table slot, from 0 for slot 1
  // The entry of the old table each slot is paired with, from 1; 0 for
  // none (an entry added).
  std::vector<std::uint32_t> paired;
  // The slot each entry of the old table is paired with, from 1; 0 for none
  // (an entry removed).
  std::vector<std::uint32_t> partner;
  std::size_t added = 0;
  std::size_t changed = 0;
};

// The pairs of the table `now` with the old table, from scratch.
SlotPairs PairSlots(std::span<const EntryText> old, const EntryIndex& old_index,
                    std::span<const EntryText> now, const EntryIndex& new_index);

// The entry in a table slot of the table as it now stands.
using EntryOfSlot = std::function<EntryText(std::size_t slot)>;

// The pairs after entries came into `slots` (`added`) or went from them,
// rising: the slots of the table after an insertion, or before a removal.
// `entry_at` reads the table as it now is.
void FollowMoves(SlotPairs& pairs, bool added, std::span<const std::size_t> slots,
                 std::span<const EntryText> old, const EntryIndex& old_index,
                 const EntryOfSlot& entry_at);

// The entries of the old table that no slot is paired with, as indexes into
// it, each with the slot its row follows: that of the partner of the entry
// before it there that is paired, 0 when none is. By slot, then in the old
// table's order.
std::vector<std::pair<std::size_t, std::size_t>> RemovedEntries(const SlotPairs& pairs);

}  // namespace orva
