// What the editor shows, the same in every view: the cells of a row and how
// they read aloud, the comparison's marks with their colours, the words of
// its dialogs, and counts as people read them ("970,017 entries"). A view
// draws these; it makes up none of its own. Plain C++: no toolkit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "database/format.h"
#include "window/sentences.h"

namespace orva {

// The table's columns, in order.
enum class EditorColumn { kSlot, kId, kKind, kImage, kBytes, kText };
inline constexpr int kEditorColumnCount = 6;
// The column's heading: "Slot", "ID", "Kind", "Image", "Bytes", "Text".
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
// shown where it was.
enum class RowMark { kNone, kAdded, kChanged, kRemoved };

// A run of characters of a row's text that the filter matches.
struct TextRun {
  std::size_t first = 0;  // in characters (each one UTF-16 unit as well)
  std::size_t length = 0;
};

struct EditorRow {
  // The table slot, from 1; 0 for a removed entry, which has none here.
  std::size_t slot = 0;
  std::int32_t id = 0;
  RowKind kind = RowKind::kOther;
  std::string image;      // "shot003.bmp" for a mission of either kind, else empty
  std::size_t bytes = 0;  // the text's length as stored, without its NUL
  std::string text;       // with control characters drawn as symbols; a removed entry's as it was
  RowMark mark = RowMark::kNone;
  std::vector<TextRun> matches;  // where the filter's text occurs in `text`, left to right
};

// A cell as the table draws it: "" for a removed entry's slot, "mission,
// added" for the kind of a row the comparison marks.
std::string CellText(const EditorRow& row, EditorColumn column);
// A cell as a screen reader reads it and its tooltip shows it: an empty
// cell says "none", the text cell holds the whole text.
std::string CellReading(const EditorRow& row, EditorColumn column);

// A mark's name and background, pale enough to keep the text readable
// under either palette's selection.
struct MarkLook {
  std::string_view name;  // "added", "changed", "removed"; empty for none
  std::uint8_t red = 255, green = 255, blue = 255;
};
MarkLook LookOf(RowMark mark);
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
}  // namespace editor_words

}  // namespace orva
