// A database's texts written to a translation file (translation_files.h)
// that a crash, a kill or a full disk leaves exactly old or exactly new
// (durable_file.h), and that is never the database itself.
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>

#include "exchange/translation_files.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

struct Exported {
  std::size_t entries = 0;
  std::string warning;  // as in Rewritten
};

// Writes every entry of the database at `database` to `output`, both through
// `fs`. An output that is the database, by any name (a symbolic or hard link,
// another spelling of its path), is refused before anything is written.
Result<Exported> ExportTranslations(const std::filesystem::path& database,
                                    const std::filesystem::path& output, TranslationFormat format,
                                    FileSystem& fs = DefaultFileSystem());
// The same for the bytes of a database read from `database` and held in
// memory, changed or not (an editor's): `output` is never the file at
// `database` either.
Result<Exported> ExportTranslations(std::span<const std::byte> bytes,
                                    const std::filesystem::path& database,
                                    const std::filesystem::path& output, TranslationFormat format,
                                    FileSystem& fs = DefaultFileSystem());

// A bilingual export (BilingualSource): the texts of the database at
// `database` as translations of those of the reference at `reference`, read
// whole through `fs`. An output that is either file is refused.
Result<Exported> ExportBilingual(const std::filesystem::path& database,
                                 const std::filesystem::path& reference,
                                 const std::filesystem::path& output, TranslationFormat format,
                                 FileSystem& fs = DefaultFileSystem());

}  // namespace orva
