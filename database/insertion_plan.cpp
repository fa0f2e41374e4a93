#include "database/insertion_plan.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>

#include "database/code_page.h"
#include "database/format.h"
#include "database/layout_check.h"
#include "database/little_endian.h"
#include "database/table_reader.h"
#include "storage/no_memory.h"
#include "storage/quote.h"

namespace orva {
namespace {

// How many of `m` texts numbered on from `p` (P + 1, P + 2, ...) get ids
// below the marker's; the rest get the marker's id.
std::size_t CountedTexts(std::int64_t p, std::size_t m) {
  if (p >= format::kEndMarkerId) return m;
  const auto free_ids = static_cast<std::size_t>(format::kEndMarkerId - 1 - p);
  return std::min(m, free_ids);
}

// Writes an id or an offset that the checks keep within 32 bits.
void Put(std::span<std::byte> table, std::size_t at, std::integral auto value) {
  EncodeInt32(table, at, static_cast<std::int32_t>(value));
}

// Plans a batch on a site FindInsertionSite has checked, in small steps that
// fill in the pieces. Positions are indexes into the old bytes and the new
// image; ids are signed.
class InsertionPlanner {
 public:
  InsertionPlanner(std::span<const std::byte> database, const NewTexts& texts,
                   const InsertionSite& site)
      : database_(database),
        site_(site),
        m_(texts.size()),
        stored_(texts.stored()),
        shift_(format::SlotOffset(m_)),
        counted_(CountedTexts(site.predecessor, m_)),
        table_end_(format::SlotOffset(site.SlotsToMove() + 1)) {}

  Result<InsertionPieces> Plan() {
    CopyTable();
    if (Status s = PlaceNewEntries(); !s.ok()) return s;
    RepointOldEntries();
    CarryMarkerPastTable();
    Put(pieces_.table, format::kCountOffset, site_.count + m_);
    const std::size_t t = site_.marker_text;
    pieces_.texts_before = database_.subspan(table_end_, t - table_end_);
    pieces_.counted_texts = stored_.first(counted_bytes_);
    pieces_.rest = database_.subspan(t);
    pieces_.site = site_;
    return std::move(pieces_);
  }

 private:
  // The slots to move end at or before the marker's text (FindInsertionSite
  // checked), so the new table is the old one with room for the new entries
  // after slot k. A marker just past the table moves with it.
  void CopyTable() {
    const std::size_t new_slot = format::SlotOffset(site_.k + 1);
    std::vector<std::byte>& table = pieces_.table;
    table.reserve(table_end_ + shift_);
    table.assign(database_.begin(), database_.begin() + new_slot);
    table.resize(new_slot + shift_);
    table.insert(table.end(), database_.begin() + new_slot, database_.begin() + table_end_);
  }

  // Each text in order, with `done` counting its bytes and those before it,
  // with their NULs: text i makes the file L + done + 8i bytes long.
  Status PlaceNewEntries() {
    pieces_.entries.reserve(m_);
    std::size_t done = 0;
    for (std::size_t i = 1; i <= m_; ++i) {
      const auto nul = std::find(stored_.begin() + done, stored_.end(), std::byte{0});
      const std::span<const std::byte> ended =
          stored_.subspan(done, nul - stored_.begin() - done + 1);
      const std::size_t before = done;
      done += ended.size();
      if (Status s = PlaceNewEntry(i, ended, before, done); !s.ok()) return s;
    }
    return Status::Ok();
  }

  Status PlaceNewEntry(std::size_t i, std::span<const std::byte> ended, std::size_t before,
                       std::size_t done) {
    const std::span<const std::byte> text = ended.first(ended.size() - 1);
    if (done + format::SlotOffset(i) > site_.room) {
      return Status::NoRoom("the file has " + std::to_string(database_.size()) + " bytes; with " +
                            Naming(i, text) + (i > 1 ? " and the texts before it" : "") +
                            " it would pass the 2 GiB that 32-bit offsets can address");
    }
    const Placed placed =
        i <= counted_ ? PlaceCounted(i, before, done) : PlaceAtMarkerId(i, ended, done);
    if (placed.id > format::kMaxId) {
      return Status::NoRoom(Naming(i, text) + " would be numbered after the largest possible id (" +
                            std::to_string(format::kMaxId) + ")");
    }
    Put(pieces_.table, format::SlotOffset(placed.slot), placed.id);
    Put(pieces_.table, format::TextOffsetField(placed.slot), placed.offset);
    pieces_.entries.push_back({static_cast<std::int32_t>(placed.id), DecodeWindows1251(text)});
    pieces_.table_slots.push_back(placed.slot);
    return Status::Ok();
  }

