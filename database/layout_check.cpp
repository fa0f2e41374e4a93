#include "database/layout_check.h"

#include <new>

#include "database/format.h"
#include "storage/no_memory.h"
#include "storage/quote.h"

namespace orva {
namespace {

// The layout check reads the file in blocks of this size, two at a time.
constexpr std::size_t kCheckBlock = 64 * 1024;

std::string NoEndMarker() {
  return "no end marker (id " + std::to_string(format::kEndMarkerId) +
         ") follows the first entry, so there is no place to insert a text";
}

// The steps of FindInsertionSite, in the order in which it gives its reasons.

// An entry count of at least 1, and a table that fits the file.
Result<TableHeader> ReadInsertableHeader(TableReader& reader) {
  Result<TableHeader> header = ReadTableHeader(reader);
  if (!header.ok()) return header.status();
  if (header->count < 1) {
    return Status::Malformed("the entry count is " + std::to_string(header->count) +
                             ", so there is no entry to insert after");
  }
  if (Status fits = CheckTableFits(*header, reader.size()); !fits.ok()) return fits;
  return header;
}

// k: entry k + 1 is the first end marker after entry 1, and entry 1 is none.
Result<std::int64_t> FindMarker(TableReader& reader) {
  Result<std::optional<std::int32_t>> point = FindInsertionPoint(reader);
  if (!point.ok()) return point.status();
  if (!*point) return Status::Malformed(NoEndMarker());
  // The mission list ends at the first marker, so a text inserted before a
  // later one would never be listed.
  Result<TableEntry> first = reader.Entry(1);
  if (!first.ok()) return first.status();
  if (format::IsEndMarker(first->id)) {
    return Status::Malformed("entry 1 is the end marker (id " +
                             std::to_string(format::kEndMarkerId) +
                             "), so the mission list ends before any entry and a new text would "
                             "never be listed");
  }
  return std::int64_t{**point};
}

// The marker's entry, slot k + 1, whole inside the file (it may lie just past
// the table).
Result<TableEntry> ReadMarkerEntry(TableReader& reader, std::int64_t k) {
  const std::int64_t marker_slot = format::SlotOffset(k + 1);
  const std::int64_t marker_end = format::SlotOffset(k + 2);
  if (marker_end > reader.size()) {
    return Status::Malformed("the end marker's entry at " + std::to_string(marker_slot) +
                             " runs past the end of the file");
  }
  return reader.Entry(k + 1);
}

// Where the texts an insertion moves may lie: from `start` to the end of the file.
struct TextArea {
  std::int64_t start = 0;
  std::int64_t size = 0;
  bool after_marker_past_table = false;

