// Runs orva-cli in-process with the given arguments and standard input, and
// keeps what it printed.
#pragma once

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"

namespace orva::testing {

struct CliOutcome {
  int exit_code;
  std::string out;
  std::string err;
};

inline CliOutcome RunCli(const std::vector<std::string>& args, const std::string& input = "") {
  std::vector<std::string_view> views(args.begin(), args.end());
  std::istringstream in(input);
  std::ostringstream out, err;
  const int code = cli::Run(views, in, out, err);
  return {code, out.str(), err.str()};
}

}  // namespace orva::testing
