// Starting inputs for the fuzz targets, made by the tests' database builder:
// small well-formed databases of each kind and a few damaged ones.
// make-starting-corpus writes them to files; the regression suite checks them directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orva::fuzz {

struct CorpusInput {
  std::string name;
  std::vector<std::byte> bytes;
};

// Whole databases, well-formed and damaged: inputs of the reader target.
std::vector<CorpusInput> DatabaseCorpus();

// Databases paired with texts to insert, in the insertion target's input form.
std::vector<CorpusInput> InsertionCorpus();

// Code page bytes and UTF-8 texts: inputs of the code page target.
std::vector<CorpusInput> CodePageCorpus();

// Patches made from the patch target's databases (PatchTargets) to edited
// versions of them, and damaged patches: inputs of the patch target.
std::vector<CorpusInput> PatchCorpus();
// Translation files as exports, editors and spreadsheets write them, and
// damaged ones: inputs of the PO and CSV reader targets.
std::vector<CorpusInput> PoCorpus();
std::vector<CorpusInput> CsvCorpus();

// Those files with databases, in the import target's input form.
std::vector<CorpusInput> ImportCorpus();

// Patterns with texts, in the pattern target's input form: what people
// search for, Cyrillic in both cases, and nestings and repetitions near the
// limits.
std::vector<CorpusInput> PatternCorpus();

}  // namespace orva::fuzz
