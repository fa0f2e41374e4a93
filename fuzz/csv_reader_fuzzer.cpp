// libFuzzer target: the CSV reader on arbitrary bytes, and the exporter's own
// CSV files read back.
#include "fuzz/exchange_properties.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orva::fuzz::AbortUnlessOk(
      orva::fuzz::CheckTranslationFileRead(orva::fuzz::AsBytes(data, size), true));
  return 0;
}
