#include "database/text_edit.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <new>
#include <string>

#include "database/code_page.h"
#include "database/format.h"
#include "database/layout_check.h"
#include "database/little_endian.h"
#include "database/read_limits.h"
#include "storage/file_system.h"
#include "storage/no_memory.h"
#include "storage/quote.h"

namespace orva {
namespace {

std::string NotWellFormed(const std::vector<LayoutProblem>& problems) {
  std::string reasons;
  for (const LayoutProblem& p : problems) {
    reasons += reasons.empty() ? "" : "; ";
    if (p.entry != 0) reasons += "entry " + std::to_string(p.entry) + ": ";
    reasons += p.what;
  }
  return "the database is not well-formed, so it is not changed: " + reasons;
}

// The slot past the table that holds the end marker, when it lies there: it
// moves with the table and its text offset is corrected like an entry's.
bool MarkerPastTable(std::span<const std::byte> database, std::size_t count) {
  const std::optional<std::int32_t> k = FindInsertionPoint(database);
  return k && static_cast<std::size_t>(*k) == count;
}

std::size_t TableEnd(std::size_t count, bool marker_past_table) {
  return format::SlotOffset(count + 1 + (marker_past_table ? 1 : 0));
}

void PutOffset(std::vector<std::byte>& table, std::size_t slot, std::int64_t offset) {
  EncodeInt32(table, format::TextOffsetField(slot), static_cast<std::int32_t>(offset));
}

std::string Slot(std::size_t slot) { return "table slot " + std::to_string(slot); }

Status NoSuchSlot(std::size_t slot, std::size_t count) {
  return Status::InvalidText("there is no entry in " + Slot(slot) + "; the table has " +
                             std::to_string(count) + " entries");
}

}  // namespace

Status CheckTextsWellFormed(std::span<const std::byte> database) {
  if (const std::vector<LayoutProblem> problems = CheckTextLayout(database); !problems.empty()) {
    return Status::Malformed(NotWellFormed(problems));
  }
  return Status::Ok();
}

Result<std::vector<EntryText>> ReadEntryTexts(std::span<const std::byte> database) {
  if (Status s = CheckTextsWellFormed(database); !s.ok()) return s;
  // Well-formed: the table fits, and every text lies in the file, NUL-ended.
  const auto count = static_cast<std::size_t>(DecodeInt32(database, format::kCountOffset));
  std::vector<EntryText> entries;
  entries.reserve(count);
  for (std::size_t k = 1; k <= count; ++k) {
    const auto offset = static_cast<std::size_t>(DecodeInt32(database, format::TextOffsetField(k)));
    // memchr reads a long text many bytes at a time.
    const auto* nul = static_cast<const std::byte*>(
        std::memchr(database.data() + offset, 0, database.size() - offset));
    entries.push_back(
        {k, DecodeInt32(database, format::SlotOffset(k)), offset,
         database.subspan(offset, static_cast<std::size_t>(nul - database.data()) - offset)});
  }
  return entries;
}

Result<std::size_t> ChooseEntry(std::span<const EntryText> entries, const EntryChoice& choice) {
  std::vector<std::size_t> with_id;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].id == choice.id) with_id.push_back(i);
  }
  return ChooseEntry(entries, choice, with_id);
}

Result<std::size_t> ChooseEntry(std::span<const EntryText> entries, const EntryChoice& choice,
                                std::span<const std::size_t> with_id) {
  const std::string id = std::to_string(choice.id);
  if (choice.slot) {
    const std::size_t slot = *choice.slot;
    if (slot < 1 || slot > entries.size()) return NoSuchSlot(slot, entries.size());
    if (entries[slot - 1].id != choice.id) {
      return Status::InvalidText("the entry in " + Slot(slot) + " has the id " +
                                 std::to_string(entries[slot - 1].id) + ", not " + id);
    }
    return slot - 1;
  }
  if (with_id.empty()) return Status::InvalidText("no entry has the id " + id);
  if (with_id.size() > 1) {
    std::string slots;
    for (std::size_t i : with_id) slots += (slots.empty() ? "" : ", ") + std::to_string(i + 1);
    return Status::InvalidText(std::to_string(with_id.size()) + " entries have the id " + id +
                               ", in table slots " + slots +
                               "; say which one is meant by its slot");
  }
  return with_id.front();
}

