// Spelling in a text box of orva.exe: a rich edit box (msftedit.dll) whose
// misspelt words are red and underlined with a wave, with the spelling menu
// for the word at the caret (the dictionary's suggestions, Add to
// Dictionary, Ignore) on F7 and as the box's context menu, which elsewhere
// has the box's editing commands. The details pane and the F2 box both are
// one of these; what is misspelt and what a choice does is EditorLogic's.
#pragma once

// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <cstddef>
#include <functional>
#include <optional>
#include <utility>

#include "window/editor_logic.h"

namespace orva::win32 {

// The class of the boxes that mark words: msftedit.dll's rich edit box, or
// the plain edit box where the library cannot be loaded.
const wchar_t* SpellingBoxClass();

class SpellingBox {
 public:
  // `row` tells the entry whose text the box holds, asked each time (the
  // rows move under the details pane as the review adds them); none for a
  // new mission's text.
  SpellingBox(EditorLogic& logic, std::function<std::optional<std::size_t>()> row)
      : logic_(logic), row_(std::move(row)) {}
  ~SpellingBox();
  SpellingBox(const SpellingBox&) = delete;
  SpellingBox& operator=(const SpellingBox&) = delete;

  // Takes the box over: its context menu (a right click, Shift+F10, the
  // menu key) and F7 are the ones below from now on, and it tells its
  // parent of each change (EN_CHANGE). `rechecked` is told when the words
  // known have changed (Add to Dictionary, Ignore): the owner marks again
  // and shows what else follows from it.
  void Attach(HWND box, std::function<void()> rechecked);

  // Marks the misspelt words of the box's text, the rest plain; the caret
  // and the selection stay where they were. The box's EN_CHANGE while it
  // does so is no typing: see marking().
  void Mark();
  bool marking() const { return marking_; }

  // F7: the spelling menu for the misspelt word at the caret, below it;
  // false, nothing shown, when no misspelt word is there.
  bool OfferAtCaret();

 private:
  static LRESULT CALLBACK Subclass(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                   UINT_PTR id, DWORD_PTR self);
  // The context menu at a point of the screen, or below the caret for
  // (-1, -1), from the keyboard. A click outside the selection puts the
  // caret where it is first, as a click does; on a misspelt word the menu
  // is the spelling menu, elsewhere the box's editing commands.
  void ContextMenu(LPARAM where);
  bool Offer(POINT at);
  void EditMenu(POINT at);
  POINT BelowCaret() const;
  std::wstring Text() const;

  EditorLogic& logic_;
  std::function<std::optional<std::size_t>()> row_;
  std::function<void()> rechecked_;
  HWND box_ = nullptr;
  bool marked_ = false;    // some of the box's text is drawn as misspelt
  bool marking_ = false;   // the box's formats are being changed
  WPARAM swallow_up_ = 0;  // the key whose release opened the menu already
};

}  // namespace orva::win32
