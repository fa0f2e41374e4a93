#include "database/mission_list.h"

#include <algorithm>

#include "database/code_page.h"
#include "database/file_reading.h"
#include "database/format.h"
#include "database/little_endian.h"

namespace orva {
namespace {

constexpr std::size_t kMaxMissionIdSlots = format::kScanSlots + 1;

bool IsSpace(std::byte b) { return b == std::byte{' '}; }

}  // namespace

std::string ImageName(std::int32_t id) {
  const std::string digits = std::to_string(id);
  return "shot" + digits.substr(1) + ".bmp";
}

std::string DisplayText(std::span<const std::byte> window) {
  auto first = std::find_if_not(window.begin(), window.end(), IsSpace);
  auto nul = std::find(first, window.end(), std::byte{0});
  auto last = nul;
  if (nul == window.end()) {
    while (last != first && IsSpace(*(last - 1))) --last;
  }
  return DecodeWindows1251({first, last});
}

MissionList ReadMissionList(std::span<const std::byte> database) {
  MissionList list;
  if (database.size() < 4) {
    list.status = Status::Malformed("the file is too short to be a text database (" +
                                    std::to_string(database.size()) + " bytes)");
    return list;
  }
  const std::int32_t count = DecodeInt32(database, format::kCountOffset);
  if (count < 0) {
    list.status = Status::Malformed("the entry count is negative (" + std::to_string(count) + ")");
    return list;
  }
  // N + 1 positions, N >= 0 taken from the file; at most 1000 can be filled.
  const std::int64_t positions = std::int64_t{count} + 1;
  list.ids.assign(
      static_cast<std::size_t>(std::min<std::int64_t>(positions, std::int64_t{kMaxMissionIdSlots})),
      0);

  for (int slot = 1; slot <= format::kScanSlots; ++slot) {
    const std::int32_t id = DecodeInt32OrZeros(database, format::SlotOffset(slot));
    if (format::IsEndMarker(id)) break;
    if (!format::IsMission(id)) continue;

    const std::int32_t text_offset = DecodeInt32OrZeros(database, format::TextOffsetField(slot));
    if (text_offset < 0) {
      list.status =
          Status::Malformed("entry " + std::to_string(slot) + " (id " + std::to_string(id) +
                            ") has a negative text offset (" + std::to_string(text_offset) + ")");
      return list;
    }
    // The 70-byte window, with the bytes past the end of the file as zeros.
    std::byte window[format::kTextWindow] = {};
    const auto start = static_cast<std::size_t>(text_offset);
    if (start < database.size()) {
      const std::size_t available = std::min(format::kTextWindow, database.size() - start);
      std::copy_n(database.begin() + static_cast<std::ptrdiff_t>(start), available, window);
    }
    const std::size_t position = list.missions.size();
    list.missions.push_back({id, DisplayText(window)});
    if (position >= list.ids.size()) {
      list.status = Status::Malformed(
          "the database lists more missions than its entry count allows (" + std::to_string(count) +
          " entries, " + std::to_string(position + 1) + " missions)");
      return list;
    }
    list.ids[position] = id;
  }
  return list;
}

MissionList ReadMissionList(const std::filesystem::path& path) {
  Result<std::vector<std::byte>> bytes = ReadWholeFile(path);
  if (!bytes.ok()) {
    MissionList list;
    list.status = bytes.status();
    return list;
  }
  return ReadMissionList(*bytes);
}

}  // namespace orva
