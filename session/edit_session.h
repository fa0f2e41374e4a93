// An edit session: a database read once, changed in memory any number of
// times, each change undone and redone at will, and saved with one rewrite.
//
// The session holds the database as a document of entries (EntryDocument):
// the bytes as read, never changed, and a table of ids and references to
// texts. Each change is a command that changes the document where it
// changes the database and keeps what it needs to go back (the references
// a change of texts replaced, the entry a removal took out, where an
// insertion put its entries), so a change, its undo and its redo cost what
// they touch, not the database's size. Undone and redone, each change gives
// back exactly the bytes it had, and the database after any sequence of
// changes is byte for byte what the one-change planners (PlanInsertions,
// PlanTextChanges, PlanRemoval, PlanPatch) make when run one after the other.
//
// Save writes the document straight into the new file of the crash-safe
// rewrite (RewriteDatabaseStreamed: the lock, the check that nothing changed
// the file meanwhile, its metadata, a backup before the rename), the offsets
// made as it goes, and refuses, keeping every change, when another program
// changed the file since the session read or saved it. To know that, the
// session keeps what the file was (its FileInfo) and, once it has written
// the file, a 64-bit digest of the bytes written rather than the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/format.h"
#include "database/new_texts.h"
#include "database/text_edit.h"
#include "database/text_match.h"
#include "exchange/entry_patch.h"
#include "storage/database_rewrite.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

// What a change, an undo or a redo did to the entries, for a view to show.
struct SessionEdit {
  enum class Kind {
    kTexts,    // `slots` hold new texts; nothing moved
    kAdded,    // entries went into `slots`; the entries after them moved on
    kRemoved,  // the entries in `slots` went; the entries after them moved back
    kPatched,  // a patch's step: entries may have changed, gone and come anywhere
  };
  Kind kind = Kind::kTexts;
  std::vector<std::size_t> slots;  // table slots, from 1, in order
  std::string description;         // of the change: "Set 5003", "Remove 5004", ...
  std::size_t occurrences = 0;     // Replace: those found, in the texts changed or not
  // kRemoved: the ids the entries that went had, in the order of `slots`.
  std::vector<std::int32_t> removed_ids;
};

// What applying a patch found and did.
struct SessionPatched {
  SessionEdit edit;  // no description when nothing changed
  PatchCounts counts;
  bool base_matched = false;           // the database was the patch's base
  bool already_applied = false;        // the database was already the patch's result
  std::vector<PatchProblem> problems;  // any: nothing changed
};

// An entry of the database as it stands, for a view: its text is a view that
// stays valid as long as the session lives.
struct SessionEntry {
  std::size_t slot = 0;  // from 1
  std::int32_t id = 0;
  format::EntryKind kind = format::EntryKind::kOther;
  std::span<const std::byte> text;  // as stored, without its NUL
};

struct SessionSaved {
  bool written = false;  // false: there was nothing to save, and nothing was rewritten
  std::string warning;   // as in Rewritten
};

class EditSession {
 public:
  // Reads the database at `path` whole through `fs`, which the session keeps
  // for its saves. Refuses one that is not well-formed, with the reasons
  // CheckTextLayout gives, and one that changes while read.
  static Result<EditSession> Open(const std::filesystem::path& path,
                                  FileSystem& fs = DefaultFileSystem());

  EditSession(EditSession&&) noexcept;
  EditSession& operator=(EditSession&&) noexcept;
  ~EditSession();

  // The changes. Each refuses with the reason of its planner and then leaves
  // the session as it was; one that would change no byte (a text set to the
  // text it has, translations or a replacement that change nothing) is no
  // step either, and returns no slots. A new change drops what was undone.
  //
  // The texts as new entries before the end marker, as PlanInsertions puts
  // them: "Insert 5013", or "Insert 3 texts".
  Result<SessionEdit> Insert(const NewTexts& texts);
  // The entry in table slot `slot` gets the text `stored`: "Set 5003".
  Result<SessionEdit> SetText(std::size_t slot, std::span<const std::byte> stored);
  // The entry in table slot `slot` goes, as PlanRemoval takes it (never the
  // end marker): "Remove 5004".
  Result<SessionEdit> Remove(std::size_t slot);
  // New texts for several entries in one step (PlanImport's changes):
  // "Translate 12 texts".
  Result<SessionEdit> ApplyTranslations(std::span<const TextChange> changes);
  // Every occurrence of `pattern` in every text replaced, in one step, as
  // PlanReplacement plans it: "Replace 12 texts".
  Result<SessionEdit> Replace(const TextPattern& pattern, std::string_view utf8_replacement);
  // The same in two halves, for a view that shows what a replacement would
  // do before it is done: the plan, over the texts as they stand (reading
  // them a batch at a time, never every entry at once), and the plan done,
  // which must be made on the session as it still stands.
  Result<PlannedReplacement> PlanReplace(const TextPattern& pattern,
                                         std::string_view utf8_replacement) const;
  Result<SessionEdit> ApplyReplacement(PlannedReplacement planned);
  // The patch's changes in one step, planned as ApplyPatch plans them on a
  // file: "Apply patch". Where any entry it touches is not what it expects,
  // nothing changes and the problems say which. Undone and redone, the step
  // gives back exactly the bytes it had, the database being the base of the
  // patch it keeps: the one given, or where the database was not that
  // patch's base, the patch CreatePatch makes of the database before and
  // after.
  Result<SessionPatched> ApplyPatch(const Patch& patch);

