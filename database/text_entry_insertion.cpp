#include "database/text_entry_insertion.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>

#include "database/code_page.h"
#include "database/file_replacement.h"
#include "database/file_system.h"
#include "database/format.h"
#include "database/layout_check.h"
#include "database/little_endian.h"

namespace orva {
namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

std::string Str(std::int64_t v) { return std::to_string(v); }

// The number of characters in valid UTF-8 text (bytes that do not continue a
// sequence).
std::size_t CountCharacters(std::string_view utf8) {
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// The text as stored: one Windows-1251 byte per character, 1 ... 45 of them,
// no NUL (a NUL would end the text early and shift every text after it).
Result<std::vector<std::byte>> EncodeNewText(std::string_view utf8_text) {
  if (utf8_text.empty()) return Status::InvalidText("the text is empty; type 1 to 45 characters");
  Result<std::vector<std::byte>> encoded = EncodeWindows1251(utf8_text);
  if (!encoded.ok()) return encoded.status();
  const std::size_t characters = CountCharacters(utf8_text);
  if (characters > format::kMaxNewTextLength || encoded->size() > format::kMaxNewTextLength) {
    return Status::InvalidText("the text has " + Str(static_cast<std::int64_t>(characters)) +
                               " characters, more than the 45 a new entry can hold");
  }
  const auto nul = std::find(encoded->begin(), encoded->end(), std::byte{0});
  if (nul != encoded->end()) {
    return Status::InvalidText("the text holds a NUL character (U+0000) at position " +
                               Str(nul - encoded->begin() + 1) +
                               ", which cannot be stored because it ends a text");
  }
  return encoded;
}

// What the insertion needs to know of the old database, once it has been
// checked that every step stays inside the file and inside 32-bit offsets.
struct InsertionSite {
  std::int64_t count = 0;        // N
  std::int64_t k = 0;            // entry k + 1 is the end marker
  std::int64_t marker_text = 0;  // T
  std::int32_t predecessor = 0;  // P, the id of entry k
};

Result<InsertionSite> FindSite(std::span<const std::byte> db, std::int64_t text_size) {
  const auto size = static_cast<std::int64_t>(db.size());
  if (size < 8) {
    return Status::Malformed("the file is too short (" + Str(size) +
                             " bytes) to hold the entry count and the header word");
  }
  const std::int64_t count = DecodeInt32(db, format::kCountOffset);
  if (count < 1) {
    return Status::Malformed("the entry count is " + Str(count) +
                             ", so there is no entry to insert after");
  }
  const std::int64_t table_end = format::SlotOffset(count + 1);
  if (table_end > size) {
    return Status::Malformed("the entry table of " + Str(count) + " entries needs " +
                             Str(table_end) + " bytes, but the file has only " + Str(size));
  }
  const std::optional<std::int32_t> k = FindInsertionPoint(db);
  if (!k) {
    return Status::Malformed(
        "no end marker (id 6000) follows the first entry, so there is no place to insert a text");
  }
  // The mission list ends at the first marker, so a text inserted before a
  // later one would never be listed.
  if (format::IsEndMarker(DecodeInt32(db, static_cast<std::size_t>(format::SlotOffset(1))))) {
    return Status::Malformed(
        "entry 1 is the end marker (id 6000), so the mission list ends before any entry and a new "
        "text would never be listed");
  }
  const std::int64_t marker_slot = format::SlotOffset(std::int64_t{*k} + 1);
  if (marker_slot + static_cast<std::int64_t>(format::kEntrySize) > size) {
    return Status::Malformed("the end marker's entry at " + Str(marker_slot) +
                             " runs past the end of the file");
  }
  InsertionSite site;
  site.count = count;
  site.k = *k;
  site.marker_text = DecodeInt32(db, static_cast<std::size_t>(marker_slot + 4));
  site.predecessor = DecodeInt32(db, static_cast<std::size_t>(format::SlotOffset(*k)));

  const std::int64_t t = site.marker_text;
  if (t < table_end || t >= size) {
    return Status::Malformed("the end marker's text offset " + Str(t) +
                             " lies outside the text area (" + Str(table_end) + " to " +
                             Str(size - 1) + ")");
  }
  if (db[static_cast<std::size_t>(t - 1)] != std::byte{0}) {
    return Status::Malformed("the byte before the end marker's text (at " + Str(t - 1) +
                             ") is not a NUL, so the new text could not be ended properly");
  }
  // A marker just past the table is no entry of it: the new entry becomes the
  // last one, so its text must come after every text of the table.
  const bool marker_past_table = site.k == count;
  for (std::int64_t j = 1; j <= count; ++j) {
    const std::int64_t offset =
        DecodeInt32(db, static_cast<std::size_t>(format::TextOffsetField(j)));
    if (offset < table_end || offset >= size) {
      return Status::Malformed("entry " + Str(j) + " has the text offset " + Str(offset) +
                               ", outside the text area (" + Str(table_end) + " to " +
                               Str(size - 1) + "), so it cannot be corrected");
    }
    if (marker_past_table && offset >= t) {
      return Status::Malformed("the end marker lies past the entry table and entry " + Str(j) +
                               "'s text at " + Str(offset) +
                               " does not lie before the marker's text at " + Str(t) +
                               ", so the new last entry's text would come before it");
    }
  }
  if (size + text_size + 9 > kInt32Max) {
    return Status::NoRoom("the database would grow past the 2 GiB that 32-bit offsets can address");
  }
  if (site.predecessor == kInt32Max) {
    return Status::NoRoom("the entry before the end marker has the largest possible id (" +
                          Str(kInt32Max) + "), so the new entry cannot be numbered after it");
  }
  return site;
}

// The new database in file order, as four pieces: only the table is copied
// and corrected; the texts are written straight from the old bytes.
struct InsertionPieces {
  // The entry count, the header word and the whole new table: the entries
  // before the new one, the new entry, the marker and every later entry, with
  // their text offsets corrected.
  std::vector<std::byte> table;
  // The old bytes from the end of the old table to the marker's text: the
  // texts before it (and any gap before the first text), moved by 8.
  std::span<const std::byte> texts_before;
  std::vector<std::byte> text;  // S, the new text in Windows-1251
  // The byte before the marker's text (the NUL that now ends S), the marker's
  // text and everything after it, moved by s + 9.
  std::span<const std::byte> rest;
  MissionEntry entry;

  std::array<std::span<const std::byte>, 4> Spans() const {
    return {table, texts_before, text, rest};
  }
};

Result<InsertionPieces> PlanPieces(std::span<const std::byte> database,
                                   std::string_view utf8_text) {
  Result<std::vector<std::byte>> text = EncodeNewText(utf8_text);
  if (!text.ok()) return text.status();
  const auto s = static_cast<std::int64_t>(text->size());
  Result<InsertionSite> found = FindSite(database, s);
  if (!found.ok()) return found.status();
  const InsertionSite& site = *found;

  const std::int64_t t = site.marker_text;
  const std::int64_t new_slot = format::SlotOffset(site.k + 1);
  // The table ends at or before the marker's text (FindSite checked), so the
  // new table is the old one with the new entry put in at slot k + 1.
  const std::int64_t table_end = format::SlotOffset(site.count + 1);
  auto at = [](std::int64_t offset) { return static_cast<std::ptrdiff_t>(offset); };

  std::vector<std::byte> table;
  table.reserve(static_cast<std::size_t>(table_end) + format::kEntrySize);
  table.insert(table.end(), database.begin(), database.begin() + at(new_slot));
  table.resize(table.size() + format::kEntrySize);
  EncodeInt32(table, static_cast<std::size_t>(new_slot), site.predecessor + 1);
  EncodeInt32(table, static_cast<std::size_t>(new_slot + 4), static_cast<std::int32_t>(t + 8));
  table.insert(table.end(), database.begin() + at(new_slot), database.begin() + at(table_end));

  // Re-point every old entry by where its text lies, which keeps each entry on
  // its own text even when texts are not in entry order.
  for (std::int64_t old_j = 1; old_j <= site.count; ++old_j) {
    const std::int64_t new_j = old_j <= site.k ? old_j : old_j + 1;
    const auto field = static_cast<std::size_t>(format::TextOffsetField(new_j));
    const std::int64_t offset = DecodeInt32(table, field);
    EncodeInt32(table, field, static_cast<std::int32_t>(offset < t ? offset + 8 : offset + s + 9));
  }
  EncodeInt32(table, format::kCountOffset, static_cast<std::int32_t>(site.count + 1));

  InsertionPieces pieces;
  pieces.table = std::move(table);
  pieces.texts_before = database.subspan(static_cast<std::size_t>(table_end),
                                         static_cast<std::size_t>(t - table_end));
  pieces.text = std::move(text).value();
  pieces.rest = database.subspan(static_cast<std::size_t>(t - 1));
  pieces.entry = MissionEntry{site.predecessor + 1, std::string(utf8_text)};
  return pieces;
}

}  // namespace

Result<PlannedInsertion> PlanInsertion(std::span<const std::byte> database,
                                       std::string_view utf8_text) {
  Result<InsertionPieces> pieces = PlanPieces(database, utf8_text);
  if (!pieces.ok()) return pieces.status();
  std::vector<std::byte> image;
  image.reserve(database.size() + pieces->text.size() + 9);
  for (std::span<const std::byte> piece : pieces->Spans()) {
    image.insert(image.end(), piece.begin(), piece.end());
  }
  return PlannedInsertion{std::move(image), std::move(pieces->entry)};
}

Result<MissionEntry> InsertTextEntry(FileSystem& fs, const std::filesystem::path& path,
                                     std::string_view utf8_text) {
  Result<ReplaceableFile> file = PrepareReplacement(fs, path);
  if (!file.ok()) return file.status();
  Result<std::vector<std::byte>> old_bytes = fs.ReadFile(file->path);
  if (!old_bytes.ok()) return old_bytes.status();
  // Written piece by piece from the old bytes, so that only the table is held
  // twice in memory.
  Result<InsertionPieces> planned = PlanPieces(*old_bytes, utf8_text);
  if (!planned.ok()) return planned.status();
  if (Status replaced = ReplaceFile(fs, *file, planned->Spans()); !replaced.ok()) return replaced;
  return std::move(planned->entry);
}

Result<MissionEntry> InsertTextEntry(const std::filesystem::path& path,
                                     std::string_view utf8_text) {
  return InsertTextEntry(DefaultFileSystem(), path, utf8_text);
}

}  // namespace orva
