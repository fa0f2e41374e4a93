#include "exchange/translation_export.h"

#include <new>
#include <vector>

#include "database/read_limits.h"
#include "database/text_edit.h"
#include "storage/durable_file.h"
#include "storage/file_system.h"
#include "storage/no_memory.h"
#include "storage/quote.h"

namespace orva {

namespace {

// The reference of a bilingual export, and the file it was read from.
struct ReferenceFile {
  const ReferenceDatabase& reference;
  FileInfo info;
  std::filesystem::path path;
};

Result<Exported> Export(FileSystem& fs, std::span<const std::byte> bytes, const FileInfo& info,
                        const std::filesystem::path& database, const std::filesystem::path& output,
                        TranslationFormat format, const ReferenceFile* reference = nullptr) {
  Result<std::vector<EntryText>> entries = ReadEntryTexts(bytes);
  if (!entries.ok()) return entries.status();
  DurableWrite how;
  how.inputs.push_back({info, database});
  EntryJoin join;
  BilingualSource bilingual;
  if (reference != nullptr) {
    how.inputs.push_back({reference->info, reference->path});
    std::vector<std::int32_t> ids(entries->size());
    for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = (*entries)[i].id;
    join = JoinById(ids, reference->reference.ids());
    bilingual = {&reference->reference, &join};
  }
  const std::string name = PathToUtf8(database.filename());
  Result<WrittenFile> written = WriteFileDurably(
      output,
      [&](FileWriter& writer) {
        Status status;
        WriteTranslationFile(
            format, name, *entries,
            [&](std::string_view piece) {
              if (status.ok()) status = writer.Write(piece);
            },
            bilingual);
        return status;
      },
      how, fs);
  if (!written.ok()) return written.status();
  return Exported{entries->size(), std::move(written->warning)};
}

}  // namespace

Result<Exported> ExportTranslations(const std::filesystem::path& database,
                                    const std::filesystem::path& output, TranslationFormat format,
                                    FileSystem& fs) {
  const auto doing = [&] { return "export " + DescribePath(database); };
  return OrNoMemory(doing, [&]() -> Result<Exported> {
    Result<FileInfo> info = fs.Stat(database);
    if (!info.ok()) return info.status();
    Result<std::vector<std::byte>> bytes = ReadWholeFile(database, kDatabaseReadLimit, fs);
    if (!bytes.ok()) return bytes.status();
    return Export(fs, *bytes, *info, database, output, format);
  });
}

Result<Exported> ExportBilingual(const std::filesystem::path& database,
                                 const std::filesystem::path& reference,
                                 const std::filesystem::path& output, TranslationFormat format,
                                 FileSystem& fs) {
  const auto doing = [&] { return "export " + DescribePath(database); };
  return OrNoMemory(doing, [&]() -> Result<Exported> {
    Result<FileInfo> info = fs.Stat(database);
    if (!info.ok()) return info.status();
    Result<FileInfo> reference_info = fs.Stat(reference);
    if (!reference_info.ok()) return reference_info.status();
    Result<ReferenceDatabase> opened = ReferenceDatabase::Open(reference, fs);
    if (!opened.ok()) return opened.status();
    Result<std::vector<std::byte>> bytes = ReadWholeFile(database, kDatabaseReadLimit, fs);
    if (!bytes.ok()) return bytes.status();
    const ReferenceFile file{*opened, *reference_info, reference};
    return Export(fs, *bytes, *info, database, output, format, &file);
  });
}

Result<Exported> ExportTranslations(std::span<const std::byte> bytes,
                                    const std::filesystem::path& database,
                                    const std::filesystem::path& output, TranslationFormat format,
                                    FileSystem& fs) {
  const auto doing = [&] { return "export " + DescribePath(database); };
  return OrNoMemory(doing, [&]() -> Result<Exported> {
    Result<FileInfo> info = fs.Stat(database);
    if (!info.ok()) return info.status();
    return Export(fs, bytes, *info, database, output, format);
  });
}

}  // namespace orva