  struct Placed {
    std::int64_t id = 0;
    std::size_t slot = 0;
    std::size_t offset = 0;
  };

  // Text i numbered below 6000: its entry follows entry k and those before
  // it, numbered on from P, and its text lies after theirs, from the marker's
  // old place on.
  Placed PlaceCounted(std::size_t i, std::size_t before, std::size_t done) {
    counted_bytes_ = done;
    return {site_.predecessor + static_cast<std::int64_t>(i), site_.k + i,
            site_.marker_text + shift_ + before};
  }

  // Text i numbered 6000: it goes in before the entries and texts numbered
  // 6000 that come later in the batch, so these stand last first.
  Placed PlaceAtMarkerId(std::size_t i, std::span<const std::byte> ended, std::size_t done) {
    if (i == counted_ + 1) {
      pieces_.reversed_texts.resize(stored_.size() - counted_bytes_);
      through_first_at_marker_id_ = done;
    }
    const std::size_t after = stored_.size() - done;  // the bytes of the texts after it
    std::copy(ended.begin(), ended.end(), pieces_.reversed_texts.begin() + after);
    return {format::kEndMarkerId, site_.k + counted_ + (m_ - i + 1),
            site_.marker_text + shift_ + counted_bytes_ + after};
  }

  // Re-points every old entry by where its text lies, which keeps each entry
  // on its own text even when texts are not in entry order. FindInsertionSite
  // checked that every text offset lies inside the file.
  void RepointOldEntries() {
    const std::size_t t = site_.marker_text;
    for (std::size_t old_j = 1; old_j <= site_.SlotsToMove(); ++old_j) {
      const std::size_t new_j = old_j <= site_.k ? old_j : old_j + m_;
      const std::size_t field = format::TextOffsetField(new_j);
      const auto offset = static_cast<std::size_t>(DecodeInt32(pieces_.table, field));
      Put(pieces_.table, field, offset < t ? offset + shift_ : offset + shift_ + stored_.size());
    }
  }

  // A marker just past the table is carried along and re-pointed up to the
  // first new entry numbered 6000. That entry then ends the list, and the
  // insertions after it find it in the table: the old marker lies past their
  // tables, moves with the texts and keeps the text offset it had then.
  void CarryMarkerPastTable() {
    if (site_.marker_past_table && m_ > counted_ + 1) {
      Put(pieces_.table, format::TextOffsetField(site_.k + 1 + m_),
          site_.marker_text + format::SlotOffset(counted_ + 1) + through_first_at_marker_id_);
    }
  }

  // How a refusal names text `i` (from 1) of the batch.
  std::string Naming(std::size_t i, std::span<const std::byte> text) const {
    if (m_ == 1) return "the new text";
    return "text " + std::to_string(i) + " (" + QuoteText(DecodeWindows1251(text)) + ")";
  }

