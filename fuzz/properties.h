// What must hold for any input to the code that reads database bytes or a
// user's text. Each check runs the library's own entry function on the input
// and says in plain words what went wrong; the fuzz targets abort on a failed
// check and the regression suite replays saved inputs through the same checks.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "database/insertion_plan.h"
#include "database/text_entry_insertion.h"
#include "storage/status.h"

namespace orva::fuzz {

// ReadMissionList on arbitrary bytes: it returns (the sanitizers watch for
// anything worse), keeps at most 1001 ids, lists at most 1000 missions, each
// a mission id with a text of at most 70 characters, and stores each listed id
// at its list position.
Status CheckMissionListRead(std::span<const std::byte> database);

// The code page both ways. Bytes without the unassigned 0x98 decode to UTF-8
// that encodes back to the same bytes; bytes with it decode to U+FFFD, which
// does not encode. Read as UTF-8, the same bytes either encode to one byte per
// character that decodes back to them, or are refused.
Status CheckCodePageRoundTrip(std::span<const std::byte> bytes);

// How an insertion is planned: PlanInsertion, or a stand-in in the tests of
// the check itself.
using Planner = Result<PlannedInsertion> (*)(std::span<const std::byte>, std::string_view);

// The planner on a database and a text, both arbitrary. Either it refuses
// with a reason and the database bytes are unchanged, or the new image has one
// entry more, the same header word, the new entry (id one above the entry
// before the marker, the text ended by a NUL) in front of the marker, every
// old entry on its old text, and a mission list that reads back as before
// plus the new text at the end where the new id is a mission the reader
// reaches. A database that passed the layout check gives an image that does,
// and is refused for its layout never.
Status CheckInsertion(std::span<const std::byte> database, std::string_view utf8_text,
                      Planner planner = &PlanInsertion);

// How a batch is planned: PlanInsertions, or a stand-in in the tests of the
// check itself.
using BatchPlanner = Result<PlannedInsertions> (*)(std::span<const std::byte>, const NewTexts&);

// The texts of `utf8_texts`, one a line, planned as one batch into an
// arbitrary database, against the same texts planned one at a time: the same
// new database and entries, or a refusal of the batch exactly when one of
// those steps refuses. Texts that a batch refuses to hold are skipped.
Status CheckBatchInsertion(std::span<const std::byte> database, std::string_view utf8_texts,
                           BatchPlanner planner = &PlanInsertions);

// The insertion target's input: one byte giving the text's length in bytes
// (cut to what follows), the text as UTF-8, then the database bytes.
struct InsertionInput {
  std::string_view utf8_text;
  std::span<const std::byte> database;
};
InsertionInput SplitInsertionInput(std::span<const std::byte> input);
std::vector<std::byte> JoinInsertionInput(std::span<const std::byte> database,
                                          std::string_view utf8_text);

// ReadPatch on arbitrary text, and what it reads applied to each database of
// PatchTargets. Every problem names a line of the input and says something.
// A patch read without problems writes out to a text that reads back to the
// same patch, and so does its reverse, whose reverse is the patch again.
// Applied to a target without problems, it gives a well-formed database with
// as many entries more as it inserts and fewer as it removes, the size it
// says, and each entry it changes or inserts holding its new text under its
// key.
Status CheckPatchRead(std::span<const std::byte> input);

// The databases patches are applied to in CheckPatchRead: small well-formed
// ones of the starting corpus, which the starting patches were made from.
std::vector<std::vector<std::byte>> PatchTargets();

// The pattern target's input: one byte giving the pattern's length in bytes
// (cut to what follows), the pattern, then a text as stored bytes.
struct PatternInput {
  std::string_view pattern;
  std::span<const std::byte> text;
};
PatternInput SplitPatternInput(std::span<const std::byte> input);
std::vector<std::byte> JoinPatternInput(std::string_view pattern, std::span<const std::byte> text);

// A pattern and a text, both arbitrary, as a regular expression in either
// case: it is refused with a reason, or it searches the text and replaces in
// it; each occurrence replaced by itself gives the text back, replaced by a
// mark gives a mark per occurrence, and there are occurrences exactly when
// it occurs. The pattern as a literal text and as a quoted regular
// expression occur in the text alike.
Status CheckPattern(std::span<const std::byte> input);

}  // namespace orva::fuzz
