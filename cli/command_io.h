// What each of orva-cli's commands is given and what it gives back.
#pragma once

#include <iosfwd>

#include "cli/exit_status.h"
#include "cli/output.h"
#include "storage/file_system.h"

namespace orva::cli {

// The command's streams: standard input (insert --from -), the checked
// standard output, and standard error for refusals and warnings; and the
// file system every file is read and written through.
struct Io {
  std::istream& in;
  CheckedOutput& out;
  std::ostream& err;
  FileSystem& fs;
};

// What a command did: its exit status, and whether it changed the database,
// which a failure to print the results must then admit.
struct Outcome {
  int exit_status = kExitOk;
  bool database_changed = false;
};

}  // namespace orva::cli
