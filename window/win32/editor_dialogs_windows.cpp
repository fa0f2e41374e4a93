#include "window/win32/editor_dialogs_windows.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "storage/utf16.h"
#include "window/win32/control_text_windows.h"

namespace orva::win32 {
namespace {

// The classes a template names by number.
constexpr WORD kButton = 0x0080;
constexpr WORD kEdit = 0x0081;
constexpr WORD kStatic = 0x0082;

// A report longer than this shows its first lines and says how many more
// there are: an edit box of a hundred thousand lines is slow to fill and no
// easier to read.
constexpr std::size_t kMostReportLines = 5000;
// A report's choices are its buttons from IDOK on; the dialog ends with the
// choice's number from 1, and 0 for Cancel.
constexpr int kFirstChoiceId = 310;

// The face and size of the system's message font at 96 dots per inch, which
// a dialog's template gives in points: Windows scales it, and with it every
// dialog unit, to the monitor the dialog is on.
struct TemplateFont {
  std::wstring face = L"MS Shell Dlg 2";
  WORD points = 8;
};

TemplateFont MessageFont() {
  TemplateFont font;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                                 USER_DEFAULT_SCREEN_DPI) &&
      metrics.lfMessageFont.lfHeight < 0) {
    font.face = metrics.lfMessageFont.lfFaceName;
    font.points = static_cast<WORD>(
        MulDiv(-metrics.lfMessageFont.lfHeight, 72, static_cast<int>(USER_DEFAULT_SCREEN_DPI)));
  }
  return font;
}

// A DLGTEMPLATE and its items, laid out as DialogBoxIndirectParamW reads
// them: WORDs, each item starting on a DWORD boundary.
class DialogTemplate {
 public:
  DialogTemplate(std::string_view title, short width, short height) {
    const TemplateFont font = MessageFont();
    Dword(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    Dword(0);
    count_at_ = words_.size();
    Word(0);
    for (short value : {short{0}, short{0}, width, height}) Word(static_cast<WORD>(value));
    Word(0);  // no menu
    Word(0);  // the standard dialog class
    String(Wide(title));
    Word(font.points);
    String(font.face);
  }

  // A control of a class the dialog manager knows by number.
  void Add(WORD kind, std::string_view text, int id, short x, short y, short width, short height,
           DWORD style) {
    Item(0, style, {x, y, width, height}, id);
    Word(0xFFFF);
    Word(kind);
    Text(text);
  }

  // A control of a class registered by name, such as a rich edit box.
  void Add(const wchar_t* window_class, DWORD extended, int id, short x, short y, short width,
           short height, DWORD style) {
    Item(extended, style, {x, y, width, height}, id);
    String(window_class);
    Text("");
  }

  // Copied into DWORDs, so that the template starts on a DWORD boundary.
  const DLGTEMPLATE* get() {
    dwords_.assign((words_.size() + 1) / 2, 0);
    std::memcpy(dwords_.data(), words_.data(), words_.size() * sizeof(WORD));
    return reinterpret_cast<const DLGTEMPLATE*>(dwords_.data());
  }

 private:
  void Word(WORD value) { words_.push_back(value); }
  void Dword(DWORD value) {
    Word(LOWORD(value));
    Word(HIWORD(value));
  }
  void String(std::wstring_view text) {
    for (wchar_t c : text) Word(static_cast<WORD>(c));
    Word(0);
  }

  struct Place {
    short x, y, width, height;
  };
  void Item(DWORD extended, DWORD style, Place place, int id) {
    while (words_.size() % 2 != 0) Word(0);
    Dword(WS_CHILD | WS_VISIBLE | style);
    Dword(extended);
    for (short value : {place.x, place.y, place.width, place.height}) {
      Word(static_cast<WORD>(value));
    }
    Word(static_cast<WORD>(id));
    ++words_[count_at_];
  }
  void Text(std::string_view text) {
    String(Wide(text));
    Word(0);  // no creation data
  }

  std::vector<WORD> words_;
  std::vector<DWORD> dwords_;
  std::size_t count_at_ = 0;
};

// A modal dialog run from a template: the dialog manager gives Tab, Enter
// (IDOK) and Esc (IDCANCEL); a subclass fills the controls and answers
// their commands.
class ModalDialog {
 public:
  virtual ~ModalDialog() = default;

