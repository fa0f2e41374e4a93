// Reading a database file into memory, at one edge: the file is opened, read
// whole and closed here, and everything else works on the bytes.
#pragma once

#include <cstddef>
#include <filesystem>
#include <vector>

#include "database/status.h"

namespace orva {

// Reads the whole file at `path`. Fails with kNotFound when there is no such
// file and kIo for any other refusal (a folder, no permission, a read error).
Result<std::vector<std::byte>> ReadWholeFile(const std::filesystem::path& path);

// Quotes a path for a message: "the file '/x/textdb_00.def'".
std::string DescribePath(const std::filesystem::path& path);

}  // namespace orva
