// The layout rules a well-formed database follows, and where to insert.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "database/table_reader.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

// The insertion point k: the first k = 1 ... N for which table slot k + 1
// holds the end marker. Slot N + 1 lies just past the table and is looked at
// too; slots past the end of the data read as zeros. nullopt when there is
// none, which includes a marker in slot 1 only, a count below 1 and data too
// short to hold the count.
Result<std::optional<std::int32_t>> FindInsertionPoint(TableReader& reader);
std::optional<std::int32_t> FindInsertionPoint(std::span<const std::byte> database);

// What an insertion needs to know of the old database, once it has been
// checked that every step stays inside the file and inside 32-bit offsets:
// positions are indexes into the database's bytes.
struct InsertionSite {
  std::size_t count = 0;         // N
  std::size_t k = 0;             // entry k + 1 is the end marker
  std::size_t marker_text = 0;   // T
  std::int32_t predecessor = 0;  // P, the id of entry k
  // The marker sits in slot N + 1, just past the table: it is carried along
  // and re-pointed like an entry, and the texts start after its slot.
  bool marker_past_table = false;
  // How many bytes the file can grow by while 32-bit offsets still address
  // all of it.
  std::size_t room = 0;
  // The slots the new table takes over from the old one: N, and the marker's
  // slot past the table when it lies there.
  std::size_t SlotsToMove() const { return count + (marker_past_table ? 1 : 0); }
};

// Where a text of `text_size` bytes goes, or why none can go in, in plain
// words (kMalformed for a layout the insertion relies on being broken, kNoRoom
// for what 32-bit numbers cannot hold): no end marker after entry 1, a marker
// text offset outside the text area or not preceded by a NUL, a text offset
// to correct that lies outside the text area, a marker past the table with a
// table text at or after its own, a result past 2 GiB or an id past the
// largest.
Result<InsertionSite> FindInsertionSite(TableReader& reader, std::int64_t text_size);

struct LayoutProblem {
  std::int64_t entry = 0;  // the table entry concerned, 0 for the file as a whole
  std::string what;        // plain words

  friend bool operator==(const LayoutProblem&, const LayoutProblem&) = default;
};

// Every way in which the database departs from a well-formed layout: the
// count and table fit the file; each text offset lies after the table and
// inside the file and its text ends with a NUL inside the file; texts lie in
// entry order, each right after the NUL of the one before; the end marker is
// not entry 1 and an insertion point exists; and, when nothing else is wrong,
// whatever would still make an insertion refuse (FindInsertionSite). Empty
// when well-formed.
std::vector<LayoutProblem> CheckLayout(std::span<const std::byte> database);
// The same without a mission past table slot 1000 before the marker, which
// the window does not list but which breaks no rule of the layout: what
// changing texts and entries relies on.
std::vector<LayoutProblem> CheckTextLayout(std::span<const std::byte> database);

// The same on the file at `path`, read a block at a time through `fs`: time
// linear in the file, memory bounded whatever its size. Each problem is handed
// to `report` as it is found; the Status tells whether the file could be read
// at all.
using ReportProblem = std::function<void(const LayoutProblem&)>;
Status CheckLayout(const std::filesystem::path& path, const ReportProblem& report,
                   FileSystem& fs = DefaultFileSystem());

}  // namespace orva
