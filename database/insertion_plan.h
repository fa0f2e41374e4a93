// The insertion of texts planned over a database's bytes, without a file:
// what InsertTextEntries writes, and what the tests and fuzz checks compare
// with the literal steps of the format (docs/format.md).
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "database/mission_list.h"
#include "database/new_texts.h"
#include "database/status.h"

namespace orva {

// Inserting one text, with k the entry before the end marker, T the marker's
// text offset and S the s bytes of the text in Windows-1251:
//   - the new entry (id of entry k + 1, text offset T + 8) takes slot k + 1;
//     the marker and every later entry move one slot on;
//   - the text area is moved 8 bytes on, and S is placed at T + 8, ended by a
//     copy of the byte before the marker's text (the NUL ending the text
//     before it), so the marker's text and everything after it land at
//     T + s + 9;
//   - texts lying before T are re-pointed by +8, texts at or after T by
//     +s + 9; the entry count grows by one; the header word is never changed.
// A marker just past the table (slot N + 1) moves one slot on like the entries
// and its text offset is corrected too, so that later insertions find it.
//
// Several texts give, byte for byte, what inserting them one after the other
// gives, planned at once: the new entries follow entry k in the order of the
// texts, numbered on from its id, and their texts lie one after the other
// before the marker's. Once a new entry gets the marker's id 6000 (numbered
// after 5999), it ends the mission list, and each later text goes in just
// before the entry made before it, as id 6000 again: from there on the new
// entries and their texts stand in the reverse order of the texts.

struct PlannedInsertions {
  std::vector<std::byte> image;       // the whole new database
  std::vector<MissionEntry> entries;  // the new entries, in the order of the texts
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

}  // namespace orva
