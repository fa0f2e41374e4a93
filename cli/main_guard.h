// Runs the body of a command-line program's main (orva-cli, and the tools,
// benchmark and fuzz corpus maker beside it) so that no exception leaves it:
// what escapes becomes one line on standard error and exit status 1. The
// library returns its failures as values; this is the last resort for what it
// cannot (an allocation failing in the program itself, a bug).
#pragma once

#include <cstdio>
#include <exception>
#include <new>

namespace orva {

template <typename Body>
int GuardedMain(const char* program, Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s: there is not enough memory\n", program);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", program, e.what());
  } catch (...) {
    std::fprintf(stderr, "%s: an unexpected failure\n", program);
  }
  return 1;
}

}  // namespace orva
