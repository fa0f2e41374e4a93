// orva-cli's command line: what it asks for, read with CLI11.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orva::cli {

enum class Command { kList, kCheck, kInsert };

// A command line that names a command and its database.
struct Request {
  Command command = Command::kList;
  std::string database;
  std::vector<std::string> texts;   // insert: the texts given as arguments, in order
  std::optional<std::string> from;  // insert: the file of texts, one a line ("-": standard input)
  bool json = false;
};

// A command line answered without opening any file: the help or the version
// (exit status 0, `text` for standard output), or a usage error (exit status
// 2, `text` the one-line reason for standard error).
struct Reply {
  int exit_status = 0;
  std::string text;
};

// Reads the arguments (without the program name). Anything it does not know
// is a usage error.
std::variant<Request, Reply> ParseCommandLine(std::span<const std::string_view> args);

}  // namespace orva::cli
