// A scratch folder for one test, removed with everything in it afterwards.
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace orva::test_support {

class TempDir {
 public:
  // A new folder of a random name under the system's temporary folder.
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Both throw std::runtime_error when the file cannot be written or read.
void WriteFileBytes(const std::filesystem::path& path, std::span<const std::byte> bytes);
std::vector<std::byte> ReadFileBytes(const std::filesystem::path& path);

}  // namespace orva::test_support
