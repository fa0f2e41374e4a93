// orva-cli's commands that change or translate existing entries: set, remove,
// export and import.
#pragma once

#include "cli/command_io.h"
#include "cli/command_line.h"

namespace orva::cli {

// Says "DATABASE: REASON" for a refusal and gives the failure's exit status.
Outcome Refuse(const Io& io, const Request& request, const Status& why);

Outcome SetText(const Io& io, const Request& request);
Outcome Remove(const Io& io, const Request& request);
Outcome Export(const Io& io, const Request& request);
Outcome Import(const Io& io, const Request& request);

}  // namespace orva::cli
