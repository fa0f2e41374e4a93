#include "exchange/translation_files.h"

#include <algorithm>
#include <charconv>
#include <new>

#include "database/code_page.h"
#include "database/format.h"
#include "database/read_limits.h"
#include "storage/database_rewrite.h"
#include "storage/file_system.h"
#include "storage/no_memory.h"
#include "storage/quote.h"

namespace orva {
namespace {

// The entries by id: their indexes sorted by id, then in table order, and
// the ids in the same order.
struct IdIndex {
  explicit IdIndex(std::span<const EntryText> entries) : indexes(entries.size()) {
    for (std::size_t i = 0; i < indexes.size(); ++i) indexes[i] = i;
    std::stable_sort(indexes.begin(), indexes.end(),
                     [&](std::size_t a, std::size_t b) { return entries[a].id < entries[b].id; });
    ids.reserve(indexes.size());
    for (std::size_t i : indexes) ids.push_back(entries[i].id);
  }
  std::span<const std::size_t> With(std::int32_t id) const {
    const auto [from, to] = std::equal_range(ids.begin(), ids.end(), id);
    return std::span(indexes).subspan(static_cast<std::size_t>(from - ids.begin()),
                                      static_cast<std::size_t>(to - from));
  }

  std::vector<std::size_t> indexes;
  std::vector<std::int32_t> ids;
};

// The entry a key names, or why it names none.
Result<std::size_t> EntryOfKey(std::span<const EntryText> entries, const IdIndex& index,
                               std::string_view key) {
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
  return ChooseEntry(entries, choice, index.With(choice.id));
}

}  // namespace

namespace {

// Which entries share their id with another: entries sorted by id, without
// a node per entry (a database of 64 MiB has a million entries).
std::vector<bool> SharedIds(std::span<const EntryText> entries) {
  std::vector<std::uint32_t> order(entries.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return entries[a].id < entries[b].id; });
  std::vector<bool> shared(entries.size(), false);
  for (std::size_t i = 1; i < order.size(); ++i) {
    if (entries[order[i]].id == entries[order[i - 1]].id) {
      shared[order[i]] = shared[order[i - 1]] = true;
    }
  }
  return shared;
}

std::string KeyOf(const EntryText& entry, bool shared) {
  std::string key = std::to_string(entry.id);
  if (shared) key += "#" + std::to_string(entry.slot);
  return key;
}

}  // namespace

std::vector<std::string> ExchangeKeys(std::span<const EntryText> entries) {
  const std::vector<bool> shared = SharedIds(entries);
  std::vector<std::string> keys;
  keys.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) keys.push_back(KeyOf(entries[i], shared[i]));
  return keys;
}

void WriteTranslationFile(TranslationFormat format, std::string_view name,
                          std::span<const EntryText> entries,
                          const std::function<void(std::string_view)>& write,
                          const BilingualSource& bilingual) {
  const std::vector<bool> shared = SharedIds(entries);
  write(format == TranslationFormat::kPo ? PoHeader(name) : CsvHeader());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string key = KeyOf(entries[i], shared[i]);
    const std::span<const std::byte> source = bilingual.SourceOf(entries, i);
    const std::string text = ExchangeText(source);
    const bool own = source.data() == entries[i].text.data();
    // A translation only where the entry has a text of its own.
    const std::string translation =
        own || std::equal(source.begin(), source.end(), entries[i].text.begin(),
                          entries[i].text.end())
            ? std::string()
            : ExchangeText(entries[i].text);
    const std::string_view note =
        bilingual.reference != nullptr && own ? "only in this file, not in the reference" : "";
    write(format == TranslationFormat::kPo
              ? PoMessage(key, text, translation, format::IsMission(entries[i].id), note)
              : CsvRow(key, text, translation));
  }
}

namespace {

// What became of an entry, in the order of ImportCounts: a later one does
// not undo an earlier.
enum class Outcome : std::uint8_t { kNone, kFuzzy, kSourceChanged, kApplied };

std::string SourceChangedProblem(std::string_view key, std::string_view now, std::string_view then,
                                 bool reference) {
  return std::string(reference ? "the reference's text of " : "the text of ") + std::string(key) +
         " has changed since the file was made: it is " + QuoteText(now) + " now, and " +
         QuoteText(then) + " in the file";
}

}  // namespace

