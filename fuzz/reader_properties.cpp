#include <string>

#include "database/format.h"
#include "database/mission_list.h"
#include "fuzz/properties.h"
#include "fuzz/utf8_count.h"

namespace orva::fuzz {

Status CheckMissionListRead(std::span<const std::byte> database) {
  const MissionList list = ReadMissionList(database);
  constexpr std::size_t kMaxIds = format::kScanSlots + 1;
  if (list.ids.size() > kMaxIds) {
    return Status::Malformed("the read kept " + std::to_string(list.ids.size()) +
                             " mission ids, more than " + std::to_string(kMaxIds));
  }
  if (list.missions.size() > static_cast<std::size_t>(format::kScanSlots)) {
    return Status::Malformed("the read listed " + std::to_string(list.missions.size()) +
                             " missions from " + std::to_string(format::kScanSlots) +
                             " table slots");
  }
  for (std::size_t i = 0; i < list.missions.size(); ++i) {
    const MissionEntry& m = list.missions[i];
    const std::string where =
        "listed mission " + std::to_string(i) + " (id " + std::to_string(m.id) + ")";
    if (!format::IsMission(m.id)) return Status::Malformed(where + " does not have a mission id");
    const std::optional<std::size_t> chars = CountUtf8Characters(m.text);
    if (!chars) return Status::Malformed(where + " has a text that is not valid UTF-8");
    if (*chars > format::kTextWindow) {
      return Status::Malformed(where + " has a text of " + std::to_string(*chars) +
                               " characters, more than " + std::to_string(format::kTextWindow));
    }
    // The last listed mission may be the one that found MissionIds full.
    const bool stored = i < list.ids.size();
    const bool refused_last = !list.status.ok() && i + 1 == list.missions.size();
    if (!stored && !refused_last) {
      return Status::Malformed(where + " has no place in MissionIds, yet the read went on");
    }
    if (stored && list.ids[i] != m.id) {
      return Status::Malformed(where + " is stored in MissionIds as " +
                               std::to_string(list.ids[i]));
    }
  }
  for (std::size_t i = list.missions.size(); i < list.ids.size(); ++i) {
    if (list.ids[i] != 0) {
      return Status::Malformed("MissionIds holds id " + std::to_string(list.ids[i]) +
                               " at unfilled position " + std::to_string(i));
    }
  }
  if (!list.status.ok() && list.status.message().empty()) {
    return Status::Malformed("the read failed without saying why");
  }
  return Status::Ok();
}

}  // namespace orva::fuzz
