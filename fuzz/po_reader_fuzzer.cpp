// libFuzzer target: the PO reader on arbitrary bytes, and the exporter's own
// PO files read back.
#include "fuzz/exchange_properties.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orva::fuzz::AbortUnlessOk(
      orva::fuzz::CheckTranslationFileRead(orva::fuzz::AsBytes(data, size), false));
  return 0;
}
