#include "window/editor_review.h"

#include <algorithm>
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
}

void EditorReview::CloseReference() {
  reference_.reset();
  reference_path_.clear();
}

void EditorReview::Join() {
  if (reference_) {
    join_ = JoinById(ids_, reference_->ids());
  } else {
    join_ = {};
  }
  only_here_ = reference_ ? join_.OnlyInDatabase() : 0;
  id_counts_ = IdCounts(ids_);
}

void EditorReview::Rebuild(const EditSession& session) {
  Start(session);
  (void)Step(session, problems_.size());
}

void EditorReview::Start(const EditSession& session) {
  const std::size_t n = session.entry_count();
  marker_slot_ = session.marker_slot();
  ids_.resize(n);
  for (std::size_t slot = 1; slot <= n; ++slot) ids_[slot - 1] = session.EntryAt(slot).id;
  Join();
  problems_.assign(n, {});
  errors_ = warnings_ = checked_ = next_ = 0;
  missions_ = others_ = {};
}

EditorReview::Stepped EditorReview::Step(const EditSession& session, std::size_t most) {
  Stepped stepped;
  const std::size_t n = problems_.size();
  most = std::max<std::size_t>(most, 1);
  while (next_ < n && (problems_[next_].flags & kChecked) != 0) ++next_;
  if (next_ == n) return stepped;
  stepped.first = next_ + 1;
  for (; next_ < n && stepped.checked < most; ++next_) {
    if ((problems_[next_].flags & kChecked) != 0) continue;
    CheckSlot(session, next_ + 1);
    Count(next_ + 1, 1);
    ++stepped.checked;
  }
  stepped.last = next_;
  return stepped;
}

bool EditorReview::Checked(std::size_t slot) const {
  return slot >= 1 && slot <= problems_.size() && (problems_[slot - 1].flags & kChecked) != 0;
}

void EditorReview::Follow(const SessionEdit& edit, const EditSession& session) {
  if (edit.slots.empty() && edit.kind != SessionEdit::Kind::kPatched) return;
  if (edit.kind == SessionEdit::Kind::kTexts) {
    for (const std::size_t slot : edit.slots) {
      Count(slot, -1);
      CheckSlot(session, slot);
      Count(slot, 1);
    }
    return;
  }
  if (edit.kind == SessionEdit::Kind::kPatched) {
    Start(session);
    return;
  }
  // Entries added or removed: each slot now takes what the slot it came
  // from had, and is checked again where what the checks see of it other
  // than its text (its partner, its id's count, its kind) changed.
  const bool added = edit.kind == SessionEdit::Kind::kAdded;
  const std::size_t old_count = ids_.size();
  const std::size_t old_marker = marker_slot_;
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
  const std::vector<std::int32_t> old_ids = std::move(ids_);
  const std::vector<std::uint32_t> old_counts = std::move(id_counts_);
  std::vector<std::uint32_t> old_partner = std::move(join_.partner);
  std::vector<SlotProblems> old_problems = std::move(problems_);
  ids_.assign(n, 0);
  problems_.assign(n, {});
  for (std::size_t slot = 1; slot <= n; ++slot) {
    const std::uint32_t was = from[slot - 1];
    if (was == 0 || was > old_count) {
      ids_[slot - 1] = session.EntryAt(slot).id;
      from[slot - 1] = 0;
    } else {
      ids_[slot - 1] = old_ids[was - 1];
      problems_[slot - 1] = old_problems[was - 1];
    }
  }
  marker_slot_ = session.marker_slot();
  Join();
  // The slots checked moved on or back: the pass looks again from the
  // first, skipping them.
  next_ = 0;
  for (std::size_t slot = 1; slot <= n; ++slot) {
    const std::uint32_t was = from[slot - 1];
    const bool same = was != 0 && old_counts[was - 1] == id_counts_[slot - 1] &&
                      (reference_ == nullptr || old_partner[was - 1] == join_.partner[slot - 1]) &&
                      format::KindOf(ids_[slot - 1], was, old_marker) ==
                          format::KindOf(ids_[slot - 1], slot, marker_slot_);
    if (same) continue;
    Count(slot, -1);
    CheckSlot(session, slot);
    Count(slot, 1);
  }
}

void EditorReview::Count(std::size_t slot, int sign) {
  const SlotProblems& p = problems_[slot - 1];
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
  StoredCharacters(session.EntryAt(slot).text, text_);
  const format::EntryKind kind = format::KindOf(ids_[i], slot, marker_slot_);
  CheckedEntry entry{slot, ids_[i], kind, text_, std::nullopt, id_counts_[i]};
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
  problems_[i] = p;
}

std::vector<Finding> EditorReview::Check(std::size_t slot, std::u32string_view text) const {
  std::vector<Finding> findings;
  if (slot < 1 || slot > ids_.size()) return findings;
  const std::size_t i = slot - 1;
  CheckedEntry entry{slot, ids_[i],      format::KindOf(ids_[i], slot, marker_slot_),
                     text, std::nullopt, id_counts_[i]};
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
      return (problems_[slot - 1].flags & kUntranslated) != 0;
    case ReviewFilter::kOnlyHere:
      return reference_ != nullptr && join_.partner[slot - 1] == EntryJoin::kNone;
    case ReviewFilter::kProblems:
      break;
  }
  return problems_[slot - 1].count() > 0;
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