Result<NewContents> PlanTextChanges(std::span<const std::byte> database,
                                    std::span<const TextChange> changes) {
  Result<std::vector<EntryText>> read = ReadEntryTexts(database);
  if (!read.ok()) return read.status();
  return PlanTextChanges(database, *read, changes);
}

Result<NewContents> PlanTextChanges(std::span<const std::byte> database,
                                    std::span<const EntryText> entries,
                                    std::span<const TextChange> changes) {
  const std::size_t count = entries.size();

  // The changes in slot order, which is the order of the texts.
  std::vector<const TextChange*> sorted;
  for (const TextChange& change : changes) sorted.push_back(&change);
  std::sort(sorted.begin(), sorted.end(),
            [](const TextChange* a, const TextChange* b) { return a->slot < b->slot; });
  std::int64_t growth = 0;
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    const std::size_t slot = sorted[i]->slot;
    if (slot < 1 || slot > count) return NoSuchSlot(slot, count);
    if (i > 0 && sorted[i - 1]->slot == slot) {
      return Status::InvalidText("the entry in " + Slot(slot) + " is given two new texts");
    }
    if (std::find(sorted[i]->text.begin(), sorted[i]->text.end(), std::byte{0}) !=
        sorted[i]->text.end()) {
      return Status::InvalidText("the new text for " + Slot(slot) +
                                 " holds a NUL, which would end it early");
    }
    growth += static_cast<std::int64_t>(sorted[i]->text.size()) -
              static_cast<std::int64_t>(entries[slot - 1].text.size());
  }
  const auto size = static_cast<std::int64_t>(database.size());
  if (size + growth > format::kMaxDatabaseSize) {
    return Status::NoRoom("the file has " + std::to_string(size) +
                          " bytes; with the new texts it "
                          "would pass the 2 GiB that 32-bit offsets can address");
  }

  const bool past_table = MarkerPastTable(database, count);
  const std::size_t table_end = TableEnd(count, past_table);
  std::vector<std::byte> table(database.begin(),
                               database.begin() + static_cast<std::ptrdiff_t>(table_end));
  // Each text moves by what the changed texts before it grew.
  std::int64_t shift = 0;
  auto next = sorted.begin();
  for (const EntryText& entry : entries) {
    PutOffset(table, entry.slot, static_cast<std::int64_t>(entry.offset) + shift);
    if (next != sorted.end() && (*next)->slot == entry.slot) {
      shift += static_cast<std::int64_t>((*next)->text.size()) -
               static_cast<std::int64_t>(entry.text.size());
      ++next;
    }
  }
  if (past_table) {  // its text lies after every text of the table
    PutOffset(table, count + 1, DecodeInt32(database, format::TextOffsetField(count + 1)) + shift);
  }

  NewContents contents;
  contents.Add(std::move(table));
  std::size_t kept_to = table_end;
  for (const TextChange* change : sorted) {
    const EntryText& entry = entries[change->slot - 1];
    contents.Keep(database.subspan(kept_to, entry.offset - kept_to));
    contents.Add(change->text);
    kept_to = entry.offset + entry.text.size();  // its NUL and what follows stay
  }
  contents.Keep(database.subspan(kept_to));
  return contents;
}

Result<NewContents> PlanRemoval(std::span<const std::byte> database, std::size_t slot) {
  Result<std::vector<EntryText>> read = ReadEntryTexts(database);
  if (!read.ok()) return read.status();
  const std::vector<EntryText>& entries = *read;
  const std::size_t count = entries.size();
  if (slot < 1 || slot > count) return NoSuchSlot(slot, count);
  // Well-formed: there is a marker after entry 1.
  const auto k = static_cast<std::size_t>(*FindInsertionPoint(database));
  if (slot == k + 1) {
    return Status::InvalidText("the entry in " + Slot(slot) + " is the end marker (id " +
                               std::to_string(format::kEndMarkerId) +
                               "), which ends the mission list and takes new texts before it; it "
                               "cannot be removed");
  }
  if (slot == 1 && k == 1) {
    return Status::InvalidText("the entry in " + Slot(slot) +
                               " is the only one before the end marker; without it the marker "
                               "would be entry 1 and the database would take no new text");
  }
  const EntryText& removed = entries[slot - 1];
  const std::size_t cut = removed.text.size() + 1;  // the text and its NUL
  const bool past_table = k == count;
  const std::size_t table_end = TableEnd(count, past_table);

  std::vector<std::byte> table(database.begin(),
                               database.begin() + static_cast<std::ptrdiff_t>(table_end));
  table.erase(table.begin() + static_cast<std::ptrdiff_t>(format::SlotOffset(slot)),
              table.begin() + static_cast<std::ptrdiff_t>(format::SlotOffset(slot + 1)));
  EncodeInt32(table, format::kCountOffset, static_cast<std::int32_t>(count - 1));
  const std::size_t moved_slots = count - 1 + (past_table ? 1 : 0);
  for (std::size_t j = 1; j <= moved_slots; ++j) {
    const auto offset = static_cast<std::int64_t>(DecodeInt32(table, format::TextOffsetField(j)));
    const std::int64_t back =
        offset < static_cast<std::int64_t>(removed.offset)
            ? std::int64_t{format::kEntrySize}
            : std::int64_t{format::kEntrySize} + static_cast<std::int64_t>(cut);
    PutOffset(table, j, offset - back);
  }
  NewContents contents;
  contents.Add(std::move(table));
  contents.Keep(database.subspan(table_end, removed.offset - table_end));
  contents.Keep(database.subspan(removed.offset + cut));
  return contents;
}

