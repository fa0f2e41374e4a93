// libFuzzer target: an import planned from an arbitrary PO or CSV file into
// an arbitrary database.
#include "fuzz/exchange_properties.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orva::fuzz::AbortUnlessOk(orva::fuzz::CheckImportPlan(orva::fuzz::AsBytes(data, size)));
  return 0;
}
