// The editor window's own modal dialogs, made from templates in memory in
// the system's message font, so that Windows lays them out in dialog units
// and scales them with the monitor they are on: the text of an entry or of a
// new mission (checked as it is typed), find and replace, and a report to
// read. What each one checks or does is the caller's (EditorLogic's); a
// dialog only shows it.
#pragma once

// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "window/editor_logic.h"
#include "window/win32/spelling_box_windows.h"

namespace orva::win32 {

// Control ids inside the dialogs, which the tests look for.
inline constexpr int kDialogTextId = 300;     // the text typed; Find in find and replace
inline constexpr int kDialogSummaryId = 301;  // "23 bytes (was 20)", "12 occurrences in 5 texts"
inline constexpr int kDialogProblemId = 302;  // why it cannot be stored, or nothing
inline constexpr int kDialogReplacementId = 303;
inline constexpr int kDialogRegexId = 304;
inline constexpr int kDialogMatchCaseId = 305;
inline constexpr int kDialogLinesId = 306;  // a report's lines

struct TextDialog {
  std::string title;  // "Edit entry 5007"
  std::string label;  // the caption above the box, which also names it
  std::string text;   // what the box starts with
  // What the text typed so far would be; asked again at each change.
  std::function<TextPreview(const std::string&)> preview;
  // Applies the text; the dialog closes when it returns true and stays, the
  // text kept, when the change was refused (the refusal tells why).
  std::function<bool(const std::string&)> apply;
  // Where given, the box is this one: its misspelt words marked, F7 and its
  // context menu offering the dictionary's words.
  SpellingBox* spelling = nullptr;
};

// Enter applies, Esc or Cancel closes with nothing done. A text that cannot
// be stored is not applied: the dialog already says why, and stays.
// True when the text was applied.
bool RunTextDialog(HWND owner, const TextDialog& dialog);

struct ReplaceDialog {
  ReplaceRequest start;
  std::function<ReplacePreview(const ReplaceRequest&)> preview;
  std::function<bool(const ReplaceRequest&)> replace_all;  // true closes the dialog
};

// Find, Replace with, the two options and the count of what would change as
// it is typed; Replace All (Enter) asks the caller, Close (Esc) does nothing.
void RunReplaceDialog(HWND owner, const ReplaceDialog& dialog);

// The report's summary and lines, with a button for each of its choices
// before Cancel, or OK alone; the index of the choice pressed, or nothing.
std::optional<std::size_t> RunReportDialog(HWND owner, const Report& report);

}  // namespace orva::win32