Result<NewContents> PlanRestoration(std::span<const std::byte> database,
                                    const RemovedEntry& removed) {
  Result<std::vector<EntryText>> read = ReadEntryTexts(database);
  if (!read.ok()) return read.status();
  const std::vector<EntryText>& entries = *read;
  const std::size_t count = entries.size();
  const std::size_t slot = removed.slot;
  if (slot < 1 || slot > count + 1) {
    return Status::InvalidText("an entry cannot go back into " + Slot(slot) + "; the table has " +
                               std::to_string(count) + " entries");
  }
  if (std::find(removed.text.begin(), removed.text.end(), std::byte{0}) != removed.text.end()) {
    return Status::InvalidText("the text for " + Slot(slot) +
                               " holds a NUL, which would end it early");
  }
  const std::size_t cut = removed.text.size() + 1;
  const auto size = static_cast<std::int64_t>(database.size());
  if (size + static_cast<std::int64_t>(format::kEntrySize + cut) > format::kMaxDatabaseSize) {
    return Status::NoRoom("the file has " + std::to_string(size) +
                          " bytes; with the entry back it would pass the 2 GiB that 32-bit "
                          "offsets can address");
  }
  const bool past_table = MarkerPastTable(database, count);
  const std::size_t table_end = TableEnd(count, past_table);
  // The text goes back after the text before its slot and that text's NUL,
  // and no later than the text of the entry now in its slot.
  const std::size_t at = removed.offset - std::min(removed.offset, format::kEntrySize);
  bool fits = removed.offset >= format::kEntrySize && at >= table_end && at <= database.size();
  if (fits && slot > 1) {
    const EntryText& before = entries[slot - 2];
    fits = at > before.offset + before.text.size() && database[at - 1] == std::byte{0};
  }
  if (fits && slot <= count) fits = at <= entries[slot - 1].offset;
  if (fits && slot == count + 1 && past_table) {
    fits = at <= static_cast<std::size_t>(DecodeInt32(database, format::TextOffsetField(slot)));
  }
  if (!fits) {
    return Status::InvalidText("a text at offset " + std::to_string(removed.offset) +
                               " would not lie between the texts around " + Slot(slot));
  }

  std::vector<std::byte> table(database.begin(),
                               database.begin() + static_cast<std::ptrdiff_t>(table_end));
  const std::size_t moved_slots = count + (past_table ? 1 : 0);
  for (std::size_t j = 1; j <= moved_slots; ++j) {
    const auto offset = static_cast<std::int64_t>(DecodeInt32(table, format::TextOffsetField(j)));
    const std::int64_t on = offset < static_cast<std::int64_t>(at)
                                ? std::int64_t{format::kEntrySize}
                                : std::int64_t{format::kEntrySize} + static_cast<std::int64_t>(cut);
    PutOffset(table, j, offset + on);
  }
  std::array<std::byte, format::kEntrySize> entry{};
  EncodeInt32(entry, 0, removed.id);
  EncodeInt32(entry, format::kTextOffsetInEntry, static_cast<std::int32_t>(removed.offset));
  table.insert(table.begin() + static_cast<std::ptrdiff_t>(format::SlotOffset(slot)), entry.begin(),
               entry.end());
  EncodeInt32(table, format::kCountOffset, static_cast<std::int32_t>(count + 1));
  std::vector<std::byte> text(removed.text);
  text.push_back(std::byte{0});

  NewContents contents;
  contents.Add(std::move(table));
  contents.Keep(database.subspan(table_end, at - table_end));
  contents.Add(std::move(text));
  contents.Keep(database.subspan(at));
  return contents;
}

