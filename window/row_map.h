// Which rows the editor's table shows, and in what order: the entries of
// the database's table slots 1 ... N, and while comparing the entries that
// only the database compared with has, each placed after the slot given
// for it. A filter or Changed Only chooses among them; the rows a change
// has just made may stay in sight besides (AlsoShow). No row is kept as a
// row: the slots and removed entries shown are kept in order, and a row is
// found from its number by bisection, so a million entries cost two
// vectors of 32-bit numbers at most. Beside a reference the rows may be
// instead the reference's entries that nothing here pairs with: a list of
// their indexes, which takes the place of every slot and removed entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace orva {

// What a row shows: the entry in a table slot (from 1), a removed entry
// (its index among the removed entries given to the map), or an entry that
// only the reference has (its index in the reference, from 0). Only the
// first is an entry of this database's.
struct RowRef {
  enum class Kind { kSlot, kRemoved, kReference };
  Kind kind = Kind::kSlot;
  std::size_t index = 0;

  static RowRef Slot(std::size_t slot) { return {Kind::kSlot, slot}; }
  static RowRef Removed(std::size_t index) { return {Kind::kRemoved, index}; }
  static RowRef Reference(std::size_t index) { return {Kind::kReference, index}; }
  bool is_slot() const { return kind == Kind::kSlot; }
  bool removed() const { return kind == Kind::kRemoved; }
  bool reference() const { return kind == Kind::kReference; }
  friend bool operator==(const RowRef&, const RowRef&) = default;
};

// What an edit did to the table: texts changed in place, or a run of slots
// added or removed.
enum class RowEdit { kTexts, kAdded, kRemoved };

class RowMap {
 public:
  using Keep = std::function<bool(std::size_t)>;

  // Every row of a table of `entries` slots and of the removed entries,
  // each after the slot given (0: before the first), rising.
  void Reset(std::size_t entries, std::vector<std::size_t> removed_after = {});

  // Shows only the slots `keep_slot` keeps and, when `keep_removed` is
  // given, the removed entries it keeps (every one otherwise). `narrowing`
  // looks only among the rows shown, which must hold every row the new
  // choice keeps: a filter made longer.
  void Choose(const Keep& keep_slot, const Keep* keep_removed, bool narrowing);
  // Shows every row again.
  void ShowAll();
  // Shows as its rows exactly the reference's entries `indexes` (rising),
  // and no slot or removed entry, until the next ShowAll, Choose or Reset.
  void ShowReference(std::vector<std::uint32_t> indexes);
  // Shows these slots too, where the choice does not keep them (not while
  // the rows are the reference's).
  void AlsoShow(std::span<const std::size_t> slots);
  // The rows chosen exactly (exact()) after an edit of `slots`, the table
  // now of `entries` slots: the slots the edit did not touch keep their
  // rows, moved on or back past a run added or removed, and those it
  // touched are shown as `keep_slot` says, so that the rows are those a
  // choice over the whole table would give, in time that grows with the
  // rows shown rather than with the table. The removed entries stay as
  // they are: while comparing, only texts may change so. While the rows
  // are the reference's, the table's size alone is taken.
  void Follow(RowEdit edit, std::span<const std::size_t> slots, std::size_t entries,
              const Keep& keep_slot);

  std::size_t size() const {
    return reference_ ? reference_->size() : SlotsShown() + RemovedShown();
  }
  // What row `row` (below size()) shows.
  RowRef At(std::size_t row) const;
  // The row that shows `ref`, if one does.
  std::optional<std::size_t> RowOf(const RowRef& ref) const;

  // Whether rows are chosen, and whether they are exactly those the last
  // choice keeps (AlsoShow adds others).
  bool choosing() const { return slots_.has_value() || reference_.has_value(); }
  bool exact() const { return exact_; }
  bool choosing_removed() const { return removed_.has_value() || reference_.has_value(); }
  // Whether the rows are the reference's entries (ShowReference).
  bool showing_reference() const { return reference_.has_value(); }
  std::size_t SlotsShown() const { return reference_ ? 0 : slots_ ? slots_->size() : entries_; }
  std::size_t RemovedShown() const {
    return reference_ ? 0 : removed_ ? removed_->size() : after_.size();
  }
  // The slot shown nearest `slot`: itself, the next one shown, or the last
  // one shown; none when no slot is.
  std::optional<std::size_t> SlotNear(std::size_t slot) const;
  // The same among the reference's entries shown, by their indexes.
  std::optional<std::size_t> ReferenceNear(std::size_t index) const;

 private:
  std::size_t Slot(std::size_t n) const { return slots_ ? (*slots_)[n] : n + 1; }
  std::size_t RemovedIndex(std::size_t n) const { return removed_ ? (*removed_)[n] : n; }
  std::size_t SlotsUpTo(std::size_t slot) const;
  std::size_t RowOfRemoved(std::size_t n) const;

  std::size_t entries_ = 0;
  std::vector<std::size_t> after_;  // by removed entry
  // The slots shown, rising, while rows are chosen; every slot otherwise.
  std::optional<std::vector<std::uint32_t>> slots_;
  // The removed entries shown (indexes, rising) while a choice takes some;
  // every one otherwise.
  std::optional<std::vector<std::uint32_t>> removed_;
  // The reference's entries shown (indexes, rising) in place of the rest.
  std::optional<std::vector<std::uint32_t>> reference_;
  bool exact_ = true;
};

}  // namespace orva
