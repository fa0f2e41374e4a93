// What the editor shows, the same in every view: the cells of a row and how
// they read aloud, the comparison's marks with their colours, the words of
// its dialogs, and counts as people read them ("970,017 entries"). A view
// draws these; it makes up none of its own. Plain C++: no toolkit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/format.h"
#include "window/sentences.h"

namespace orva {

// The table's columns, in order. Problems and Reference say something only
// with checks to show and a reference open; a view may hide them otherwise
// (EditorCommands::has_reference).
enum class EditorColumn { kSlot, kId, kKind, kImage, kBytes, kProblems, kReference, kText };
inline constexpr int kEditorColumnCount = 8;
// The column's heading: "Slot", "ID", "Kind", "Image", "Bytes", "Problems",
// "Reference", "Text".
std::string_view ColumnTitle(EditorColumn column);

// What the main window makes of an entry (format::KindOf): a mission it
// lists, the end marker (new missions go before it), anything else (an id
// below 5000, or what follows the marker), or a mission id past table slot
// 1000, which the main window never reads.
using RowKind = format::EntryKind;
// "mission", "end marker", "other", "unlisted mission".
std::string_view RowKindName(RowKind kind);

// How a row stands against the database compared with (Compare): an entry
// added or changed since, or one that only the database compared with has,
// shown where it was. Or, beside a reference, an entry that only the
// reference has (View ▸ Only in the Reference).
enum class RowMark { kNone, kAdded, kChanged, kRemoved, kOnlyInReference };

// A run of characters of a row's text that the filter matches.
struct TextRun {
  std::size_t first = 0;  // in characters (each one UTF-16 unit as well)
  std::size_t length = 0;
};

struct EditorRow {
  // The table slot, from 1; 0 for a removed entry or one only the reference
  // has, which have none here.
  std::size_t slot = 0;
  std::int32_t id = 0;
  RowKind kind = RowKind::kOther;
  std::string image;      // "shot003.bmp" for a mission of either kind, else empty
  std::size_t bytes = 0;  // the text's length as stored, without its NUL
  // With control characters drawn as symbols; a removed entry's as it was;
  // empty for an entry only the reference has.
  std::string text;
  RowMark mark = RowMark::kNone;
  std::vector<TextRun> matches;  // where the filter's text occurs in `text`, left to right
  // The reference's text for the entry (drawn as `text` is), where a
  // reference is open and has a partner for it.
  std::optional<std::string> reference;
  // What the checks find in the text: how many, and the worst of them
  // (an error before a warning), by its check's name.
  std::size_t problems = 0;
  bool error = false;
  std::string worst;  // "too long"; empty without problems
  // Whether the checks have seen the text yet: a pass checks a million
  // entries over seconds, and a row not yet checked has no findings to show.
  bool checked = true;
};

// A stored text as the editor shows it: every character of the code page
// as itself, the bytes without one drawn as their symbols (a tab as ␉, a
// line feed as ␊, 0x98 as �).
std::string VisibleText(std::span<const std::byte> stored);
// The characters a text typed with those symbols stands for: each symbol
// back to its character (0x98 as U+0098), a byte that is not UTF-8 as
// U+FFFD. What the checks see of a text before it is stored.
std::u32string CharactersFromVisible(std::string_view typed);

// The details pane's findings, a line each under "Findings:", errors first
// as the logic gives them; "Findings: no problems" for none.
std::string FindingsText(const std::vector<std::string>& findings);
// Whether the row is an entry of this database's, whose text may be edited:
// not a removed entry, nor one that only the reference has.
inline bool IsEditable(const EditorRow& row) { return row.slot != 0; }
// A cell as the table draws it: "" for a removed entry's slot, "mission,
// added" for the kind of a row the comparison marks, "" for the bytes of an
// entry only the reference has.
std::string CellText(const EditorRow& row, EditorColumn column);
// A cell as a screen reader reads it and its tooltip shows it: an empty
// cell says "none", the text cell holds the whole text ("not in this file"
// for an entry only the reference has).
std::string CellReading(const EditorRow& row, EditorColumn column);

// A mark's name and background, pale enough to keep the text readable
// under either palette's selection.
struct MarkLook {
  std::string_view name;  // "added", "changed", "removed", "only in the reference"; empty for none
  std::uint8_t red = 255, green = 255, blue = 255;
};
MarkLook LookOf(RowMark mark);
// The background of a Problems cell: an error's, a warning's.
MarkLook ProblemLook(bool error);
// The background of the filter's matches in the Text column.
inline constexpr MarkLook kMatchLook{"match", 255, 225, 140};

// The words of the editor's controls and dialogs, with their mnemonics.
namespace editor_words {
inline constexpr std::string_view kProgram = "ORVA Editor";
inline constexpr std::string_view kFilterLabel = "Fil&ter:";
inline constexpr std::string_view kFilterHint = "id, image name or text (Ctrl+F)";
inline constexpr std::string_view kTextLabel = "&Text:";
inline constexpr std::string_view kDetailsLabel = "&Details:";
inline constexpr std::string_view kApply = "A&pply";
inline constexpr std::string_view kAddMissionTitle = "Add a mission";
inline constexpr std::string_view kAddMissionLabel = "&Text of the new mission:";
inline constexpr std::string_view kAdd = "&Add";
inline constexpr std::string_view kReplaceTitle = "Find and Replace";
inline constexpr std::string_view kFindLabel = "&Find:";
inline constexpr std::string_view kReplacementLabel = "Replace &with:";
inline constexpr std::string_view kRegex = "Regular e&xpression";
inline constexpr std::string_view kMatchCase = "Match &case";
inline constexpr std::string_view kReplaceAll = "Replace &All";
inline constexpr std::string_view kReferenceLabel = "Reference:";
inline constexpr std::string_view kFindingsLabel = "Findings:";
}  // namespace editor_words

}  // namespace orva