Surroundings SurroundingsOf(std::span<const std::byte> database,
                            std::span<const EntryText> entries) {
  // Well-formed: at least two entries, texts one after the other.
  const bool past_table = MarkerPastTable(database, entries.size());
  const std::size_t table_end = TableEnd(entries.size(), past_table);
  const EntryText& last = entries.back();
  const std::size_t tail_start = last.offset + last.text.size() + 1;
  Surroundings around;
  around.header_word = DecodeInt32(database, format::kHeaderWordOffset);
  around.marker_past_table = past_table;
  if (past_table) {
    // Its text lies after the NUL of every text of the table.
    around.marker_in_tail = static_cast<std::size_t>(DecodeInt32(
                                database, format::TextOffsetField(entries.size() + 1))) -
                            tail_start;
  }
  around.gap = database.subspan(table_end, entries.front().offset - table_end);
  around.tail = database.subspan(tail_start);
  return around;
}

namespace {

// New contents put together from runs of the old bytes and bytes made here:
// runs that follow one another in the old bytes become one piece, and made
// bytes one piece until the next run.
class PieceJoiner {
 public:
  explicit PieceJoiner(NewContents& contents) : contents_(contents) {}
  void Keep(std::span<const std::byte> old_bytes) {
    if (old_bytes.empty()) return;
    FlushMade();
    if (!run_.empty() && run_.data() + run_.size() == old_bytes.data()) {
      run_ = std::span(run_.data(), run_.size() + old_bytes.size());
    } else {
      FlushRun();
      run_ = old_bytes;
    }
  }
  void Add(std::span<const std::byte> made) {
    FlushRun();
    made_.insert(made_.end(), made.begin(), made.end());
  }
  void Finish() {
    FlushRun();
    FlushMade();
  }

 private:
  void FlushRun() {
    if (!run_.empty()) contents_.Keep(run_);
    run_ = {};
  }
  void FlushMade() {
    if (!made_.empty()) contents_.Add(std::move(made_));
    made_.clear();
  }

  NewContents& contents_;
  std::span<const std::byte> run_;
  std::vector<std::byte> made_;
};

// Whether the byte after `text` is a NUL of `database`: then `text` is a text
// of the database, kept with its NUL. std::less orders pointers into
// different arrays too.
bool EndedIn(std::span<const std::byte> text, std::span<const std::byte> database) {
  const std::less<const std::byte*> before;
  const std::byte* end = text.data() + text.size();
  return text.data() != nullptr && !before(text.data(), database.data()) &&
         before(end, database.data() + database.size()) && *end == std::byte{0};
}

}  // namespace

Result<NewContents> PlanTable(std::span<const std::byte> database,
                              std::span<const EntryText> entries,
                              std::span<const PlannedEntry> table) {
  const Surroundings around = SurroundingsOf(database, entries);
  const std::size_t count = table.size();
  const std::size_t table_end = TableEnd(count, around.marker_past_table);
  std::int64_t size = static_cast<std::int64_t>(table_end + around.gap.size() + around.tail.size());
  for (std::size_t i = 0; i < count; ++i) {
    const std::span<const std::byte> text = table[i].text;
    if (std::find(text.begin(), text.end(), std::byte{0}) != text.end()) {
      return Status::InvalidText("the text for " + Slot(i + 1) +
                                 " holds a NUL, which would end it early");
    }
    size += static_cast<std::int64_t>(text.size()) + 1;
    if (size > format::kMaxDatabaseSize) {
      return Status::NoRoom(
          "with its new entries the database would pass the 2 GiB that "
          "32-bit offsets can address");
    }
  }

  std::vector<std::byte> header(table_end);
  std::copy_n(database.begin(), format::SlotOffset(std::size_t{1}), header.begin());
  EncodeInt32(header, format::kCountOffset, static_cast<std::int32_t>(count));
  std::size_t at = table_end + around.gap.size();
  for (std::size_t i = 0; i < count; ++i) {
    EncodeInt32(header, format::SlotOffset(i + 1), table[i].id);
    PutOffset(header, i + 1, static_cast<std::int64_t>(at));
    at += table[i].text.size() + 1;
  }
  if (around.marker_past_table) {
    EncodeInt32(header, format::SlotOffset(count + 1), format::kEndMarkerId);
    PutOffset(header, count + 1, static_cast<std::int64_t>(at + around.marker_in_tail));
  }

  NewContents contents;
  PieceJoiner pieces(contents);
  pieces.Add(header);
  pieces.Keep(around.gap);
  constexpr std::byte kNul[] = {std::byte{0}};
  for (const PlannedEntry& entry : table) {
    if (EndedIn(entry.text, database)) {
      pieces.Keep(std::span(entry.text.data(), entry.text.size() + 1));
    } else {
      pieces.Add(entry.text);
      pieces.Add(kNul);
    }
  }
  pieces.Keep(around.tail);
  pieces.Finish();
  return contents;
}

