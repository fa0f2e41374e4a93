// Sentences the windows make of the library's reasons, in one place for both;
// counts in words (Grouped, Plural) come with it.
#pragma once

#include <string>

#include "storage/quote.h"  // Grouped, Plural

namespace orva {

// The library's reasons are clauses ("the entry count is negative"); the
// windows' boxes show them as sentences ("The entry count is negative.").
std::string AsSentence(std::string reason);

}  // namespace orva
