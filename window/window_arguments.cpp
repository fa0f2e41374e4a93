#include "window/window_arguments.h"

namespace orva {
namespace {

std::string Usage(std::string_view program) {
  const std::string name(program);
  return "Usage: " + name + " [--edit [--reference REF]] [FILE]\n" +
         "Adds mission texts to textdb_XX.def text databases; with --edit, edits every\n"
         "entry of one.\n"
         "\n"
         "  FILE       the database to open, as if chosen in Open\n"
         "  --edit     open the editor, which shows every entry of the database to edit,\n"
         "             add, remove, translate and patch, and saves all changes at once\n"
         "  --reference REF\n"
         "             with --edit, open REF beside it, read only: the database the\n"
         "             texts are translated from\n"
         "  --help     show this and end (also -h)\n"
         "  --version  show the version and end (also -v)\n";
}

// A reply that opens no window: the usage, the version or a refusal.
WindowCommandLine Reply(WindowCommandLine::Action action, std::string message) {
  WindowCommandLine line;
  line.action = action;
  line.message = std::move(message);
  return line;
}

}  // namespace

WindowCommandLine ParseWindowCommandLine(std::string_view program,
                                         std::span<const std::string> arguments) {
  WindowCommandLine line;
  const auto refuse = [&](std::string why) {
    return Reply(WindowCommandLine::Action::kRefused, std::string(program) + ": " + std::move(why) +
                                                          "\n" + "Try '" + std::string(program) +
                                                          " --help'.");
  };
  std::size_t files = 0;
  bool options_ended = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!options_ended && argument.size() > 1 && argument.front() == '-') {
      if (argument == "--") {
        options_ended = true;
      } else if (argument == "--help" || argument == "-h") {
        return Reply(WindowCommandLine::Action::kHelp, Usage(program));
      } else if (argument == "--version" || argument == "-v") {
        // The program's name without its folder, as other programs give theirs.
        const std::string_view name = program.substr(program.find_last_of("/\\") + 1);
        return Reply(WindowCommandLine::Action::kVersion, std::string(name) + " " + ORVA_VERSION);
      } else if (argument == "--edit") {
        line.action = WindowCommandLine::Action::kEditor;
      } else if (argument == "--reference") {
        if (i + 1 == arguments.size()) return refuse("--reference needs the reference's file");
        line.reference = arguments[++i];
      } else {
        return refuse("unknown option '" + argument + "'");
      }
      continue;
    }
    if (++files == 1) line.file = argument;
  }
  if (!line.reference.empty() && line.action != WindowCommandLine::Action::kEditor) {
    return refuse("--reference goes with --edit: only the editor shows a reference");
  }
  if (files > 1) {
    return refuse("one database at a time; " + std::to_string(files) + " files were given");
  }
  return line;
}

}  // namespace orva
