#include "session/edit_session.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <utility>

#include "database/code_page.h"
#include "database/format.h"
#include "database/little_endian.h"
#include "database/read_limits.h"
#include "database/sha256.h"
#include "session/entry_document.h"
#include "storage/durable_file.h"
#include "storage/no_memory.h"
#include "storage/quote.h"
#include "storage/whole_file.h"

namespace orva {
namespace {

// The entries a replacement reads at a time, as the planner takes them.
constexpr std::size_t kReplaceBatch = 4096;

std::string Slot(std::size_t slot) { return "table slot " + std::to_string(slot); }

Status NoSuchSlot(std::size_t slot, std::size_t count) {
  return Status::InvalidText("there is no entry in " + Slot(slot) + "; the table has " +
                             std::to_string(count) + " entries");
}

Status PastTwoGiB(std::int64_t size, std::string_view with) {
  return Status::NoRoom("the file has " + std::to_string(size) + " bytes; with " +
                        std::string(with) +
                        " it would pass the 2 GiB that 32-bit offsets can address");
}

// How many of `m` texts numbered on from `p` (P + 1, P + 2, ...) get ids
// below the marker's; the rest get the marker's id, as insertions number them.
std::size_t CountedTexts(std::int64_t p, std::size_t m) {
  if (p >= format::kEndMarkerId) return m;
  return std::min(m, static_cast<std::size_t>(format::kEndMarkerId - 1 - p));
}

// `runs` cut at `at` bytes.
std::pair<std::vector<Run>, std::vector<Run>> SplitRuns(std::span<const Run> runs, std::size_t at) {
  std::pair<std::vector<Run>, std::vector<Run>> parts;
  for (const Run& run : runs) {
    const std::size_t front = std::min(at, run.size());
    if (front > 0) parts.first.push_back(run.first(front));
    if (front < run.size()) parts.second.push_back(run.subspan(front));
    at -= front;
  }
  return parts;
}

std::vector<Run> Concatenated(std::vector<Run> first, std::span<const Run> second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

}  // namespace

// The document and the store of its new texts, which outlives every command
// that refers to them.
struct EditSession::Document {
  EntryDocument entries;
  TextStore store;
};

// A change: done (and redone) on the document as it stood before it, undone
// on the document it made. Neither can fail: the change was planned and
// checked when it was made, and the document is each time as it was then.
class EditSession::Command {
 public:
  explicit Command(std::string description) : description_(std::move(description)) {}
  virtual ~Command() = default;
  virtual SessionEdit Do(EntryDocument& document) = 0;
  virtual SessionEdit Undo(EntryDocument& document) = 0;
  const std::string& description() const { return description_; }

 protected:
  SessionEdit Edit(SessionEdit::Kind kind, std::vector<std::size_t> slots,
                   std::vector<std::int32_t> removed_ids = {}) const {
    return {kind, std::move(slots), description_, 0, std::move(removed_ids)};
  }

 private:
  std::string description_;
};

// New texts for some entries, by their indexes: each swaps a reference.
class EditSession::TextsCommand final : public Command {
 public:
  using Texts = std::vector<std::pair<std::size_t, DocumentEntry>>;

  TextsCommand(std::string description, Texts texts)
      : Command(std::move(description)), texts_(std::move(texts)) {}

  SessionEdit Do(EntryDocument& document) override { return Swap(document); }
  SessionEdit Undo(EntryDocument& document) override { return Swap(document); }

 private:
  // Each text takes the place of the one the entry has, which it keeps for
  // the way back.
  SessionEdit Swap(EntryDocument& document) {
    std::vector<std::size_t> slots;
    slots.reserve(texts_.size());
    for (auto& [index, entry] : texts_) {
      entry = document.table().Replace(index, entry);
      slots.push_back(index + 1);
    }
    return Edit(SessionEdit::Kind::kTexts, std::move(slots));
  }

