#include "window/mission_database.h"

#include "database/text_entry_insertion.h"

namespace orva {

bool FileMissionDatabase::Exists(const std::filesystem::path& path) { return fs_->Stat(path).ok(); }

MissionList FileMissionDatabase::Read(const std::filesystem::path& path) {
  return ReadMissionList(path, *fs_);
}

Result<InsertedEntry> FileMissionDatabase::Insert(const std::filesystem::path& path,
                                                  std::string_view utf8_text) {
  return InsertTextEntry(path, utf8_text, *fs_);
}

}  // namespace orva
