// The names of the files a rewrite or a backup writes before renaming them
// into place, within the database library: the rewrite makes them and clears
// away those that killed runs left behind.
#pragma once

#include <filesystem>
#include <string>

namespace orva {

// The name of a temporary file beside `path`: hidden, and recognisable as
// ORVA's ('.textdb_00.def.orva-1a2b3c4d5e6f7a8b.tmp'); where that would pass
// the 255 bytes of a name, '.orva-<hash of the name>-<random>.tmp'.
std::filesystem::path TemporaryPathFor(const std::filesystem::path& path);
// Whether `name` (a name in the folder of `path`) is one TemporaryPathFor makes.
bool IsTemporaryName(const std::string& name, const std::filesystem::path& path);

}  // namespace orva
