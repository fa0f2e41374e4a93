// Starting inputs for the fuzz targets, made by the tests' database builder:
// small well-formed databases of each kind and a few damaged ones. The seed
// generator writes them to files; the regression suite checks them directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orva::fuzz {

struct Seed {
  std::string name;
  std::vector<std::byte> bytes;
};

// Whole databases, well-formed and damaged: inputs of the reader target.
std::vector<Seed> DatabaseSeeds();

// Databases paired with texts to insert, in the insertion target's input form.
std::vector<Seed> InsertionSeeds();

// Code page bytes and UTF-8 texts: inputs of the code page target.
std::vector<Seed> CodePageSeeds();

}  // namespace orva::fuzz
