// The name hunspell opens a dictionary file by: it takes a narrow string and
// hands it to the C++ library as it is. Defined for each system in
// dictionary_path_posix.cpp and dictionary_path_windows.cpp.
#pragma once

#include <filesystem>
#include <string>

#include "storage/status.h"

namespace orva {

// On POSIX systems the name's bytes; on Windows the name in the ANSI code
// page, or its short (8.3) form where the code page lacks one of its
// characters. Refuses (kUnsupported) a Windows name that has neither.
Result<std::string> DictionaryPath(const std::filesystem::path& path);

}  // namespace orva
