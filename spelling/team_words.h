// The team's own words (names, the game's terms) that the dictionaries lack:
// a plain UTF-8 text file, one word per line, kept beside the database and
// its rules file and shared with them (in the mod's repository, on a shared
// folder). Blank lines and lines that start with "#" are left out; a byte
// order mark and Windows line ends are accepted. "Add to Dictionary" appends
// to it, rewriting it crash-safely, so a teammate's words added since it was
// read are kept.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

// The word list looked for beside a database.
inline constexpr std::string_view kTeamWordsFileName = "orva-words.txt";
std::filesystem::path TeamWordsBeside(const std::filesystem::path& database);

// The words of a word list's text, in its order. Refuses (kInvalidText) a
// text that is not UTF-8, naming the line.
Result<std::vector<std::string>> ParseTeamWords(std::string_view text);

// The words of the file at `path`; none when there is no such file.
Result<std::vector<std::string>> ReadTeamWords(const std::filesystem::path& path,
                                               FileSystem& fs = DefaultFileSystem());

// Refuses (kInvalidText) what cannot be one line of the list: an empty word,
// one with a space or a control character in it, one that is not UTF-8 or
// that starts with "#".
Status CheckTeamWord(std::string_view word);

// Appends `word` (UTF-8) to the list at `path`, making the file when there is
// none; a word the list has already leaves it unchanged. The file is read
// again first and written whole through WriteFileDurably: after a crash it is
// the old list or the new one.
Status AddTeamWord(const std::filesystem::path& path, std::string_view word,
                   FileSystem& fs = DefaultFileSystem());

}  // namespace orva
