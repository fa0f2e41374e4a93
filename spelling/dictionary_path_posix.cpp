#include "spelling/internal/dictionary_path.h"
#include "spelling/spell_checker.h"

namespace orva {

std::filesystem::path DefaultDictionaryFolder() { return "/usr/share/hunspell"; }

Result<std::string> DictionaryPath(const std::filesystem::path& path) { return path.string(); }

}  // namespace orva