  INT_PTR Run(HWND owner, DialogTemplate& made) {
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), made.get(), owner, &Procedure,
                                   reinterpret_cast<LPARAM>(this));
  }

 protected:
  // Fills the controls and puts the focus.
  virtual void Init() = 0;
  virtual void Command(int id, int code) = 0;

  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  std::string ItemText(int id) const { return Utf8FromUtf16(TextOf(Item(id))); }
  void SetItemText(int id, std::string_view text) const {
    SetWindowTextW(Item(id), Wide(text).c_str());
  }
  void End(INT_PTR result) const { EndDialog(hwnd_, result); }

  HWND hwnd_ = nullptr;

 private:
  // Over the middle of the window it belongs to.
  static void CentreOnOwner(HWND dialog) {
    const HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner == nullptr) return;
    RECT outer{};
    RECT own{};
    GetWindowRect(owner, &outer);
    GetWindowRect(dialog, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    SetWindowPos(dialog, nullptr, outer.left + (outer.right - outer.left - width) / 2,
                 outer.top + (outer.bottom - outer.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
      auto* self = reinterpret_cast<ModalDialog*>(lparam);
      SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
      self->hwnd_ = hwnd;
      CentreOnOwner(hwnd);
      self->Init();
      return FALSE;  // Init has put the focus
    }
    auto* self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr || message != WM_COMMAND) return FALSE;
    self->Command(LOWORD(wparam), HIWORD(wparam));
    return TRUE;
  }
};

// The box's text, selected, with the focus.
void FocusAll(HWND edit) {
  SetFocus(edit);
  SendMessageW(edit, EM_SETSEL, 0, -1);
}

// The preview's count, and below it its problem, each once.
void ShowPreview(HWND dialog, const std::string& summary, const std::string& problem) {
  SetWindowTextW(GetDlgItem(dialog, kDialogSummaryId),
                 Wide(summary == problem ? std::string() : summary).c_str());
  SetWindowTextW(GetDlgItem(dialog, kDialogProblemId), Wide(problem).c_str());
}

class TextDialogWindow final : public ModalDialog {
 public:
  explicit TextDialogWindow(const TextDialog& dialog) : dialog_(dialog) {}

 private:
  void Init() override {
    if (dialog_.spelling != nullptr)
      dialog_.spelling->Attach(Item(kDialogTextId), [this] { Update(); });
    SetItemText(kDialogTextId, dialog_.text);
    Update();
    FocusAll(Item(kDialogTextId));
  }

  void Command(int id, int code) override {
    if (id == kDialogTextId && code == EN_CHANGE) {
      if (dialog_.spelling == nullptr || !dialog_.spelling->marking()) Update();
    } else if (id == IDOK) {
      const std::string text = ItemText(kDialogTextId);
      if (!dialog_.preview(text).can_apply) {
        MessageBeep(MB_ICONEXCLAMATION);  // the problem line says why
        SetFocus(Item(kDialogTextId));
        return;
      }
      if (dialog_.apply(text)) End(1);
    } else if (id == IDCANCEL) {
      End(0);
    }
  }

  // The count and the problem of the text as typed, its misspelt words marked.
  void Update() {
    const TextPreview preview = dialog_.preview(ItemText(kDialogTextId));
    ShowPreview(hwnd_, preview.summary, preview.problem);
    if (dialog_.spelling != nullptr) dialog_.spelling->Mark();
  }

  const TextDialog& dialog_;
};

