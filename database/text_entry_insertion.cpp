#include "database/text_entry_insertion.h"

#include "database/insertion_plan.h"
#include "database/read_limits.h"
#include "storage/database_rewrite.h"
#include "storage/file_system.h"

namespace orva {

Result<InsertedEntries> InsertTextEntries(const std::filesystem::path& path, const NewTexts& texts,
                                          const BeforeRename& before_rename, FileSystem& fs) {
  std::vector<MissionEntry> entries;
  std::vector<std::size_t> table_slots;
  // Written piece by piece from the old bytes and the batch, so that only the
  // table is held twice in memory.
  Result<Rewritten> rewritten = RewriteDatabase(
      path, kDatabaseReadLimit,
      [&](std::span<const std::byte> old) -> Result<NewContents> {
        Result<InsertionPieces> planned = PlanInsertionPieces(old, texts);
        if (!planned.ok()) return planned.status();
        entries = std::move(planned->entries);
        table_slots = std::move(planned->table_slots);
        NewContents contents;
        contents.Add(std::move(planned->table));
        contents.Keep(planned->texts_before);
        contents.Keep(planned->counted_texts);
        contents.Add(std::move(planned->reversed_texts));
        contents.Keep(planned->rest);
        return contents;
      },
      before_rename, fs);
  if (!rewritten.ok()) return rewritten.status();
  return InsertedEntries{std::move(entries), std::move(table_slots), std::move(rewritten->warning)};
}
Result<InsertedEntry> InsertTextEntry(const std::filesystem::path& path, std::string_view utf8_text,
                                      FileSystem& fs) {
  NewTexts texts;
  if (Status s = texts.Add(utf8_text); !s.ok()) return s;
  Result<InsertedEntries> inserted = InsertTextEntries(path, texts, {}, fs);
  if (!inserted.ok()) return inserted.status();
  return InsertedEntry{std::move(inserted->entries.front()), std::move(inserted->warning)};
}
}  // namespace orva
