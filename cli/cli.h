// orva-cli: list, check and extend text databases from scripts.
#pragma once

#include <iosfwd>
#include <span>
#include <string_view>

namespace orva::cli {

inline constexpr int kExitOk = 0;
// The database was unreadable, damaged or refused the change, or the output
// could not be written.
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;  // the command line was wrong; nothing was read or changed

// Runs one command line (without the program name). Results go to `out`,
// reasons for failure to `err`, one line each.
int Run(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
        std::ostream& err);

}  // namespace orva::cli
