// Writes the fuzz targets' starting corpora: make-starting-corpus DIR creates
// a folder for each target (DIR/reader, DIR/insertion, ...) with one file
// per input.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/main_guard.h"
#include "fuzz/starting_corpus.h"

namespace {

bool WriteCorpus(const std::filesystem::path& dir,
                 const std::vector<orva::fuzz::CorpusInput>& corpus) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "make-starting-corpus: cannot create %s: %s\n", dir.c_str(),
                 error.message().c_str());
    return false;
  }
  for (const auto& input : corpus) {
    const auto path = dir / input.name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(input.bytes.data()),
              static_cast<std::streamsize>(input.bytes.size()));
    if (!out.flush()) {
      std::fprintf(stderr, "make-starting-corpus: cannot write %s\n", path.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-starting-corpus DIR\n");
    return 2;
  }
  return orva::GuardedMain("make-starting-corpus", [&] {
    const std::filesystem::path root = argv[1];
    const bool ok = WriteCorpus(root / "reader", orva::fuzz::DatabaseCorpus()) &&
                    WriteCorpus(root / "insertion", orva::fuzz::InsertionCorpus()) &&
                    WriteCorpus(root / "code_page", orva::fuzz::CodePageCorpus()) &&
                    WriteCorpus(root / "patch", orva::fuzz::PatchCorpus()) &&
                    WriteCorpus(root / "po_reader", orva::fuzz::PoCorpus()) &&
                    WriteCorpus(root / "csv_reader", orva::fuzz::CsvCorpus()) &&
                    WriteCorpus(root / "import", orva::fuzz::ImportCorpus()) &&
                    WriteCorpus(root / "pattern", orva::fuzz::PatternCorpus());
    return ok ? 0 : 1;
  });
}
