// Paths as the command line, the window and the messages spell them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orva {

// A path from the UTF-8 that the command line, the window and the messages
// use, and back: on POSIX systems the name's bytes as they are, on Windows its
// UTF-16 name, converted without the ANSI code page or a locale (a byte that
// is not UTF-8 becomes U+FFFD). Defined for each system in path_text_posix.cpp
// and path_text_windows.cpp.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace orva
