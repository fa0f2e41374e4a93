#include "session/edit_session.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "database/format.h"
#include "database/insertion_plan.h"
#include "database/little_endian.h"
#include "database/read_limits.h"
#include "database/sha256.h"
#include "exchange/patch_file.h"
#include "storage/durable_file.h"
#include "storage/quote.h"

namespace orva {
namespace {

// A 64-bit digest of the bytes, in the manner of xxHash: four lanes over
// 32-byte stripes, then the tail, then a final mixing. It tells bytes that
// another program changed from those read, not one forger's from another's.
std::uint64_t Digest(std::span<const std::byte> bytes) {
  constexpr std::uint64_t kP1 = 0x9E3779B185EBCA87u;
  constexpr std::uint64_t kP2 = 0xC2B2AE3D27D4EB4Fu;
  constexpr std::uint64_t kP3 = 0x165667B19E3779F9u;
  constexpr std::uint64_t kP4 = 0x85EBCA77C2B2AE63u;
  constexpr std::uint64_t kP5 = 0x27D4EB2F165667C5u;
  const auto rotl = [](std::uint64_t x, int r) { return x << r | x >> (64 - r); };
  const auto word = [&](std::size_t at) {
    std::uint64_t w;
    std::memcpy(&w, bytes.data() + at, sizeof w);
    return w;
  };
  const auto round = [&](std::uint64_t acc, std::uint64_t input) {
    return rotl(acc + input * kP2, 31) * kP1;
  };
  std::uint64_t h = bytes.size() * kP5;
  std::size_t at = 0;
  if (bytes.size() >= 32) {
    std::uint64_t lanes[4] = {kP1 + kP2, kP2, 0, 0 - kP1};
    for (; at + 32 <= bytes.size(); at += 32) {
      for (int i = 0; i < 4; ++i) lanes[i] = round(lanes[i], word(at + 8 * i));
    }
    h += rotl(lanes[0], 1) + rotl(lanes[1], 7) + rotl(lanes[2], 12) + rotl(lanes[3], 18);
    for (std::uint64_t lane : lanes) h = (h ^ round(0, lane)) * kP1 + kP4;
  }
  for (; at + 8 <= bytes.size(); at += 8) h = rotl(h ^ round(0, word(at)), 27) * kP1 + kP4;
  for (; at < bytes.size(); ++at) {
    h = rotl(h ^ (std::to_integer<std::uint64_t>(bytes[at]) * kP5), 11) * kP1;
  }
  h ^= h >> 33;
  h *= kP2;
  h ^= h >> 29;
  h *= kP3;
  return h ^ (h >> 32);
}

// The same file, of the same size and times.
bool SameState(const FileInfo& now, const FileInfo& then) {
  return now.SameFile(then) && now.size == then.size && now.modified_ns == then.modified_ns &&
         now.changed_ns == then.changed_ns;
}

std::string Plural(std::size_t n, std::string_view one) {
  return std::to_string(n) + " " + std::string(one) + (n == 1 ? "" : "s");
}

std::vector<std::size_t> SlotsOf(std::span<const TextChange> changes) {
  std::vector<std::size_t> slots;
  for (const TextChange& change : changes) slots.push_back(change.slot);
  std::sort(slots.begin(), slots.end());
  return slots;
}

}  // namespace

// A change: done (and redone) on the database as it stood before it, undone
// on the database it made.
class EditSession::Command {
 public:
  struct Step {
    std::vector<std::byte> image;
    SessionEdit edit;
  };

  explicit Command(std::string description) : description_(std::move(description)) {}
  virtual ~Command() = default;
  virtual Result<Step> Do(std::span<const std::byte> image) = 0;
  virtual Result<Step> Undo(std::span<const std::byte> image) = 0;
  const std::string& description() const { return description_; }

 protected:
  SessionEdit Edit(SessionEdit::Kind kind, std::vector<std::size_t> slots) const {
    return {kind, std::move(slots), description_, 0};
  }