  bool can_undo() const { return !done_.empty(); }
  bool can_redo() const { return !undone_.empty(); }
  // What Undo and Redo would undo and redo ("Set 5003"); empty when nothing.
  std::string undo_description() const;
  std::string redo_description() const;
  // Each refuses (kNothingToUndo) when there is nothing to undo or redo.
  Result<SessionEdit> Undo();
  Result<SessionEdit> Redo();

  // Whether the database differs from the file as the session last read or
  // saved it: undoing every change since then makes it false again.
  bool modified() const { return saved_at_ != done_.size(); }

  const std::filesystem::path& path() const { return path_; }
  // The number of entries, and the entry in table slot `slot` (1 ...
  // entry_count()), read from the document in time logarithmic in its size.
  std::size_t entry_count() const;
  SessionEntry EntryAt(std::size_t slot) const;
  // The id of the entry in `slot` alone (0 past the table), for callers
  // that look at many; the id of every entry, in table order.
  std::int32_t IdAt(std::size_t slot) const;
  std::vector<std::int32_t> Ids() const;
  // The table slot of the end marker (the first entry with its id after
  // entry 1), entry_count() + 1 where it lies just past the table; none
  // without one.
  std::optional<std::size_t> marker_slot() const;
  // The database's size in bytes.
  std::int64_t size() const;
  // Every entry, with the offsets the database as it stands gives them
  // (texts are views valid as long as the session lives).
  Result<std::vector<EntryText>> Entries() const;
  // The database as it stands, made whole: for what needs every byte at
  // once (an export, a patch made against another file).
  std::vector<std::byte> Image() const;

  // Puts the database in place of the file with one RewriteDatabase, with
  // `before_rename` (a backup) as there; without changes it rewrites nothing.
  // Refuses (kBusy) when the file is not the one read, of the size and times
  // it had, with the same bytes: another program changed it, and the session
  // keeps its changes to be saved elsewhere. Once saved, the session counts
  // as unmodified, and its changes can still be undone.
  Result<SessionSaved> Save(const BeforeRename& before_rename = {});
  // Writes the database to another file, which must not be the one the
  // session read (WriteFileDurably), and goes on with that file: a later
  // Save writes there.
  Result<SessionSaved> SaveAs(const std::filesystem::path& path);

 private:
  class Command;
  class TextsCommand;
  class RemoveCommand;
  class InsertCommand;
  class PatchCommand;
  struct Document;

  EditSession(FileSystem& fs, std::filesystem::path path, FileInfo info,
              std::unique_ptr<Document> document);
  SessionEdit Push(std::unique_ptr<Command> command);
  // New texts for entries, of a change that `one_text` names by its id.
  Result<SessionEdit> ChangeTexts(std::vector<TextChange> changes, bool one_text,
                                  std::string_view verb, std::size_t occurrences = 0);
  Status CheckFileAsRead(const OldContents& old) const;
  void MarkSaved(std::uint64_t digest);

  FileSystem* fs_;
  std::filesystem::path path_;
  FileInfo info_;  // the file as last read or saved
  // The digest of what the session last wrote to the file; none while the
  // file holds the bytes as read, which the document keeps.
  std::optional<std::uint64_t> written_digest_;
  std::unique_ptr<Document> document_;
  std::vector<std::unique_ptr<Command>> done_;    // the last done last
  std::vector<std::unique_ptr<Command>> undone_;  // the last undone last
  // How many changes were done when the document was the file's; nullopt
  // once no undo or redo can lead back there.
  std::optional<std::size_t> saved_at_ = 0;
};

}  // namespace orva