Result<NewContents> PlanInsertionAtSlot(std::span<const std::byte> database, std::size_t slot,
                                        std::int32_t id, std::span<const std::byte> text) {
  Result<std::vector<EntryText>> read = ReadEntryTexts(database);
  if (!read.ok()) return read.status();
  const std::vector<EntryText>& entries = *read;
  if (slot < 1 || slot > entries.size() + 1) {
    return Status::InvalidText("a new entry can go in table slots 1 to " +
                               std::to_string(entries.size() + 1) + ", not in slot " +
                               std::to_string(slot));
  }
  std::vector<PlannedEntry> table;
  table.reserve(entries.size() + 1);
  for (const EntryText& entry : entries) {
    if (entry.slot == slot) table.push_back({id, text});
    table.push_back({entry.id, entry.text});
  }
  if (slot == entries.size() + 1) table.push_back({id, text});
  return PlanTable(database, entries, table);
}

std::vector<std::byte> Joined(const NewContents& contents) {
  std::size_t size = 0;
  for (std::span<const std::byte> piece : contents.pieces()) size += piece.size();
  std::vector<std::byte> out;
  out.reserve(size);
  for (std::span<const std::byte> piece : contents.pieces()) {
    out.insert(out.end(), piece.begin(), piece.end());
  }
  return out;
}

namespace {

// One rewrite that changes the chosen entry: `plan` gets the entries and the
// chosen one's slot.
template <typename Plan>
Result<EditedEntry> Edit(FileSystem& fs, const std::filesystem::path& path,
                         const EntryChoice& choice, const Plan& plan,
                         const BeforeRename& before_rename) {
  EditedEntry edited;
  Result<Rewritten> rewritten = RewriteDatabase(
      path, kDatabaseReadLimit,
      [&](std::span<const std::byte> old) -> Result<NewContents> {
        Result<std::vector<EntryText>> entries = ReadEntryTexts(old);
        if (!entries.ok()) return entries.status();
        Result<std::size_t> chosen = ChooseEntry(*entries, choice);
        if (!chosen.ok()) return chosen.status();
        const EntryText& entry = (*entries)[*chosen];
        edited.slot = entry.slot;
        edited.id = entry.id;
        edited.old_text = ExchangeText(entry.text);
        return plan(old, entry.slot);
      },
      before_rename, fs);
  if (!rewritten.ok()) return rewritten.status();
  edited.warning = std::move(rewritten->warning);
  return edited;
}

}  // namespace

Result<EditedEntry> SetEntryText(const std::filesystem::path& path, const EntryChoice& choice,
                                 std::span<const std::byte> stored,
                                 const BeforeRename& before_rename, FileSystem& fs) {
  const auto doing = [&] { return "change the text of " + DescribePath(path); };
  return OrNoMemory(doing, [&]() -> Result<EditedEntry> {
    const TextChange change{0, std::vector<std::byte>(stored.begin(), stored.end())};
    Result<EditedEntry> edited = Edit(
        fs, path, choice,
        [&](std::span<const std::byte> old, std::size_t slot) {
          TextChange at_slot = change;
          at_slot.slot = slot;
          return PlanTextChanges(old, std::span(&at_slot, 1));
        },
        before_rename);
    if (edited.ok()) edited->new_text = ExchangeText(stored);
    return edited;
  });
}

Result<EditedEntry> RemoveEntry(const std::filesystem::path& path, const EntryChoice& choice,
                                const BeforeRename& before_rename, FileSystem& fs) {
  const auto doing = [&] { return "remove an entry of " + DescribePath(path); };
  return OrNoMemory(doing, [&]() -> Result<EditedEntry> {
    return Edit(fs, path, choice, PlanRemoval, before_rename);
  });
}
}  // namespace orva
