// orva-cli: list, check and extend text databases from scripts.
#pragma once

#include <iosfwd>
#include <span>
#include <string_view>

#include "cli/exit_status.h"
#include "storage/file_system.h"

namespace orva::cli {

// Runs one command line (without the program name). Results go to `out`,
// reasons for failure to `err`, one line each.
int Run(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
        std::ostream& err);
// The same, every file read and written through `fs` (a test's failing one).
int Run(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
        std::ostream& err, FileSystem& fs);

}  // namespace orva::cli
