#include "window/win32/spelling_box_windows.h"

#include <commctrl.h>
#include <richedit.h>

#include <string>
#include <vector>

#include "storage/utf16.h"
#include "window/win32/control_text_windows.h"

namespace orva::win32 {
namespace {

constexpr UINT_PTR kSubclassId = 38;

// The spelling menu's own commands; a suggestion is its number from 1.
constexpr UINT kAddToDictionary = 0x7000;
constexpr UINT kIgnore = 0x7001;

// The editing commands, as the plain edit box's own menu has them.
constexpr UINT kUndo = 0x7100;
constexpr UINT kCut = 0x7101;
constexpr UINT kCopy = 0x7102;
constexpr UINT kPaste = 0x7103;
constexpr UINT kDelete = 0x7104;
constexpr UINT kSelectAll = 0x7105;

CHARRANGE Selection(HWND box) {
  CHARRANGE selected{};
  SendMessageW(box, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selected));
  return selected;
}

void Select(HWND box, CHARRANGE range) {
  SendMessageW(box, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

bool ReadOnly(HWND box) { return (GetWindowLongW(box, GWL_STYLE) & ES_READONLY) != 0; }

UINT Track(HMENU menu, HWND box, POINT at) {
  return static_cast<UINT>(TrackPopupMenu(
      menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, at.x,
      at.y, 0, GetAncestor(box, GA_ROOT), nullptr));
}

bool RichEditLoaded() {
  static const bool loaded = LoadLibraryW(L"msftedit.dll") != nullptr;
  return loaded;
}

}  // namespace

const wchar_t* SpellingBoxClass() { return RichEditLoaded() ? MSFTEDIT_CLASS : WC_EDITW; }

SpellingBox::~SpellingBox() {
  if (box_ != nullptr) RemoveWindowSubclass(box_, &Subclass, kSubclassId);
}

void SpellingBox::Attach(HWND box, std::function<void()> rechecked) {
  box_ = box;
  rechecked_ = std::move(rechecked);
  // A text may be longer than a rich edit box takes typed by default.
  SendMessageW(box_, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
  SendMessageW(box_, EM_SETEVENTMASK, 0, SendMessageW(box_, EM_GETEVENTMASK, 0, 0) | ENM_CHANGE);
  SetWindowSubclass(box_, &Subclass, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK SpellingBox::Subclass(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR /*id*/, DWORD_PTR self_pointer) {
  auto& self = *reinterpret_cast<SpellingBox*>(self_pointer);
  const bool alone = GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0;
  switch (message) {
    case WM_CONTEXTMENU:
      self.ContextMenu(lparam);
      return 0;
    case WM_GETDLGCODE:
      // Tab leaves a box of one line for the next control, as from an edit box.
      if ((GetWindowLongW(hwnd, GWL_STYLE) & ES_MULTILINE) == 0) {
        return DefSubclassProc(hwnd, message, wparam, lparam) & ~LRESULT{DLGC_WANTTAB};
      }
      break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      // F7 where no accelerator took it first (a dialog's box); Shift+F10 and
      // the menu key, whose release would otherwise open the menu bar or the
      // menu once more.
      self.swallow_up_ = 0;
      if (wparam == VK_F7 && alone && GetKeyState(VK_SHIFT) >= 0) {
        if (!self.OfferAtCaret()) MessageBeep(MB_OK);
        return 0;
      }
      if ((wparam == VK_F10 && alone && GetKeyState(VK_SHIFT) < 0) || wparam == VK_APPS) {
        self.swallow_up_ = wparam;
        self.ContextMenu(MAKELPARAM(-1, -1));
        return 0;
      }
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (self.swallow_up_ != 0 && wparam == self.swallow_up_) {
        self.swallow_up_ = 0;
        return 0;
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, &Subclass, kSubclassId);
      self.box_ = nullptr;
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

std::wstring SpellingBox::Text() const { return TextOf(box_); }

// Red and underlined with a wave (wine's box draws the colour alone).
void SpellingBox::Mark() {
  if (box_ == nullptr) return;
  const std::vector<MisspeltSpan> spans = logic_.MisspeltSpans(Utf8FromUtf16(Text()), row_());
  if (spans.empty() && !marked_) return;
  const bool was_marking = std::exchange(marking_, true);
  SendMessageW(box_, WM_SETREDRAW, FALSE, 0);
  const CHARRANGE selected = Selection(box_);
  const auto format = [&](CHARRANGE range, bool misspelt) {
    Select(box_, range);
    CHARFORMAT2W look{};
    look.cbSize = sizeof look;
    look.dwMask = CFM_UNDERLINETYPE | CFM_UNDERLINE | CFM_COLOR;
    look.dwEffects = misspelt ? CFE_UNDERLINE : CFE_AUTOCOLOR;
    look.bUnderlineType = misspelt ? CFU_UNDERLINEWAVE : CFU_UNDERLINENONE;
    look.bUnderlineColor = misspelt ? 6 : 0;  // red, in the box's sixteen colours
    look.crTextColor = RGB(0xC0, 0, 0);
    SendMessageW(box_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&look));
  };
  format({0, -1}, false);
  for (const MisspeltSpan& span : spans) {
    format({static_cast<LONG>(span.from), static_cast<LONG>(span.to)}, true);
  }
  marked_ = !spans.empty();
  Select(box_, selected);
  SendMessageW(box_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(box_, nullptr, TRUE);
  marking_ = was_marking;
}

POINT SpellingBox::BelowCaret() const {
  POINTL place{};
  SendMessageW(box_, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&place),
               static_cast<LPARAM>(Selection(box_).cpMax));
  POINT at{place.x, place.y};
  ClientToScreen(box_, &at);
  at.y += GetSystemMetrics(SM_CYMENU);
  return at;
}

bool SpellingBox::OfferAtCaret() { return box_ != nullptr && Offer(BelowCaret()); }

// The suggestions for the misspelt word at the caret (greyed in a box that
// cannot be typed in), then Add to Dictionary and Ignore; Down reaches the
// first. A suggestion replaces the word as one step of the box's undo, and
// the box tells its parent of the change as of any typing.
bool SpellingBox::Offer(POINT at) {
  const std::optional<SpellingChoices> choices =
      logic_.SpellingAt(Utf8FromUtf16(Text()), static_cast<std::size_t>(Selection(box_).cpMax));
  if (!choices) return false;
  const UINT typable = ReadOnly(box_) ? MF_GRAYED : 0;
  HMENU menu = CreatePopupMenu();
  UINT id = 1;
  for (const std::string& suggestion : choices->suggestions) {
    AppendMenuW(menu, MF_STRING | typable, id++, Wide(suggestion).c_str());
  }
  if (choices->suggestions.empty()) {
    AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, L"(no suggestions)");
  }
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, kAddToDictionary, L"&Add to Dictionary");
  AppendMenuW(menu, MF_STRING, kIgnore, L"&Ignore");
  const UINT chosen = Track(menu, box_, at);
  DestroyMenu(menu);
  const MisspeltSpan& span = choices->span;
  if (chosen == kAddToDictionary || chosen == kIgnore) {
    if (chosen == kAddToDictionary) {
      (void)logic_.AddToDictionary(span.word);  // a refusal is told
    } else {
      logic_.IgnoreWord(span.word);
    }
    if (rechecked_) rechecked_();
  } else if (chosen >= 1 && chosen <= choices->suggestions.size() && !ReadOnly(box_)) {
    Select(box_, {static_cast<LONG>(span.from), static_cast<LONG>(span.to)});
    const std::wstring suggestion = Wide(choices->suggestions[chosen - 1]);
    SendMessageW(box_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(suggestion.c_str()));
  }
  return true;
}

// Undo, Cut, Copy, Paste, Delete and Select All, each greyed where it can do
// nothing; Paste takes the clipboard's plain text, never its formats.
void SpellingBox::EditMenu(POINT at) {
  const CHARRANGE selected = Selection(box_);
  const bool some = selected.cpMin != selected.cpMax;
  const bool typable = !ReadOnly(box_);
  const auto grey = [](bool can) { return MF_STRING | (can ? 0U : MF_GRAYED); };
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, grey(typable && SendMessageW(box_, EM_CANUNDO, 0, 0) != 0), kUndo, L"&Undo");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, grey(typable && some), kCut, L"Cu&t");
  AppendMenuW(menu, grey(some), kCopy, L"&Copy");
  AppendMenuW(menu, grey(typable && IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE), kPaste,
              L"&Paste");
  AppendMenuW(menu, grey(typable && some), kDelete, L"&Delete");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, grey(GetWindowTextLengthW(box_) > 0), kSelectAll, L"Select &All");
  const UINT chosen = Track(menu, box_, at);
  DestroyMenu(menu);
  switch (chosen) {
    case kUndo:
      SendMessageW(box_, EM_UNDO, 0, 0);
      break;
    case kCut:
      SendMessageW(box_, WM_CUT, 0, 0);
      break;
    case kCopy:
      SendMessageW(box_, WM_COPY, 0, 0);
      break;
    case kPaste:
      if (RichEditLoaded()) {
        SendMessageW(box_, EM_PASTESPECIAL, CF_UNICODETEXT, 0);
      } else {
        SendMessageW(box_, WM_PASTE, 0, 0);
      }
      break;
    case kDelete:
      SendMessageW(box_, WM_CLEAR, 0, 0);
      break;
    case kSelectAll:
      Select(box_, {0, -1});
      break;
    default:
      break;
  }
}

void SpellingBox::ContextMenu(LPARAM where) {
  POINT at{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
  SetFocus(box_);
  if (at.x == -1 && at.y == -1) {
    at = BelowCaret();
  } else {
    POINT client = at;
    ScreenToClient(box_, &client);
    POINTL inside{client.x, client.y};
    const auto clicked =
        static_cast<LONG>(SendMessageW(box_, EM_CHARFROMPOS, 0, reinterpret_cast<LPARAM>(&inside)));
    const CHARRANGE selected = Selection(box_);
    if (clicked >= 0 && (clicked < selected.cpMin || clicked > selected.cpMax)) {
      Select(box_, {clicked, clicked});
    }
  }
  if (!Offer(at)) EditMenu(at);
}

}  // namespace orva::win32
