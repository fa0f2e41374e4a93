// libFuzzer target: planning an insertion into arbitrary bytes with an
// arbitrary text, and its lines as a batch (the input's form is in
// fuzz/properties.h).
#include "fuzz/fuzz_target.h"
#include "fuzz/properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto input = orva::fuzz::SplitInsertionInput(orva::fuzz::AsBytes(data, size));
  orva::fuzz::AbortUnlessOk(orva::fuzz::CheckInsertion(input.database, input.utf8_text));
  orva::fuzz::AbortUnlessOk(orva::fuzz::CheckBatchInsertion(input.database, input.utf8_text));
  return 0;
}
