// libFuzzer target: regular expressions and literal texts, made from a
// pattern and run over a text.
#include "fuzz/fuzz_target.h"
#include "fuzz/properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orva::fuzz::AbortUnlessOk(orva::fuzz::CheckPattern(orva::fuzz::AsBytes(data, size)));
  return 0;
}