 private:
  std::string description_;
};

// New texts for some entries; undone by their old texts.
class EditSession::TextsCommand final : public Command {
 public:
  TextsCommand(std::string description, std::vector<TextChange> texts,
               std::vector<TextChange> old_texts)
      : Command(std::move(description)),
        texts_(std::move(texts)),
        old_texts_(std::move(old_texts)) {}

  Result<Step> Do(std::span<const std::byte> image) override { return Apply(image, texts_); }
  Result<Step> Undo(std::span<const std::byte> image) override { return Apply(image, old_texts_); }

 private:
  Result<Step> Apply(std::span<const std::byte> image, std::span<const TextChange> changes) {
    Result<NewContents> planned = PlanTextChanges(image, changes);
    if (!planned.ok()) return planned.status();
    return Step{Joined(*planned), Edit(SessionEdit::Kind::kTexts, SlotsOf(changes))};
  }

  std::vector<TextChange> texts_;
  std::vector<TextChange> old_texts_;
};

// An entry taken out; undone by putting it back where it was.
class EditSession::RemoveCommand final : public Command {
 public:
  explicit RemoveCommand(RemovedEntry removed)
      : Command("Remove " + std::to_string(removed.id)), removed_(std::move(removed)) {}

  Result<Step> Do(std::span<const std::byte> image) override {
    Result<NewContents> planned = PlanRemoval(image, removed_.slot);
    if (!planned.ok()) return planned.status();
    return Step{Joined(*planned), Edit(SessionEdit::Kind::kRemoved, {removed_.slot})};
  }
  Result<Step> Undo(std::span<const std::byte> image) override {
    Result<NewContents> planned = PlanRestoration(image, removed_);
    if (!planned.ok()) return planned.status();
    return Step{Joined(*planned), Edit(SessionEdit::Kind::kAdded, {removed_.slot})};
  }

 private:
  RemovedEntry removed_;
};

// Texts inserted as new entries; undone by taking them out of the slots and
// the place they went to.
class EditSession::InsertCommand final : public Command {
 public:
  InsertCommand(std::string description, NewTexts texts, const InsertionSite& site)
      : Command(std::move(description)), texts_(std::move(texts)), site_(site) {}

  Result<Step> Do(std::span<const std::byte> image) override {
    Result<PlannedInsertions> planned = PlanInsertions(image, texts_);
    if (!planned.ok()) return planned.status();
    site_ = planned->site;
    return Step{std::move(planned->image), Edit(SessionEdit::Kind::kAdded, Slots())};
  }
  Result<Step> Undo(std::span<const std::byte> image) override {
    Result<NewContents> planned = PlanInsertionUndo(image, site_, texts_);
    if (!planned.ok()) return planned.status();
    return Step{Joined(*planned), Edit(SessionEdit::Kind::kRemoved, Slots())};
  }

  // The slots of the new entries: those after the marker's predecessor.
  std::vector<std::size_t> Slots() const {
    std::vector<std::size_t> slots(texts_.size());
    for (std::size_t i = 0; i < slots.size(); ++i) slots[i] = site_.k + 1 + i;
    return slots;
  }

 private:
  NewTexts texts_;
  InsertionSite site_;
};

// A patch whose base the database is each time the step is done, and whose
// result it is each time it is undone: the plan's digests check both ways.
class EditSession::PatchCommand final : public Command {
 public:
  explicit PatchCommand(Patch patch) : Command("Apply patch"), patch_(std::move(patch)) {}

  Result<Step> Do(std::span<const std::byte> image) override { return Apply(image, patch_); }
  Result<Step> Undo(std::span<const std::byte> image) override {
    return Apply(image, Reversed(patch_));
  }

 private:
  Result<Step> Apply(std::span<const std::byte> image, const Patch& patch) {
    Result<std::vector<EntryText>> entries = ReadEntryTexts(image);
    if (!entries.ok()) return entries.status();
    PatchPlan plan = PlanPatch(image, *entries, Sha256Of(image), patch);
    if (!plan.base_matched || !plan.problems.empty()) {
      return Status::Malformed("the database is not the one the patch was applied to");
    }
    return Step{Joined(plan.contents), Edit(SessionEdit::Kind::kPatched, {})};
  }

