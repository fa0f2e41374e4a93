// orva-cli's commands that compare versions of a database and carry what
// changed from one to another: diff, patch create and patch apply.
#pragma once

#include "cli/command_line.h"
#include "cli/edit_commands.h"

namespace orva::cli {

// Exits with 0 for equal versions, 1 for different ones and 2 when either
// cannot be read or is not well-formed, as diff(1) does.
Outcome Diff(const Io& io, const Request& request);
Outcome CreatePatchFile(const Io& io, const Request& request);
Outcome ApplyPatchFile(const Io& io, const Request& request);

}  // namespace orva::cli
