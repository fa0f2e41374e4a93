// Runs orva-cli in-process with the given arguments and standard input, and
// keeps what it printed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "tests/support/temp_dir.h"

namespace orva::test_support {

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

// A scratch folder to run orva-cli in, with databases written into it.
class CliFixture : public ::testing::Test {
 protected:
  static CliOutcome Run(const std::vector<std::string>& args, const std::string& input = "") {
    return RunCli(args, input);
  }
  std::string Database(const std::vector<std::byte>& bytes,
                       const std::string& name = "textdb_00.def") {
    WriteFileBytes(dir_ / name, bytes);
    return (dir_ / name).string();
  }
  static std::ptrdiff_t Lines(const std::string& s) { return std::count(s.begin(), s.end(), '\n'); }

  TempDir dir_;
};

}  // namespace orva::test_support
