#include "database/mission_list.h"

#include <algorithm>
#include <new>

#include "database/code_page.h"
#include "database/format.h"
#include "database/table_reader.h"
#include "storage/quote.h"

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

namespace {

// Reads the slots through one reader and the text windows through the other,
// so that each keeps its block at hand.
MissionList ReadMissions(TableReader& slots, TableReader& windows) {
  MissionList list;
  Result<TableHeader> header = ReadTableHeader(slots);
  if (!header.ok()) {
    list.status = header.status();
    return list;
  }
  const std::int32_t count = header->count;
  // N + 1 positions, N >= 0 taken from the file; at most 1000 can be filled.
  const std::int64_t positions = std::int64_t{count} + 1;
  list.ids.assign(
      static_cast<std::size_t>(std::min<std::int64_t>(positions, std::int64_t{kMaxMissionIdSlots})),
      0);

  for (int slot = 1; slot <= format::kScanSlots; ++slot) {
    const Result<TableEntry> entry = slots.Entry(slot);
    if (!entry.ok()) {
      list.status = entry.status();
      return list;
    }
    const std::int32_t id = entry->id;
    if (format::IsEndMarker(id)) break;
    if (!format::IsMission(id)) continue;

    if (entry->text_offset < 0) {
      list.status = Status::Malformed("entry " + std::to_string(slot) + " (id " +
                                      std::to_string(id) + ") has a negative text offset (" +
                                      std::to_string(entry->text_offset) + ")");
      return list;
    }
    // The 70-byte window, with the bytes past the end of the file as zeros.
    std::byte window[format::kTextWindow];
    if (Status read = windows.Read(entry->text_offset, window); !read.ok()) {
      list.status = read;
      return list;
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

MissionList OutOfMemory(const std::string& what) {
  MissionList list;
  list.status = Status::NoMemory(what);
  return list;
}

}  // namespace

MissionList ReadMissionList(std::span<const std::byte> database) {
  try {
    TableReader slots(database);
    TableReader windows(database);
    return ReadMissions(slots, windows);
  } catch (const std::bad_alloc&) {
    return OutOfMemory("list the missions");
  }
}

MissionList ReadMissionList(const std::filesystem::path& path, FileSystem& fs) {
  try {
    Result<RegularFile> file = OpenRegularFile(path, OpenMode::kRead, fs);
    if (!file.ok()) {
      MissionList list;
      list.status = file.status();
      return list;
    }
    const int fd = file->file.fd();
    // One block holds slots 1 ... 1000; windows of texts stored one after
    // the other share blocks.
    constexpr std::size_t kSlotsBlock = format::kEntrySize * (format::kScanSlots + 1);
    constexpr std::size_t kWindowsBlock = 8 * 1024;
    TableReader slots(fs, fd, file->info.size, kSlotsBlock);
    TableReader windows(fs, fd, file->info.size, kWindowsBlock);
    MissionList list = ReadMissions(slots, windows);
    if (list.status.kind() == ErrorKind::kIo) {
      list.status = list.status.Within("cannot read " + DescribePath(path) + " (", ")");
    }
    return list;
  } catch (const std::bad_alloc&) {
    return OutOfMemory("list the missions of " + DescribePath(path));
  }
}
}  // namespace orva
