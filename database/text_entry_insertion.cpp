#include "database/text_entry_insertion.h"

#include <algorithm>
#include <array>
#include <cstdint>
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

// The new database in file order, as four pieces: only the table is copied
// and corrected; the texts are written straight from the old bytes.
struct InsertionPieces {
  // The entry count, the header word and the whole new table: the entries
  // before the new one, the new entry, the marker and every later entry (and
  // a marker just past the table), with their text offsets corrected.
  std::vector<std::byte> table;
  // The old bytes from the end of the moved slots to the marker's text: the
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
  TableReader reader(database);
  Result<InsertionSite> found = FindInsertionSite(reader, s);
  if (!found.ok()) return found.status();
  const InsertionSite& site = *found;

  const std::int64_t t = site.marker_text;
  const std::int64_t new_slot = format::SlotOffset(site.k + 1);
  // The slots to move end at or before the marker's text (FindInsertionSite
  // checked), so the new table is the old one with the new entry put in at
  // slot k + 1. A marker just past the table moves and is re-pointed with it.
  const std::int64_t table_end = format::SlotOffset(site.SlotsToMove() + 1);
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
  for (std::int64_t old_j = 1; old_j <= site.SlotsToMove(); ++old_j) {
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
  try {
    Result<InsertionPieces> pieces = PlanPieces(database, utf8_text);
    if (!pieces.ok()) return pieces.status();
    std::vector<std::byte> image;
    image.reserve(database.size() + pieces->text.size() + 9);
    for (std::span<const std::byte> piece : pieces->Spans()) {
      image.insert(image.end(), piece.begin(), piece.end());
    }
    return PlannedInsertion{std::move(image), std::move(pieces->entry)};
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("plan the insertion");
  }
}

Result<InsertedEntry> InsertTextEntry(FileSystem& fs, const std::filesystem::path& path,
                                      std::string_view utf8_text) {
  MissionEntry entry;
  // Written piece by piece from the old bytes, so that only the table is held
  // twice in memory.
  Result<Rewritten> rewritten =
      RewriteDatabase(fs, path, [&](std::span<const std::byte> old) -> Result<NewContents> {
        Result<InsertionPieces> planned = PlanPieces(old, utf8_text);
        if (!planned.ok()) return planned.status();
        entry = std::move(planned->entry);
        NewContents contents;
        contents.Add(std::move(planned->table));
        contents.Keep(planned->texts_before);
        contents.Add(std::move(planned->text));
        contents.Keep(planned->rest);
        return contents;
      });
  if (!rewritten.ok()) return rewritten.status();
  return InsertedEntry{std::move(entry), std::move(rewritten->warning)};
}

Result<InsertedEntry> InsertTextEntry(const std::filesystem::path& path,
                                      std::string_view utf8_text) {
  return InsertTextEntry(DefaultFileSystem(), path, utf8_text);
}

}  // namespace orva
