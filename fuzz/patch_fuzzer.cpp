// libFuzzer target: reading a patch file of arbitrary text, and applying
// what it reads to small databases (the checks are in fuzz/properties.h).
#include "fuzz/fuzz_target.h"
#include "fuzz/properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orva::fuzz::AbortUnlessOk(orva::fuzz::CheckPatchRead(orva::fuzz::AsBytes(data, size)));
  return 0;
}
