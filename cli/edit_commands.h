// orva-cli's commands that change or translate existing entries: set, remove,
// export and import.
#pragma once

#include <iosfwd>

#include "cli/command_line.h"
#include "cli/output.h"

namespace orva::cli {

struct EditIo {
  CheckedOutput& out;
  std::ostream& err;
};

struct EditOutcome {
  int exit_status = 0;
  bool database_changed = false;
};

// Says "DATABASE: REASON" for a refusal and gives the failure's exit status.
EditOutcome Refuse(const EditIo& io, const Request& request, const Status& why);

EditOutcome SetText(const EditIo& io, const Request& request);
EditOutcome Remove(const EditIo& io, const Request& request);
EditOutcome Export(const EditIo& io, const Request& request);
EditOutcome Import(const EditIo& io, const Request& request);

}  // namespace orva::cli
