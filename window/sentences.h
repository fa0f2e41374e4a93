// Sentences the windows make of counts and reasons, in one place for both.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orva {

// 970017 as "970,017".
std::string Grouped(std::size_t n);
// "1 entry", "80,834 entries".
std::string Plural(std::size_t n, std::string_view one, std::string_view many);
// The library's reasons are clauses ("the entry count is negative"); the
// windows' boxes show them as sentences ("The entry count is negative.").
std::string AsSentence(std::string reason);

}  // namespace orva
