#include "bench/bench_support.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace orva::bench {

double Ms(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

long PeakKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::optional<int> ReadArguments(int argc, char** argv, std::string_view usage,
                                 const std::function<Option(std::string_view)>& take,
                                 int* handed_on) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (i > 0 && (arg == "--help" || arg == "-h")) {
      std::printf("%.*s", static_cast<int>(usage.size()), usage.data());
      return 0;
    }
    switch (i == 0 ? Option::kNotMine : take(arg)) {
      case Option::kTaken:
        break;
      case Option::kRefused:
        return 2;
      case Option::kNotMine:
        args.push_back(argv[i]);
        break;
    }
  }
  // Refused before any file is written.
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;
  if (handed_on != nullptr) *handed_on = count - 1;
  return std::nullopt;
}

std::optional<long> PositiveCount(std::string_view text) {
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
  return value;
}

}  // namespace orva::bench
