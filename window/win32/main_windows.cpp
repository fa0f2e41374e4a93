// orva.exe: ORVA's windows, with the command line of window/window_arguments.h.
// `orva.exe [FILE]` shows the main window and opens FILE if one is named (as
// Explorer's "Open with" starts it); `orva.exe --edit [FILE]` shows the
// editor alone; --help and --version answer in a message box. The main window's mission list opens
// the editor on its database, and reads it again when the editor has saved it. The program ends
// when its last window is closed.
// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "storage/path_text.h"
#include "storage/utf16.h"
#include "window/win32/editor_view_windows.h"
#include "window/win32/form1_windows.h"
#include "window/window_arguments.h"

namespace {

using orva::win32::EditorWindow;
using orva::win32::Form1Window;

bool SameFile(const std::string& one, const std::string& other) {
  std::error_code error;
  return !one.empty() && !other.empty() &&
         std::filesystem::equivalent(orva::PathFromUtf8(one), orva::PathFromUtf8(other), error);
}

void SayNotCreated() {
  MessageBoxW(nullptr, L"The window could not be created.", L"", MB_OK | MB_ICONEXCLAMATION);
}

// The windows of the program, on one thread with one message loop: each
// window takes its own keys before a message is dispatched.
class Program {
 public:
  bool ShowMain(int show_command) {
    form1_ = std::make_unique<Form1Window>();
    form1_->SetOnEditAll([this](const std::string& path) {
      if (!ShowEditor(SW_SHOWNORMAL, path)) SayNotCreated();
    });
    if (!form1_->Create(show_command)) return false;
    form1_->SetOnClosed([this] { Closed(); });
    ++open_;
    return true;
  }

  Form1Window& main() { return *form1_; }

  // Shows the editor, made anew if it was closed, and opens `path` in it
  // unless it is what the editor holds with changes not yet saved; beside
  // `reference` where one is given, opened first.
  bool ShowEditor(int show_command, const std::string& path, const std::string& reference = {}) {
    if (editor_ == nullptr || !editor_->IsOpen()) {
      editor_ = std::make_unique<EditorWindow>();  // a closed one's window is gone
      editor_->SetOnSaved([this](const std::string& saved) {
        if (form1_ != nullptr && form1_->IsOpen() && SameFile(saved, form1_->DatabasePath())) {
          form1_->ReadAgain();
        }
      });
      if (!editor_->Create(show_command)) return false;
      editor_->SetOnClosed([this] { Closed(); });
      ++open_;
    } else {
      editor_->Activate();
      if (editor_->modified() && SameFile(path, editor_->DatabasePath())) return true;
    }
    if (!reference.empty() && !editor_->OpenReferencePath(reference)) return true;
    if (!path.empty()) editor_->OpenPath(path);
    return true;
  }

  int Run() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (form1_ != nullptr && form1_->PreTranslate(message)) continue;
      if (editor_ != nullptr && editor_->PreTranslate(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
  }

 private:
  void Closed() {
    if (--open_ == 0) PostQuitMessage(0);
  }

  std::unique_ptr<Form1Window> form1_;
  std::unique_ptr<EditorWindow> editor_;
  int open_ = 0;
};

// The shell's file dialogs are COM objects of this thread's apartment.
struct ComApartment {
  ComApartment() { ok = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
  ~ComApartment() {
    if (ok) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool ok = false;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*command_line*/,
                    int show_command) {
  const ComApartment apartment;
  // The controls of comctl32 version 6, which the manifest asks for.
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  // The arguments as UTF-16, so a path in any script arrives whole.
  int count = 0;
  const std::unique_ptr<wchar_t*, decltype(&LocalFree)> arguments(
      CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  std::vector<std::wstring> args;
  for (int i = 0; arguments && i < count; ++i) args.emplace_back(arguments.get()[i]);

  std::vector<std::string> utf8;
  for (std::size_t i = 1; i < args.size(); ++i) utf8.push_back(orva::Utf8FromUtf16(args[i]));
  const orva::WindowCommandLine line = orva::ParseWindowCommandLine("orva.exe", utf8);
  using Action = orva::WindowCommandLine::Action;
  switch (line.action) {
    case Action::kHelp:
    case Action::kVersion:
    case Action::kRefused: {
      // A program without a console says it in a message box.
      const bool refused = line.action == Action::kRefused;
      MessageBoxW(nullptr, orva::Utf16FromUtf8(line.message).c_str(), L"ORVA",
                  MB_OK | (refused ? MB_ICONEXCLAMATION : MB_ICONINFORMATION));
      return refused ? 1 : 0;
    }
    case Action::kMainWindow:
    case Action::kEditor:
      break;
  }

  Program program;
  if (line.action == Action::kEditor) {
    if (!program.ShowEditor(show_command, line.file, line.reference)) {
      SayNotCreated();
      return 1;
    }
  } else {
    if (!program.ShowMain(show_command)) {
      SayNotCreated();
      return 1;
    }
    if (!line.file.empty()) program.main().OpenPath(orva::Utf16FromUtf8(line.file));
  }
  return program.Run();
}
