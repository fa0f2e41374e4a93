// orva.exe: creates and shows ORVA's window, opening the database named on
// the command line if there is one (orva.exe FILE, as Explorer's "Open with"
// starts it); closing the window ends the program.
// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <commctrl.h>
#include <shellapi.h>

#include <memory>

#include "window/win32/form1_windows.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*command_line*/,
                    int show_command) {
  // The controls of comctl32 version 6, which the manifest asks for.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  orva::win32::Form1Window window;
  if (!window.Create(show_command)) {
    MessageBoxW(nullptr, L"The window could not be created.", L"", MB_OK | MB_ICONEXCLAMATION);
    return 1;
  }
  // The arguments as UTF-16, so a path in any script arrives whole.
  int count = 0;
  const std::unique_ptr<wchar_t*, decltype(&LocalFree)> arguments(
      CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  if (arguments && count > 1) window.OpenPath(arguments.get()[1]);
  return window.Run();
}
