// SHA-256 against coreutils' sha256sum, on files of every length around
// the block boundaries and on a generated database.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "database/sha256.h"
#include "tests/support/generated_databases.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

// What sha256sum prints for each file, by name.
std::map<std::string, std::string> Sha256Sum(const std::filesystem::path& folder,
                                             const std::vector<std::string>& names) {
  std::string command = "cd '" + folder.string() + "' && sha256sum";
  for (const std::string& name : names) command += " " + name;
  std::map<std::string, std::string> digests;
  // NOLINTNEXTLINE(cert-env33-c): the test runs coreutils' sha256sum on its own files
  FILE* out = ::popen(command.c_str(), "r");
  if (out == nullptr) return digests;
  char line[512];
  while (std::fgets(line, sizeof line, out) != nullptr) {
    const std::string text(line);
    if (text.size() > 67) digests[text.substr(66, text.size() - 67)] = text.substr(0, 64);
  }
  ::pclose(out);
  return digests;
}

TEST(Sha256, AgreesWithSha256sum) {
  test_support::TempDir dir;
  test_support::Generated generated(20261231);
  std::map<std::string, std::vector<std::byte>> files;
  for (int size = 0; size <= 200; ++size) {
    std::vector<std::byte> bytes(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      bytes[i] = static_cast<std::byte>(generated.Pick(0, 255));
    }
    files["f" + std::to_string(size)] = bytes;
  }
  files["database"] = generated.Next();
  std::vector<std::string> names;
  for (const auto& [name, bytes] : files) {
    test_support::WriteFileBytes(dir / name, bytes);
    names.push_back(name);
  }
  const std::map<std::string, std::string> expected = Sha256Sum(dir.path(), names);
  ASSERT_EQ(expected.size(), files.size()) << "sha256sum did not run";
  for (const auto& [name, bytes] : files) {
    EXPECT_EQ(HexDigest(Sha256Of(bytes)), expected.at(name)) << name;
  }
}

}  // namespace
}  // namespace orva