  Texts texts_;  // in slot order
};

// An entry taken out with its text and the NUL after it. The bytes that lay
// after that NUL stay where they were: after the text before it, in the gap
// before the first text, or at the head of the tail.
class EditSession::RemoveCommand final : public Command {
 public:
  RemoveCommand(std::string description, std::size_t index)
      : Command(std::move(description)), index_(index) {}

  SessionEdit Do(EntryDocument& document) override {
    EntryTable& table = document.table();
    DocumentFrame& frame = document.frame();
    frame_before_ = frame;
    before_after_ = index_ > 0 ? table.After(index_ - 1) : std::vector<Run>{};
    entry_ = table.Erase(index_, &after_);
    if (index_ == table.size() && index_ > 0) {
      // It was the last: what lay between the text before it and its own
      // now lies before the tail.
      frame.marker_in_tail += static_cast<std::size_t>(RunsSize(before_after_));
      frame.tail = Concatenated(before_after_, frame.tail);
      table.SetAfter(index_ - 1, {});
    } else if (index_ == 0) {
      frame.gap = Concatenated(std::move(frame.gap), after_);
    } else {
      table.SetAfter(index_ - 1, Concatenated(before_after_, after_));
    }
    document.EntriesMoved();
    return Edit(SessionEdit::Kind::kRemoved, {index_ + 1}, {entry_.id});
  }

  SessionEdit Undo(EntryDocument& document) override {
    EntryTable& table = document.table();
    table.Insert(index_, std::span(&entry_, 1));
    table.SetAfter(index_, after_);
    if (index_ > 0) table.SetAfter(index_ - 1, before_after_);
    document.frame() = frame_before_;
    document.EntriesMoved();
    return Edit(SessionEdit::Kind::kAdded, {index_ + 1});
  }

 private:
  std::size_t index_;
  DocumentEntry entry_;
  std::vector<Run> after_;
  std::vector<Run> before_after_;  // of the entry before it, before the removal
  DocumentFrame frame_before_;
};

// New entries after entry k, their texts just before the end marker's. A
// marker past the table moves on with the table while the new entries are
// numbered below its id; once one takes its id, that one ends the list and
// the old marker's slot stays behind the table as it then stood (`frozen`).
class EditSession::InsertCommand final : public Command {
 public:
  InsertCommand(std::string description, std::size_t k, std::vector<DocumentEntry> entries,
                Run frozen)
      : Command(std::move(description)), k_(k), entries_(std::move(entries)), frozen_(frozen) {}

  SessionEdit Do(EntryDocument& document) override {
    EntryTable& table = document.table();
    DocumentFrame& frame = document.frame();
    frame_before_ = frame;
    if (frame.marker_past_table && k_ == table.size()) {
      // The marker's text lies in the tail: the new texts go just before it.
      auto [front, back] = SplitRuns(frame.tail, frame.marker_in_tail);
      table.SetAfter(k_ - 1, std::move(front));
      table.Insert(k_, entries_);
      frame.tail = std::move(back);
      frame.marker_in_tail = 0;
      if (!frozen_.empty()) {
        frame.marker_past_table = false;
        frame.gap.insert(frame.gap.begin(), frozen_);
      }
    } else {
      table.Insert(k_, entries_);
    }
    document.EntriesMoved();
    return Edit(SessionEdit::Kind::kAdded, Slots());
  }

  SessionEdit Undo(EntryDocument& document) override {
    EntryTable& table = document.table();
    std::vector<Run> after;
    for (std::size_t i = 0; i < entries_.size(); ++i) table.Erase(k_, &after);
    if (frame_before_.marker_past_table && k_ == table.size()) table.SetAfter(k_ - 1, {});
    document.frame() = frame_before_;
    document.EntriesMoved();
    std::vector<std::int32_t> ids(entries_.size());
    std::ranges::transform(entries_, ids.begin(), [](const DocumentEntry& e) { return e.id; });
    return Edit(SessionEdit::Kind::kRemoved, Slots(), std::move(ids));
  }

  std::vector<std::size_t> Slots() const {
    std::vector<std::size_t> slots(entries_.size());
    for (std::size_t i = 0; i < slots.size(); ++i) slots[i] = k_ + 1 + i;
    return slots;
  }

