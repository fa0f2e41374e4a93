// The two operations the window runs on a database file. The window is given
// them through this interface so that tests can make a read fail at a chosen
// moment; the program uses FileMissionDatabase, which calls the library.
#pragma once

#include <filesystem>
#include <string_view>

#include "database/mission_list.h"
#include "database/text_entry_insertion.h"
#include "storage/status.h"

namespace orva {

class MissionDatabase {
 public:
  virtual ~MissionDatabase() = default;
  virtual MissionList Read(const std::filesystem::path& path) = 0;
  virtual Result<InsertedEntry> Insert(const std::filesystem::path& path,
                                       std::string_view utf8_text) = 0;
};

class FileMissionDatabase : public MissionDatabase {
 public:
  MissionList Read(const std::filesystem::path& path) override;
  Result<InsertedEntry> Insert(const std::filesystem::path& path,
                               std::string_view utf8_text) override;
};

}  // namespace orva
