// Writes the fuzz targets' seed corpora: make-seed-corpus DIR creates
// DIR/reader, DIR/insertion and DIR/code_page with one file per seed.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/seed_corpus.h"

namespace {

bool WriteSeeds(const std::filesystem::path& dir, const std::vector<orva::fuzz::Seed>& seeds) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "make-seed-corpus: cannot create %s: %s\n", dir.c_str(),
                 error.message().c_str());
    return false;
  }
  for (const auto& seed : seeds) {
    const auto path = dir / seed.name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(seed.bytes.data()),
              static_cast<std::streamsize>(seed.bytes.size()));
    if (!out.flush()) {
      std::fprintf(stderr, "make-seed-corpus: cannot write %s\n", path.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-seed-corpus DIR\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  const bool ok = WriteSeeds(root / "reader", orva::fuzz::DatabaseSeeds()) &&
                  WriteSeeds(root / "insertion", orva::fuzz::InsertionSeeds()) &&
                  WriteSeeds(root / "code_page", orva::fuzz::CodePageSeeds());
  return ok ? 0 : 1;
}
