// libFuzzer target: the mission list reader on arbitrary bytes.
#include "fuzz/fuzz_target.h"
#include "fuzz/properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orva::fuzz::AbortUnlessOk(orva::fuzz::CheckMissionListRead(orva::fuzz::AsBytes(data, size)));
  return 0;
}
