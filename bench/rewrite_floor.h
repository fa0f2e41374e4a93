// The least any crash-safe rewrite of a file must do, for a benchmark to
// measure a rewrite against: read the file, write its bytes to a new file,
// flush that, rename it over the old one (whose bytes it has) and flush the
// folder. POSIX only, as the benchmarks are.
#pragma once

#include <filesystem>

namespace orva {

// False when any step failed.
bool RewriteFloor(const std::filesystem::path& file);

}  // namespace orva
