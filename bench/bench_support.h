// What the bench programs share: their clock, the median of their samples,
// the process's peak memory, and the reading of their arguments.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace orva::bench {

using Clock = std::chrono::steady_clock;

// The milliseconds since `since`.
double Ms(Clock::time_point since);
// The middle one of `values` (the upper of the two middle ones); 0 for none.
double Median(std::vector<double> values);
// The most memory the process has held, in KiB.
long PeakKib();

// What a program's own option did: not its (handed on), taken, or refused
// (the program says why and stops with 2).
enum class Option { kNotMine, kTaken, kRefused };

// Reads the arguments of a program built on Google Benchmark: --help (or
// -h) prints `usage` and stops with 0; `take` gets each other argument
// first; what it leaves goes to Google Benchmark, which refuses what it does
// not know either (2). Nothing: go on, with `handed_on` (where given) set to
// how many it took.
std::optional<int> ReadArguments(int argc, char** argv, std::string_view usage,
                                 const std::function<Option(std::string_view)>& take,
                                 int* handed_on = nullptr);

// A whole positive number, or nothing.
std::optional<long> PositiveCount(std::string_view text);

}  // namespace orva::bench
