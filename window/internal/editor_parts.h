// The editor's parts that its files share: the state of an open database
// (the session, the row map, the comparison), the comparison's removed
// entries, and the small helpers of its sentences. Internal to window/:
// editor_logic.cpp holds the front door (files, the table, changes,
// commands), editor_exchange.cpp the translation files, comparisons and
// patches, editor_workbench.cpp the reference, the checks and spelling.
#pragma once

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

#include "database/code_page.h"
#include "database/entry_diff.h"
#include "database/layout_check.h"
#include "database/mission_list.h"
#include "database/new_texts.h"
#include "database/read_limits.h"
#include "database/reference.h"
#include "database/text_edit.h"
#include "database/text_match.h"
#include "exchange/entry_patch.h"
#include "exchange/patch_file.h"
#include "exchange/translation_export.h"
#include "exchange/translation_files.h"
#include "review/check_rules.h"
#include "session/edit_session.h"
#include "storage/durable_file.h"
#include "storage/quote.h"
#include "window/comparison_marks.h"
#include "window/editor_logic.h"
#include "window/row_map.h"

namespace orva {
namespace editor_parts {

using editor_words::kProgram;
inline std::string FileName(const std::filesystem::path& path) {
  return PathToUtf8(path.filename());
}

inline std::string DisplayPath(const std::filesystem::path& path) {
  std::filesystem::path native = path;
  return PathToUtf8(native.make_preferred());
}

// The bytes of a text as the user typed it: the symbols back to their bytes
// (a control character typed or pasted as itself is taken too), then stored
// as the library stores any text, which names what it cannot store.
inline Result<std::vector<std::byte>> StoredFromVisible(std::string_view typed) {
  const Result<std::u32string> characters = DecodeUtf8(typed);
  if (!characters.ok()) return characters.status();
  if (characters->find(U'\u2400') != std::u32string::npos) {
    return Status::InvalidText(
        "the text holds the symbol of NUL (\"␀\"), which cannot be stored because it ends a "
        "text");
  }
  std::string exchange;
  exchange.reserve(typed.size());
  for (const char32_t c : CharactersFromVisible(typed)) AppendUtf8(exchange, c);
  return StoredText(exchange);
}

// Where `folded` (a filter's stored bytes, case folded) occurs in the
// stored text, left to right and not overlapping: one character a byte.
inline std::vector<TextRun> Matches(std::span<const std::byte> text,
                                    std::span<const std::byte> folded) {
  std::vector<TextRun> runs;
  if (folded.empty() || folded.size() > text.size()) return runs;
  for (std::size_t at = 0; at + folded.size() <= text.size();) {
    std::size_t n = 0;
    while (n < folded.size() && FoldCase(text[at + n]) == folded[n]) ++n;
    if (n == folded.size()) {
      runs.push_back({at, n});
      at += n;
    } else {
      ++at;
    }
  }
  return runs;
}

inline std::size_t CharacterCount(std::string_view utf8) {
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

inline bool EndsWithCsv(std::string_view name) {
  if (name.size() < 4) return false;
  std::string tail(name.substr(name.size() - 4));
  for (char& c : tail) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return tail == ".csv";
}

inline std::string SizeChange(std::int64_t bytes) {
  const auto size = static_cast<std::size_t>(bytes < 0 ? -bytes : bytes);
  return (bytes > 0 ? "+" : bytes < 0 ? "-" : "") + Grouped(size) + " bytes";
}

inline std::string ImportSummary(const ImportCounts& counts) {
  return "changed " + Grouped(counts.changed) + ", already the same " + Grouped(counts.same) +
         ", untranslated " + Grouped(counts.untranslated) + ", fuzzy " + Grouped(counts.fuzzy) +
         ", source changed " + Grouped(counts.source_changed) + ", size change " +
         SizeChange(counts.size_change);
}

inline std::string PatchSummary(const PatchCounts& counts) {
  return "changed " + Grouped(counts.changed) + ", inserted " + Grouped(counts.inserted) +
         ", removed " + Grouped(counts.removed) + ", size change " + SizeChange(counts.size_change);
}

// What the user can do about a translation file's problem, where it is not
// plain from the problem itself.
inline std::string Advice(const FileProblem& problem, bool csv) {
  switch (problem.kind) {
    case ProblemKind::kSourceChanged:
      return csv ? "; the 'text' column must stay as exported: export the texts again and carry "
                   "the translations over"
                 : "; export the texts again and merge the file into the new export (msgmerge), "
                   "which marks the changed texts fuzzy";
    case ProblemKind::kNotUtf8:
      return csv ? "; save the file as CSV in UTF-8"
                 : "; PO files are read in UTF-8 (msgconv --to-code=UTF-8 converts one)";
    case ProblemKind::kOther:
      break;
  }
  return {};
}

inline std::string_view AsText(std::span<const std::byte> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// What replacing as `request` asks would do in the session's texts, and the
// plan of it in `planned`.
inline ReplacePreview PlanReplace(const EditSession* session, const ReplaceRequest& request,
                                  PlannedReplacement& planned) {
  ReplacePreview preview;
  if (session == nullptr) {
    preview.problem = "Open a database first.";
    return preview;
  }
  const Result<TextPattern> pattern =
      TextPattern::Make(request.find, {.regex = request.regex, .match_case = request.match_case});
  if (!pattern.ok()) {
    preview.problem = AsSentence(pattern.status().message());
    return preview;
  }
  Result<PlannedReplacement> plan = session->PlanReplace(*pattern, request.replacement);
  if (!plan.ok()) {
    preview.problem = AsSentence(plan.status().message());
    return preview;
  }
  planned = std::move(plan).value();
  preview.occurrences = planned.occurrences;
  preview.texts = planned.changes.size();
  preview.summary = Plural(preview.occurrences, "occurrence", "occurrences") + " in " +
                    Plural(preview.texts, "text", "texts");
  return preview;
}

}  // namespace editor_parts

using namespace editor_parts;  // NOLINT: the editor's own helpers, in its three files

// An entry that the database compared with has and this one has not. Its
// row follows the entry in slot `after` (0: it comes first): the one that
// the entry before it there is paired with, as `orva-cli diff` pairs them.
struct GoneEntry {
  std::size_t after = 0;
  const EntryText* entry = nullptr;  // into Comparison::entries
  RowKind kind = RowKind::kOther;    // as it was there
};

// The database compared with: its bytes and entries, and what the
// comparison makes of the rows as they stand (the pairs and marks of
// SlotPairs).
struct Comparison : SlotPairs {
  std::filesystem::path path;
  std::vector<std::byte> bytes;
  std::vector<EntryText> entries;          // views into `bytes`
  std::optional<EntryIndex> index;         // of `entries`, once compared
  std::optional<std::size_t> marker_slot;  // its end marker's, if it has one
  std::vector<GoneEntry> removed;          // by `after`, then in its table's order
  std::vector<std::string> other;          // what else differs, in plain words
  bool changed_only = false;
};

// Why a removed entry's row cannot be changed, in plain words.
inline std::string RemovedRefusal(const GoneEntry& removed, const std::filesystem::path& compared) {
  return "The entry " + std::to_string(removed.entry->id) + " is not in this database: its row " +
         "shows it as " + FileName(compared) +
         ", the database compared with, has it, so there is nothing here to change.";
}

// Why the row of an entry that only the reference has (`ref`) cannot be
// changed, in plain words.
inline std::string OnlyInReferenceRefusal(const EditorReview& review, const RowRef& ref) {
  const ReferenceDatabase* reference = review.reference();
  const std::string id = reference != nullptr && ref.index < reference->size()
                             ? std::to_string(reference->ids()[ref.index])
                             : std::string("shown");
  return "The entry " + id + " is only in " + FileName(review.reference_path()) +
         ", the reference: no entry of this database pairs with it, so there is nothing here "
         "to change.";
}

inline std::optional<std::size_t> MarkerSlot(std::span<const std::byte> database) {
  const std::optional<std::int32_t> point = FindInsertionPoint(database);
  if (!point) return std::nullopt;
  return static_cast<std::size_t>(*point) + 1;
}

struct EditorLogic::State {
  explicit State(EditSession opened) : session(std::move(opened)) {}

  EditSession session;
  std::optional<std::size_t> marker_slot;  // none without a marker in the table
  std::optional<TextPattern> pattern;
  // The rows shown: every entry, with the removed ones while comparing, or
  // those a filter or Changed Only chooses.
  RowMap map;
  std::optional<RowRef> selected;
  // The rows the view has selected, which Copy Reference to Text acts on,
  // and how many of them it would change; none: the selected row alone.
  std::vector<RowSpan> marked;
  std::size_t marked_copyable = 0;
  std::optional<Comparison> comparison;
  // What the review lets the rows show: the editor's review and filter.
  const EditorReview* review = nullptr;
  ReviewFilter review_filter = ReviewFilter::kAll;

  std::size_t entries() const { return session.entry_count(); }

  // The entry in `slot` as the session has it; none past the table.
  EntryText EntryAt(std::size_t slot) const {
    const SessionEntry entry = session.EntryAt(slot);
    return {slot, entry.id, 0, entry.text};
  }

  RowKind KindAt(const EntryText& entry) const {
    return format::KindOf(entry.id, entry.slot, marker_slot);
  }

  RowMark MarkAt(std::size_t slot) const {
    if (!comparison || slot < 1 || slot > comparison->marks.size()) return RowMark::kNone;
    return comparison->marks[slot - 1];
  }

  const GoneEntry& Removed(const RowRef& ref) const { return comparison->removed[ref.index]; }

  std::size_t RowCount() const { return map.size(); }
  RowRef RefOf(std::size_t row) const { return map.At(row); }
  std::optional<std::size_t> RowOf(const RowRef& ref) const { return map.RowOf(ref); }
  std::optional<std::size_t> RowOf(std::size_t slot) const { return map.RowOf(RowRef::Slot(slot)); }

  // The slot of the row selected, or for a removed entry the slot nearest
  // its place; none without a selection or rows, or for an entry only the
  // reference has, which has no place here.
  std::optional<std::size_t> SelectedSlot() const {
    if (!selected || selected->reference()) return std::nullopt;
    if (selected->is_slot()) return selected->index;
    if (!comparison || entries() == 0) return std::nullopt;
    return std::clamp<std::size_t>(Removed(*selected).after, 1, entries());
  }

  // A removed entry selected gives way to the slot nearest it, for a
  // comparison that ends or changes.
  void SelectSlotNearby() {
    if (!selected || !selected->removed()) return;
    const std::optional<std::size_t> slot = SelectedSlot();
    selected.reset();
    if (slot) selected = RowRef::Slot(*slot);
  }

  void FindMarker() { marker_slot = session.marker_slot(); }

  bool Keeps(std::size_t slot) const {
    if (comparison && comparison->changed_only && MarkAt(slot) == RowMark::kNone) return false;
    if (review_filter != ReviewFilter::kAll && !review->Keeps(review_filter, slot)) return false;
    if (!pattern) return true;
    const EntryText entry = EntryAt(slot);
    const Result<bool> found = pattern->OccursInEntry(entry, format::IsMissionKind(KindAt(entry)));
    return found.ok() && *found;
  }

  // A removed entry is always among the rows the comparison marks.
  // None has a text here to translate or check.
  bool KeepsRemoved(std::size_t index) const {
    if (review_filter != ReviewFilter::kAll) return false;
    if (!pattern) return true;
    const GoneEntry& removed = comparison->removed[index];
    const Result<bool> found =
        pattern->OccursInEntry(*removed.entry, format::IsMissionKind(removed.kind));
    return found.ok() && *found;
  }

  // The reference's entry `index`, where the filter's text finds it as it
  // would find an entry of the table.
  bool KeepsReference(std::size_t index) const {
    if (!pattern) return true;
    const ReferenceDatabase& reference = *review->reference();
    const EntryText entry{index + 1, reference.ids()[index], 0, reference.text(index)};
    const Result<bool> found =
        pattern->OccursInEntry(entry, format::IsMissionKind(review->ReferenceKind(index)));
    return found.ok() && *found;
  }

  // Chooses the rows again, over the table as it now stands unless
  // `narrowing`, which looks only among those shown, which hold every row
  // the new choice keeps.
  void ChooseRows(bool narrowing) {
    if (!narrowing) {
      std::vector<std::size_t> after;
      if (comparison) {
        for (const GoneEntry& removed : comparison->removed) after.push_back(removed.after);
      }
      map.Reset(entries(), std::move(after));
    }
    if (review_filter == ReviewFilter::kOnlyInReference) {
      // Listed whole every time, after every change too: the review keeps
      // the entries only the reference has as a list of their own (those of
      // a newer version of the game, usually a few hundred), so this looks
      // at each of them once and never at the table.
      std::vector<std::uint32_t> shown;
      if (review->reference() != nullptr) {
        for (const std::uint32_t index : review->only_in_reference()) {
          if (KeepsReference(index)) shown.push_back(index);
        }
      }
      map.ShowReference(std::move(shown));
      return;
    }
    const bool reviewing = review_filter != ReviewFilter::kAll;
    if (!pattern && !reviewing && !(comparison && comparison->changed_only)) {
      map.ShowAll();
      return;
    }
    const RowMap::Keep slots = [this](std::size_t slot) { return Keeps(slot); };
    const RowMap::Keep removed = [this](std::size_t index) { return KeepsRemoved(index); };
    map.Choose(slots, (pattern || reviewing) && comparison ? &removed : nullptr, narrowing);
  }

  // The rows after a change of the slots `edit` names, where they were
  // exactly those the filter keeps: the entries the change did not touch
  // keep their rows (RowMap::Follow), as their ids, texts and place before
  // or after the end marker stay. Otherwise, after a patch, or while the
  // rows are the reference's (an entry added may now pair with one of
  // them), the rows are chosen again.
  void FollowEdit(const SessionEdit& edit) {
    if (!map.choosing() || !map.exact() || map.showing_reference() ||
        edit.kind == SessionEdit::Kind::kPatched || edit.slots.empty()) {
      ChooseRows(false);
      return;
    }
    const RowEdit done = edit.kind == SessionEdit::Kind::kAdded     ? RowEdit::kAdded
                         : edit.kind == SessionEdit::Kind::kRemoved ? RowEdit::kRemoved
                                                                    : RowEdit::kTexts;
    map.Follow(done, edit.slots, entries(), [this](std::size_t slot) { return Keeps(slot); });
  }

  // The marks of slots whose texts alone changed: their entries keep the
  // partners they had.
  void RemarkTexts(std::span<const std::size_t> slots) {
    Comparison& c = *comparison;
    for (const std::size_t slot : slots) {
      RowMark& mark = c.marks[slot - 1];
      c.added -= mark == RowMark::kAdded;
      c.changed -= mark == RowMark::kChanged;
      const std::uint32_t old = c.paired[slot - 1];
      if (old == 0) {
        mark = RowMark::kAdded;
      } else {
        mark = std::ranges::equal(c.entries[old - 1].text, session.EntryAt(slot).text)
                   ? RowMark::kNone
                   : RowMark::kChanged;
      }
      c.added += mark == RowMark::kAdded;
      c.changed += mark == RowMark::kChanged;
    }
  }

  // Marks the rows against the database compared with, as `orva-cli diff`
  // pairs their entries, and places the entries only it has. The rows are
  // to be chosen again after it.
  Status Compare() {
    Comparison& c = *comparison;
    Result<std::vector<EntryText>> now = session.Entries();
    if (!now.ok()) return now.status();
    if (!c.index) c.index.emplace(c.entries);
    const EntryIndex new_index(*now);
    PlaceRemoved(
        [&] { static_cast<SlotPairs&>(c) = PairSlots(c.entries, *c.index, *now, new_index); });
    const EntryDiff diff = DiffEntries(c.entries, *c.index, *now, new_index);
    c.other = OtherDifferences(c.bytes, c.entries, session.Image(), *now, diff);
    return Status::Ok();
  }

  // The comparison after entries came into or went from the slots `edit`
  // names: the pairs follow the entries, and only those with the ids of
  // the entries that came or went are paired again. The rows are to be
  // chosen again after it.
  void FollowMoves(const SessionEdit& edit) {
    Comparison& c = *comparison;
    PlaceRemoved([&] {
      orva::FollowMoves(c, edit.kind == SessionEdit::Kind::kAdded, edit.slots, c.entries, *c.index,
                        [this](std::size_t slot) { return EntryAt(slot); });
    });
  }

  // Pairs the slots again with `pair`, then places the entries only the
  // database compared with has; a removed entry selected stays so while it
  // is still removed.
  template <typename Pair>
  void PlaceRemoved(const Pair& pair) {
    Comparison& c = *comparison;
    const EntryText* was_selected = nullptr;
    if (selected && selected->removed() && selected->index < c.removed.size()) {
      was_selected = Removed(*selected).entry;
    }
    SelectSlotNearby();
    pair();
    c.removed.clear();
    for (const auto& [after, index] : RemovedEntries(c)) {
      const EntryText& old = c.entries[index];
      c.removed.push_back({after, &old, format::KindOf(old.id, old.slot, c.marker_slot)});
    }
    for (std::size_t i = 0; was_selected != nullptr && i < c.removed.size(); ++i) {
      if (c.removed[i].entry == was_selected) selected = RowRef::Removed(i);
    }
  }
};

// The rules beside a database, as orva-cli check finds them (none there is
// no rules).
struct EditorLogic::RulesBeside {
  CheckRules rules;
  std::filesystem::path from;    // empty: none
  std::string problem;           // why the file there was not read
  std::filesystem::path folder;  // the database's, where the team's word list lies
};

}  // namespace orva