 private:
  std::size_t k_;
  std::vector<DocumentEntry> entries_;  // in slot order
  Run frozen_;
  DocumentFrame frame_before_;
};

// A patch's result in place of the database it was applied to: the two
// tables change places each way.
class EditSession::PatchCommand final : public Command {
 public:
  explicit PatchCommand(EntryDocument other) : Command("Apply patch"), other_(std::move(other)) {}

  SessionEdit Do(EntryDocument& document) override { return Swap(document); }
  SessionEdit Undo(EntryDocument& document) override { return Swap(document); }

 private:
  SessionEdit Swap(EntryDocument& document) {
    document.SwapEntries(other_);
    return Edit(SessionEdit::Kind::kPatched, {});
  }

  EntryDocument other_;
};

EditSession::EditSession(FileSystem& fs, std::filesystem::path path, FileInfo info,
                         std::unique_ptr<Document> document)
    : fs_(&fs), path_(std::move(path)), info_(info), document_(std::move(document)) {}

EditSession::EditSession(EditSession&&) noexcept = default;
EditSession& EditSession::operator=(EditSession&&) noexcept = default;
EditSession::~EditSession() = default;

Result<EditSession> EditSession::Open(const std::filesystem::path& path, FileSystem& fs) {
  const auto doing = [&] { return "open " + DescribePath(path); };
  return OrNoMemory(doing, [&]() -> Result<EditSession> {
    Result<WholeFile> file = ReadWholeFileToKeep(path, kDatabaseReadLimit, fs);
    if (!file.ok()) return file.status();
    const FileInfo info = file->info;
    Result<EntryDocument> read = EntryDocument::Read(std::move(file->bytes), file->size);
    if (!read.ok()) return read.status().Within(DescribePath(path) + ": ");
    auto document = std::make_unique<Document>();
    document->entries = std::move(read).value();
    return EditSession(fs, path, info, std::move(document));
  });
}

std::size_t EditSession::entry_count() const { return document_->entries.count(); }

std::optional<std::size_t> EditSession::marker_slot() const {
  const std::size_t k = document_->entries.InsertionPoint();
  if (k == 0) return std::nullopt;
  return k + 1;
}

std::int64_t EditSession::size() const { return document_->entries.size(); }

SessionEntry EditSession::EntryAt(std::size_t slot) const {
  if (slot < 1 || slot > entry_count()) return {slot, 0, format::EntryKind::kOther, {}};
  const DocumentEntry& entry = document_->entries.table().at(slot - 1);
  return {slot, entry.id, format::KindOf(entry.id, slot, marker_slot()), entry.Text()};
}

std::int32_t EditSession::IdAt(std::size_t slot) const {
  if (slot < 1 || slot > entry_count()) return 0;
  return document_->entries.table().at(slot - 1).id;
}

std::vector<std::int32_t> EditSession::Ids() const {
  std::vector<std::int32_t> ids;
  ids.reserve(entry_count());
  document_->entries.table().Visit(
      0, [&](std::size_t, const DocumentEntry& entry, std::span<const Run>) {
        ids.push_back(entry.id);
        return true;
      });
  return ids;
}

Result<std::vector<EntryText>> EditSession::Entries() const {
  return OrNoMemory("list the entries", [&]() -> Result<std::vector<EntryText>> {
    const EntryDocument& document = document_->entries;
    std::vector<EntryText> entries;
    entries.reserve(document.count());
    auto at = static_cast<std::size_t>(document.TextsStart());
    document.table().Visit(
        0, [&](std::size_t index, const DocumentEntry& entry, std::span<const Run> after) {
          entries.push_back({index + 1, entry.id, at, entry.Text()});
          at += entry.size() + 1 + static_cast<std::size_t>(RunsSize(after));
          return true;
        });
    return entries;
  });
}

std::vector<std::byte> EditSession::Image() const { return document_->entries.Image(); }

SessionEdit EditSession::Push(std::unique_ptr<Command> command) {
  done_.reserve(done_.size() + 1);  // nothing below may fail
  SessionEdit edit = command->Do(document_->entries);
  undone_.clear();
  if (saved_at_ && *saved_at_ > done_.size()) saved_at_.reset();  // it was among the undone
  done_.push_back(std::move(command));
  return edit;
}

Result<SessionEdit> EditSession::ChangeTexts(std::vector<TextChange> changes, bool one_text,
                                             std::string_view verb, std::size_t occurrences) {
  const EntryTable& table = document_->entries.table();
  const std::size_t count = table.size();
  // A text that stays as it is is no change; a slot with no entry is
  // refused below.
  std::erase_if(changes, [&](const TextChange& change) {
    if (change.slot < 1 || change.slot > count) return false;
    return std::ranges::equal(table.at(change.slot - 1).Text(), change.text);
  });
  std::sort(changes.begin(), changes.end(),
            [](const TextChange& a, const TextChange& b) { return a.slot < b.slot; });
  SessionEdit edit{SessionEdit::Kind::kTexts, {}, {}, occurrences, {}};
  if (changes.empty()) return edit;
  std::int64_t growth = 0;
  for (std::size_t i = 0; i < changes.size(); ++i) {
    const std::size_t slot = changes[i].slot;
    if (slot < 1 || slot > count) return NoSuchSlot(slot, count);
    if (i > 0 && changes[i - 1].slot == slot) {
      return Status::InvalidText("the entry in " + Slot(slot) + " is given two new texts");
    }
    if (std::ranges::find(changes[i].text, std::byte{0}) != changes[i].text.end()) {
      return Status::InvalidText("the new text for " + Slot(slot) +
                                 " holds a NUL, which would end it early");
    }
    growth += static_cast<std::int64_t>(changes[i].text.size()) -
              static_cast<std::int64_t>(table.at(slot - 1).size());
  }
  const std::int64_t size = document_->entries.size();
  if (size + growth > format::kMaxDatabaseSize) {
    return Status::NoRoom("the file has " + std::to_string(size) +
                          " bytes; with the new texts it "
                          "would pass the 2 GiB that 32-bit offsets can address");
  }
  TextsCommand::Texts texts;
  texts.reserve(changes.size());
  for (const TextChange& change : changes) {
    const std::int32_t id = table.at(change.slot - 1).id;
    texts.emplace_back(change.slot - 1, document_->store.Keep(id, change.text));
  }
  std::string description = std::string(verb) + " " +
                            (one_text ? std::to_string(texts.front().second.id)
                                      : Plural(changes.size(), "text", "texts"));
  SessionEdit done = Push(std::make_unique<TextsCommand>(std::move(description), std::move(texts)));
  done.occurrences = occurrences;
  return done;
}

Result<SessionEdit> EditSession::Insert(const NewTexts& texts) {
  return OrNoMemory("insert the texts", [&]() -> Result<SessionEdit> {
    if (texts.empty()) return Status::InvalidText("there is no text to insert");
    const EntryDocument& document = document_->entries;
    const std::size_t k = document.InsertionPoint();  // well-formed: there is one
    const std::int64_t size = document.size();
    const std::int32_t predecessor = document.table().at(k - 1).id;
    if (size + 1 + format::kAddedPerText > format::kMaxDatabaseSize) {
      return PastTwoGiB(size, "a new text");
    }
    if (predecessor == format::kMaxId) {
      return Status::NoRoom("the entry before the end marker has the largest possible id (" +
                            std::to_string(format::kMaxId) +
                            "), so the new entry cannot be numbered after it");
    }
    const std::size_t m = texts.size();
    const std::size_t counted = CountedTexts(predecessor, m);
    const auto room = static_cast<std::size_t>(format::kMaxDatabaseSize - size);
    std::vector<std::span<const std::byte>> each;  // in the batch's order
    std::size_t done = 0;
    std::size_t through_first_at_marker_id = 0;
    for (std::span<const std::byte> rest = texts.stored(); !rest.empty();) {
      const auto nul = std::ranges::find(rest, std::byte{0});
      each.push_back(rest.first(static_cast<std::size_t>(nul - rest.begin())));
      rest = rest.subspan(each.back().size() + 1);
      done += each.back().size() + 1;
      const std::size_t i = each.size();
      const std::string naming = m == 1 ? "the new text"
                                        : "text " + std::to_string(i) + " (" +
                                              QuoteText(DecodeWindows1251(each.back())) + ")";
      if (done + format::SlotOffset(i) > room) {
        return PastTwoGiB(size, naming + (i > 1 ? " and the texts before it" : ""));
      }
      if (i <= counted && predecessor + static_cast<std::int64_t>(i) > format::kMaxId) {
        return Status::NoRoom(naming + " would be numbered after the largest possible id (" +
                              std::to_string(format::kMaxId) + ")");
      }
      if (i == counted + 1) through_first_at_marker_id = done;
    }
    // In slot order: those numbered on from the predecessor, then those
    // numbered 6000, last first.
    std::vector<DocumentEntry> entries;
    entries.reserve(m);
    TextStore& store = document_->store;
    for (std::size_t i = 0; i < counted; ++i) {
      entries.push_back(store.Keep(predecessor + static_cast<std::int32_t>(i + 1), each[i]));
    }
    for (std::size_t i = m; i > counted; --i) {
      entries.push_back(store.Keep(format::kEndMarkerId, each[i - 1]));
    }
    Run frozen;
    if (document.frame().marker_past_table && k == document.count() && counted < m) {
      const std::int64_t t =
          document.TailStart() + static_cast<std::int64_t>(document.frame().marker_in_tail);
      const std::int64_t moved =
          m == counted + 1
              ? t + static_cast<std::int64_t>(format::SlotOffset(m) + texts.stored().size())
              : t + static_cast<std::int64_t>(format::SlotOffset(counted + 1) +
                                              through_first_at_marker_id);
      std::array<std::byte, format::kEntrySize> slot{};
      EncodeInt32(slot, 0, format::kEndMarkerId);
      EncodeInt32(slot, format::kTextOffsetInEntry, static_cast<std::int32_t>(moved));
      frozen = store.KeepBytes(slot);
    }
    const std::int32_t first_id =
        counted > 0 ? predecessor + 1 : static_cast<std::int32_t>(format::kEndMarkerId);
    std::string description =
        m == 1 ? "Insert " + std::to_string(first_id) : "Insert " + Plural(m, "text", "texts");
    return Push(
        std::make_unique<InsertCommand>(std::move(description), k, std::move(entries), frozen));
  });
}

Result<SessionEdit> EditSession::SetText(std::size_t slot, std::span<const std::byte> stored) {
  return OrNoMemory("change the text", [&]() -> Result<SessionEdit> {
    std::vector<TextChange> change{{slot, {stored.begin(), stored.end()}}};
    return ChangeTexts(std::move(change), true, "Set");
  });
}

Result<SessionEdit> EditSession::ApplyTranslations(std::span<const TextChange> changes) {
  return OrNoMemory("apply the translations", [&]() -> Result<SessionEdit> {
    return ChangeTexts({changes.begin(), changes.end()}, false, "Translate");
  });
}

Result<PlannedReplacement> EditSession::PlanReplace(const TextPattern& pattern,
                                                    std::string_view utf8_replacement) const {
  return OrNoMemory("replace in the texts", [&]() -> Result<PlannedReplacement> {
    // The entries a batch at a time, so that no list of every entry is made.
    PlannedReplacement all;
    std::vector<EntryText> batch;
    batch.reserve(kReplaceBatch);
    Status status;
    const auto plan = [&] {
      Result<PlannedReplacement> planned = PlanReplacement(batch, pattern, utf8_replacement);
      batch.clear();
      if (!planned.ok()) return planned.status();
      all.occurrences += planned->occurrences;
      std::move(planned->changes.begin(), planned->changes.end(), std::back_inserter(all.changes));
      return Status::Ok();
    };
    document_->entries.table().Visit(
        0, [&](std::size_t index, const DocumentEntry& entry, std::span<const Run>) {
          batch.push_back({index + 1, entry.id, 0, entry.Text()});
          if (batch.size() == kReplaceBatch) status = plan();
          return status.ok();
        });
    if (status.ok()) status = plan();
    if (!status.ok()) return status;
    return all;
  });
}

Result<SessionEdit> EditSession::ApplyReplacement(PlannedReplacement planned) {
  return OrNoMemory("replace in the texts", [&]() -> Result<SessionEdit> {
    return ChangeTexts(std::move(planned.changes), false, "Replace", planned.occurrences);
  });
}

Result<SessionEdit> EditSession::Replace(const TextPattern& pattern,
                                         std::string_view utf8_replacement) {
  Result<PlannedReplacement> planned = PlanReplace(pattern, utf8_replacement);
  if (!planned.ok()) return planned.status();
  return ApplyReplacement(std::move(planned).value());
}

Result<SessionPatched> EditSession::ApplyPatch(const Patch& patch) {
  return OrNoMemory("apply the patch", [&]() -> Result<SessionPatched> {
    // A patch is planned over the whole database, as the file command plans
    // it; the document then takes the result's table, keeping the texts it
    // already holds.
    std::vector<std::byte> image = document_->entries.Image();
    Result<std::vector<EntryText>> entries = ReadEntryTexts(image);
    if (!entries.ok()) return entries.status();
    // Only a database of the base's or the result's size can be either.
    const auto size = static_cast<std::int64_t>(image.size());
    const Sha256Digest digest =
        size == patch.base.size || size == patch.result.size ? Sha256Of(image) : Sha256Digest{};
    PatchPlan plan = PlanPatch(image, *entries, digest, patch);
    SessionPatched patched{{SessionEdit::Kind::kPatched, {}, {}, 0, {}},
                           plan.counts,
                           plan.base_matched,
                           plan.already_applied,
                           std::move(plan.problems)};
    if (!patched.problems.empty() || patch.records.empty()) return patched;
    const std::vector<std::byte> result = Joined(plan.contents);
    if (result == image) return patched;
    std::vector<EntryText>().swap(*entries);
    std::vector<std::byte>().swap(image);
    Result<EntryDocument> other =
        EntryDocument::ReadCopy(result, document_->entries, document_->store);
    if (!other.ok()) return other.status().Within("the patched database: ");
    patched.edit = Push(std::make_unique<PatchCommand>(std::move(other).value()));
    return patched;
  });
}

Result<SessionEdit> EditSession::Remove(std::size_t slot) {
  return OrNoMemory("remove the entry", [&]() -> Result<SessionEdit> {
    const EntryDocument& document = document_->entries;
    const std::size_t count = document.count();
    if (slot < 1 || slot > count) return NoSuchSlot(slot, count);
    const std::size_t k = document.InsertionPoint();
    if (slot == k + 1) {
      return Status::InvalidText("the entry in " + Slot(slot) + " is the end marker (id " +
                                 std::to_string(format::kEndMarkerId) +
                                 "), which ends the mission list and takes new texts before it; "
                                 "it cannot be removed");
    }
    if (slot == 1 && k == 1) {
      return Status::InvalidText("the entry in " + Slot(slot) +
                                 " is the only one before the end marker; without it the marker "
                                 "would be entry 1 and the database would take no new text");
    }
    const std::int32_t id = document.table().at(slot - 1).id;
    return Push(std::make_unique<RemoveCommand>("Remove " + std::to_string(id), slot - 1));
  });
}

std::string EditSession::undo_description() const {
  return done_.empty() ? std::string() : done_.back()->description();
}

std::string EditSession::redo_description() const {
  return undone_.empty() ? std::string() : undone_.back()->description();
}

Result<SessionEdit> EditSession::Undo() {
  const auto doing = [&] { return "undo " + undo_description(); };
  return OrNoMemory(doing, [&]() -> Result<SessionEdit> {
    if (done_.empty()) return Status::NothingToUndo("there is nothing to undo");
    undone_.reserve(undone_.size() + 1);
    SessionEdit edit = done_.back()->Undo(document_->entries);
    undone_.push_back(std::move(done_.back()));
    done_.pop_back();
    return edit;
  });
}

Result<SessionEdit> EditSession::Redo() {
  const auto doing = [&] { return "redo " + redo_description(); };
  return OrNoMemory(doing, [&]() -> Result<SessionEdit> {
    if (undone_.empty()) return Status::NothingToUndo("there is nothing to redo");
    done_.reserve(done_.size() + 1);
    SessionEdit edit = undone_.back()->Do(document_->entries);
    done_.push_back(std::move(undone_.back()));
    undone_.pop_back();
    return edit;
  });
}

Status EditSession::CheckFileAsRead(const OldContents& old) const {
  Status changed = Status::Busy(DescribePath(path_) +
                                " was changed by another program since it was read, so the "
                                "changes were not saved over it");
  Result<FileInfo> now = fs_->Stat(path_);
  if (!now.ok()) return now.status();
  if (!SameState(*now, info_)) return changed;
  if (written_digest_) {
    Digester digest;
    if (Status s = old.ForEachBlock([&](std::span<const std::byte> block) {
          digest.Add(block);
          return Status::Ok();
        });
        !s.ok()) {
      return s;
    }
    return digest.Finish() == *written_digest_ ? Status::Ok() : changed;
  }
  // The file still holds the bytes as read, which the document keeps.
  const std::span<const std::byte> read = document_->entries.bytes_read();
  if (old.size() != read.size()) return changed;
  std::size_t at = 0;
  bool same = true;
  if (Status s = old.ForEachBlock([&](std::span<const std::byte> block) {
        same = same && std::memcmp(block.data(), read.data() + at, block.size()) == 0;
        at += block.size();
        return Status::Ok();
      });
      !s.ok()) {
    return s;
  }
  return same ? Status::Ok() : changed;
}

void EditSession::MarkSaved(std::uint64_t digest) {
  // The file is written: whatever fails now leaves its state unknown, and
  // the next save finds it changed and refuses, which is never wrong.
  info_ = FileInfo{};
  try {
    if (Result<FileInfo> now = fs_->Stat(path_); now.ok()) info_ = *now;
  } catch (const std::bad_alloc&) {
  }
  written_digest_ = digest;
  saved_at_ = done_.size();
}

Result<SessionSaved> EditSession::Save(const BeforeRename& before_rename) {
  const auto doing = [&] { return "save " + DescribePath(path_); };
  return OrNoMemory(doing, [&]() -> Result<SessionSaved> {
    if (!modified()) return SessionSaved{};
    Digester digest;
    Result<Rewritten> rewritten = RewriteDatabaseStreamed(
        path_, kDatabaseReadLimit, [&](const OldContents& old) { return CheckFileAsRead(old); },
        [&](FileWriter& writer) {
          return document_->entries.Write([&](std::span<const std::byte> run) {
            digest.Add(run);
            return writer.Write(run);
          });
        },
        before_rename, *fs_);
    if (!rewritten.ok()) return rewritten.status();
    MarkSaved(digest.Finish());
    return SessionSaved{true, std::move(rewritten->warning)};
  });
}

Result<SessionSaved> EditSession::SaveAs(const std::filesystem::path& path) {
  const auto doing = [&] { return "save to " + DescribePath(path); };
  return OrNoMemory(doing, [&]() -> Result<SessionSaved> {
    // Never over the file the session read, nor over what now stands at
    // its path.
    DurableWrite how;
    how.inputs.push_back({info_, path_});
    if (Result<FileInfo> now = fs_->Stat(path_); now.ok()) how.inputs.push_back({*now, path_});
    Digester digest;
    Result<WrittenFile> written = WriteFileDurably(
        path,
        [&](FileWriter& writer) {
          return document_->entries.Write([&](std::span<const std::byte> run) {
            digest.Add(run);
            return writer.Write(run);
          });
        },
        how, *fs_);
    if (!written.ok()) return written.status();
    path_ = path;
    MarkSaved(digest.Finish());
    return SessionSaved{true, std::move(written->warning)};
  });
}

}  // namespace orva
