#include "exchange/entry_patch.h"

#include <algorithm>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <new>
#include <system_error>

#include "database/code_page.h"
#include "database/entry_diff.h"
#include "database/layout_check.h"
#include "database/read_limits.h"
#include "exchange/translation_files.h"
#include "storage/file_system.h"
#include "storage/no_memory.h"
#include "storage/quote.h"

namespace orva {
namespace {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

bool SameText(std::span<const std::byte> a, std::span<const std::byte> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

std::string Quoted(std::span<const std::byte> stored) { return QuoteText(ExchangeText(stored)); }

// The key of the entry at `i`, numbered where its id names several entries
// in either version.
template <typename Entry>
EntryKey KeyAt(std::span<const Entry> entries, const EntryIndex& index, const EntryIndex& other,
               std::size_t i) {
  const std::int32_t id = entries[i].id;
  return {id, index.Occurrence(i), index.Count(id) > 1 || other.Count(id) > 1};
}

// The entry before `entry` in its table, none for table slot 1.
template <typename Entry>
std::optional<EntryKey> Before(std::span<const Entry> entries, const EntryIndex& index,
                               const EntryIndex& other, const EntryText& entry) {
  if (entry.slot == 1) return std::nullopt;
  return KeyAt(entries, index, other, entry.slot - 2);
}

std::string JoinedReasons(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : "; ") + part;
  return out;
}

// Where the new contents first differ from `expected`, or nullopt.
std::optional<std::size_t> FirstDifference(const NewContents& contents,
                                           std::span<const std::byte> expected) {
  std::size_t at = 0;
  for (std::span<const std::byte> piece : contents.pieces()) {
    const std::size_t n = std::min(piece.size(), expected.size() - at);
    const auto [mine, theirs] =
        std::mismatch(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(n),
                      expected.begin() + static_cast<std::ptrdiff_t>(at));
    if (mine != piece.begin() + static_cast<std::ptrdiff_t>(n) || n < piece.size()) {
      return at + static_cast<std::size_t>(mine - piece.begin());
    }
    at += n;
  }
  if (at != expected.size()) return at;
  return std::nullopt;
}

// The same against the summed-up version's file, read again a block at a
// time; refused where the file changed since it was summed up.
Result<std::optional<std::size_t>> FirstDifference(FileSystem& fs, const NewContents& contents,
                                                   const SummedVersion& expected) {
  std::vector<std::byte> block(std::size_t{1} << 20);
  std::size_t at = 0;
  std::optional<std::size_t> differs;
  for (std::span<const std::byte> piece : contents.pieces()) {
    for (std::size_t done = 0; done < piece.size() && !differs;) {
      const std::span<std::byte> into =
          std::span(block).first(std::min(block.size(), piece.size() - done));
      Result<std::size_t> read =
          ReadFully(fs, expected.file.file.fd(), static_cast<std::int64_t>(at), into);
      if (!read.ok()) {
        return read.status().Within("cannot read " + DescribePath(expected.path) + " (", ")");
      }
      const auto mine = piece.begin() + static_cast<std::ptrdiff_t>(done);
      const auto end = mine + static_cast<std::ptrdiff_t>(*read);
      const auto mismatch = std::mismatch(mine, end, into.begin()).first;
      if (mismatch != end || *read < into.size()) {
        differs = at + static_cast<std::size_t>(mismatch - mine);
      }
      done += *read;
      at += *read;
    }
  }
  if (!differs && static_cast<std::int64_t>(at) != expected.size) differs = at;
  if (Status s = CheckUnchanged(fs, expected); !s.ok()) return s;
  return differs;
}

std::size_t SizeOf(const NewContents& contents) {
  std::size_t size = 0;
  for (std::span<const std::byte> piece : contents.pieces()) size += piece.size();
  return size;
}

// Where the patch inserts entries with an id, the entries it inserts and
// changes with that id must be the ones their keys name in the new table: a
// file with fewer entries of the id, or an insertion placed before an entry
// it should follow, would give them other keys.
void CheckKeysInResult(std::span<const PlannedEntry> table,
                       std::span<const std::pair<std::size_t, const PatchRecord*>> made,
                       std::span<const PatchRecord* const> inserts,
                       std::vector<PatchProblem>& problems) {
  std::vector<std::int32_t> ids;
  for (const PatchRecord* r : inserts) ids.push_back(r->key.id);
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  if (ids.empty()) return;
  std::vector<std::uint32_t> seen(ids.size(), 0);
  auto record = made.begin();
  for (std::size_t t = 0; t < table.size(); ++t) {
    const PatchRecord* from = nullptr;
    if (record != made.end() && record->first == t) from = (record++)->second;
    const auto id = std::lower_bound(ids.begin(), ids.end(), table[t].id);
    if (id == ids.end() || *id != table[t].id) continue;
    const std::uint32_t occurrence = ++seen[static_cast<std::size_t>(id - ids.begin())];
    if (from != nullptr && from->key.occurrence != occurrence) {
      problems.push_back(
          {from->line, from->key.Text(),
           "in the patched file it would be " + EntryKey{*id, occurrence, true}.Text() +
               ": the entries with its id would not stand as in the file the patch was made "
               "from"});
    }
  }
}

// The records of the patch from the old version to the new: one for each
// difference of their entries. Refused where they differ in more (`other`).
template <typename NewEntry>
Result<std::vector<PatchRecord>> RecordsOf(
    const EntryDiff& diff, const std::vector<std::string>& other, std::span<const EntryText> olds,
    const EntryIndex& old_index, std::span<const NewEntry> news, const EntryIndex& new_index,
    std::string_view old_name, std::string_view new_name) {
  if (!other.empty()) {
    return Status::Unsupported("a patch holds entries and their texts alone, so none can make " +
                               std::string(new_name) + " from " + std::string(old_name) + ": " +
                               JoinedReasons(other));
  }
  std::vector<PatchRecord> records;
  records.reserve(diff.differences.size());
  for (const EntryDifference& d : diff.differences) {
    PatchRecord& r = records.emplace_back();
    r.key = d.key;
    switch (d.kind) {
      case DifferenceKind::kChanged:
        r.action = PatchAction::kChange;
        break;
      case DifferenceKind::kRemoved:
        r.action = PatchAction::kRemove;
        r.after = Before(olds, old_index, new_index, *d.old_entry);
        break;
      case DifferenceKind::kAdded:
        r.action = PatchAction::kInsert;
        r.after = Before(news, new_index, old_index, *d.new_entry);
        break;
    }
    if (d.old_entry) r.old_text.assign(d.old_entry->text.begin(), d.old_entry->text.end());
    if (d.new_entry) r.new_text.assign(d.new_entry->text.begin(), d.new_entry->text.end());
  }
  return records;
}

// Where the new contents first differ from the new version, or nullopt.
using Comparison = std::function<Result<std::optional<std::size_t>>(const NewContents&)>;

// The patch written, then checked: read back and applied to the old version,
// it must give the new one, as `compare` finds.
Result<CreatedPatch> Checked(const Patch& patch, std::span<const std::byte> old_database,
                             std::span<const EntryText> olds, std::string_view old_name,
                             std::string_view new_name, const Comparison& compare) {
  CreatedPatch created{WritePatch(patch), {}};
  auto fault = [](const std::string& what) {
    return Status::Unsupported("the patch was not written, as " + what +
                               "; this is a fault of orva-cli");
  };
  const PatchReading reading = ReadPatch(created.text);
  if (!reading.problems.empty()) {
    const PatchProblem& p = reading.problems.front();
    return fault("it does not read back (line " + std::to_string(p.line) + ": " + p.what + ")");
  }
  const PatchPlan plan =
      PlanPatch(old_database, olds, patch.base.digest, reading.patch, ResultCheck::kNone);
  if (!plan.problems.empty()) {
    const PatchProblem& p = plan.problems.front();
    return fault("it does not apply to " + std::string(old_name) + " (" + p.key +
                 (p.key.empty() ? "" : ": ") + p.what + ")");
  }
  Result<std::optional<std::size_t>> at = compare(plan.contents);
  if (!at.ok()) return at.status().Within(std::string(new_name) + ": ");
  if (*at) {
    return fault("applied to " + std::string(old_name) + " it does not give " +
                 std::string(new_name) + " (they differ from byte " + std::to_string(**at) +
                 " on)");
  }
  created.counts = plan.counts;
  return created;
}

}  // namespace

Result<CreatedPatch> CreatePatch(std::span<const std::byte> old_database,
                                 std::span<const std::byte> new_database, std::string_view old_name,
                                 std::string_view new_name) {
  const auto doing = [&] {
    return "make a patch from " + std::string(old_name) + " to " + std::string(new_name);
  };
  return OrNoMemory(doing, [&]() -> Result<CreatedPatch> {
    std::future<Sha256Digest> old_digest = Sha256Aside(old_database);
    std::future<Sha256Digest> new_digest = Sha256Aside(new_database);
    Result<std::vector<EntryText>> olds = ReadEntryTexts(old_database);
    if (!olds.ok()) return olds.status().Within(std::string(old_name) + ": ");
    Patch patch;
    {
      // What the records are made from goes before the patch is checked.
      Result<std::vector<EntryText>> news = ReadEntryTexts(new_database);
      if (!news.ok()) return news.status().Within(std::string(new_name) + ": ");
      const EntryIndex old_index(*olds);
      const EntryIndex new_index(*news);
      const EntryDiff diff = DiffEntries(*olds, old_index, *news, new_index);
      Result<std::vector<PatchRecord>> records =
          RecordsOf(diff, OtherDifferences(old_database, *olds, new_database, *news, diff), *olds,
                    old_index, std::span<const EntryText>(*news), new_index, old_name, new_name);
      if (!records.ok()) return records.status();
      patch.records = std::move(records).value();
    }
    patch.base = {static_cast<std::int64_t>(old_database.size()), old_digest.get()};
    patch.result = {static_cast<std::int64_t>(new_database.size()), new_digest.get()};
    return Checked(patch, old_database, *olds, old_name, new_name,
                   [&](const NewContents& contents) -> Result<std::optional<std::size_t>> {
                     return FirstDifference(contents, new_database);
                   });
  });
}

Result<CreatedPatch> CreatePatch(const std::filesystem::path& old_path,
                                 const std::filesystem::path& new_path, std::string_view old_name,
                                 std::string_view new_name, FileSystem& fs) {
  auto of_old = [&](const Status& s) { return s.Within(std::string(old_name) + ": "); };
  auto of_new = [&](const Status& s) { return s.Within(std::string(new_name) + ": "); };
  const auto doing = [&] {
    return "make a patch from " + std::string(old_name) + " to " + std::string(new_name);
  };
  return OrNoMemory(doing, [&]() -> Result<CreatedPatch> {
    const TextDigester digester;
    Result<SummedVersion> news = SumUpVersion(new_path, digester, true, fs);
    if (!news.ok()) {
      // Told as though the old version were read first: a file that cannot
      // be read before one that is not well-formed, the old before the new.
      Result<std::vector<std::byte>> old_database = ReadWholeFile(old_path, kDatabaseReadLimit, fs);
      if (!old_database.ok()) return of_old(old_database.status());
      if (news.status().kind() == ErrorKind::kMalformed) {
        if (Result<std::vector<EntryText>> olds = ReadEntryTexts(*old_database); !olds.ok()) {
          return of_old(olds.status());
        }
      }
      return of_new(news.status());
    }
    auto new_index = std::make_unique<EntryIndex>(news->entries);
    Result<std::vector<std::byte>> old_database = ReadWholeFile(old_path, kDatabaseReadLimit, fs);
    if (!old_database.ok()) return of_old(old_database.status());
    std::future<Sha256Digest> old_digest = Sha256Aside(*old_database);
    Result<std::vector<EntryText>> olds = ReadEntryTexts(*old_database);
    if (!olds.ok()) return of_old(olds.status());
    Patch patch;
    {
      const EntryIndex old_index(*olds);
      Result<SummedDiff> summed = DiffEntries(fs, *olds, old_index, *news, *new_index, digester);
      if (!summed.ok()) return of_new(summed.status());
      const EntryDiff& diff = summed->diff;
      Result<std::vector<PatchRecord>> records = RecordsOf(
          diff, OtherDifferences(SurroundingsOf(*old_database, *olds), news->surroundings(), diff),
          *olds, old_index, std::span<const EntrySum>(news->entries), *new_index, old_name,
          new_name);
      if (!records.ok()) return records.status();
      patch.records = std::move(records).value();
    }
    // The new version's sums go before the patch is checked; its file stays.
    new_index.reset();
    news->entries = std::vector<EntrySum>();
    patch.base = {static_cast<std::int64_t>(old_database->size()), old_digest.get()};
    patch.result = {news->size, news->sha256};
    return Checked(
        patch, *old_database, *olds, old_name, new_name,
        [&](const NewContents& contents) { return FirstDifference(fs, contents, *news); });
  });
}

PatchPlan PlanPatch(std::span<const std::byte> database, std::span<const EntryText> entries,
                    const Sha256Digest& digest, const Patch& patch, ResultCheck check) {
  PatchPlan plan;
  const auto size = static_cast<std::int64_t>(database.size());
  plan.base_matched = size == patch.base.size && digest == patch.base.digest;
  plan.already_applied =
      !plan.base_matched && size == patch.result.size && digest == patch.result.digest;
  const EntryIndex index(entries);
  auto problem = [&](const PatchRecord& r, std::string what) {
    plan.problems.push_back({r.line, r.key.Text(), std::move(what)});
  };
  auto none_such = [&](const EntryKey& key) {
    const std::size_t count = index.Count(key.id);
    return count == 0 ? "no entry with the id " + std::to_string(key.id)
                      : "only " + std::to_string(count) + (count == 1 ? " entry" : " entries") +
                            " with the id " + std::to_string(key.id);
  };

  // A change or a removal finds its entry with the old text; an insertion
  // finds no entry with its key.
  std::vector<std::pair<std::size_t, const PatchRecord*>> touched;  // entry index, record
  std::vector<const PatchRecord*> inserts;
  for (const PatchRecord& r : patch.records) {
    const std::optional<std::size_t> at = index.Find(r.key);
    if (r.action == PatchAction::kInsert) {
      inserts.push_back(&r);
      if (at) {
        problem(r,
                "expected no entry, as the patch inserts it; found " + Quoted(entries[*at].text));
      }
      continue;
    }
    const std::string expected = "expected " + Quoted(r.old_text);
    if (!at) {
      problem(r, expected + ", found " + none_such(r.key));
    } else if (!SameText(entries[*at].text, r.old_text)) {
      problem(r, expected + ", found " + Quoted(entries[*at].text));
    } else {
      touched.emplace_back(*at, &r);
    }
  }
  std::sort(touched.begin(), touched.end());
  auto removed = [&](std::size_t at) {
    const auto it = std::lower_bound(touched.begin(), touched.end(),
                                     std::pair<std::size_t, const PatchRecord*>(at, nullptr));
    return it != touched.end() && it->first == at && it->second->action == PatchAction::kRemove;
  };

  // Each insertion goes after an entry of the file or after another
  // insertion, one after each at most.
  std::vector<std::pair<EntryKey, std::size_t>> inserted_keys;
  for (std::size_t i = 0; i < inserts.size(); ++i) inserted_keys.emplace_back(inserts[i]->key, i);
  std::sort(inserted_keys.begin(), inserted_keys.end());
  std::vector<std::size_t> next(inserts.size(), kNone);
  std::size_t first = kNone;
  std::vector<std::pair<std::size_t, std::size_t>> after_entry;  // entry index, insertion
  for (std::size_t i = 0; i < inserts.size(); ++i) {
    const PatchRecord& r = *inserts[i];
    if (!r.after) {
      if (first != kNone) problem(r, "another entry goes first already");
      first = i;
      continue;
    }
    const auto it = std::lower_bound(inserted_keys.begin(), inserted_keys.end(),
                                     std::pair<EntryKey, std::size_t>(*r.after, 0));
    if (it != inserted_keys.end() && it->first == *r.after) {
      if (next[it->second] != kNone) problem(r, "another entry goes after " + r.after->Text());
      next[it->second] = i;
      continue;
    }
    const std::optional<std::size_t> at = index.Find(*r.after);
    if (!at) {
      problem(r, "it goes after " + r.after->Text() + ", but the file has " + none_such(*r.after));
    } else if (removed(*at)) {
      problem(r, "it goes after " + r.after->Text() + ", which the patch removes");
    } else {
      after_entry.emplace_back(*at, i);
    }
  }
  std::sort(after_entry.begin(), after_entry.end());
  for (std::size_t k = 1; k < after_entry.size(); ++k) {
    if (after_entry[k].first == after_entry[k - 1].first) {
      problem(*inserts[after_entry[k].second], "another entry goes after the same one");
    }
  }
  if (!plan.problems.empty()) return plan;

  // The new table: the file's entries that stay, each with its text, and the
  // insertions after the entries they follow.
  std::vector<PlannedEntry> table;
  table.reserve(entries.size() + inserts.size());
  std::vector<std::pair<std::size_t, const PatchRecord*>> made;  // table position, record
  std::size_t placed = 0;
  auto follow = [&](std::size_t i) {
    for (; i != kNone && placed < inserts.size(); i = next[i], ++placed) {
      made.emplace_back(table.size(), inserts[i]);
      table.push_back({inserts[i]->key.id, inserts[i]->new_text});
    }
  };
  follow(first);
  auto change = touched.begin();
  auto insertion = after_entry.begin();
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const PatchRecord* r = nullptr;
    if (change != touched.end() && change->first == k) r = (change++)->second;
    if (r != nullptr && r->action == PatchAction::kRemove) {
      ++plan.counts.removed;
      continue;
    }
    if (r != nullptr) made.emplace_back(table.size(), r);
    table.push_back({entries[k].id, r != nullptr ? std::span(r->new_text) : entries[k].text});
    if (r != nullptr) ++plan.counts.changed;
    if (insertion != after_entry.end() && insertion->first == k) follow((insertion++)->second);
  }
  if (placed != inserts.size()) {
    plan.problems.push_back({0, "",
                             "the inserted entries do not all follow one another from an "
                             "entry of the file"});
    return plan;
  }
  plan.counts.inserted = inserts.size();
  CheckKeysInResult(table, made, inserts, plan.problems);
  if (!plan.problems.empty()) return plan;

