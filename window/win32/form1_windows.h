// Form1 drawn with Windows' own controls: user32's list box, edit boxes,
// statics and buttons, comctl32 version 6 (through the program's manifest),
// comdlg32's Open dialog and user32's message boxes. The controls are made
// from the shared layout table, their twips turned into pixels at the dots
// per inch of the monitor the window is on, again whenever it moves to
// another. What the window does is Form1Logic's: this class only creates
// the controls, passes their events on and does what the logic asks.
#pragma once

// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "window/form1_layout.h"
#include "window/form1_logic.h"
#include "window/mission_database.h"
#include "window/win32/top_window_windows.h"

namespace orva::win32 {

// The window class, which the tests look for, and the first control's id:
// each control's id is this plus its index in layout::Controls().
inline constexpr wchar_t kWindowClass[] = L"OrvaForm1";
inline constexpr int kFirstControlId = 100;
// Menu commands: each item's is this plus its layout::MenuCommand.
inline constexpr int kFirstMenuCommand = 40000;
inline constexpr int kOpenCommand =
    kFirstMenuCommand + static_cast<int>(layout::MenuCommand::kOpen);
inline constexpr int kHelpCommand =
    kFirstMenuCommand + static_cast<int>(layout::MenuCommand::kHelp);
// The mission list's context menu.
inline constexpr int kEditAllCommand = 40003;

class Form1Window final : public Form1View {
 public:
  Form1Window();
  ~Form1Window() override;
  Form1Window(const Form1Window&) = delete;
  Form1Window& operator=(const Form1Window&) = delete;

  // Creates and shows the window; false when Windows refuses.
  bool Create(int show_command);
  // Opens a database named on the command line.
  void OpenPath(const std::wstring& path);
  // The window's keys, before the message is dispatched: true when taken.
  // A message for another window is left alone.
  bool PreTranslate(MSG& message);
  bool IsOpen() const { return window_ != nullptr; }

  // The database shown, empty before one was opened; read again after
  // another window wrote it.
  const std::string& DatabasePath() const { return logic_.DatabasePath(); }
  void ReadAgain();

  // Told when "Edit all entries…" is chosen on the mission list, with the
  // database shown, and when the window is gone.
  void SetOnEditAll(std::function<void(const std::string& path)> on_edit_all) {
    on_edit_all_ = std::move(on_edit_all);
  }
  void SetOnClosed(std::function<void()> on_closed) { on_closed_ = std::move(on_closed); }

  // Form1View
  std::optional<std::string> ChooseExistingFile(const OpenFileRequest& request) override;
  void ShowMessage(MessageIcon icon, const std::string& text, const std::string& details) override;
  void ShowPath(const std::string& path) override;
  void ShowMissions(const std::vector<std::string>& texts) override;
  void SelectMission(int row) override;
  void ShowDetails(const std::string& image_name, const std::string& id) override;
  void SetCommandsEnabled(bool enabled) override;
  void SetHelpShown(bool shown) override;

 private:
  struct Made {
    const layout::Control* control;
    HWND hwnd;
    bool in_help_panel;
  };

  template <class Window>
  friend LRESULT CALLBACK HandledBy(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  void CreateMenuBar();
  void CreateControls();
  void PlaceControls();
  std::wstring FontFace() const;
  void SetFonts();
  void SetIcons();
  void SizeWindow(const RECT* suggested);
  void OnCommand(int id, int code, HWND from);
  void OnDrop(HDROP drop);
  LRESULT ColourFor(HWND control, HDC dc);
  void DrawButton(const DRAWITEMSTRUCT& item);
  void ShowListMenu(LPARAM where);
  void MoveFocus(int step);

  HWND Hwnd(std::string_view name) const;
  const Made* Find(HWND hwnd) const;
  HBRUSH Brush(COLORREF colour);
  HFONT FontFor(const layout::Control& control) const;

  FileMissionDatabase database_;
  Form1Logic logic_;
  std::function<void(const std::string&)> on_edit_all_;
  std::function<void()> on_closed_;

  HWND window_ = nullptr;
  HACCEL accelerators_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  std::vector<Made> made_;
  std::map<COLORREF, HBRUSH> brushes_;
  HFONT small_font_ = nullptr;
  HFONT large_font_ = nullptr;
  WindowIcons icons_;
  HICON panel_icon_ = nullptr;
  HWND focus_before_help_ = nullptr;
  HWND focus_on_return_ = nullptr;
};

}  // namespace orva::win32
