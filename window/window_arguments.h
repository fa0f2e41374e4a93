// The windows' command line, the same for orva and orva.exe:
//
//   orva [--edit [--reference REF]] [FILE]    orva --help    orva --version
//
// FILE is opened as if chosen in Open (Explorer's "Open with" starts the
// program so); --edit opens the editor of every entry instead of the main
// window, and --reference opens REF beside FILE in it, as File ▸ Open
// Reference does. Each view only does what the parsed line says.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace orva {

struct WindowCommandLine {
  enum class Action { kMainWindow, kEditor, kHelp, kVersion, kRefused };
  Action action = Action::kMainWindow;
  std::string file;       // the database to open, empty for none (UTF-8 on Windows)
  std::string message;    // the usage, the version, or what is wrong, in plain words
  std::string reference;  // --reference: the editor's reference, empty for none
};

// `arguments` are those after the program's own name; `program` names it in
// the usage. "--" ends the options, so that a file may begin with '-'.
WindowCommandLine ParseWindowCommandLine(std::string_view program,
                                         std::span<const std::string> arguments);

}  // namespace orva