  Result<NewContents> contents = PlanTable(database, entries, table);
  if (!contents.ok()) {
    plan.problems.push_back({0, "", contents.status().message()});
    return plan;
  }
  plan.contents = std::move(contents).value();
  const std::size_t new_size = SizeOf(plan.contents);
  plan.counts.size_change = static_cast<std::int64_t>(new_size) - size;

  if (plan.base_matched && check == ResultCheck::kDigest) {
    Sha256 hasher;
    for (std::span<const std::byte> piece : plan.contents.pieces()) hasher.Update(piece);
    const Sha256Digest made = hasher.Finish();
    if (static_cast<std::int64_t>(new_size) != patch.result.size || made != patch.result.digest) {
      plan.problems.push_back(
          {patch.result_line, "",
           "the database is the file the patch was made from, yet the patch gives " +
               std::to_string(new_size) + " bytes with the SHA-256 " + HexDigest(made) +
               ", not the " + std::to_string(patch.result.size) + " bytes with the SHA-256 " +
               HexDigest(patch.result.digest) + " it names; the patch is damaged"});
    }
  } else if (!plan.base_matched) {
    // Another file: what the patch makes of it must be a database all the same.
    const std::vector<LayoutProblem> layout = CheckLayout(Joined(plan.contents));
    if (!layout.empty()) {
      std::vector<std::string> reasons;
      reasons.reserve(layout.size());
      for (const LayoutProblem& p : layout) {
        reasons.push_back((p.entry != 0 ? "entry " + std::to_string(p.entry) + ": " : "") + p.what);
      }
      plan.problems.push_back(
          {0, "", "the patched database would not be well-formed: " + JoinedReasons(reasons)});
    }
  }
  return plan;
}

