// Constants of the text database layout (textdb_XX.def), shared by everything
// that reads or writes one. docs/format.md describes the layout in full.
//
//   offset 0        int32  entry count N
//   offset 4        int32  header word (never interpreted, never written)
//   offset 8k       int32  id of entry k            (k = 1 ... N)
//   offset 8k + 4   int32  text offset of entry k   (absolute, from file start)
//   after the table        NUL-ended single-byte texts (Windows-1251)
//
// All integers are signed 32-bit little-endian.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

namespace orva::format {

// Every integer of the format is this many bytes.
inline constexpr std::size_t kIntSize = 4;
inline constexpr std::size_t kCountOffset = 0;
inline constexpr std::size_t kHeaderWordOffset = 4;
// The smallest file that holds the entry count.
inline constexpr std::int64_t kSmallestWithCount = kCountOffset + kIntSize;
inline constexpr std::size_t kEntrySize = 8;  // id + text offset
// Where the text offset lies in an entry: after the id.
inline constexpr std::size_t kTextOffsetInEntry = 4;

// The entry with this id closes the mission list; new texts go just before it.
inline constexpr std::int32_t kEndMarkerId = 6000;
// Entries with ids from here on (other than the marker) are missions.
inline constexpr std::int32_t kFirstMissionId = 5000;
// The mission list reader looks at table slots 1 ... kScanSlots, whatever N says.
inline constexpr int kScanSlots = 1000;
// The reader shows at most this many bytes of a mission's text.
inline constexpr std::size_t kTextWindow = 70;
// A new text holds 1 ... kMaxNewTextLength characters, one byte each.
inline constexpr std::size_t kMaxNewTextLength = 45;
// What each new text adds to a database besides its characters: its entry and
// the NUL that ends it.
inline constexpr std::int64_t kAddedPerText = kEntrySize + 1;

// The largest database whose every byte a 32-bit text offset can address
// (2 GiB less one byte), and the largest id.
inline constexpr std::int64_t kMaxDatabaseSize = std::numeric_limits<std::int32_t>::max();
inline constexpr std::int64_t kMaxId = std::numeric_limits<std::int32_t>::max();

// Byte offset of table slot k (1-based) and of its text offset field: as a
// file offset when k is signed, as an index into the bytes when unsigned.
template <std::integral Int>
constexpr Int SlotOffset(Int k) {
  return k * static_cast<Int>(kEntrySize);
}
template <std::integral Int>
constexpr Int TextOffsetField(Int k) {
  return SlotOffset(k) + static_cast<Int>(kTextOffsetInEntry);
}

constexpr bool IsEndMarker(std::int32_t id) { return id == kEndMarkerId; }
constexpr bool IsMission(std::int32_t id) { return id >= kFirstMissionId && id != kEndMarkerId; }
// Whether the mission list shows the entry with this id in table slot
// `slot` (from 1) that lies before the end marker.
constexpr bool IsListed(std::int32_t id, std::int64_t slot) {
  return IsMission(id) && slot >= 1 && slot <= kScanSlots;
}

// What the window makes of an entry: a mission it lists, a mission id it
// does not read (past slot 1000), the end marker, or anything else (ids below
// 5000, and whatever follows the marker).
enum class EntryKind { kMission, kEndMarker, kOther, kUnlistedMission };

// The kind of the entry with `id` in table slot `slot` (from 1) of a table
// whose end marker is in `marker_slot`; without a marker, nothing follows one.
constexpr EntryKind KindOf(std::int32_t id, std::size_t slot,
                           std::optional<std::size_t> marker_slot) {
  if (marker_slot && slot == *marker_slot) return EntryKind::kEndMarker;
  if ((marker_slot && slot > *marker_slot) || !IsMission(id)) return EntryKind::kOther;
  return IsListed(id, static_cast<std::int64_t>(slot)) ? EntryKind::kMission
                                                       : EntryKind::kUnlistedMission;
}
constexpr bool IsMissionKind(EntryKind kind) {
  return kind == EntryKind::kMission || kind == EntryKind::kUnlistedMission;
}

}  // namespace orva::format
