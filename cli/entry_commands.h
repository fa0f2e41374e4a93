// orva-cli's commands over every entry's text: entries and replace.
#pragma once

#include "cli/command_line.h"
#include "cli/edit_commands.h"

namespace orva::cli {

Outcome Entries(const Io& io, const Request& request);
Outcome ReplaceTexts(const Io& io, const Request& request);

}  // namespace orva::cli
