// The mission list: the entries with ids 5000 and up that precede the end
// marker, as the window lists them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

struct MissionEntry {
  std::int32_t id = 0;
  std::string text;  // UTF-8, at most 70 characters

  friend bool operator==(const MissionEntry&, const MissionEntry&) = default;
};

// The screenshot image of a mission: "shot", the decimal id without its first
// character, ".bmp" (5001 -> shot001.bmp, 12345 -> shot2345.bmp).
std::string ImageName(std::int32_t id);

// List position (0-based) -> mission id. A read sizes it for N + 1 positions,
// N being the entry count, all 0 until filled. No more than 1000 missions can
// be listed, so it never holds more than 1001 slots whatever N claims.
using MissionIds = std::vector<std::int32_t>;

struct MissionList {
  std::vector<MissionEntry> missions;  // in table order
  MissionIds ids;
  // Why the read stopped early. The missions read before the failure stay.
  Status status;
};

// Scans table slots 1 ... 1000 of the database bytes, whatever the entry count
// says, listing every mission until the end marker. Bytes past the end of the
// data read as zeros. Fails when the entry count is missing or negative, when
// a mission's text offset is negative, or when there are more missions than
// the N + 1 positions of MissionIds.
MissionList ReadMissionList(std::span<const std::byte> database);

// The same on the file at `path`, of which only the table slots and the text
// windows are read through `fs`; fails as well when it is no regular file or
// cannot be read.
MissionList ReadMissionList(const std::filesystem::path& path,
                            FileSystem& fs = DefaultFileSystem());

// The text shown for a mission, from the bytes of its 70-byte text window:
// leading spaces dropped, ended at the first NUL or, without a NUL, at the
// end of the window less its trailing spaces.
std::string DisplayText(std::span<const std::byte> window);

}  // namespace orva
