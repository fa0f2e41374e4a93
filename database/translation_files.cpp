#include "database/translation_files.h"

#include <charconv>
#include <map>
#include <new>

#include "database/database_rewrite.h"
#include "database/file_system.h"
#include "database/format.h"
#include "database/quote.h"

namespace orva {
namespace {

// The entry a key names, or why it names none.
Result<std::size_t> EntryOfKey(std::span<const EntryText> entries, std::string_view key) {
  EntryChoice choice;
  const std::size_t hash = key.find('#');
  const std::string_view id = key.substr(0, hash);
  auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), choice.id);
  bool valid = error == std::errc() && end == id.data() + id.size() && !id.empty();
  if (valid && hash != std::string_view::npos) {
    const std::string_view slot = key.substr(hash + 1);
    std::size_t value = 0;
    auto [slot_end, slot_error] = std::from_chars(slot.data(), slot.data() + slot.size(), value);
    valid = slot_error == std::errc() && slot_end == slot.data() + slot.size() && !slot.empty();
    choice.slot = value;
  }
  if (!valid) {
    return Status::InvalidText(QuoteText(key) + " is no entry's key (an id, or ID#SLOT)");
  }
  return ChooseEntry(entries, choice);
}

}  // namespace

std::vector<std::string> ExchangeKeys(std::span<const EntryText> entries) {
  std::map<std::int32_t, int> uses;
  for (const EntryText& entry : entries) ++uses[entry.id];
  std::vector<std::string> keys;
  keys.reserve(entries.size());
  for (const EntryText& entry : entries) {
    keys.push_back(std::to_string(entry.id));
    if (uses[entry.id] > 1) keys.back() += "#" + std::to_string(entry.slot);
  }
  return keys;
}

void WriteTranslationFile(TranslationFormat format, std::string_view name,
                          std::span<const EntryText> entries,
                          const std::function<void(std::string_view)>& write) {
  const std::vector<std::string> keys = ExchangeKeys(entries);
  write(format == TranslationFormat::kPo ? PoHeader(name) : CsvHeader());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string text = ExchangeText(entries[i].text);
    write(format == TranslationFormat::kPo
              ? PoMessage(keys[i], text, "", format::IsMission(entries[i].id))
              : CsvRow(keys[i], text, ""));
  }
}

ImportPlan PlanImport(std::span<const EntryText> entries,
                      std::span<const Translation> translations) {
  ImportPlan plan;
  std::vector<std::size_t> given_at(entries.size(), 0);
  for (const Translation& t : translations) {
    Result<std::size_t> index = EntryOfKey(entries, t.key);
    if (!index.ok()) {
      plan.problems.push_back({t.key_line, index.status().message()});
      continue;
    }
    if (t.text.empty()) continue;  // not translated
    const EntryText& entry = entries[*index];
    if (given_at[*index] != 0) {
      plan.problems.push_back({t.key_line, "the entry in table slot " + std::to_string(entry.slot) +
                                               " (id " + std::to_string(entry.id) +
                                               ") is translated already, at line " +
                                               std::to_string(given_at[*index])});
      continue;
    }
    given_at[*index] = t.key_line;
    Result<std::vector<std::byte>> stored = StoredText(t.text);
    if (!stored.ok()) {
      plan.problems.push_back({t.text_line, stored.status().message()});
      continue;
    }
    if (std::equal(stored->begin(), stored->end(), entry.text.begin(), entry.text.end())) {
      ++plan.counts.same;
      continue;
    }
    plan.counts.size_change +=
        static_cast<std::int64_t>(stored->size()) - static_cast<std::int64_t>(entry.text.size());
    plan.changes.push_back({entry.slot, std::move(stored).value()});
  }
  plan.counts.changed = plan.changes.size();
  plan.counts.untranslated = entries.size() - plan.counts.changed - plan.counts.same;
  return plan;
}

Result<std::vector<std::byte>> ReadWholeFile(FileSystem& fs, const std::filesystem::path& path) {
  Result<RegularFile> file = OpenRegularFile(fs, path, OpenMode::kRead);
  if (!file.ok()) return file.status();
  if (file->info.size > format::kMaxDatabaseSize) {
    return Status::NoRoom(DescribePath(path) + " has " + std::to_string(file->info.size) +
                          " bytes, more than the 2 GiB that the 32-bit offsets of a text "
                          "database can address, so it is not read");
  }
  std::vector<std::byte> bytes(static_cast<std::size_t>(file->info.size));
  Result<std::size_t> read = ReadFully(fs, file->file.fd(), 0, bytes);
  if (!read.ok()) {
    return Status::Io("cannot read " + DescribePath(path) + " (" + read.status().message() + ")");
  }
  bytes.resize(*read);
  return bytes;
}

Result<ImportOutcome> ImportTranslations(FileSystem& fs, const std::filesystem::path& path,
                                         std::span<const Translation> translations, bool dry_run,
                                         const BeforeRename& before_rename) {
  try {
    Result<std::vector<std::byte>> bytes = ReadWholeFile(fs, path);
    if (!bytes.ok()) return bytes.status();
    Result<std::vector<EntryText>> entries = ReadEntryTexts(*bytes);
    if (!entries.ok()) return entries.status();
    ImportPlan plan = PlanImport(*entries, translations);
    ImportOutcome outcome{plan.counts, std::move(plan.problems), false, {}};
    if (!outcome.problems.empty() || plan.changes.empty() || dry_run) return outcome;
    bytes = std::vector<std::byte>();  // the rewrite reads the file again, under its lock
    // The file may have changed since it was read: the plan is made again
    // from the bytes the rewrite reads.
    Result<Rewritten> rewritten = RewriteDatabase(
        fs, path,
        [&](std::span<const std::byte> old) -> Result<NewContents> {
          Result<std::vector<EntryText>> now = ReadEntryTexts(old);
          if (!now.ok()) return now.status();
          ImportPlan again = PlanImport(*now, translations);
          if (!again.problems.empty()) {
            return Status::Busy(DescribePath(path) +
                                " was changed by another program while the translations were "
                                "read, and they no longer fit it; try again");
          }
          outcome.counts = again.counts;
          return PlanTextChanges(old, again.changes);
        },
        before_rename);
    if (!rewritten.ok()) return rewritten.status();
    outcome.written = true;
    outcome.warning = std::move(rewritten->warning);
    return outcome;
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("import the translations into " + DescribePath(path));
  }
}

}  // namespace orva
