// An edit session: a database read once, changed in memory any number of
// times, each change undone and redone at will, and saved with one rewrite.
//
// Each change is a command that knows how to undo itself: it keeps what it
// needs to go back (the old texts of a change of texts, the entry a removal
// took out, where an insertion put its texts) rather than a copy of the
// database, so a session holds the database once however many changes it
// has. Undone and redone, each change gives back exactly the bytes it had,
// and the database after any sequence of changes is byte for byte what the
// one-change planners (PlanInsertions, PlanTextChanges, PlanRemoval) make
// when run one after the other.
//
// Save puts the database in place of the file with RewriteDatabase (the
// lock, the check that nothing changed the file meanwhile, its metadata, a
// backup before the rename) and refuses, keeping every change, when another
// program changed the file since the session read it. To know that, the
// session keeps what the file was (its FileInfo) and a 64-bit digest of the
// bytes it read, not the bytes themselves: with the database it edits and the
// bytes the rewrite reads, a copy would make three.
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
};

// What applying a patch found and did.
struct SessionPatched {
  SessionEdit edit;  // no description when nothing changed
  PatchCounts counts;
  bool base_matched = false;           // the database was the patch's base
  bool already_applied = false;        // the database was already the patch's result
  std::vector<PatchProblem> problems;  // any: nothing changed
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
  // Each refuses (kInvalidText) when there is nothing to undo or redo.
  Result<SessionEdit> Undo();
  Result<SessionEdit> Redo();

  // Whether the database differs from the file as the session last read or
  // saved it: undoing every change since then makes it false again.
  bool modified() const { return saved_at_ != done_.size(); }

  const std::filesystem::path& path() const { return path_; }
  // The database as it stands, and its entries (views into it, valid until
  // the next change).
  std::span<const std::byte> image() const { return image_; }
  std::size_t entry_count() const;
  Result<std::vector<EntryText>> Entries() const;

  // Puts the database in place of the file with one RewriteDatabase, with
  // `before_rename` (a backup) as there; without changes it rewrites nothing.
  // Refuses (kBusy) when the file is not the one read, of the size and times
  // it had, with the same bytes: another program changed it, and the session
  // keeps its changes to be saved elsewhere. Once saved, the session counts
  // as unmodified, and its changes can still be undone.
  Result<SessionSaved> Save(const BeforeRename& before_rename = {});
  // Writes the database to another file, which must not be the one the
  // session read (WriteFileDurably), and goes on with that file.
  Result<SessionSaved> SaveAs(const std::filesystem::path& path);

 private:
  class Command;
  class TextsCommand;
  class RemoveCommand;
  class InsertCommand;
  class PatchCommand;

  EditSession(FileSystem& fs, std::filesystem::path path, FileInfo info,
              std::vector<std::byte> image);
  Result<SessionEdit> Push(std::unique_ptr<Command> command, std::vector<std::byte> image,
                           SessionEdit edit);
  // New texts, given the entries as they stand.
  Result<SessionEdit> ChangeTexts(std::vector<TextChange> changes,
                                  Result<std::vector<EntryText>> entries, bool one_text,
                                  std::string_view verb, std::size_t occurrences = 0);
  Status CheckFileAsRead(std::span<const std::byte> bytes_now);
  void MarkSaved();
  void KeepDigest();

  FileSystem* fs_;
  std::filesystem::path path_;
  FileInfo info_;  // the file as last read or saved
  // The digest of its bytes then. Until the first change after an open or a
  // save they are the image, whose digest is taken only before it changes
  // (KeepDigest): neither an open nor a save spends time on it.
  std::optional<std::uint64_t> digest_;
  std::vector<std::byte> image_;
  std::vector<std::unique_ptr<Command>> done_;    // the last done last
  std::vector<std::unique_ptr<Command>> undone_;  // the last undone last
  // How many changes were done when the image was the file's; nullopt once
  // no undo or redo can lead back there.
  std::optional<std::size_t> saved_at_ = 0;
};

}  // namespace orva