  Patch patch_;
};

EditSession::EditSession(FileSystem& fs, std::filesystem::path path, FileInfo info,
                         std::vector<std::byte> image)
    : fs_(&fs), path_(std::move(path)), info_(info), image_(std::move(image)) {}

EditSession::EditSession(EditSession&&) noexcept = default;
EditSession& EditSession::operator=(EditSession&&) noexcept = default;
EditSession::~EditSession() = default;

Result<EditSession> EditSession::Open(const std::filesystem::path& path, FileSystem& fs) {
  try {
    Result<RegularFile> file = OpenRegularFile(path, OpenMode::kRead, fs);
    if (!file.ok()) return file.status();
    if (Status s = CheckReadLimit(file->info, path, kDatabaseReadLimit); !s.ok()) return s;
    std::vector<std::byte> image(static_cast<std::size_t>(file->info.size));
    if (Status s = ReadAllOf(fs, file->file.fd(), path, image); !s.ok()) return s;
    Result<FileInfo> after = fs.Info(file->file.fd());
    if (!after.ok()) return after.status();
    if (!SameState(*after, file->info)) {
      return Status::Busy(DescribePath(path) +
                          " changed while it was read; try again when no other program is "
                          "writing it");
    }
    (void)file->file.Close();  // it was only read
    if (Result<std::vector<EntryText>> entries = ReadEntryTexts(image); !entries.ok()) {
      return entries.status().Within(DescribePath(path) + ": ");
    }
    return EditSession(fs, path, file->info, std::move(image));
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("open " + DescribePath(path));
  }
}

std::size_t EditSession::entry_count() const {
  return static_cast<std::size_t>(DecodeInt32(image_, format::kCountOffset));
}

Result<std::vector<EntryText>> EditSession::Entries() const {
  try {
    return ReadEntryTexts(image_);
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("list the entries");
  }
}

void EditSession::KeepDigest() {
  if (!digest_) digest_ = Digest(image_);
}

Result<SessionEdit> EditSession::Push(std::unique_ptr<Command> command,
                                      std::vector<std::byte> image, SessionEdit edit) {
  KeepDigest();
  done_.reserve(done_.size() + 1);  // nothing below may fail
  image_ = std::move(image);
  undone_.clear();
  if (saved_at_ && *saved_at_ > done_.size()) saved_at_.reset();  // it was among the undone
  done_.push_back(std::move(command));
  return edit;
}

Result<SessionEdit> EditSession::ChangeTexts(std::vector<TextChange> changes,
                                             Result<std::vector<EntryText>> entries, bool one_text,
                                             std::string_view verb, std::size_t occurrences) {
  if (!entries.ok()) return entries.status();
  // A text that stays as it is is no change; a slot with no entry is left
  // for the planner to refuse.
  std::erase_if(changes, [&](const TextChange& change) {
    if (change.slot < 1 || change.slot > entries->size()) return false;
    const std::span<const std::byte> old = (*entries)[change.slot - 1].text;
    return std::equal(old.begin(), old.end(), change.text.begin(), change.text.end());
  });
  SessionEdit edit{SessionEdit::Kind::kTexts, SlotsOf(changes), {}, occurrences};
  if (changes.empty()) return edit;
  Result<NewContents> planned = PlanTextChanges(image_, *entries, changes);
  if (!planned.ok()) return planned.status();
  std::vector<TextChange> old_texts;
  for (const TextChange& change : changes) {
    const std::span<const std::byte> old = (*entries)[change.slot - 1].text;
    old_texts.push_back({change.slot, {old.begin(), old.end()}});
  }
  edit.description = std::string(verb) + " " +
                     (one_text ? std::to_string((*entries)[changes.front().slot - 1].id)
                               : Plural(changes.size(), "text"));
  // The entries take half the database's size again: gone before the new
  // image is made, they never add to it.
  std::vector<EntryText>().swap(*entries);
  std::vector<std::byte> image = Joined(*planned);
  auto command =
      std::make_unique<TextsCommand>(edit.description, std::move(changes), std::move(old_texts));
  return Push(std::move(command), std::move(image), std::move(edit));
}

Result<SessionEdit> EditSession::Insert(const NewTexts& texts) {
  try {
    Result<PlannedInsertions> planned = PlanInsertions(image_, texts);
    if (!planned.ok()) return planned.status();
    const std::string description = texts.size() == 1
                                        ? "Insert " + std::to_string(planned->entries.front().id)
                                        : "Insert " + Plural(texts.size(), "text");
    auto command = std::make_unique<InsertCommand>(description, texts, planned->site);
    SessionEdit edit{SessionEdit::Kind::kAdded, command->Slots(), description, 0};
    return Push(std::move(command), std::move(planned->image), std::move(edit));
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("insert the texts");
  }
}

Result<SessionEdit> EditSession::SetText(std::size_t slot, std::span<const std::byte> stored) {
  try {
    std::vector<TextChange> change{{slot, {stored.begin(), stored.end()}}};
    return ChangeTexts(std::move(change), ReadEntryTexts(image_), true, "Set");
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("change the text");
  }
}

Result<SessionEdit> EditSession::ApplyTranslations(std::span<const TextChange> changes) {
  try {
    return ChangeTexts({changes.begin(), changes.end()}, ReadEntryTexts(image_), false,
                       "Translate");
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("apply the translations");
  }
}

Result<SessionEdit> EditSession::Replace(const TextPattern& pattern,
                                         std::string_view utf8_replacement) {
  try {
    Result<std::vector<EntryText>> entries = ReadEntryTexts(image_);
    if (!entries.ok()) return entries.status();
    Result<PlannedReplacement> planned = PlanReplacement(*entries, pattern, utf8_replacement);
    if (!planned.ok()) return planned.status();
    return ChangeTexts(std::move(planned->changes), std::move(entries), false, "Replace",
                       planned->occurrences);
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("replace in the texts");
  }
}

Result<SessionPatched> EditSession::ApplyPatch(const Patch& patch) {
  try {
    Result<std::vector<EntryText>> entries = ReadEntryTexts(image_);
    if (!entries.ok()) return entries.status();
    // Only a database of the base's or the result's size can be either.
    const auto size = static_cast<std::int64_t>(image_.size());
    const Sha256Digest digest =
        size == patch.base.size || size == patch.result.size ? Sha256Of(image_) : Sha256Digest{};
    PatchPlan plan = PlanPatch(image_, *entries, digest, patch);
    SessionPatched patched{{SessionEdit::Kind::kPatched, {}, {}, 0},
                           plan.counts,
                           plan.base_matched,
                           plan.already_applied,
                           std::move(plan.problems)};
    if (!patched.problems.empty() || patch.records.empty()) return patched;
    std::vector<std::byte> image = Joined(plan.contents);
    if (image == image_) return patched;
    Patch kept = patch;
    if (!plan.base_matched) {
      Result<CreatedPatch> created = CreatePatch(image_, image, "the database", "its patched form");
      if (!created.ok()) return created.status();
      PatchReading reading = ReadPatch(created->text);
      if (!reading.problems.empty()) {
        return Status::Malformed("the patch of the change cannot be read back: " +
                                 reading.problems.front().what);
      }
      kept = std::move(reading.patch);
    }
    auto command = std::make_unique<PatchCommand>(std::move(kept));
    patched.edit.description = command->description();
    Result<SessionEdit> pushed = Push(std::move(command), std::move(image), patched.edit);
    if (!pushed.ok()) return pushed.status();
    return patched;
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("apply the patch");
  }
}

Result<SessionEdit> EditSession::Remove(std::size_t slot) {
  try {
    Result<NewContents> planned = PlanRemoval(image_, slot);
    if (!planned.ok()) return planned.status();
    // The planner took the slot: it holds an entry with its text.
    const auto offset =
        static_cast<std::size_t>(DecodeInt32(image_, format::TextOffsetField(slot)));
    const auto text = std::span<const std::byte>(image_).subspan(offset);
    RemovedEntry removed{slot,
                         DecodeInt32(image_, format::SlotOffset(slot)),
                         offset,
                         {text.begin(), std::find(text.begin(), text.end(), std::byte{0})}};
    auto command = std::make_unique<RemoveCommand>(std::move(removed));
    SessionEdit edit{SessionEdit::Kind::kRemoved, {slot}, command->description(), 0};
    return Push(std::move(command), Joined(*planned), std::move(edit));
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("remove the entry");
  }
}

std::string EditSession::undo_description() const {
  return done_.empty() ? std::string() : done_.back()->description();
}

std::string EditSession::redo_description() const {
  return undone_.empty() ? std::string() : undone_.back()->description();
}

Result<SessionEdit> EditSession::Undo() {
  try {
    if (done_.empty()) return Status::InvalidText("there is nothing to undo");
    Result<Command::Step> step = done_.back()->Undo(image_);
    if (!step.ok()) return step.status();
    KeepDigest();
    undone_.reserve(undone_.size() + 1);
    image_ = std::move(step->image);
    undone_.push_back(std::move(done_.back()));
    done_.pop_back();
    return std::move(step->edit);
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("undo " + undo_description());
  }
}

Result<SessionEdit> EditSession::Redo() {
  try {
    if (undone_.empty()) return Status::InvalidText("there is nothing to redo");
    Result<Command::Step> step = undone_.back()->Do(image_);
    if (!step.ok()) return step.status();
    KeepDigest();
    done_.reserve(done_.size() + 1);
    image_ = std::move(step->image);
    done_.push_back(std::move(undone_.back()));
    undone_.pop_back();
    return std::move(step->edit);
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("redo " + redo_description());
  }
}

Status EditSession::CheckFileAsRead(std::span<const std::byte> bytes_now) {
  Result<FileInfo> now = fs_->Stat(path_);
  if (!now.ok()) return now.status();
  // Modified, the image is no longer the file's: the digest was kept.
  if (!SameState(*now, info_) || Digest(bytes_now) != digest_.value()) {
    return Status::Busy(DescribePath(path_) +
                        " was changed by another program since it was read, so the changes "
                        "were not saved over it");
  }
  return Status::Ok();
}

void EditSession::MarkSaved() {
  Result<FileInfo> now = fs_->Stat(path_);
  // Unknown, the next save finds the file changed and refuses: never wrong.
  info_ = now.ok() ? *now : FileInfo{};
  digest_.reset();
  saved_at_ = done_.size();
}

Result<SessionSaved> EditSession::Save(const BeforeRename& before_rename) {
  try {
    if (!modified()) return SessionSaved{};
    Result<Rewritten> rewritten = RewriteDatabase(
        path_, kDatabaseReadLimit,
        [&](std::span<const std::byte> old) -> Result<NewContents> {
          if (Status s = CheckFileAsRead(old); !s.ok()) return s;
          NewContents contents;
          contents.Keep(image_);
          return contents;
        },
        before_rename, *fs_);
    if (!rewritten.ok()) return rewritten.status();
    MarkSaved();
    return SessionSaved{true, std::move(rewritten->warning)};
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("save " + DescribePath(path_));
  }
}

Result<SessionSaved> EditSession::SaveAs(const std::filesystem::path& path) {
  try {
    // Never over the file the session read, nor over what now stands at
    // its path.
    DurableWrite how;
    how.inputs.push_back({info_, path_});
    if (Result<FileInfo> now = fs_->Stat(path_); now.ok()) how.inputs.push_back({*now, path_});
    Result<WrittenFile> written = WriteFileDurably(
        path, [&](FileWriter& writer) { return writer.Write(image_); }, how, *fs_);
    if (!written.ok()) return written.status();
    path_ = path;
    MarkSaved();
    return SessionSaved{true, std::move(written->warning)};
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("save to " + DescribePath(path));
  }
}

}  // namespace orva
