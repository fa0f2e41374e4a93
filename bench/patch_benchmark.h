// The benchmarks of diff, patch create and patch apply, registered with the
// others of orva-bench.
#pragma once

#include <filesystem>

namespace orva {

// Makes the two versions they compare in `data_dir` and registers them.
void RegisterPatchBenchmarks(const std::filesystem::path& data_dir);

}  // namespace orva