Result<PatchOutcome> ApplyPatch(const std::filesystem::path& path, const Patch& patch, bool dry_run,
                                const BeforeRename& before_rename, FileSystem& fs) {
  const auto doing = [&] { return "apply the patch to " + DescribePath(path); };
  return OrNoMemory(doing, [&]() -> Result<PatchOutcome> {
    PatchOutcome outcome;
    // The plan over the bytes read; only a file of the base's or the
    // result's size can be either, so only then is it hashed.
    auto plan_over = [&](std::span<const std::byte> bytes) -> Result<PatchPlan> {
      Result<std::vector<EntryText>> entries = ReadEntryTexts(bytes);
      if (!entries.ok()) return entries.status();
      const auto size = static_cast<std::int64_t>(bytes.size());
      const Sha256Digest digest =
          size == patch.base.size || size == patch.result.size ? Sha256Of(bytes) : Sha256Digest{};
      PatchPlan plan = PlanPatch(bytes, *entries, digest, patch);
      outcome.counts = plan.counts;
      outcome.base_matched = plan.base_matched;
      outcome.already_applied = plan.already_applied;
      outcome.problems = std::move(plan.problems);
      return plan;
    };
    Result<RewrittenIfAny> rewritten = RewriteDatabaseIfAny(
        path, kDatabaseReadLimit,
        [&](std::span<const std::byte> old) -> Result<std::optional<NewContents>> {
          Result<PatchPlan> plan = plan_over(old);
          if (!plan.ok()) return plan.status();
          if (!outcome.problems.empty() || patch.records.empty())
            return std::optional<NewContents>();
          return std::optional(std::move(plan->contents));
        },
        dry_run, before_rename, fs);
    if (!rewritten.ok()) return rewritten.status();
    outcome.written = rewritten->written;
    outcome.warning = std::move(rewritten->warning);
    return outcome;
  });
}

}  // namespace orva
