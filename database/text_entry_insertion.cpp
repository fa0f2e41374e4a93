#include "database/text_entry_insertion.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <new>
#include <string>

#include "database/code_page.h"
#include "database/database_rewrite.h"
#include "database/file_system.h"
#include "database/format.h"
#include "database/layout_check.h"
#include "database/little_endian.h"
#include "database/table_reader.h"

namespace orva {
namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

std::string Str(std::int64_t v) { return std::to_string(v); }

// The new database in file order, as five pieces: only the table and the
// texts that go in reversed are made; the rest is written straight from the
// old bytes and from the batch.
struct InsertionPieces {
  // The entry count, the header word and the whole new table: the entries
  // before the new ones, the new entries, the marker and every later entry
  // (and a marker just past the table), with their text offsets corrected.
  std::vector<std::byte> table;
  // The old bytes from the end of the moved slots to the marker's text: the
  // texts before it (and any gap before the first text), moved 8 bytes on for
  // each new entry.
  std::span<const std::byte> texts_before;
  // The new texts numbered below 6000, in order, each ended by a NUL: the
  // batch as it stands. The last NUL stands for the copy of the byte before
  // the marker's text that one insertion writes: FindInsertionSite checked
  // that it is a NUL.
  std::span<const std::byte> counted_texts;
  std::vector<std::byte> reversed_texts;  // the texts numbered 6000, last first
  std::span<const std::byte> rest;        // the marker's text and everything after it
  std::vector<MissionEntry> entries;

  std::array<std::span<const std::byte>, 5> Spans() const {
    return {table, texts_before, counted_texts, reversed_texts, rest};
  }
};

// How a refusal names text `i` (from 1) of the batch.
std::string Naming(const NewTexts& texts, std::int64_t i, std::span<const std::byte> text) {
  if (texts.size() == 1) return "the new text";
  return "text " + Str(i) + " (\"" + DecodeWindows1251(text) + "\")";
}

Result<InsertionPieces> PlanPieces(std::span<const std::byte> database, const NewTexts& texts) {
  if (texts.empty()) return Status::InvalidText("there is no text to insert");
  TableReader reader(database);
  Result<InsertionSite> found = FindInsertionSite(reader, 1);
  if (!found.ok()) return found.status();
  const InsertionSite& site = *found;

  const auto size = static_cast<std::int64_t>(database.size());
  const auto m = static_cast<std::int64_t>(texts.size());
  const std::span<const std::byte> stored = texts.stored();
  const auto stored_size = static_cast<std::int64_t>(stored.size());
  const std::int64_t t = site.marker_text;
  const std::int64_t p = site.predecessor;
  // Every new entry takes a slot before the old texts, and the new texts lie
  // before the marker's.
  const std::int64_t shift = m * static_cast<std::int64_t>(format::kEntrySize);
  // The texts numbered P + 1, P + 2, ... before one would get the marker's id.
  const std::int64_t counted =
      p < format::kEndMarkerId ? std::min(m, format::kEndMarkerId - 1 - p) : m;
  // The slots to move end at or before the marker's text (FindInsertionSite
  // checked), so the new table is the old one with the new entries put in
  // after slot k. A marker just past the table moves with it.
  const std::int64_t new_slot = format::SlotOffset(site.k + 1);
  const std::int64_t table_end = format::SlotOffset(site.SlotsToMove() + 1);
  auto at = [](std::int64_t offset) { return static_cast<std::ptrdiff_t>(offset); };

  InsertionPieces pieces;
  std::vector<std::byte>& table = pieces.table;
  table.reserve(static_cast<std::size_t>(table_end + shift));
  table.insert(table.end(), database.begin(), database.begin() + at(new_slot));
  table.resize(static_cast<std::size_t>(new_slot + shift));
  table.insert(table.end(), database.begin() + at(new_slot), database.begin() + at(table_end));
  pieces.entries.reserve(texts.size());

  // Each text in order: `done` counts its bytes and those before it, with
  // their NULs. Text i makes the file L + done + 8i bytes long.
  std::int64_t done = 0;
  std::int64_t counted_bytes = 0;
  std::int64_t through_first_at_marker_id = 0;
  std::size_t from = 0;
  for (std::int64_t i = 1; i <= m; ++i) {
    const auto nul = std::find(stored.begin() + at(from), stored.end(), std::byte{0});
    const std::span<const std::byte> ended =
        stored.subspan(from, nul - stored.begin() - at(from) + 1);
    const std::span<const std::byte> text = ended.first(ended.size() - 1);
    from += ended.size();
    const std::int64_t before = done;
    done += static_cast<std::int64_t>(ended.size());
    if (size + done + format::SlotOffset(i) > kInt32Max) {
      return Status::NoRoom("the file has " + Str(size) + " bytes; with " + Naming(texts, i, text) +
                            (i > 1 ? " and the texts before it" : "") +
                            " it would pass the 2 GiB that 32-bit offsets can address");
    }
    std::int64_t id = format::kEndMarkerId;
    std::int64_t slot = 0;
    std::int64_t offset = 0;
    if (i <= counted) {
      if (p + i > kInt32Max) {
        return Status::NoRoom(Naming(texts, i, text) +
                              " would be numbered after the largest possible id (" +
                              Str(kInt32Max) + ")");
      }
      id = p + i;
      slot = site.k + i;
      offset = t + shift + before;
      counted_bytes = done;
    } else {
      // Before the texts numbered 6000 that come later in the batch.
      if (i == counted + 1) {
        pieces.reversed_texts.resize(static_cast<std::size_t>(stored_size - counted_bytes));
        through_first_at_marker_id = done;
      }
      slot = site.k + counted + (m - i + 1);
      offset = t + shift + counted_bytes + (stored_size - done);
      std::copy(ended.begin(), ended.end(), pieces.reversed_texts.begin() + at(stored_size - done));
    }
    EncodeInt32(table, static_cast<std::size_t>(format::SlotOffset(slot)),
                static_cast<std::int32_t>(id));
    EncodeInt32(table, static_cast<std::size_t>(format::TextOffsetField(slot)),
                static_cast<std::int32_t>(offset));
    pieces.entries.push_back({static_cast<std::int32_t>(id), DecodeWindows1251(text)});
  }

  // Re-point every old entry by where its text lies, which keeps each entry on
  // its own text even when texts are not in entry order.
  for (std::int64_t old_j = 1; old_j <= site.SlotsToMove(); ++old_j) {
    const std::int64_t new_j = old_j <= site.k ? old_j : old_j + m;
    const auto field = static_cast<std::size_t>(format::TextOffsetField(new_j));
    const std::int64_t offset = DecodeInt32(table, field);
    EncodeInt32(
        table, field,
        static_cast<std::int32_t>(offset < t ? offset + shift : offset + shift + stored_size));
  }
  // A marker just past the table is carried along and re-pointed up to the
  // first new entry numbered 6000. That entry then ends the list, and the
  // insertions after it find it in the table: the old marker lies past their
  // tables, moves with the texts and keeps the text offset it had then.
  if (site.marker_past_table && m > counted + 1) {
    EncodeInt32(table, static_cast<std::size_t>(format::TextOffsetField(site.k + 1 + m)),
                static_cast<std::int32_t>(t + format::SlotOffset(counted + 1) +
                                          through_first_at_marker_id));
  }
  EncodeInt32(table, format::kCountOffset, static_cast<std::int32_t>(site.count + m));

  pieces.texts_before = database.subspan(static_cast<std::size_t>(table_end),
                                         static_cast<std::size_t>(t - table_end));
  pieces.counted_texts = stored.first(static_cast<std::size_t>(counted_bytes));
  pieces.rest = database.subspan(static_cast<std::size_t>(t));
  return pieces;
}

}  // namespace