  std::span<const std::byte> database_;
  const InsertionSite& site_;
  const std::size_t m_;                      // the number of new texts
  const std::span<const std::byte> stored_;  // the new texts, each ended by a NUL
  // Every new entry takes a slot before the old texts, and the new texts lie
  // before the marker's.
  const std::size_t shift_;
  const std::size_t counted_;      // the texts numbered below 6000
  const std::size_t table_end_;    // the end of the old slots that move
  std::size_t counted_bytes_ = 0;  // the counted texts' bytes, with their NULs
  std::size_t through_first_at_marker_id_ = 0;
  InsertionPieces pieces_;
};

// Whether the texts of the batch lie at `at` as an insertion at `site` puts
// them: those numbered below 6000 in order, then the others last first.
bool InsertedTextsAt(std::span<const std::byte> database, std::size_t at, const InsertionSite& site,
                     const NewTexts& texts) {
  std::vector<std::span<const std::byte>> ended;  // each text with its NUL
  for (std::span<const std::byte> rest = texts.stored(); !rest.empty();) {
    const auto nul = std::find(rest.begin(), rest.end(), std::byte{0});
    ended.push_back(rest.first(static_cast<std::size_t>(nul - rest.begin()) + 1));
    rest = rest.subspan(ended.back().size());
  }
  const std::size_t counted = CountedTexts(site.predecessor, ended.size());
  std::reverse(ended.begin() + static_cast<std::ptrdiff_t>(counted), ended.end());
  for (std::span<const std::byte> text : ended) {
    if (!std::equal(text.begin(), text.end(), database.begin() + static_cast<std::ptrdiff_t>(at))) {
      return false;
    }
    at += text.size();
  }
  return true;
}

}  // namespace

Result<InsertionPieces> PlanInsertionPieces(std::span<const std::byte> database,
                                            const NewTexts& texts) {
  if (texts.empty()) return Status::InvalidText("there is no text to insert");
  TableReader reader(database);
  Result<InsertionSite> site = FindInsertionSite(reader, 1);
  if (!site.ok()) return site.status();
  return InsertionPlanner(database, texts, *site).Plan();
}

Result<PlannedInsertions> PlanInsertions(std::span<const std::byte> database,
                                         const NewTexts& texts) {
  return OrNoMemory("plan the insertion", [&]() -> Result<PlannedInsertions> {
    Result<InsertionPieces> pieces = PlanInsertionPieces(database, texts);
    if (!pieces.ok()) return pieces.status();
    std::vector<std::byte> image;
    image.reserve(database.size() + static_cast<std::size_t>(texts.growth()));
    for (std::span<const std::byte> piece : pieces->Spans()) {
      image.insert(image.end(), piece.begin(), piece.end());
    }
    return PlannedInsertions{std::move(image), std::move(pieces->entries), pieces->site};
  });
}

Result<PlannedInsertion> PlanInsertion(std::span<const std::byte> database,
                                       std::string_view utf8_text) {
  NewTexts texts;
  if (Status s = texts.Add(utf8_text); !s.ok()) return s;
  Result<PlannedInsertions> planned = PlanInsertions(database, texts);
  if (!planned.ok()) return planned.status();
  return PlannedInsertion{std::move(planned->image), std::move(planned->entries.front())};
}

Result<NewContents> PlanInsertionUndo(std::span<const std::byte> database,
                                      const InsertionSite& site, const NewTexts& texts) {
  const std::size_t m = texts.size();
  const std::span<const std::byte> stored = texts.stored();
  const std::size_t shift = format::SlotOffset(m);
  const std::size_t t = site.marker_text;
  const std::size_t old_table_end = format::SlotOffset(site.SlotsToMove() + 1);
  // The new entries and their texts stand where the insertion put them.
  const bool as_left =
      m > 0 && old_table_end <= t && t + shift + stored.size() <= database.size() &&
      static_cast<std::size_t>(DecodeInt32(database, format::kCountOffset)) == site.count + m &&
      InsertedTextsAt(database, t + shift, site, texts);
  if (!as_left) {
    return Status::InvalidText(
        "the database is not the one the insertion made, so its texts are not taken out");
  }
  const auto at = [](std::size_t offset) { return static_cast<std::ptrdiff_t>(offset); };
  std::vector<std::byte> table(database.begin(),
                               database.begin() + at(format::SlotOffset(site.k + 1)));
  table.insert(table.end(), database.begin() + at(format::SlotOffset(site.k + 1 + m)),
               database.begin() + at(old_table_end + shift));
  Put(table, format::kCountOffset, site.count);
  for (std::size_t j = 1; j <= site.SlotsToMove(); ++j) {
    const std::size_t field = format::TextOffsetField(j);
    const auto offset = static_cast<std::size_t>(DecodeInt32(table, field));
    Put(table, field, offset < t + shift ? offset - shift : offset - shift - stored.size());
  }
  // Carried along only up to the first text numbered 6000: it had T.
  if (site.marker_past_table) Put(table, format::TextOffsetField(site.k + 1), t);

  NewContents contents;
  contents.Add(std::move(table));
  contents.Keep(database.subspan(old_table_end + shift, t - old_table_end));
  contents.Keep(database.subspan(t + shift + stored.size()));
  return contents;
}

}  // namespace orva
