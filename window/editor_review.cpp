#include "window/editor_review.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "session/edit_session.h"

namespace orva {
namespace {

// What a slot adds to the progress and the filters.
enum SlotReviewFlags : std::uint8_t {
  kCounted = 1,       // it has a partner and is not the end marker
  kMissionKind = 2,   // a mission, listed or not
  kTranslated = 4,    // IsTranslated
  kUntranslated = 8,  // what the Untranslated filter shows
  kChecked = 16,      // the checks have seen it
};

// A slot's word whose other bits are the index of its summary in overflow_.
constexpr std::uint32_t kWhole = std::uint32_t{1} << 31;

// Room for entries to come beside `n`, so that adding one moves the slots
// after it rather than copying every slot to new memory (page by page, the
// most an edit would cost).
std::size_t Room(std::size_t n) { return n + n / 16 + 256; }

// A byte of an id, its bits mixed so that ids that differ anywhere mostly
// differ in it.
std::uint8_t IdByte(std::int32_t id) {
  return static_cast<std::uint8_t>((static_cast<std::uint32_t>(id) * 0x9E3779B1u) >> 24);
}

std::uint8_t IndexOf(const TextCheck* check) {
  const std::span<const TextCheck* const> checks = TextChecks();
  return static_cast<std::uint8_t>(std::find(checks.begin(), checks.end(), check) - checks.begin());
}

}  // namespace

void EditorReview::SetRules(CheckRules rules, std::filesystem::path from) {
  rules_ = std::move(rules);
  rules_path_ = std::move(from);
}

void EditorReview::SetReference(std::shared_ptr<const ReferenceDatabase> reference,
                                std::filesystem::path path) {
  reference_ = std::move(reference);
  reference_path_ = std::move(path);
  // Its end marker as the editor finds a database's: the first entry past
  // slot 1 with the marker's id.
  reference_marker_slot_.reset();
  if (!reference_) return;
  const TableIds ids = reference_->ids();
  for (std::size_t i = 1; i < ids.size(); ++i) {
    if (format::IsEndMarker(ids[i])) {
      reference_marker_slot_ = i + 1;
      break;
    }
  }
}

void EditorReview::CloseReference() {
  reference_.reset();
  reference_path_.clear();
  reference_marker_slot_.reset();
}

format::EntryKind EditorReview::ReferenceKind(std::size_t index) const {
  return format::KindOf(reference_->ids()[index], index + 1, reference_marker_slot_);
}

void EditorReview::Join(const EditSession& session) {
  const std::size_t n = session.entry_count();
  id_bytes_.clear();
  join_ = {};
  {
    // The ids while they are joined and counted, and no longer.
    const std::vector<std::int32_t> ids = session.Ids();
    if (reference_) join_ = JoinById(ids, reference_->ids());
    tally_ = IdTally(ids);
    id_bytes_.reserve(Room(n));
    for (const std::int32_t id : ids) id_bytes_.push_back(IdByte(id));
  }
  only_here_ = reference_ ? join_.OnlyInDatabase() : 0;
  if (reference_) join_.partner.reserve(Room(n));
}

void EditorReview::Rebuild(const EditSession& session) {
  Start(session);
  (void)Step(session, problems_.size());
}

void EditorReview::Start(const EditSession& session) {
  const std::size_t n = session.entry_count();
  marker_slot_ = session.marker_slot();
  // What the last pass kept goes first, so that it is not held beside what
  // this one makes.
  problems_ = {};
  overflow_ = {};
  Join(session);
  problems_.reserve(Room(n));
  problems_.assign(n, {});
  errors_ = warnings_ = checked_ = next_ = 0;
  missions_ = others_ = {};
}

EditorReview::Stepped EditorReview::Step(const EditSession& session, std::size_t most) {
  Stepped stepped;
  const std::size_t n = problems_.size();
  most = std::max<std::size_t>(most, 1);
  while (next_ < n && (FlagsAt(next_) & kChecked) != 0) ++next_;
  if (next_ == n) return stepped;
  stepped.first = next_ + 1;
  for (; next_ < n && stepped.checked < most; ++next_) {
    if ((FlagsAt(next_) & kChecked) != 0) continue;
    CheckSlot(session, next_ + 1);
    Count(next_ + 1, 1);
    ++stepped.checked;
  }
  stepped.last = next_;
  return stepped;
}

SlotProblems EditorReview::ProblemsAt(std::size_t slot) const {
  const std::uint32_t word = problems_[slot - 1];
  if ((word & kWhole) != 0) return overflow_[word & ~kWhole];
  SlotProblems p;
  p.flags = static_cast<std::uint8_t>(word & 0x1F);
  p.worst = static_cast<std::uint8_t>(word >> 5 & 0xF);
  p.errors = word >> 9 & 0x7FF;
  p.warnings = word >> 20 & 0x7FF;
  return p;
}

std::uint8_t EditorReview::FlagsAt(std::size_t i) const {
  const std::uint32_t word = problems_[i];
  return (word & kWhole) != 0 ? overflow_[word & ~kWhole].flags
                              : static_cast<std::uint8_t>(word & 0x1F);
}

void EditorReview::Put(std::size_t i, const SlotProblems& p) {
  std::uint32_t& word = problems_[i];
  if (p.errors <= 0x7FF && p.warnings <= 0x7FF && p.worst <= 0xF && p.flags <= 0x1F) {
    word = std::uint32_t{p.flags} | std::uint32_t{p.worst} << 5 | std::uint32_t{p.errors} << 9 |
           std::uint32_t{p.warnings} << 20;
    return;
  }
  // The slot's place in overflow_, if it has one already (its word moves
  // with it), or a new one.
  if ((word & kWhole) == 0) {
    word = kWhole | static_cast<std::uint32_t>(overflow_.size());
    overflow_.push_back(p);
  } else {
    overflow_[word & ~kWhole] = p;
  }
}

bool EditorReview::Checked(std::size_t slot) const {
  return slot >= 1 && slot <= problems_.size() && (FlagsAt(slot - 1) & kChecked) != 0;
}

void EditorReview::Follow(const SessionEdit& edit, const EditSession& session) {
  if (edit.slots.empty() && edit.kind != SessionEdit::Kind::kPatched) return;
  if (edit.kind == SessionEdit::Kind::kTexts) {
    for (const std::size_t slot : edit.slots) Recheck(session, slot);
    return;
  }
  if (edit.kind == SessionEdit::Kind::kPatched) {
    Start(session);
    return;
  }
  if (!FollowMoves(edit, session)) FollowEverything(edit, session);
}

bool EditorReview::FollowMoves(const SessionEdit& edit, const EditSession& session) {
  // Past this many entries crossing the marker, joining everything again
  // costs about as much.
  constexpr std::size_t kMostCrossed = 4096;
  const bool added = edit.kind == SessionEdit::Kind::kAdded;
  const std::span<const std::size_t> slots = edit.slots;
  const std::size_t before = problems_.size();
  const std::size_t n = session.entry_count();
  if (n != (added ? before + slots.size() : before - std::min(before, slots.size())) ||
      !std::is_sorted(slots.begin(), slots.end()) ||
      std::adjacent_find(slots.begin(), slots.end()) != slots.end() || slots.front() < 1 ||
      slots.back() > (added ? n : before)) {
    return false;
  }
  // Where the entry that was the end marker went (or, removed, where the
  // entry after it went), and where the end marker is now: the entries
  // between them changed sides of it, and with it their kind as the checks
  // see it (a mission, the end marker or another entry). A new mission
  // numbered as the marker becomes it, for one. A marker that came or went
  // changes the kind of every entry after it; without one before and
  // after, none crossed.
  const std::optional<std::size_t> marker = session.marker_slot();
  if (marker.has_value() != marker_slot_.has_value()) return false;
  std::size_t crossed_from = 1;
  std::size_t crossed_to = 0;  // none
  if (marker) {
    std::size_t moved = *marker_slot_;
    if (added) {
      for (const std::size_t slot : slots) moved += slot <= moved ? 1 : 0;
    } else {
      moved -= static_cast<std::size_t>(std::lower_bound(slots.begin(), slots.end(), moved) -
                                        slots.begin());
    }
    crossed_from = std::min(*marker, moved);
    crossed_to = std::min(std::max(*marker, moved), n);
    if (crossed_to > crossed_from + kMostCrossed) return false;
  }

  const bool joined = reference_ != nullptr;
  std::vector<std::int32_t> ids;  // those whose entries came or went
  ids.reserve(slots.size());
  if (added) {
    for (const std::size_t slot : slots) {
      const std::int32_t id = session.IdAt(slot);
      const auto at = static_cast<std::ptrdiff_t>(slot - 1);
      ids.push_back(id);
      id_bytes_.insert(id_bytes_.begin() + at, IdByte(id));
      problems_.insert(problems_.begin() + at, 0);
      if (joined) {
        join_.partner.insert(join_.partner.begin() + at, EntryJoin::kNone);
        ++only_here_;
      }
    }
  } else {
    if (edit.removed_ids.size() != slots.size()) return false;
    ids = edit.removed_ids;
    for (auto slot = slots.rbegin(); slot != slots.rend(); ++slot) {
      const auto at = static_cast<std::ptrdiff_t>(*slot - 1);
      Count(*slot, -1);
      id_bytes_.erase(id_bytes_.begin() + at);
      problems_.erase(problems_.begin() + at);
      if (joined) {
        if (join_.partner[*slot - 1] == EntryJoin::kNone) --only_here_;
        join_.partner.erase(join_.partner.begin() + at);
      }
    }
  }
  marker_slot_ = marker;
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  for (const std::int32_t id : ids) Rejoin(id, session);
  // New entries are checked at once, and those that crossed the marker.
  // The others keep their kind (whether the mission list reads a mission
  // makes no difference to the checks).
  for (const std::size_t slot : added ? slots : std::span<const std::size_t>{}) {
    if ((FlagsAt(slot - 1) & kChecked) == 0) Recheck(session, slot);
  }
  for (std::size_t slot = crossed_from; slot <= crossed_to; ++slot) {
    Recheck(session, slot);
  }
  // The slots checked moved on or back from the first named: the pass
  // looks again from there, skipping them.
  next_ = std::min(next_, slots.front() - 1);
  return true;
}

void EditorReview::Rejoin(std::int32_t id, const EditSession& session) {
  // Its slots, from 0: those whose byte is the id's, and of them those the
  // session gives the id.
  std::vector<std::size_t> here;
  const std::uint8_t byte = IdByte(id);
  const std::uint8_t* const first = id_bytes_.data();
  const std::uint8_t* const end = first + id_bytes_.size();
  for (const std::uint8_t* at = first; at != end; ++at) {
    at =
        static_cast<const std::uint8_t*>(std::memchr(at, byte, static_cast<std::size_t>(end - at)));
    if (at == nullptr) break;
    const auto i = static_cast<std::size_t>(at - first);
    if (session.IdAt(i + 1) == id) here.push_back(i);
  }
  std::vector<std::uint32_t> there;  // the reference's entries with it
  if (reference_ != nullptr) {
    const TableIds reference_ids = reference_->ids();
    for (std::size_t i = 0; i < reference_ids.size(); ++i) {
      if (reference_ids[i] == id) there.push_back(static_cast<std::uint32_t>(i));
    }
    // The n-th entry with the id here pairs with the n-th there; the rest
    // of those there are only in the reference.
    std::vector<std::uint32_t>& alone = join_.only_in_reference;
    for (std::size_t k = 0; k < there.size(); ++k) {
      const auto at = std::lower_bound(alone.begin(), alone.end(), there[k]);
      const bool listed = at != alone.end() && *at == there[k];
      if (k < here.size() && listed) alone.erase(at);
      if (k >= here.size() && !listed) alone.insert(at, there[k]);
    }
  }
  const bool counted_anew = tally_.CountOf(id) != std::max<std::size_t>(here.size(), 1);
  tally_.Set(id, here.size());
  for (std::size_t k = 0; k < here.size(); ++k) {
    const std::size_t i = here[k];
    bool changed = counted_anew;
    if (reference_ != nullptr) {
      const std::uint32_t partner = k < there.size() ? there[k] : EntryJoin::kNone;
      if (join_.partner[i] != partner) {
        if (join_.partner[i] == EntryJoin::kNone) --only_here_;
        if (partner == EntryJoin::kNone) ++only_here_;
        join_.partner[i] = partner;
        changed = true;
      }
    }
    if (changed) Recheck(session, i + 1);
  }
}

void EditorReview::Recheck(const EditSession& session, std::size_t slot) {
  Count(slot, -1);
  CheckSlot(session, slot);
  Count(slot, 1);
}

void EditorReview::FollowEverything(const SessionEdit& edit, const EditSession& session) {
  // Entries added or removed: each slot now takes what the slot it came
  // from had, and is checked again where what the checks see of it other
  // than its text (its partner, its id's count, its kind) changed.
  const bool added = edit.kind == SessionEdit::Kind::kAdded;
  const std::size_t old_count = problems_.size();
  const std::optional<std::size_t> old_marker = marker_slot_;
  const std::size_t n = session.entry_count();
  if (!added) {
    for (const std::size_t slot : edit.slots) Count(slot, -1);
  }
  // The slot each slot now came from (from 1), 0 for a new entry.
  std::vector<std::uint32_t> from(n, 0);
  std::size_t named = 0;  // of edit.slots, in order
  std::size_t old_slot = 1;
  for (std::size_t slot = 1; slot <= n; ++slot) {
    if (added) {
      if (named < edit.slots.size() && edit.slots[named] == slot) {
        ++named;
        continue;
      }
    } else {
      while (named < edit.slots.size() && edit.slots[named] == old_slot) {
        ++named;
        ++old_slot;
      }
    }
    from[slot - 1] = static_cast<std::uint32_t>(old_slot++);
  }
  const IdTally old_tally = tally_;
  const std::vector<std::uint32_t> old_partner = std::move(join_.partner);
  {
    const std::vector<std::uint32_t> old_problems = std::move(problems_);
    problems_.reserve(Room(n));
    problems_.assign(n, {});
    for (std::size_t slot = 1; slot <= n; ++slot) {
      const std::uint32_t was = from[slot - 1];
      if (was == 0 || was > old_count) {
        from[slot - 1] = 0;
      } else {
        problems_[slot - 1] = old_problems[was - 1];
      }
    }
  }
  marker_slot_ = session.marker_slot();
  Join(session);
  // The slots checked moved on or back: the pass looks again from the
  // first, skipping them.
  next_ = 0;
  const std::vector<std::int32_t> ids = session.Ids();
  for (std::size_t slot = 1; slot <= n; ++slot) {
    const std::uint32_t was = from[slot - 1];
    const std::int32_t id = ids[slot - 1];
    const bool same = was != 0 && old_tally.CountOf(id) == tally_.CountOf(id) &&
                      (reference_ == nullptr || old_partner[was - 1] == join_.partner[slot - 1]) &&
                      format::KindOf(id, was, old_marker) == format::KindOf(id, slot, marker_slot_);
    if (!same) Recheck(session, slot);
  }
}

void EditorReview::Count(std::size_t slot, int sign) {
  const SlotProblems p = ProblemsAt(slot);
  const auto add = [sign](std::size_t& total, std::size_t n) {
    total = sign > 0 ? total + n : total - n;
  };
  add(errors_, p.errors);
  add(warnings_, p.warnings);
  add(checked_, (p.flags & kChecked) != 0 ? 1 : 0);
  if ((p.flags & kCounted) == 0) return;
  KindProgress& kind = (p.flags & kMissionKind) != 0 ? missions_ : others_;
  add(kind.entries, 1);
  add(kind.translated, (p.flags & kTranslated) != 0 ? 1 : 0);
}

void EditorReview::CheckSlot(const EditSession& session, std::size_t slot) {
  const std::size_t i = slot - 1;
  const SessionEntry stored = session.EntryAt(slot);
  StoredCharacters(stored.text, text_);
  const format::EntryKind kind = format::KindOf(stored.id, slot, marker_slot_);
  CheckedEntry entry{slot, stored.id, kind, text_, std::nullopt, tally_.CountOf(stored.id)};
  const bool partner = reference_ != nullptr && join_.partner[i] != EntryJoin::kNone;
  if (partner) {
    StoredCharacters(reference_->text(join_.partner[i]), reference_text_);
    entry.reference = reference_text_;
  }
  SlotProblems p;
  p.flags = kChecked;
  if (kind != format::EntryKind::kEndMarker) {
    const bool translated = IsTranslated(entry);
    if (partner) {
      p.flags |= kCounted;
      if (format::IsMissionKind(kind)) p.flags |= kMissionKind;
      if (translated) p.flags |= kTranslated;
    }
    if (partner ? !translated : text_.empty()) p.flags |= kUntranslated;
  }
  findings_.clear();
  CheckEntry(entry, rules_, findings_);
  for (const Finding& finding : findings_) {
    const bool error = finding.severity == Severity::kError;
    if (error) {
      ++p.errors;
    } else {
      ++p.warnings;
    }
    if (p.worst == 0 || (error && TextChecks()[p.worst - 1]->severity() == Severity::kWarning)) {
      p.worst = static_cast<std::uint8_t>(IndexOf(FindTextCheck(finding.check)) + 1);
    }
  }
  Put(i, p);
}

std::vector<Finding> EditorReview::Check(const EditSession& session, std::size_t slot,
                                         std::u32string_view text) const {
  std::vector<Finding> findings;
  if (slot < 1 || slot > problems_.size() || slot > session.entry_count()) return findings;
  const std::size_t i = slot - 1;
  const std::int32_t id = session.IdAt(slot);
  CheckedEntry entry{slot, id,           format::KindOf(id, slot, marker_slot_),
                     text, std::nullopt, tally_.CountOf(id)};
  std::u32string reference;
  if (reference_ != nullptr && join_.partner[i] != EntryJoin::kNone) {
    reference = StoredCharacters(reference_->text(join_.partner[i]));
    entry.reference = reference;
  }
  CheckEntry(entry, rules_, findings);
  return findings;
}

std::optional<std::span<const std::byte>> EditorReview::ReferenceText(std::size_t slot) const {
  if (reference_ == nullptr || slot < 1 || slot > join_.partner.size()) return std::nullopt;
  const std::uint32_t partner = join_.partner[slot - 1];
  if (partner == EntryJoin::kNone) return std::nullopt;
  return reference_->text(partner);
}

bool EditorReview::Keeps(ReviewFilter filter, std::size_t slot) const {
  if (slot < 1 || slot > problems_.size()) return filter == ReviewFilter::kAll;
  switch (filter) {
    case ReviewFilter::kAll:
      return true;
    case ReviewFilter::kUntranslated:
      return (FlagsAt(slot - 1) & kUntranslated) != 0;
    case ReviewFilter::kOnlyHere:
      return reference_ != nullptr && join_.partner[slot - 1] == EntryJoin::kNone;
    case ReviewFilter::kOnlyInReference:
      return false;
    case ReviewFilter::kProblems:
      break;
  }
  return ProblemsAt(slot).count() > 0;
}

std::optional<Progress> EditorReview::progress() const {
  if (reference_ == nullptr) return std::nullopt;
  return Progress{missions_, others_, only_here_, join_.only_in_reference.size()};
}

std::string FindingLine(const Finding& finding) {
  return std::string(SeverityName(finding.severity)) + " · " + std::string(finding.check) + ": " +
         finding.message;
}

}  // namespace orva
