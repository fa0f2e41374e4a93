// orva-cli's exit statuses, which scripts rely on.
#pragma once

namespace orva::cli {

inline constexpr int kExitOk = 0;
// The database was unreadable, damaged or refused the change, or the output
// could not be written.
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;  // the command line was wrong; nothing was read or changed

}  // namespace orva::cli