class ReplaceDialogWindow final : public ModalDialog {
 public:
  explicit ReplaceDialogWindow(const ReplaceDialog& dialog) : dialog_(dialog) {}

 private:
  void Init() override {
    SetItemText(kDialogTextId, dialog_.start.find);
    SetItemText(kDialogReplacementId, dialog_.start.replacement);
    CheckDlgButton(hwnd_, kDialogRegexId, dialog_.start.regex ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hwnd_, kDialogMatchCaseId,
                   dialog_.start.match_case ? BST_CHECKED : BST_UNCHECKED);
    Update();
    FocusAll(Item(kDialogTextId));
  }

  void Command(int id, int code) override {
    if ((id == kDialogTextId || id == kDialogReplacementId) && code == EN_CHANGE) {
      Update();
    } else if ((id == kDialogRegexId || id == kDialogMatchCaseId) && code == BN_CLICKED) {
      Update();
    } else if (id == IDOK) {
      if (dialog_.replace_all(Request())) End(1);
    } else if (id == IDCANCEL) {
      End(0);
    }
  }

  ReplaceRequest Request() const {
    return {.find = ItemText(kDialogTextId),
            .replacement = ItemText(kDialogReplacementId),
            .regex = IsDlgButtonChecked(hwnd_, kDialogRegexId) == BST_CHECKED,
            .match_case = IsDlgButtonChecked(hwnd_, kDialogMatchCaseId) == BST_CHECKED};
  }

  // An empty Find asks nothing yet.
  void Update() {
    const ReplaceRequest request = Request();
    if (request.find.empty()) {
      ShowPreview(hwnd_, {}, {});
      return;
    }
    const ReplacePreview preview = dialog_.preview(request);
    ShowPreview(hwnd_, preview.summary, preview.problem);
  }

  const ReplaceDialog& dialog_;
};

class ReportDialogWindow final : public ModalDialog {
 public:
  explicit ReportDialogWindow(const Report& report) : report_(report) {}

 private:
  void Init() override {
    SetItemText(kDialogSummaryId, report_.summary);
    std::string lines;
    const std::size_t shown = std::min(report_.lines.size(), kMostReportLines);
    for (std::size_t i = 0; i < shown; ++i) lines += report_.lines[i] + "\r\n";
    if (shown < report_.lines.size()) {
      lines += "… and " + std::to_string(report_.lines.size() - shown) + " more\r\n";
    }
    if (Item(kDialogLinesId) != nullptr) {
      SendMessageW(Item(kDialogLinesId), EM_SETLIMITTEXT, 0, 0);
      SetItemText(kDialogLinesId, lines);
    }
    SetFocus(Item(IDOK));
  }

  void Command(int id, int /*code*/) override {
    if (id == IDOK) End(1);
    if (id == IDCANCEL) End(0);
    const int choice = id - kFirstChoiceId;
    if (choice > 0 && choice < static_cast<int>(report_.choices.size())) End(choice + 1);
  }

  const Report& report_;
};

}  // namespace

bool RunTextDialog(HWND owner, const TextDialog& dialog) {
  DialogTemplate made(dialog.title, 320, 93);
  made.Add(kStatic, dialog.label, -1, 7, 7, 306, 9, SS_LEFT);
  if (dialog.spelling != nullptr) {
    made.Add(SpellingBoxClass(), WS_EX_CLIENTEDGE, kDialogTextId, 7, 18, 306, 14,
             WS_TABSTOP | ES_AUTOHSCROLL);
  } else {
    made.Add(kEdit, "", kDialogTextId, 7, 18, 306, 14, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL);
  }
  made.Add(kStatic, "", kDialogSummaryId, 7, 37, 306, 9, SS_LEFT | SS_NOPREFIX);
  made.Add(kStatic, "", kDialogProblemId, 7, 48, 306, 18, SS_LEFT | SS_NOPREFIX);
  made.Add(kButton, "OK", IDOK, 209, 72, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON);
  made.Add(kButton, "Cancel", IDCANCEL, 263, 72, 50, 14, WS_TABSTOP | BS_PUSHBUTTON);
  TextDialogWindow window(dialog);
  return window.Run(owner, made) == 1;
}

