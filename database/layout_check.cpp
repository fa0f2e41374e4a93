#include "database/layout_check.h"

#include <limits>
#include <new>

#include "database/format.h"

namespace orva {
namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
// The layout check reads the file in blocks of this size, two at a time.
constexpr std::size_t kCheckBlock = 64 * 1024;

std::string Str(std::int64_t v) { return std::to_string(v); }

// Checks one database, reading the table through one reader and the texts
// through the other (each holds a block of the file). A read error ends it.
Status Check(TableReader& table, TableReader& texts, const ReportProblem& report) {
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
      problem(k, "its text offset " + Str(t) + " lies inside the entry table, which ends at " +
                     Str(table_end));
    } else if (t >= size) {
      problem(k, "its text offset " + Str(t) + " lies past the end of the file (" + Str(size) +
                     " bytes)");
    } else {
      if (t > *last_nul) {
        problem(k, "its text at " + Str(t) + " is not ended by a NUL before the end of the file");
      }
      if (k > 1) {
        Result<std::byte> before = texts.ByteAt(t - 1);
        if (!before.ok()) return before.status();
        if (*before != std::byte{0}) {
          problem(k, "the byte before its text (at " + Str(t - 1) +
                         ") is not the NUL that ends the text before it");
        }
      }
    }
    if (k > 1 && t <= previous) {
      problem(k, "its text at " + Str(t) + " does not lie after the text of entry " + Str(k - 1) +
                     " at " + Str(previous));
    }
    previous = t;
  }

  Result<TableEntry> first = table.Entry(1);
  if (!first.ok()) return first.status();
  if (header->count >= 1 && format::IsEndMarker(first->id)) {
    problem(1, "entry 1 is the end marker (id 6000); the marker must follow at least one entry");
  }
  Result<std::optional<std::int32_t>> point = FindInsertionPoint(table);
  if (!point.ok()) return point.status();
  if (!*point) {
    problem(0,
            "no end marker (id 6000) follows the first entry, so there is no place to insert a "
            "text");
  }
  // Bytes past 2 GiB lie where no 32-bit text offset can point.
  if (size > kInt32Max) {
    problem(0, "the file has " + Str(size) + " bytes, more than the 2 GiB that 32-bit offsets " +
                   "can address");
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
  const std::int64_t size = reader.size();
  Result<TableHeader> header = ReadTableHeader(reader);
  if (!header.ok()) return header.status();
  if (header->count < 1) {
    return Status::Malformed("the entry count is " + Str(header->count) +
                             ", so there is no entry to insert after");
  }
  if (Status fits = CheckTableFits(*header, size); !fits.ok()) return fits;
  Result<std::optional<std::int32_t>> point = FindInsertionPoint(reader);
  if (!point.ok()) return point.status();
  if (!*point) {
    return Status::Malformed(
        "no end marker (id 6000) follows the first entry, so there is no place to insert a text");
  }
  // The mission list ends at the first marker, so a text inserted before a
  // later one would never be listed.
  Result<TableEntry> first = reader.Entry(1);
  if (!first.ok()) return first.status();
  if (format::IsEndMarker(first->id)) {
    return Status::Malformed(
        "entry 1 is the end marker (id 6000), so the mission list ends before any entry and a new "
        "text would never be listed");
  }
  InsertionSite site;
  site.count = header->count;
  site.k = **point;
  site.marker_past_table = site.k == site.count;
  const std::int64_t marker_slot = format::SlotOffset(site.k + 1);
  if (marker_slot + static_cast<std::int64_t>(format::kEntrySize) > size) {
    return Status::Malformed("the end marker's entry at " + Str(marker_slot) +
                             " runs past the end of the file");
  }
  Result<TableEntry> marker = reader.Entry(site.k + 1);
  if (!marker.ok()) return marker.status();
  Result<TableEntry> predecessor = reader.Entry(site.k);
  if (!predecessor.ok()) return predecessor.status();
  site.marker_text = marker->text_offset;
  site.predecessor = predecessor->id;

  // Texts start after the table, and after the marker's slot where that lies
  // past the table, as the slot moves with the table.
  const std::int64_t texts_start = format::SlotOffset(site.SlotsToMove() + 1);
  const std::string area =
      (site.marker_past_table ? "the text area after the end marker's entry past the table ("
                              : "the text area (") +
      Str(texts_start) + " to " + Str(size - 1) + ")";
  const std::int64_t t = site.marker_text;
  if (t < texts_start || t >= size) {
    return Status::Malformed("the end marker's text offset " + Str(t) + " lies outside " + area);
  }
  Result<std::byte> before = reader.ByteAt(t - 1);
  if (!before.ok()) return before.status();
  if (*before != std::byte{0}) {
    return Status::Malformed("the byte before the end marker's text (at " + Str(t - 1) +
                             ") is not a NUL, so the new text could not be ended properly");
  }
  for (std::int64_t j = 1; j <= site.count; ++j) {
    Result<std::int32_t> offset = reader.Int32At(format::TextOffsetField(j));
    if (!offset.ok()) return offset.status();
    if (*offset < texts_start || *offset >= size) {
      return Status::Malformed("entry " + Str(j) + " has the text offset " + Str(*offset) +
                               ", outside " + area + ", so it cannot be corrected");
    }
    // The new entry becomes the last one of the table, so its text must come
    // after every text of the table.
    if (site.marker_past_table && *offset >= t) {
      return Status::Malformed("the end marker lies past the entry table and entry " + Str(j) +
                               "'s text at " + Str(*offset) +
                               " does not lie before the marker's text at " + Str(t) +
                               ", so the new last entry's text would come before it");
    }
  }
  if (size + text_size + 9 > kInt32Max) {
    return Status::NoRoom("the file has " + Str(size) + " bytes; with a new text it would pass " +
                          "the 2 GiB that 32-bit offsets can address");
  }
  if (site.predecessor == kInt32Max) {
    return Status::NoRoom("the entry before the end marker has the largest possible id (" +
                          Str(kInt32Max) + "), so the new entry cannot be numbered after it");
  }
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

Status CheckLayout(FileSystem& fs, const std::filesystem::path& path, const ReportProblem& report) {
  try {
    Result<RegularFile> file = OpenRegularFile(fs, path, OpenMode::kRead);
    if (!file.ok()) return file.status();
    const int fd = file->file.fd();
    TableReader table(fs, fd, file->info.size, kCheckBlock);
    TableReader texts(fs, fd, file->info.size, kCheckBlock);
    if (Status s = Check(table, texts, report); !s.ok()) {
      return Status::Io("cannot read " + DescribePath(path) + " to the end (" + s.message() + ")");
    }
    return Status::Ok();
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("check " + DescribePath(path));
  }
}

Status CheckLayout(const std::filesystem::path& path, const ReportProblem& report) {
  return CheckLayout(DefaultFileSystem(), path, report);
}

}  // namespace orva
