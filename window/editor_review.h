// The translator's side of the editor, whichever toolkit draws it: the
// reference (a second database, read only, whose texts the translation is
// made from) joined to the entries by id, the checks of every text against
// it and the team's rules, and how far the translation has come.
//
// The review keeps, for each table slot, a byte of its id, the reference's
// partner and a summary of the findings (5 bytes an entry, 9 with a
// reference; the ids themselves it reads from the session), how many entries
// share each id that several share, and the totals. After a change of texts
// it checks again only the slots the change names; after entries are added
// or removed it moves the others' on or back, joins again only the ids of
// those that came or went, and checks only the slots whose partner, id count
// or kind that changed besides those named. Plain C++: no toolkit.
//
// Checking a million entries takes seconds (more with spelling), so the
// whole-file check is a pass made in steps: Start joins and counts at once
// and leaves every slot unchecked, Step checks the next few, and a window
// calls it while idle. A slot unchecked has no findings and no flags: it
// counts in no total and no filter keeps it. An edit during the pass checks
// the slots it names at once; the pass skips the slots already checked.
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
#include "database/reference.h"
#include "review/check_rules.h"
#include "review/database_review.h"
#include "review/text_checks.h"
#include "window/editor_commands.h"

namespace orva {

class EditSession;
struct SessionEdit;

// What the checks find in one slot's text.
struct SlotProblems {
  std::uint32_t errors = 0;
  std::uint32_t warnings = 0;
  std::uint8_t worst = 0;  // 1 + the worst finding's index in TextChecks(); 0 for none
  std::uint8_t flags = 0;  // what it adds to the progress and the filters; 0 until checked
  std::size_t count() const { return std::size_t{errors} + warnings; }
  // The worst finding's check, null for none.
  const TextCheck* worst_check() const { return worst == 0 ? nullptr : TextChecks()[worst - 1]; }
};

class EditorReview {
 public:
  // The rules the checks follow; the default: none but the game's own.
  void SetRules(CheckRules rules, std::filesystem::path from = {});
  const CheckRules& rules() const { return rules_; }
  const std::filesystem::path& rules_path() const { return rules_path_; }

  void SetReference(std::shared_ptr<const ReferenceDatabase> reference, std::filesystem::path path);
  void CloseReference();
  bool has_reference() const { return reference_ != nullptr; }
  const std::filesystem::path& reference_path() const { return reference_path_; }

  // Checks every entry of the session, as it stands, again: Start, then
  // Step to the end.
  void Rebuild(const EditSession& session);
  // Starts a pass over every entry of the session as it stands: the ids
  // joined with the reference and counted, every slot unchecked.
  void Start(const EditSession& session);
  // The slots the last Step went over, from 1: every one of them is checked
  // now. None when the pass had nothing left.
  struct Stepped {
    std::size_t checked = 0;  // how many it checked; the others were already
    std::size_t first = 0;
    std::size_t last = 0;
  };
  // Checks up to `most` (at least 1) of the slots not checked yet, in table
  // order, and says which it went over.
  Stepped Step(const EditSession& session, std::size_t most);
  // Follows a change, an undo or a redo of the session. Entries added or
  // removed send the pass back to the first slot (the slots already checked
  // are skipped); a patch starts the pass again.
  void Follow(const SessionEdit& edit, const EditSession& session);

  // How far the pass has come: slots checked of all.
  std::size_t checked() const { return checked_; }
  std::size_t total() const { return problems_.size(); }
  bool complete() const { return checked_ == problems_.size(); }
  bool Checked(std::size_t slot) const;

  // The reference's text for the entry in `slot` (from 1), where it has a
  // partner for it.
  std::optional<std::span<const std::byte>> ReferenceText(std::size_t slot) const;
  SlotProblems ProblemsAt(std::size_t slot) const;
  bool Keeps(ReviewFilter filter, std::size_t slot) const;
  // What the checks find in `text` (its characters) were it the text of
  // the entry in `slot` of `session`, which the review follows: the
  // findings of a text being typed.
  std::vector<Finding> Check(const EditSession& session, std::size_t slot,
                             std::u32string_view text) const;

  // The totals of the slots checked.
  std::size_t errors() const { return errors_; }
  std::size_t warnings() const { return warnings_; }
  // With a reference; counted as orva-cli check counts them, over the slots
  // checked (only_in_database and only_in_reference over every one).
  std::optional<Progress> progress() const;
  // The reference's entries that no entry of the database pairs with, by
  // their index in the reference, rising.
  std::span<const std::uint32_t> only_in_reference() const { return join_.only_in_reference; }
  const ReferenceDatabase* reference() const { return reference_.get(); }
  // What the reference's entry `index` (below its size) is in its own table,
  // as format::KindOf says of an entry in a slot.
  format::EntryKind ReferenceKind(std::size_t index) const;

 private:
  // Joins the session's entries with the reference's and counts their ids.
  void Join(const EditSession& session);
  // Follows entries added or removed by moving what each slot holds and
  // joining again only the ids of the entries that came or went; false
  // when the edit is not one it can follow so (the end marker moved).
  bool FollowMoves(const SessionEdit& edit, const EditSession& session);
  // The same by joining every id again and comparing slot by slot.
  void FollowEverything(const SessionEdit& edit, const EditSession& session);
  // Counts the entries with `id` and pairs them with the reference's again,
  // checking those whose count or partner changed.
  void Rejoin(std::int32_t id, const EditSession& session);
  void Recheck(const EditSession& session, std::size_t slot);
  void CheckSlot(const EditSession& session, std::size_t slot);
  void Count(std::size_t slot, int sign);
  // The flags of the slot with index `i` (from 0), and its summary put.
  std::uint8_t FlagsAt(std::size_t i) const;
  void Put(std::size_t i, const SlotProblems& p);

  CheckRules rules_;
  std::filesystem::path rules_path_;
  std::shared_ptr<const ReferenceDatabase> reference_;
  std::filesystem::path reference_path_;
  std::optional<std::size_t> reference_marker_slot_;
  std::optional<std::size_t> marker_slot_;
  // A byte of each slot's id (from 0 for slot 1): the slots of an id are
  // found by reading a byte a slot, and asking the session only for the few
  // whose byte is the id's.
  std::vector<std::uint8_t> id_bytes_;
  IdTally tally_;
  EntryJoin join_;  // partner empty without a reference
  // Each slot's SlotProblems in a word: its flags (5 bits), worst (4),
  // errors (11) and warnings (11); or, with the top bit set, the index in
  // overflow_ of the whole summary of a text with more findings than that.
  std::vector<std::uint32_t> problems_;
  std::vector<SlotProblems> overflow_;
  std::size_t errors_ = 0;
  std::size_t warnings_ = 0;
  std::size_t checked_ = 0;
  std::size_t next_ = 0;  // the pass's place: every slot before it (from 0) is checked
  KindProgress missions_, others_;
  std::size_t only_here_ = 0;
  // Scratch, reused from one check to the next.
  std::u32string text_, reference_text_;
  std::vector<Finding> findings_;
};

// A finding as the details pane lists it: "error · too long: …".
std::string FindingLine(const Finding& finding);

}  // namespace orva
