// orva-cli's commands over every entry's text: entries and replace.
#pragma once

#include "cli/command_line.h"
#include "cli/edit_commands.h"

namespace orva::cli {

EditOutcome Entries(const EditIo& io, const Request& request);
EditOutcome ReplaceTexts(const EditIo& io, const Request& request);

}  // namespace orva::cli