void RunReplaceDialog(HWND owner, const ReplaceDialog& dialog) {
  DialogTemplate made(editor_words::kReplaceTitle, 300, 103);
  made.Add(kStatic, editor_words::kFindLabel, -1, 7, 9, 52, 9, SS_LEFT);
  made.Add(kEdit, "", kDialogTextId, 62, 7, 231, 14, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL);
  made.Add(kStatic, editor_words::kReplacementLabel, -1, 7, 27, 52, 9, SS_LEFT);
  made.Add(kEdit, "", kDialogReplacementId, 62, 25, 231, 14,
           WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL);
  made.Add(kButton, editor_words::kRegex, kDialogRegexId, 62, 44, 110, 10,
           WS_TABSTOP | BS_AUTOCHECKBOX);
  made.Add(kButton, editor_words::kMatchCase, kDialogMatchCaseId, 176, 44, 100, 10,
           WS_TABSTOP | BS_AUTOCHECKBOX);
  made.Add(kStatic, "", kDialogSummaryId, 7, 60, 286, 9, SS_LEFT | SS_NOPREFIX);
  made.Add(kStatic, "", kDialogProblemId, 7, 70, 286, 9, SS_LEFT | SS_NOPREFIX);
  made.Add(kButton, editor_words::kReplaceAll, IDOK, 187, 82, 56, 14,
           WS_TABSTOP | BS_DEFPUSHBUTTON);
  made.Add(kButton, "Close", IDCANCEL, 247, 82, 46, 14, WS_TABSTOP | BS_PUSHBUTTON);
  ReplaceDialogWindow window(dialog);
  (void)window.Run(owner, made);
}

std::optional<std::size_t> RunReportDialog(HWND owner, const Report& report) {
  // Without lines, the summary alone above the buttons.
  const bool lines = !report.lines.empty();
  const short buttons_at = lines ? 179 : 31;
  DialogTemplate made(report.title, 340, static_cast<short>(buttons_at + 21));
  // The summary comes just before the lines, which it names for screen readers.
  made.Add(kStatic, "", kDialogSummaryId, 7, 7, 326, 18, SS_LEFT | SS_NOPREFIX);
  if (lines) {
    made.Add(kEdit, "", kDialogLinesId, 7, 28, 326, 144,
             WS_BORDER | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                 ES_AUTOHSCROLL | ES_AUTOVSCROLL);
  }
  if (report.choices.empty()) {
    made.Add(kButton, "OK", IDOK, 283, buttons_at, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON);
  } else {
    // Each as wide as its caption needs, laid out leftwards from Cancel and
    // made left to right, the order Tab takes them in.
    std::vector<short> widths;
    short left = 279;
    for (const std::string& caption : report.choices) {
      widths.push_back(std::max<short>(50, static_cast<short>(caption.size() * 4 + 12)));
      left = static_cast<short>(left - widths.back() - 4);
    }
    for (std::size_t i = 0; i < report.choices.size(); ++i) {
      left = static_cast<short>(left + 4);
      const int id = i == 0 ? IDOK : kFirstChoiceId + static_cast<int>(i);
      made.Add(kButton, report.choices[i], id, left, buttons_at, widths[i], 14,
               WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON));
      left = static_cast<short>(left + widths[i]);
    }
    made.Add(kButton, "Cancel", IDCANCEL, 283, buttons_at, 50, 14, WS_TABSTOP | BS_PUSHBUTTON);
  }
  ReportDialogWindow window(report);
  const INT_PTR ended = window.Run(owner, made);
  if (ended < 1 || static_cast<std::size_t>(ended) > report.choices.size()) return std::nullopt;
  return static_cast<std::size_t>(ended - 1);
}

}  // namespace orva::win32
