// How a message names what it speaks of: the one place that quotes paths and
// texts, so that every message of the library, the window and orva-cli shows
// them alike. Numbers in a refusal go in as std::to_string writes them;
// counts that people read in the windows, grouped.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace orva {

// A path in single quotes, as UTF-8: '/x/textdb_00.def'.
std::string QuotePath(const std::filesystem::path& path);
// A file named by its path: the file '/x/textdb_00.def'.
std::string DescribePath(const std::filesystem::path& path);
// A text in double quotes: "Hello".
std::string QuoteText(std::string_view utf8);

// 970017 as "970,017".
std::string Grouped(std::size_t n);
// "1 entry", "80,834 entries".
std::string Plural(std::size_t n, std::string_view one, std::string_view many);

}  // namespace orva
