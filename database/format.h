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

#include <cstddef>
#include <cstdint>

namespace orva::format {

inline constexpr std::size_t kCountOffset = 0;
inline constexpr std::size_t kHeaderWordOffset = 4;
inline constexpr std::size_t kEntrySize = 8;  // id + text offset

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

// Byte offset of table slot k (1-based) and of its text offset field.
constexpr std::int64_t SlotOffset(std::int64_t k) {
  return k * static_cast<std::int64_t>(kEntrySize);
}
constexpr std::int64_t TextOffsetField(std::int64_t k) { return SlotOffset(k) + 4; }

constexpr bool IsEndMarker(std::int32_t id) { return id == kEndMarkerId; }
constexpr bool IsMission(std::int32_t id) { return id >= kFirstMissionId && id != kEndMarkerId; }

}  // namespace orva::format
