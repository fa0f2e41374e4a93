// What the window asks of database files: whether one is there, its missions
// and an insertion. The window is given them through this interface so that
// tests can make a read fail at a chosen moment; the program uses
// FileMissionDatabase, which calls the library through a file system.
#pragma once

#include <filesystem>
#include <string_view>

#include "database/mission_list.h"
#include "database/text_entry_insertion.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

class MissionDatabase {
 public:
  virtual ~MissionDatabase() = default;
  virtual bool Exists(const std::filesystem::path& path) = 0;
  virtual MissionList Read(const std::filesystem::path& path) = 0;
  virtual Result<InsertedEntry> Insert(const std::filesystem::path& path,
                                       std::string_view utf8_text) = 0;
};

class FileMissionDatabase : public MissionDatabase {
 public:
  explicit FileMissionDatabase(FileSystem& fs = DefaultFileSystem()) : fs_(&fs) {}
  bool Exists(const std::filesystem::path& path) override;
  MissionList Read(const std::filesystem::path& path) override;
  Result<InsertedEntry> Insert(const std::filesystem::path& path,
                               std::string_view utf8_text) override;

 private:
  FileSystem* fs_;
};

}  // namespace orva
