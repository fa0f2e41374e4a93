// The insertion of texts planned over a database's bytes, without a file:
// what InsertTextEntries writes, and what the tests and fuzz checks compare
// with the literal steps of the format (docs/format.md).
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "database/layout_check.h"
#include "database/mission_list.h"
#include "database/new_texts.h"
#include "storage/database_rewrite.h"
#include "storage/status.h"

namespace orva {

// The steps, for one text and for several, are those of docs/format.md
// ("Inserting a text"); a marker just past the table moves and is re-pointed
// like the entries, so that later insertions find it.

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
  std::vector<std::size_t> table_slots;  // the table slot of each entry
  InsertionSite site;

  std::array<std::span<const std::byte>, 5> Spans() const {
    return {table, texts_before, counted_texts, reversed_texts, rest};
  }
};

// Plans the insertion as those pieces, refusing as PlanInsertions does:
// what InsertTextEntries writes without making the whole image.
Result<InsertionPieces> PlanInsertionPieces(std::span<const std::byte> database,
                                            const NewTexts& texts);

struct PlannedInsertions {
  std::vector<std::byte> image;       // the whole new database
  std::vector<MissionEntry> entries;  // the new entries, in the order of the texts
  InsertionSite site;                 // where they went in, for PlanInsertionUndo
};

// Plans the insertion of the texts into `database` without touching any file.
// Refuses, with the reason in plain words, an empty batch, a database whose
// layout the steps above rely on is broken (FindInsertionSite), and a text
// that would take the file past the 2 GiB of its 32-bit offsets or be
// numbered past the largest id; the reason names that text and its place
// (from 1) when there are several.
Result<PlannedInsertions> PlanInsertions(std::span<const std::byte> database,
                                         const NewTexts& texts);

struct PlannedInsertion {
  std::vector<std::byte> image;  // the whole new database
  MissionEntry entry;            // the new entry: its id and its text (UTF-8, as inserted)
};

// The same for one text, refused as well on the rules of NewTexts::Add.
Result<PlannedInsertion> PlanInsertion(std::span<const std::byte> database,
                                       std::string_view utf8_text);

// Takes the texts of an insertion out again: given the database that
// PlanInsertions made with `texts` at `site`, byte for byte the database it
// was made from. Their entries leave slots k + 1 ... k + m and their texts
// the place before the marker's text; every text offset the insertion moved
// moves back, and a marker just past the table gets its old text offset T.
// Refuses a database whose count, table or texts are not those the insertion
// left.
Result<NewContents> PlanInsertionUndo(std::span<const std::byte> database,
                                      const InsertionSite& site, const NewTexts& texts);

}  // namespace orva
