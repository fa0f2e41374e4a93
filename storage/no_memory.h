// The one way a public call of the library answers a failed allocation: a
// file may be larger than the memory left, and the caller is told so in
// words (Status::NoMemory) instead of an exception through its own code.
//
//   return OrNoMemory("insert the texts", [&]() -> Result<SessionEdit> {
//     ...
//   });
//
// `what` says what was being done: a text, or a callable that makes it only
// when the allocation failed (for descriptions that allocate themselves:
// [&] { return "open " + DescribePath(path); }).
#pragma once

#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include "storage/status.h"

namespace orva {

template <class What, class Work>
auto OrNoMemory(What&& what, Work&& work) -> std::invoke_result_t<Work&> {
  static_assert(std::is_constructible_v<std::invoke_result_t<Work&>, Status>,
                "the work returns a Status or a Result");
  try {
    return work();
  } catch (const std::bad_alloc&) {
    if constexpr (std::is_invocable_v<What&>) {
      return Status::NoMemory(what());
    } else {
      return Status::NoMemory(std::string(std::forward<What>(what)));
    }
  }
}

}  // namespace orva