ImportPlan PlanImport(std::span<const EntryText> entries, std::span<const Translation> translations,
                      SourceChanged source_changed, const BilingualSource& bilingual) {
  ImportPlan plan;
  std::vector<std::size_t> given_at(entries.size(), 0);
  std::vector<Outcome> outcomes(entries.size(), Outcome::kNone);
  const auto settle = [&](std::size_t index, Outcome outcome) {
    outcomes[index] = std::max(outcomes[index], outcome);
  };
  const IdIndex ids(entries);
  for (const Translation& t : translations) {
    Result<std::size_t> index = EntryOfKey(entries, ids, t.key);
    if (!index.ok()) {
      plan.problems.push_back({t.key_line, index.status().message()});
      continue;
    }
    const EntryText& entry = entries[*index];
    if (t.fuzzy) {
      if (!t.text.empty()) settle(*index, Outcome::kFuzzy);
      continue;
    }
    const bool translated = !t.text.empty();
    if (translated && given_at[*index] != 0) {
      plan.problems.push_back({t.key_line, "the entry in table slot " + std::to_string(entry.slot) +
                                               " (id " + std::to_string(entry.id) +
                                               ") is translated already, at line " +
                                               std::to_string(given_at[*index])});
      continue;
    }
    if (translated) given_at[*index] = t.key_line;
    // Refused even without a translation: the file is not of this database,
    // or a translation was typed over the text.
    if (t.source && source_changed != SourceChanged::kApply) {
      const std::span<const std::byte> source = bilingual.SourceOf(entries, *index);
      const std::string now = ExchangeText(source);
      if (*t.source != now) {
        if (translated) settle(*index, Outcome::kSourceChanged);
        if (source_changed == SourceChanged::kRefuse) {
          plan.problems.push_back(
              {t.source_line,
               SourceChangedProblem(t.key, now, *t.source, source.data() != entry.text.data()),
               ProblemKind::kSourceChanged});
        }
        continue;
      }
    }
    if (!translated) continue;
    Result<std::vector<std::byte>> stored = StoredText(t.text);
    if (!stored.ok()) {
      plan.problems.push_back({t.text_line, stored.status().message()});
      continue;
    }
    settle(*index, Outcome::kApplied);
    if (std::equal(stored->begin(), stored->end(), entry.text.begin(), entry.text.end())) {
      ++plan.counts.same;
      continue;
    }
    plan.counts.size_change +=
        static_cast<std::int64_t>(stored->size()) - static_cast<std::int64_t>(entry.text.size());
    plan.changes.push_back({entry.slot, std::move(stored).value()});
  }
  plan.counts.changed = plan.changes.size();
  for (Outcome outcome : outcomes) {
    plan.counts.source_changed += outcome == Outcome::kSourceChanged;
    plan.counts.fuzzy += outcome == Outcome::kFuzzy;
    plan.counts.untranslated += outcome == Outcome::kNone;
  }
  return plan;
}

Result<ImportOutcome> ImportTranslations(const std::filesystem::path& path,
                                         std::span<const Translation> translations,
                                         SourceChanged source_changed, bool dry_run,
                                         const ReferenceDatabase* reference,
                                         const BeforeRename& before_rename, FileSystem& fs) {
  const auto doing = [&] { return "import the translations into " + DescribePath(path); };
  return OrNoMemory(doing, [&]() -> Result<ImportOutcome> {
    ImportOutcome outcome;
    Result<RewrittenIfAny> rewritten = RewriteDatabaseIfAny(
        path, kDatabaseReadLimit,
        [&](std::span<const std::byte> old) -> Result<std::optional<NewContents>> {
          Result<std::vector<EntryText>> entries = ReadEntryTexts(old);
          if (!entries.ok()) return entries.status();
          EntryJoin join;
          if (reference != nullptr) {
            std::vector<std::int32_t> ids(entries->size());
            for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = (*entries)[i].id;
            join = JoinById(ids, reference->ids());
          }
          ImportPlan plan = PlanImport(*entries, translations, source_changed, {reference, &join});
          outcome.counts = plan.counts;
          outcome.problems = std::move(plan.problems);
          if (dry_run || !outcome.problems.empty() || plan.changes.empty())
            return std::optional<NewContents>();
          Result<NewContents> contents = PlanTextChanges(old, *entries, plan.changes);
          if (!contents.ok()) return contents.status();
          return std::optional(std::move(contents).value());
        },
        dry_run, before_rename, fs);
    if (!rewritten.ok()) return rewritten.status();
    outcome.written = rewritten->written;
    outcome.warning = std::move(rewritten->warning);
    return outcome;
  });
}

}  // namespace orva
