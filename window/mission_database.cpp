#include "window/mission_database.h"

#include "database/text_entry_insertion.h"

namespace orva {

MissionList FileMissionDatabase::Read(const std::filesystem::path& path) {
  return ReadMissionList(path);
}

Result<InsertedEntry> FileMissionDatabase::Insert(const std::filesystem::path& path,
                                                  std::string_view utf8_text) {
  return InsertTextEntry(path, utf8_text);
}

}  // namespace orva
