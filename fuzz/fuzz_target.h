// What the libFuzzer targets share: the input as bytes, and a failed check
// turned into a crash that libFuzzer records as a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "storage/status.h"

namespace orva::fuzz {

inline std::span<const std::byte> AsBytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const std::byte*>(data), size};
}

inline void AbortUnlessOk(const Status& status) {
  if (status.ok()) return;
  std::fprintf(stderr, "property violated: %s\n", status.message().c_str());
  std::abort();
}

}  // namespace orva::fuzz
