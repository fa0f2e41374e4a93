// What must hold for any translation file a stranger sends: the PO and CSV
// readers and the import's planning. As in properties.h, each check runs the
// library's own functions and says in plain words what went wrong.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "storage/status.h"

namespace orva::fuzz {

// ReadPo or ReadCsv (`csv`) on arbitrary bytes: every line it names lies in
// the file. Then the texts the bytes make, read as a database's stored
// bytes and written with the exporter's own PoMessage or CsvRow (split at
// NULs, each with the next as its translation), read back to exactly those
// keys, sources and translations, without a problem.
Status CheckTranslationFileRead(std::span<const std::byte> file, bool csv);

// PlanImport of an arbitrary translation file into an arbitrary database (the
// import target's input: a byte giving PO or CSV, two bytes giving the file's
// length, the file, then the database). Every entry is counted once; the
// changes are in distinct slots, storable and new; without problems they plan
// a database whose texts are the translations where changed and the old ones
// elsewhere.
Status CheckImportPlan(std::span<const std::byte> input);

struct ImportInput {
  bool csv = false;
  std::span<const std::byte> file;
  std::span<const std::byte> database;
};
ImportInput SplitImportInput(std::span<const std::byte> input);
std::vector<std::byte> JoinImportInput(bool csv, std::span<const std::byte> file,
                                       std::span<const std::byte> database);

}  // namespace orva::fuzz
