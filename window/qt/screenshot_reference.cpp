// The English version of the sample database, which orva-screenshot opens
// as the reference beside it. Apart from screenshot.cpp, as the session's
// names are Qt's keywords there.
#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "database/code_page.h"
#include "session/edit_session.h"
#include "storage/path_text.h"

namespace {

// The English texts of the sample's entries, by table slot: what a
// translator of the sample works from. Some are still the sample's own.
constexpr std::array<const char*, 17> kEnglish{
    "Training: first flight",
    "Patrol over the river",
    "Night convoy",
    "Escort the supply train",
    "Briefing note, never listed",
    "Airfield defence",
    "Reconnaissance in force at the old mill, then back to base before dawn of the next day",
    "Bridge at dawn",
    "Hint for the loading screen",
    "Strike on the depots",
    "Storm over the pass",
    "Breaking the blockade",
    "The last line",
    "Home before winter",
    "End of the campaign",
    "Credits: ORVA sample",
    "Version 1",
};

}  // namespace

// Writes the sample at `database` with its English texts to `reference`,
// which must not exist yet.
bool MakeEnglishReference(const std::string& database, const std::string& reference) {
  orva::Result<orva::EditSession> session = orva::EditSession::Open(orva::PathFromUtf8(database));
  if (!session.ok() || session->entry_count() != kEnglish.size()) return false;
  for (std::size_t slot = 1; slot <= kEnglish.size(); ++slot) {
    const orva::Result<std::vector<std::byte>> text = orva::StoredText(kEnglish[slot - 1]);
    if (!text.ok() || !session->SetText(slot, *text).ok()) return false;
  }
  std::error_code ignored;
  std::filesystem::remove(orva::PathFromUtf8(reference), ignored);
  return session->SaveAs(orva::PathFromUtf8(reference)).ok();
}
