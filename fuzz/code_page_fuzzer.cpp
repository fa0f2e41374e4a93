// libFuzzer target: the Windows-1251 code page, decoding and encoding.
#include "fuzz/fuzz_target.h"
#include "fuzz/properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orva::fuzz::AbortUnlessOk(orva::fuzz::CheckCodePageRoundTrip(orva::fuzz::AsBytes(data, size)));
  return 0;
}