  bool Holds(std::int64_t offset) const { return offset >= start && offset < size; }
  std::string Describe() const {
    return (after_marker_past_table ? "the text area after the end marker's entry past the table ("
                                    : "the text area (") +
           std::to_string(start) + " to " + std::to_string(size - 1) + ")";
  }
};

// The marker's text lies in the text area, after a NUL that can end the new text.
Status CheckMarkerText(TableReader& reader, std::int64_t t, const TextArea& area) {
  if (!area.Holds(t)) {
    return Status::Malformed("the end marker's text offset " + std::to_string(t) +
                             " lies outside " + area.Describe());
  }
  Result<std::byte> before = reader.ByteAt(t - 1);
  if (!before.ok()) return before.status();
  if (*before != std::byte{0}) {
    return Status::Malformed("the byte before the end marker's text (at " + std::to_string(t - 1) +
                             ") is not a NUL, so the new text could not be ended properly");
  }
  return Status::Ok();
}

// Every text offset to correct lies in the text area, and before the marker's
// text when the marker lies past the table: the new entry then becomes the
// last one of the table, so its text must come after every text of the table.
Status CheckTextOffsets(TableReader& reader, std::int64_t count, std::int64_t t,
                        const TextArea& area) {
  for (std::int64_t j = 1; j <= count; ++j) {
    Result<std::int32_t> offset = reader.Int32At(format::TextOffsetField(j));
    if (!offset.ok()) return offset.status();
    if (!area.Holds(*offset)) {
      return Status::Malformed("entry " + std::to_string(j) + " has the text offset " +
                               std::to_string(*offset) + ", outside " + area.Describe() +
                               ", so it cannot be corrected");
    }
    if (area.after_marker_past_table && *offset >= t) {
      return Status::Malformed("the end marker lies past the entry table and entry " +
                               std::to_string(j) + "'s text at " + std::to_string(*offset) +
                               " does not lie before the marker's text at " + std::to_string(t) +
                               ", so the new last entry's text would come before it");
    }
  }
  return Status::Ok();
}

// Room in 32 bits for one more text of `text_size` bytes and one more id.
Status CheckRoom(std::int64_t size, std::int64_t text_size, std::int32_t predecessor) {
  if (size + text_size + format::kAddedPerText > format::kMaxDatabaseSize) {
    return Status::NoRoom("the file has " + std::to_string(size) +
                          " bytes; with a new text it would pass the 2 GiB that 32-bit offsets "
                          "can address");
  }
  if (predecessor == format::kMaxId) {
    return Status::NoRoom("the entry before the end marker has the largest possible id (" +
                          std::to_string(format::kMaxId) +
                          "), so the new entry cannot be numbered after it");
  }
  return Status::Ok();
}

// The window reads table slots 1 ... 1000 only: a mission before the marker
// (in slot k + 1) past them is in the file but never listed.
template <typename Problem>
Status CheckMissionsListed(TableReader& table, std::int64_t k, const Problem& problem) {
  std::int64_t first = 0;
  std::int64_t unlisted = 0;
  for (std::int64_t j = std::int64_t{format::kScanSlots} + 1; j <= k; ++j) {
    Result<TableEntry> entry = table.Entry(j);
    if (!entry.ok()) return entry.status();
    if (format::IsListed(entry->id, j) || !format::IsMission(entry->id)) continue;
    if (unlisted++ == 0) first = j;
  }
  if (unlisted > 0) {
    problem(first, "it is a mission past table slot " + std::to_string(format::kScanSlots) +
                       ", the last the window reads, so the window does not list it" +
                       (unlisted > 1 ? " (nor the " + std::to_string(unlisted - 1) +
                                           " later missions before the end marker)"
                                     : ""));
  }
  return Status::Ok();
}

// What a check looks for: everything, or what changing texts and entries
// relies on, without what only the window's list suffers from.
enum class Findings { kAll, kLayout };

// Checks one database, reading the table through one reader and the texts
// through the other (each holds a block of the file). A read error ends it.
Status Check(TableReader& table, TableReader& texts, const ReportProblem& report,
             Findings findings = Findings::kAll) {
  bool found = false;
  auto problem = [&](std::int64_t entry, std::string what) {
    found = true;
    report({entry, std::move(what)});
  };
  const std::int64_t size = table.size();
  Result<TableHeader> header = ReadTableHeader(table);
  if (!header.ok()) {
    if (header.status().kind() != ErrorKind::kMalformed) return header.status();
    problem(0, header.status().message());
    return Status::Ok();
  }
  if (Status fits = CheckTableFits(*header, size); !fits.ok()) {
    problem(0, fits.message());
    return Status::Ok();
  }
  const std::int64_t table_end = header->table_end;
  Result<std::int64_t> last_nul = texts.LastNul();
  if (!last_nul.ok()) return last_nul.status();

  std::int64_t previous = -1;
  for (std::int64_t k = 1; k <= header->count; ++k) {
    Result<TableEntry> entry = table.Entry(k);
    if (!entry.ok()) return entry.status();
    const std::int64_t t = entry->text_offset;
    if (t < table_end) {
      problem(k, "its text offset " + std::to_string(t) +
                     " lies inside the entry table, which ends at " + std::to_string(table_end));
    } else if (t >= size) {
      problem(k, "its text offset " + std::to_string(t) + " lies past the end of the file (" +
                     std::to_string(size) + " bytes)");
    } else {
      if (t > *last_nul) {
        problem(k, "its text at " + std::to_string(t) +
                       " is not ended by a NUL before the end of the file");
      }
      if (k > 1) {
        Result<std::byte> before = texts.ByteAt(t - 1);
        if (!before.ok()) return before.status();
        if (*before != std::byte{0}) {
          problem(k, "the byte before its text (at " + std::to_string(t - 1) +
                         ") is not the NUL that ends the text before it");
        }
      }
    }
    if (k > 1 && t <= previous) {
      problem(k, "its text at " + std::to_string(t) + " does not lie after the text of entry " +
                     std::to_string(k - 1) + " at " + std::to_string(previous));
    }
    previous = t;
  }

  Result<TableEntry> first = table.Entry(1);
  if (!first.ok()) return first.status();
  if (header->count >= 1 && format::IsEndMarker(first->id)) {
    problem(1, "entry 1 is the end marker (id " + std::to_string(format::kEndMarkerId) +
                   "); the marker must follow at least one entry");
  }
  Result<std::optional<std::int32_t>> point = FindInsertionPoint(table);
  if (!point.ok()) return point.status();
  if (!*point) {
    problem(0, NoEndMarker());
  }
  // Bytes past 2 GiB lie where no 32-bit text offset can point.
  if (size > format::kMaxDatabaseSize) {
    problem(0, "the file has " + std::to_string(size) +
                   " bytes, more than the 2 GiB that 32-bit offsets " + "can address");
  }
  // What else an insertion relies on around a marker past the table. A
  // database that is merely full (no room left for one more text or id) is
  // not damaged: an insertion refuses it, but its layout is sound.
  if (!found) {
    Result<InsertionSite> site = FindInsertionSite(table, 1);
    if (!site.ok()) {
      const ErrorKind kind = site.status().kind();
      if (kind == ErrorKind::kMalformed) {
        problem(0, site.status().message());
      } else if (kind != ErrorKind::kNoRoom) {
        return site.status();
      }
    }
  }
  if (*point && findings == Findings::kAll) return CheckMissionsListed(table, **point, problem);
  return Status::Ok();
}

}  // namespace

Result<std::optional<std::int32_t>> FindInsertionPoint(TableReader& reader) {
  Result<TableHeader> header = ReadTableHeader(reader);
  if (!header.ok()) {
    if (header.status().kind() != ErrorKind::kMalformed) return header.status();
    return std::optional<std::int32_t>{};
  }
  for (std::int32_t k = 1; k <= header->count; ++k) {
    const std::int64_t next_slot = format::SlotOffset(std::int64_t{k} + 1);
    if (next_slot >= reader.size()) break;  // the rest reads as zeros, never the marker
    Result<std::int32_t> id = reader.Int32At(next_slot);
    if (!id.ok()) return id.status();
    if (format::IsEndMarker(*id)) return std::optional<std::int32_t>(k);
  }
  return std::optional<std::int32_t>{};
}

std::optional<std::int32_t> FindInsertionPoint(std::span<const std::byte> database) {
  TableReader reader(database);
  return FindInsertionPoint(reader).value();  // bytes in memory give no read error
}

Result<InsertionSite> FindInsertionSite(TableReader& reader, std::int64_t text_size) {
  Result<TableHeader> header = ReadInsertableHeader(reader);
  if (!header.ok()) return header.status();
  Result<std::int64_t> k = FindMarker(reader);
  if (!k.ok()) return k.status();
  const bool marker_past_table = *k == header->count;
  Result<TableEntry> marker = ReadMarkerEntry(reader, *k);
  if (!marker.ok()) return marker.status();
  // Texts start after the table, and after the marker's slot where that lies
  // past the table, as the slot moves with the table.
  const std::int64_t moved = header->count + (marker_past_table ? 1 : 0);
  const TextArea area{format::SlotOffset(moved + 1), reader.size(), marker_past_table};
  const std::int64_t t = marker->text_offset;
  if (Status s = CheckMarkerText(reader, t, area); !s.ok()) return s;
  if (Status s = CheckTextOffsets(reader, header->count, t, area); !s.ok()) return s;
  Result<TableEntry> predecessor = reader.Entry(*k);
  if (!predecessor.ok()) return predecessor.status();
  if (Status s = CheckRoom(reader.size(), text_size, predecessor->id); !s.ok()) return s;
  // Every position now lies inside a file that 32-bit offsets address: from
  // here on they index its bytes.
  InsertionSite site;
  site.count = static_cast<std::size_t>(header->count);
  site.k = static_cast<std::size_t>(*k);
  site.marker_text = static_cast<std::size_t>(t);
  site.predecessor = predecessor->id;
  site.marker_past_table = marker_past_table;
  site.room = static_cast<std::size_t>(format::kMaxDatabaseSize - reader.size());
  return site;
}

std::vector<LayoutProblem> CheckLayout(std::span<const std::byte> database) {
  std::vector<LayoutProblem> problems;
  TableReader table(database);
  TableReader texts(database);
  // Bytes in memory give no read error.
  (void)Check(table, texts, [&](const LayoutProblem& p) { problems.push_back(p); });
  return problems;
}

std::vector<LayoutProblem> CheckTextLayout(std::span<const std::byte> database) {
  std::vector<LayoutProblem> problems;
  TableReader table(database);
  TableReader texts(database);
  (void)Check(
      table, texts, [&](const LayoutProblem& p) { problems.push_back(p); }, Findings::kLayout);
  return problems;
}

Status CheckLayout(const std::filesystem::path& path, const ReportProblem& report, FileSystem& fs) {
  const auto doing = [&] { return "check " + DescribePath(path); };
  return OrNoMemory(doing, [&]() -> Status {
    Result<RegularFile> file = OpenRegularFile(path, OpenMode::kRead, fs);
    if (!file.ok()) return file.status();
    const int fd = file->file.fd();
    TableReader table(fs, fd, file->info.size, kCheckBlock);
    TableReader texts(fs, fd, file->info.size, kCheckBlock);
    if (Status s = Check(table, texts, report); !s.ok()) {
      return s.Within("cannot read " + DescribePath(path) + " to the end (", ")");
    }
    return Status::Ok();
  });
}
}  // namespace orva
