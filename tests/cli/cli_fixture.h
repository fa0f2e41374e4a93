// A scratch folder to run orva-cli in, with databases written into it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/cli_run.h"
#include "tests/support/temp_dir.h"

namespace orva::testing {

class CliFixture : public ::testing::Test {
 protected:
  CliOutcome Run(const std::vector<std::string>& args, const std::string& input = "") {
    return RunCli(args, input);
  }
  // Writes a database into the scratch folder and gives its path.
  std::string Database(const std::vector<std::byte>& bytes,
                       const std::string& name = "textdb_00.def") {
    const auto path = dir_ / name;
    WriteFileBytes(path, bytes);
    return path.string();
  }
  static long Lines(const std::string& s) { return std::count(s.begin(), s.end(), '\n'); }

  TempDir dir_;
};

}  // namespace orva::testing
