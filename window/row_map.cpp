#include "window/row_map.h"

#include <algorithm>
#include <utility>

namespace orva {

void RowMap::Reset(std::size_t entries, std::vector<std::size_t> removed_after) {
  entries_ = entries;
  after_ = std::move(removed_after);
  ShowAll();
}

void RowMap::ShowAll() {
  slots_.reset();
  removed_.reset();
  reference_.reset();
  exact_ = true;
}

void RowMap::ShowReference(std::vector<std::uint32_t> indexes) {
  slots_.reset();
  removed_.reset();
  reference_ = std::move(indexes);
  exact_ = true;
}

void RowMap::Choose(const Keep& keep_slot, const Keep* keep_removed, bool narrowing) {
  // A narrowing keeps some of the rows shown, in the list that holds them;
  // otherwise there is room for every row that may be kept, so that the
  // list is never copied as it grows (pages never written take no memory).
  // What is left over goes once it is full.
  std::vector<std::uint32_t> kept;
  if (narrowing && slots_) {
    kept = std::move(*slots_);
    std::erase_if(kept, [&keep_slot](std::uint32_t slot) { return !keep_slot(slot); });
  } else {
    kept.reserve(entries_);
    for (std::size_t slot = 1; slot <= entries_; ++slot) {
      if (keep_slot(slot)) kept.push_back(static_cast<std::uint32_t>(slot));
    }
  }
  if (kept.size() < kept.capacity() / 2) kept.shrink_to_fit();
  std::optional<std::vector<std::uint32_t>> kept_removed;
  if (keep_removed != nullptr) {
    kept_removed.emplace();
    if (narrowing && removed_) {
      for (std::uint32_t index : *removed_) {
        if ((*keep_removed)(index)) kept_removed->push_back(index);
      }
    } else {
      for (std::size_t index = 0; index < after_.size(); ++index) {
        if ((*keep_removed)(index)) kept_removed->push_back(static_cast<std::uint32_t>(index));
      }
    }
  }
  slots_ = std::move(kept);
  removed_ = std::move(kept_removed);
  reference_.reset();
  exact_ = true;
}

void RowMap::AlsoShow(std::span<const std::size_t> slots) {
  if (!slots_) return;
  for (std::size_t slot : slots) {
    if (slot < 1 || slot > entries_) continue;
    const auto at = std::lower_bound(slots_->begin(), slots_->end(), slot);
    if (at != slots_->end() && *at == slot) continue;
    slots_->insert(at, static_cast<std::uint32_t>(slot));
    exact_ = false;
  }
}

void RowMap::Follow(RowEdit edit, std::span<const std::size_t> slots, std::size_t entries,
                    const Keep& keep_slot) {
  entries_ = entries;
  if (!slots_ || reference_ || slots.empty()) return;
  std::vector<std::uint32_t>& shown = *slots_;
  const auto first = static_cast<std::uint32_t>(slots.front());
  const auto moved = static_cast<std::uint32_t>(slots.size());
  const auto from = std::lower_bound(shown.begin(), shown.end(), first);
  if (edit == RowEdit::kAdded) {
    for (auto it = from; it != shown.end(); ++it) *it += moved;
  } else if (edit == RowEdit::kRemoved) {
    const auto past = std::lower_bound(from, shown.end(), first + moved);
    for (auto it = past; it != shown.end(); ++it) *it -= moved;
    shown.erase(from, past);
    return;
  }
  for (const std::size_t slot : slots) {
    const auto at = std::lower_bound(shown.begin(), shown.end(), slot);
    const bool present = at != shown.end() && *at == slot;
    if (keep_slot(slot) == present) continue;
    if (present) {
      shown.erase(at);
    } else {
      shown.insert(at, static_cast<std::uint32_t>(slot));
    }
  }
}

// How many of the slots shown are `slot` or before it.
std::size_t RowMap::SlotsUpTo(std::size_t slot) const {
  if (!slots_) return std::min(slot, entries_);
  return static_cast<std::size_t>(std::upper_bound(slots_->begin(), slots_->end(), slot) -
                                  slots_->begin());
}

// The row of the n-th removed entry shown; rising with n.
std::size_t RowMap::RowOfRemoved(std::size_t n) const {
  return SlotsUpTo(after_[RemovedIndex(n)]) + n;
}

RowRef RowMap::At(std::size_t row) const {
  if (reference_) return RowRef::Reference((*reference_)[row]);
  // The removed rows before `row`, and whether `row` is one of them.
  std::size_t low = 0, high = RemovedShown();
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (RowOfRemoved(mid) < row) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  if (low < RemovedShown() && RowOfRemoved(low) == row) return RowRef::Removed(RemovedIndex(low));
  return RowRef::Slot(Slot(row - low));
}

std::optional<std::size_t> RowMap::RowOf(const RowRef& ref) const {
  if (reference_ || ref.reference()) {
    if (!reference_ || !ref.reference()) return std::nullopt;
    const auto at = std::lower_bound(reference_->begin(), reference_->end(), ref.index);
    if (at == reference_->end() || *at != ref.index) return std::nullopt;
    return static_cast<std::size_t>(at - reference_->begin());
  }
  if (ref.removed()) {
    if (ref.index >= after_.size()) return std::nullopt;
    if (!removed_) return RowOfRemoved(ref.index);
    const auto at = std::lower_bound(removed_->begin(), removed_->end(), ref.index);
    if (at == removed_->end() || *at != ref.index) return std::nullopt;
    return RowOfRemoved(static_cast<std::size_t>(at - removed_->begin()));
  }
  const std::size_t slot = ref.index;
  if (slot < 1 || slot > entries_) return std::nullopt;
  std::size_t n = slot - 1;
  if (slots_) {
    const auto at = std::lower_bound(slots_->begin(), slots_->end(), slot);
    if (at == slots_->end() || *at != slot) return std::nullopt;
    n = static_cast<std::size_t>(at - slots_->begin());
  }
  // The removed entries shown whose rows come before the slot's.
  std::size_t low = 0, high = RemovedShown();
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (after_[RemovedIndex(mid)] < slot) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return n + low;
}

std::optional<std::size_t> RowMap::SlotNear(std::size_t slot) const {
  if (SlotsShown() == 0) return std::nullopt;
  if (!slots_) return std::clamp<std::size_t>(slot, 1, entries_);
  const auto after = std::lower_bound(slots_->begin(), slots_->end(), slot);
  return after == slots_->end() ? slots_->back() : *after;
}

std::optional<std::size_t> RowMap::ReferenceNear(std::size_t index) const {
  if (!reference_ || reference_->empty()) return std::nullopt;
  const auto after = std::lower_bound(reference_->begin(), reference_->end(), index);
  return after == reference_->end() ? reference_->back() : *after;
}

}  // namespace orva
