// How orva-cli writes its results: tab-separated lines with escaped texts,
// or JSON documents.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <nlohmann/json_fwd.hpp>
#include <span>
#include <string>
#include <string_view>

#include "database/layout_check.h"
#include "database/mission_list.h"
#include "review/database_review.h"
#include "review/text_checks.h"

namespace orva::cli {

// Makes a text safe for one line of a terminal or a tab-separated file: a
// backslash becomes \\, a tab \t, a line feed \n, a carriage return \r, and
// each byte of any other control character (below 0x20, DEL, and U+0080 ...
// U+009F, which UTF-8 writes as two bytes) \xHH with two lowercase hex digits.
// Everything else, invalid UTF-8 included, is kept as it is, so that
// `printf '%b'` gives the text back byte for byte.
std::string EscapeText(std::string_view text);

// Says `reason` on standard error as orva-cli says every refusal and
// warning: "orva-cli: " and the reason escaped as a text, on a line.
void Say(std::ostream& err, std::string_view reason);

// A path as it appears in a message or a line of output: escaped as a text.
std::string ShowPath(const std::filesystem::path& path);

// ID<TAB>IMAGE<TAB>TEXT and a line feed.
std::string MissionLine(const MissionEntry& mission);

// DATABASE: entry K: PROBLEM (without "entry K: " for the file as a whole).
std::string ProblemLine(const std::filesystem::path& database, const LayoutProblem& problem);

// JSON whose objects keep their keys in the order written, as the
// documentation shows them.
using json = nlohmann::ordered_json;

// `value` as orva-cli writes JSON: an indent of `indent` spaces (-1: all on
// one line), other than ASCII as UTF-8. Texts are valid UTF-8 (the library
// decodes them from Windows-1251 or took them as valid UTF-8), but a
// malformed byte must never make the output fail: it becomes U+FFFD.
std::string DumpJson(const json& value, int indent = 2);

// A whole document: DumpJson and a line feed.
std::string JsonDocument(const json& document);

// `value` as a member of an array that is itself a member of the document's
// object: each of its lines indented by four spaces.
std::string JsonArrayMember(const json& value);

// The JSON documents, each ended by a line feed:
//   {"missions": [{"id": 5001, "image": "shot001.bmp", "text": "..."}, ...]}
//   {"well_formed": false, "problems": [{"entry": 2 or null, "problem": "..."}, ...]}
//   {"inserted": [{"id": 5002, "image": "shot002.bmp", "text": "...", "mission": true}, ...]}
// well_formed is true only for a file read whole (`read_whole`) without
// problems; "mission" tells whether the window lists the entry in its table
// slot (`table_slots`, one per entry).
std::string MissionsJson(std::span<const MissionEntry> missions);
// check's document once the texts are checked too:
//   {"well_formed": true, "problems": [], "findings": [{"slot", "id", "check",
//    "name", "severity", "message", "span": {"from", "to"} or null}, ...],
//    "errors": 0, "warnings": 0, "progress": {"missions": {"translated",
//    "entries"}, "others": {...}, "only_in_database", "only_in_reference"}
//    or null without a reference}
std::string CheckedJson(std::span<const Finding> findings, const DatabaseReview& review);

// DATABASE: entry K (id ID): SEVERITY: CHECK: MESSAGE
std::string FindingLine(const std::filesystem::path& database, const Finding& finding);
// DATABASE: E errors, W warnings; and with a reference
// DATABASE: translated: missions N of M, others N of M; A only in this file, B only in the
// reference
std::string ReviewSummary(const std::filesystem::path& database, const DatabaseReview& review);
std::string ProblemsJson(std::span<const LayoutProblem> problems, bool read_whole);
std::string InsertedJson(std::span<const MissionEntry> inserted,
                         std::span<const std::size_t> table_slots);

}  // namespace orva::cli