Result<PlannedInsertions> PlanInsertions(std::span<const std::byte> database,
                                         const NewTexts& texts) {
  try {
    Result<InsertionPieces> pieces = PlanPieces(database, texts);
    if (!pieces.ok()) return pieces.status();
    std::vector<std::byte> image;
    image.reserve(
        static_cast<std::size_t>(static_cast<std::int64_t>(database.size()) + texts.growth()));
    for (std::span<const std::byte> piece : pieces->Spans()) {
      image.insert(image.end(), piece.begin(), piece.end());
    }
    return PlannedInsertions{std::move(image), std::move(pieces->entries)};
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("plan the insertion");
  }
}

Result<PlannedInsertion> PlanInsertion(std::span<const std::byte> database,
                                       std::string_view utf8_text) {
  NewTexts texts;
  if (Status s = texts.Add(utf8_text); !s.ok()) return s;
  Result<PlannedInsertions> planned = PlanInsertions(database, texts);
  if (!planned.ok()) return planned.status();
  return PlannedInsertion{std::move(planned->image), std::move(planned->entries.front())};
}

Result<InsertedEntries> InsertTextEntries(FileSystem& fs, const std::filesystem::path& path,
                                          const NewTexts& texts) {
  std::vector<MissionEntry> entries;
  // Written piece by piece from the old bytes and the batch, so that only the
  // table is held twice in memory.
  Result<Rewritten> rewritten =
      RewriteDatabase(fs, path, [&](std::span<const std::byte> old) -> Result<NewContents> {
        Result<InsertionPieces> planned = PlanPieces(old, texts);
        if (!planned.ok()) return planned.status();
        entries = std::move(planned->entries);
        NewContents contents;
        contents.Add(std::move(planned->table));
        contents.Keep(planned->texts_before);
        contents.Keep(planned->counted_texts);
        contents.Add(std::move(planned->reversed_texts));
        contents.Keep(planned->rest);
        return contents;
      });
  if (!rewritten.ok()) return rewritten.status();
  return InsertedEntries{std::move(entries), std::move(rewritten->warning)};
}

Result<InsertedEntries> InsertTextEntries(const std::filesystem::path& path,
                                          const NewTexts& texts) {
  return InsertTextEntries(DefaultFileSystem(), path, texts);
}

Result<InsertedEntry> InsertTextEntry(FileSystem& fs, const std::filesystem::path& path,
                                      std::string_view utf8_text) {
  NewTexts texts;
  if (Status s = texts.Add(utf8_text); !s.ok()) return s;
  Result<InsertedEntries> inserted = InsertTextEntries(fs, path, texts);
  if (!inserted.ok()) return inserted.status();
  return InsertedEntry{std::move(inserted->entries.front()), std::move(inserted->warning)};
}

Result<InsertedEntry> InsertTextEntry(const std::filesystem::path& path,
                                      std::string_view utf8_text) {
  return InsertTextEntry(DefaultFileSystem(), path, utf8_text);
}

}  // namespace orva
