#include "window/editor_logic.h"

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
#include "window/row_map.h"

namespace orva {
namespace {

using editor_words::kProgram;
std::string FileName(const std::filesystem::path& path) { return PathToUtf8(path.filename()); }

std::string DisplayPath(const std::filesystem::path& path) {
  std::filesystem::path native = path;
  return PathToUtf8(native.make_preferred());
}

// The bytes of a text as the user typed it: the symbols back to their bytes
// (a control character typed or pasted as itself is taken too), then stored
// as the library stores any text, which names what it cannot store.
Result<std::vector<std::byte>> StoredFromVisible(std::string_view typed) {
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
std::vector<TextRun> Matches(std::span<const std::byte> text, std::span<const std::byte> folded) {
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

std::size_t CharacterCount(std::string_view utf8) {
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

bool EndsWithCsv(std::string_view name) {
  if (name.size() < 4) return false;
  std::string tail(name.substr(name.size() - 4));
  for (char& c : tail) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return tail == ".csv";
}

std::string SizeChange(std::int64_t bytes) {
  const auto size = static_cast<std::size_t>(bytes < 0 ? -bytes : bytes);
  return (bytes > 0 ? "+" : bytes < 0 ? "-" : "") + Grouped(size) + " bytes";
}

std::string ImportSummary(const ImportCounts& counts) {
  return "changed " + Grouped(counts.changed) + ", already the same " + Grouped(counts.same) +
         ", untranslated " + Grouped(counts.untranslated) + ", fuzzy " + Grouped(counts.fuzzy) +
         ", source changed " + Grouped(counts.source_changed) + ", size change " +
         SizeChange(counts.size_change);
}

std::string PatchSummary(const PatchCounts& counts) {
  return "changed " + Grouped(counts.changed) + ", inserted " + Grouped(counts.inserted) +
         ", removed " + Grouped(counts.removed) + ", size change " + SizeChange(counts.size_change);
}

// What the user can do about a translation file's problem, where it is not
// plain from the problem itself.
std::string Advice(const FileProblem& problem, bool csv) {
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

std::string_view AsText(std::span<const std::byte> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// What replacing as `request` asks would do in the session's texts, and the
// plan of it in `planned`.
ReplacePreview PlanReplace(const EditSession* session, const ReplaceRequest& request,
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

}  // namespace

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
std::string RemovedRefusal(const GoneEntry& removed, const std::filesystem::path& compared) {
  return "The entry " + std::to_string(removed.entry->id) + " is not in this database: its row " +
         "shows it as " + FileName(compared) +
         ", the database compared with, has it, so there is nothing here to change.";
}

std::optional<std::size_t> MarkerSlot(std::span<const std::byte> database) {
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
    return format::KindOf(entry.id, entry.slot, marker_slot.value_or(SIZE_MAX));
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
  // its place; none without a selection or rows.
  std::optional<std::size_t> SelectedSlot() const {
    if (!selected) return std::nullopt;
    if (!selected->removed()) return selected->index;
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

  void FindMarker() {
    const std::size_t marker = session.marker_slot();
    marker_slot = marker == SIZE_MAX ? std::nullopt : std::optional<std::size_t>(marker);
  }

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
  // or after the end marker stay. Otherwise, or after a patch, the rows
  // are chosen again.
  void FollowEdit(const SessionEdit& edit) {
    if (!map.choosing() || !map.exact() || edit.kind == SessionEdit::Kind::kPatched ||
        edit.slots.empty()) {
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
      c.removed.push_back(
          {after, &old, format::KindOf(old.id, old.slot, c.marker_slot.value_or(SIZE_MAX))});
    }
    for (std::size_t i = 0; was_selected != nullptr && i < c.removed.size(); ++i) {
      if (c.removed[i].entry == was_selected) selected = RowRef::Removed(i);
    }
  }
};

EditorLogic::EditorLogic(EditorView& view, FileSystem& fs) : view_(view), fs_(fs) {}

EditorLogic::~EditorLogic() = default;

// --- Files ---

void EditorLogic::Open() {
  const std::optional<std::string> chosen =
      view_.ChooseFile({.kind = FileRequest::Kind::kOpen,
                        .title = "Open a text database",
                        .filters = {{"Text databases", "*.def"}, {"All files", "*"}},
                        .start_path = DatabasePath()});
  if (chosen) (void)OpenPath(*chosen);
}

bool EditorLogic::OpenPath(const std::string& path) {
  if (!CanClose()) return false;
  std::error_code error;
  std::filesystem::path file = std::filesystem::absolute(PathFromUtf8(path), error);
  if (error) file = PathFromUtf8(path);
  return OpenFile(file.lexically_normal());
}

// Opens the file without asking: what was open before stays when it fails.
bool EditorLogic::OpenFile(const std::filesystem::path& file) {
  Result<EditSession> session = EditSession::Open(file, fs_);
  if (!session.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The database was not opened.",
                      AsSentence(session.status().message()));
    return false;
  }
  state_ = std::make_unique<State>(std::move(session).value());
  state_->FindMarker();
  ReadRules(file);
  state_->review = &review_;
  state_->review_filter = review_filter_;
  if (!filter_.empty()) state_->pattern = TextPattern::Make(filter_, {}).value();
  ReviewAgain();
  Refresh("Opened " + DisplayPath(file) +
          (spelling_note_.empty() ? std::string() : " · " + spelling_note_));
  return true;
}

void EditorLogic::Reload() {
  if (!state_ || !CanClose()) return;
  (void)OpenFile(SessionPath());
}

bool EditorLogic::Save() {
  if (!state_) return false;
  if (!modified()) {
    ShowStatusLine("Nothing to save: the file holds every change");
    return true;
  }
  Result<SessionSaved> saved = state_->session.Save(MakeBackup(backup_, fs_));
  if (!saved.ok()) {
    if (saved.status().kind() != ErrorKind::kBusy) {
      view_.ShowMessage(
          MessageIcon::kExclamation, "The database was not saved.",
          AsSentence(saved.status().message()) + " Your changes are kept; nothing was written.");
      return false;
    }
    const int answer = view_.Ask(
        {.icon = MessageIcon::kExclamation,
         .text = FileName(state_->session.path()) + " was changed by another program.",
         .details = AsSentence(saved.status().message()) +
                    " Your changes are kept. Read the file again to see what the other program "
                    "made of it (your changes are then dropped), or save yours to another file.",
         .buttons = {"Read Again", "Save As…", "Cancel"},
         .default_button = 2,
         .cancel_button = 2});
    if (answer == 0) (void)OpenFile(SessionPath());
    if (answer == 1) return SaveAs();
    return false;
  }
  Saved(saved->warning);
  return true;
}

bool EditorLogic::SaveAs() {
  if (!state_) return false;
  const std::optional<std::string> chosen =
      view_.ChooseFile({.kind = FileRequest::Kind::kSave,
                        .title = "Save the database as",
                        .filters = {{"Text databases", "*.def"}, {"All files", "*"}},
                        .start_path = DatabasePath()});
  return chosen && SaveAsPath(*chosen);
}

bool EditorLogic::SaveAsPath(const std::string& path) {
  if (!state_) return false;
  Result<SessionSaved> saved = state_->session.SaveAs(PathFromUtf8(path));
  if (!saved.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The database was not saved.",
                      AsSentence(saved.status().message()) + " Your changes are kept.");
    return false;
  }
  Saved(saved->warning);
  return true;
}

void EditorLogic::Saved(const std::string& warning) {
  const std::string path = DatabasePath();
  if (!warning.empty()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The database was saved.",
                      AsSentence("it was saved, but " + warning));
  }
  view_.DatabaseSaved(path);
  Refresh("Saved " + DisplayPath(PathFromUtf8(path)));
}

bool EditorLogic::CanClose() {
  if (!modified()) return true;
  const int answer =
      view_.Ask({.icon = MessageIcon::kExclamation,
                 .text = "Save the changes to " + FileName(state_->session.path()) + "?",
                 .details = "Your changes are lost if you do not save them.",
                 .buttons = {"Save", "Discard", "Cancel"},
                 .default_button = 0,
                 .cancel_button = 2});
  if (answer == 0) return Save() && !modified();
  return answer == 1;
}

void EditorLogic::SetBackup(BackupKind kind) {
  backup_.kind = kind;
  view_.ShowCommands(Commands());
}

// --- The table ---

std::size_t EditorLogic::RowCount() const { return state_ ? state_->RowCount() : 0; }

EditorRow EditorLogic::Row(std::size_t row) const {
  EditorRow out;
  if (!state_ || row >= state_->RowCount()) return out;
  const RowRef ref = state_->RefOf(row);
  EntryText entry;
  if (ref.removed()) {
    const GoneEntry& removed = state_->Removed(ref);
    entry = *removed.entry;
    out.kind = removed.kind;
    out.mark = RowMark::kRemoved;
  } else {
    entry = state_->EntryAt(ref.index);
    out.slot = entry.slot;
    out.kind = state_->KindAt(entry);
    out.mark = state_->MarkAt(entry.slot);
  }
  out.id = entry.id;
  if (format::IsMissionKind(out.kind)) out.image = ImageName(entry.id);
  out.bytes = entry.text.size();
  out.text = VisibleText(entry.text);
  out.matches = Matches(entry.text, filter_folded_);
  if (out.slot != 0) {
    if (const auto reference = review_.ReferenceText(out.slot))
      out.reference = VisibleText(*reference);
    const SlotProblems& problems = review_.ProblemsAt(out.slot);
    out.checked = review_.Checked(out.slot);
    out.problems = problems.count();
    out.error = problems.errors > 0;
    if (const TextCheck* worst = problems.worst_check()) out.worst = std::string(worst->id());
  }
  return out;
}

void EditorLogic::SelectionChanged(std::optional<std::size_t> row) {
  if (!state_) return;
  state_->selected.reset();
  if (row && *row >= state_->RowCount()) row.reset();
  if (row) state_->selected = state_->RefOf(*row);
  MarkOnly(row);
  view_.ShowCommands(Commands());
  ShowSelected();
}

std::optional<std::size_t> EditorLogic::SelectedRow() const {
  if (!state_ || !state_->selected) return std::nullopt;
  return state_->RowOf(*state_->selected);
}

void EditorLogic::SelectedRowsChanged(std::span<const RowSpan> rows) {
  if (!state_) return;
  state_->marked.clear();
  for (const RowSpan& span : rows) {
    if (span.first > span.last || span.first >= state_->RowCount()) continue;
    state_->marked.push_back({span.first, std::min(span.last, state_->RowCount() - 1)});
  }
  state_->marked_copyable = 0;
  for (const std::size_t row : SelectedRows()) state_->marked_copyable += Copyable(row) ? 1 : 0;
  view_.ShowCommands(Commands());
}

std::vector<std::size_t> EditorLogic::SelectedRows() const {
  std::vector<std::size_t> rows;
  if (!state_) return rows;
  for (const RowSpan& span : state_->marked) {
    for (std::size_t row = span.first; row <= span.last; ++row) rows.push_back(row);
  }
  if (rows.empty()) {
    if (const std::optional<std::size_t> row = SelectedRow()) rows.push_back(*row);
  }
  std::ranges::sort(rows);
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

bool EditorLogic::Copyable(std::size_t row) const {
  return state_ && row < state_->RowCount() && !state_->RefOf(row).removed() &&
         review_.ReferenceText(state_->RefOf(row).index).has_value();
}

void EditorLogic::MarkOnly(std::optional<std::size_t> row) {
  state_->marked.clear();
  if (row) state_->marked.push_back({*row, *row});
  state_->marked_copyable = row && Copyable(*row) ? 1 : 0;
}

void EditorLogic::ShowRowsAnew() {
  MarkOnly(std::nullopt);
  view_.ShowRows(state_->RowCount());
}

void EditorLogic::SelectInView(std::size_t row) {
  MarkOnly(row);
  view_.SelectRow(row);
}

std::optional<std::size_t> EditorLogic::RowOfSlot(std::size_t slot) const {
  return state_ ? state_->RowOf(slot) : std::nullopt;
}

void EditorLogic::SetFilter(std::string_view text) {
  const bool narrowing = !filter_.empty() && text.find(filter_) != std::string_view::npos;
  filter_ = std::string(text);
  filter_folded_.clear();
  if (Result<std::vector<std::byte>> stored = StoredText(filter_); stored.ok()) {
    filter_folded_ = std::move(stored).value();
    for (std::byte& b : filter_folded_) b = FoldCase(b);
  }
  if (!state_) return;
  if (filter_.empty()) {
    state_->pattern.reset();
  } else {
    // A literal text is refused only when empty.
    state_->pattern = TextPattern::Make(filter_, {}).value();
  }
  state_->ChooseRows(narrowing && state_->map.choosing() && state_->map.exact());
  ShowChosenRows();
}

// The rows chosen anew, the selection kept where it is still shown and
// otherwise moved to the first row, so that the keys that act on a row work.
void EditorLogic::ShowChosenRows() {
  ShowRowsAnew();
  std::optional<std::size_t> row = SelectedRow();
  if (!row && state_->RowCount() > 0) row = 0;
  state_->selected.reset();
  if (row) {
    state_->selected = state_->RefOf(*row);
    SelectInView(*row);
  }
  ShowStatusLine({});
  view_.ShowReviewSummary(ReviewText());
  view_.ShowCommands(Commands());
  ShowSelected();
}

// --- Changes ---

TextPreview EditorLogic::PreviewText(std::size_t row, std::string_view text) const {
  TextPreview preview;
  if (!state_ || row >= state_->RowCount()) {
    preview.problem = "There is no such row.";
    return preview;
  }
  const RowRef ref = state_->RefOf(row);
  if (ref.removed()) {
    preview.old_bytes = state_->Removed(ref).entry->text.size();
    preview.summary = Plural(preview.old_bytes, "byte", "bytes");
    preview.problem = RemovedRefusal(state_->Removed(ref), state_->comparison->path);
    return preview;
  }
  const EntryText entry = state_->EntryAt(ref.index);
  preview.old_bytes = entry.text.size();
  const Result<std::vector<std::byte>> stored = StoredFromVisible(text);
  if (!stored.ok()) {
    preview.summary = "was " + Plural(preview.old_bytes, "byte", "bytes");
    preview.problem = AsSentence(stored.status().message());
    return preview;
  }
  for (const Finding& finding : review_.Check(ref.index, CharactersFromVisible(text))) {
    preview.findings.push_back(FindingLine(finding));
  }
  preview.bytes = stored->size();
  preview.summary = Plural(preview.bytes, "byte", "bytes");
  if (preview.bytes != preview.old_bytes)
    preview.summary += " (was " + Grouped(preview.old_bytes) + ")";
  // The main window reads a mission's text from a window of 70 bytes.
  if (format::IsMissionKind(state_->KindAt(entry)) && preview.bytes >= format::kTextWindow) {
    preview.summary +=
        "; the main window shows the first " + Grouped(format::kTextWindow - 1) + " of a mission's";
  }
  preview.can_apply = true;
  return preview;
}

EntryDetails EditorLogic::Details(std::optional<std::size_t> row) const {
  EntryDetails details;
  if (!state_ || !row || *row >= state_->RowCount()) return details;
  const EditorRow shown = Row(*row);
  details.row = row;
  details.heading = std::to_string(shown.id) + " · " + CellText(shown, EditorColumn::kKind) +
                    (shown.slot == 0 ? std::string() : " · slot " + Grouped(shown.slot));
  details.text = shown.text;
  details.editable = shown.mark != RowMark::kRemoved;
  if (details.editable) {
    TextPreview preview = PreviewText(*row, shown.text);
    details.summary = preview.Line();
    details.findings = std::move(preview.findings);
  } else {
    details.summary = Plural(shown.bytes, "byte", "bytes");
  }
  if (review_.has_reference()) {
    details.reference = shown.reference;
    details.reference_heading =
        shown.reference ? "Reference (" + FileName(review_.reference_path()) + ")"
                        : "Reference: " + FileName(review_.reference_path()) + " has no entry " +
                              std::to_string(shown.id) +
                              (shown.slot == 0 ? std::string() : " to pair with this one");
  }
  return details;
}

std::string EditorLogic::EditTitle(std::size_t row) const {
  const EditorRow shown = Row(row);
  return "Edit the text of " + std::to_string(shown.id) +
         (shown.slot == 0 ? std::string() : " (slot " + Grouped(shown.slot) + ")");
}

std::string EditorLogic::EditableText(std::size_t row) const {
  if (!state_ || row >= state_->RowCount()) return {};
  const RowRef ref = state_->RefOf(row);
  return VisibleText(ref.removed() ? state_->Removed(ref).entry->text
                                   : state_->EntryAt(ref.index).text);
}

bool EditorLogic::SetText(std::size_t row, std::string_view text) {
  if (!state_ || row >= state_->RowCount()) return false;
  const RowRef ref = state_->RefOf(row);
  if (ref.removed()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The text was not changed.",
                      RemovedRefusal(state_->Removed(ref), state_->comparison->path));
    return false;
  }
  const std::size_t slot = ref.index;
  const Result<std::vector<std::byte>> stored = StoredFromVisible(text);
  if (!stored.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The text was not changed.",
                      AsSentence(stored.status().message()));
    return false;
  }
  const EntryText before = state_->EntryAt(slot);
  return Changed(state_->session.SetText(slot, *stored), "The text was not changed.",
                 std::to_string(before.id) + ": text changed, " + Grouped(before.text.size()) +
                     " → " + Plural(stored->size(), "byte", "bytes"));
}

TextPreview EditorLogic::PreviewMission(std::string_view text) const {
  TextPreview preview;
  preview.summary =
      Grouped(CharacterCount(text)) + " of " + Grouped(format::kMaxNewTextLength) + " characters";
  // Nothing typed yet is nothing wrong: there is only nothing to add.
  if (text.empty()) return preview;
  NewTexts texts;
  if (const Status added = texts.Add(text); !added.ok()) {
    preview.problem = AsSentence(added.message());
    return preview;
  }
  preview.bytes = texts.stored().size() - 1;  // without its NUL
  preview.summary += ", " + Plural(preview.bytes, "byte", "bytes");
  preview.can_apply = state_ != nullptr;
  if (!state_) preview.problem = "Open a database first.";
  return preview;
}

bool EditorLogic::AddMission(std::string_view text) {
  if (!state_) return false;
  NewTexts texts;
  if (const Status added = texts.Add(text); !added.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The mission was not added.",
                      AsSentence(added.message()));
    return false;
  }
  return Changed(state_->session.Insert(texts), "The mission was not added.",
                 "Mission added: " + Plural(texts.stored().size() - 1, "byte", "bytes"));
}

bool EditorLogic::Remove(std::size_t row) {
  if (!state_ || row >= state_->RowCount()) return false;
  const RowRef ref = state_->RefOf(row);
  if (ref.removed()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The entry was not removed.",
                      RemovedRefusal(state_->Removed(ref), state_->comparison->path));
    return false;
  }
  const std::size_t slot = ref.index;
  if (slot == state_->marker_slot) {
    view_.ShowMessage(MessageIcon::kExclamation, "The end marker cannot be removed.",
                      "New missions go just before it, and the main window lists the missions up "
                      "to it.");
    return false;
  }
  return Changed(state_->session.Remove(slot), "The entry was not removed.",
                 std::to_string(state_->EntryAt(slot).id) + ": entry removed");
}

bool EditorLogic::Undo() {
  if (!state_ || !state_->session.can_undo()) return false;
  const std::string what = state_->session.undo_description();
  return Changed(state_->session.Undo(), "The change was not undone.", "Undid " + what);
}

bool EditorLogic::Redo() {
  if (!state_ || !state_->session.can_redo()) return false;
  const std::string what = state_->session.redo_description();
  return Changed(state_->session.Redo(), "The change was not redone.", "Redid " + what);
}

ReplacePreview EditorLogic::PreviewReplace(const ReplaceRequest& request) const {
  PlannedReplacement unused;
  return PlanReplace(state_ ? &state_->session : nullptr, request, unused);
}

bool EditorLogic::ReplaceAll(const ReplaceRequest& request) {
  if (!state_) return false;
  // Planned once: the texts cannot change while the question is asked.
  PlannedReplacement planned;
  const ReplacePreview preview = PlanReplace(&state_->session, request, planned);
  if (!preview.problem.empty()) {
    view_.ShowMessage(MessageIcon::kExclamation, "Nothing was replaced.", preview.problem);
    return false;
  }
  if (preview.texts == 0) {
    view_.ShowMessage(MessageIcon::kInformation, "Nothing was replaced.",
                      preview.occurrences == 0
                          ? "\"" + request.find + "\" occurs in no text."
                          : "Replacing the " +
                                Plural(preview.occurrences, "occurrence", "occurrences") +
                                " would leave every text as it is.");
    return false;
  }
  const int answer = view_.Ask({.icon = MessageIcon::kExclamation,
                                .text = "Replace " + preview.summary + "?",
                                .details = "Edit ▸ Undo takes the whole replacement back.",
                                .buttons = {"Replace All", "Cancel"},
                                .default_button = 0,
                                .cancel_button = 1});
  if (answer != 0) return false;
  return Changed(state_->session.ApplyReplacement(std::move(planned)), "Nothing was replaced.",
                 "Replaced " + preview.summary);
}

// A change, an undo or a redo done (or refused): the rows, the selection
// and everything that shows the state follow it.
bool EditorLogic::Changed(const Result<SessionEdit>& edit, std::string_view refused,
                          const std::string& note) {
  if (!edit.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, std::string(refused),
                      AsSentence(edit.status().message()));
    return false;
  }
  if (edit->slots.empty() && edit->kind != SessionEdit::Kind::kPatched) {
    ShowStatusLine("Nothing changed: the text is as it was");
    return true;
  }
  State& s = *state_;
  s.FindMarker();
  review_.Follow(*edit, s.session);
  // A patch may change any entry: the pass starts again.
  if (edit->kind == SessionEdit::Kind::kPatched) reviewing_ = !review_.complete();
  // A change of texts alone keeps every entry's partner in the comparison.
  const bool texts_only = edit->kind == SessionEdit::Kind::kTexts;
  // Entries that came or went move the others' pairs on or back: the pairs
  // are of the table before them.
  const bool moved =
      edit->kind == SessionEdit::Kind::kAdded || edit->kind == SessionEdit::Kind::kRemoved;
  const std::size_t entries_before = edit->kind == SessionEdit::Kind::kAdded
                                         ? s.entries() - edit->slots.size()
                                         : s.entries() + edit->slots.size();
  if (s.comparison && texts_only && s.comparison->paired.size() == s.entries()) {
    s.RemarkTexts(edit->slots);
  } else if (s.comparison && moved && s.comparison->index &&
             s.comparison->paired.size() == entries_before) {
    s.FollowMoves(*edit);
    s.ChooseRows(false);
  } else if (s.comparison) {
    if (const Status compared = s.Compare(); !compared.ok()) {
      view_.ShowMessage(MessageIcon::kExclamation, "The comparison was ended.",
                        AsSentence(compared.message()));
      s.SelectSlotNearby();
      s.comparison.reset();
    }
    // The removed entries shown are those of the comparison made now.
    s.ChooseRows(false);
  }
  const std::span<const std::size_t> slots = edit->slots;
  std::optional<std::size_t> focus = s.SelectedSlot();
  switch (edit->kind) {
    case SessionEdit::Kind::kTexts:
      focus = slots.front();
      break;
    case SessionEdit::Kind::kAdded:
      focus = slots.back();
      break;
    case SessionEdit::Kind::kRemoved:
      focus = std::min(slots.front(), s.entries());
      break;
    case SessionEdit::Kind::kPatched:
      if (focus) focus = std::min(*focus, s.entries());
      break;
  }
  // A filter chooses among the rows as they now are, and the rows just
  // changed or added stay in sight; without one, every row of the table
  // as it now is.
  const bool filtered = s.map.choosing();
  if (filtered) {
    if (!s.comparison || texts_only) s.FollowEdit(*edit);
    if (edit->kind == SessionEdit::Kind::kTexts || edit->kind == SessionEdit::Kind::kAdded) {
      s.map.AlsoShow(slots);
    }
  } else if (!s.comparison || texts_only) {
    s.ChooseRows(false);
  }
  if (edit->kind == SessionEdit::Kind::kTexts && !s.comparison && !filtered) {
    // The rows stay; only those of the slots changed.
    std::optional<std::size_t> first, last;
    for (std::size_t slot : slots) {
      if (const std::optional<std::size_t> row = s.RowOf(slot)) {
        first = first ? std::min(*first, *row) : *row;
        last = last ? std::max(*last, *row) : *row;
      }
    }
    if (first) view_.ShowRowsChanged(*first, *last);
  } else {
    ShowRowsAnew();
  }
  // The row to select: the one changed, or where a removed one was.
  if (focus && *focus >= 1 && !s.RowOf(*focus) && s.map.choosing()) {
    focus = s.map.SlotNear(*focus);
  }
  // A removed entry selected stays so after a patch, which leaves it removed.
  const std::optional<RowRef> was = s.selected;
  s.selected.reset();
  if (edit->kind == SessionEdit::Kind::kPatched && was && was->removed() && s.RowOf(*was)) {
    s.selected = was;
    SelectInView(*s.RowOf(*was));
  } else if (focus) {
    if (const std::optional<std::size_t> row = s.RowOf(*focus)) {
      s.selected = RowRef::Slot(*focus);
      SelectInView(*row);
    }
  }
  // Whether the file holds the change yet, which an undo may bring back.
  Refresh((note.empty() ? edit->description : note) +
          (modified() ? ", not saved yet" : ", as the file holds it"));
  return true;
}

// --- Translation files ---

void EditorLogic::Export() {
  if (!state_) return;
  const std::optional<std::string> chosen =
      view_.ChooseFile({.kind = FileRequest::Kind::kSave,
                        .title = "Export the texts",
                        .filters = {{"PO files", "*.po"}, {"CSV files", "*.csv"}},
                        .start_path = PathToUtf8(state_->session.path().parent_path())});
  if (chosen) (void)ExportTo(*chosen);
}

bool EditorLogic::ExportTo(const std::string& path) {
  if (!state_) return false;
  const TranslationFormat format =
      EndsWithCsv(path) ? TranslationFormat::kCsv : TranslationFormat::kPo;
  Result<Exported> exported = ExportTranslations(state_->session.Image(), state_->session.path(),
                                                 PathFromUtf8(path), format, fs_);
  if (!exported.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The texts were not exported.",
                      AsSentence(exported.status().message()));
    return false;
  }
  if (!exported->warning.empty()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The texts were exported.",
                      AsSentence("they were written, but " + exported->warning));
  }
  ShowStatusLine("Exported " + Plural(exported->entries, "entry", "entries") + " to " +
                 DisplayPath(PathFromUtf8(path)));
  return true;
}

void EditorLogic::Import() {
  if (!state_) return;
  const std::optional<std::string> chosen =
      view_.ChooseFile({.kind = FileRequest::Kind::kOpen,
                        .title = "Import translations",
                        .filters = {{"Translation files", "*.po *.csv"},
                                    {"PO files", "*.po"},
                                    {"CSV files", "*.csv"}},
                        .start_path = PathToUtf8(state_->session.path().parent_path())});
  if (chosen) (void)ImportFrom(*chosen);
}

bool EditorLogic::ImportFrom(const std::string& path) {
  if (!state_) return false;
  const bool csv = EndsWithCsv(path);
  const std::string name = DisplayPath(PathFromUtf8(path));
  Result<std::vector<std::byte>> bytes = ReadWholeFile(PathFromUtf8(path), kExchangeReadLimit, fs_);
  if (!bytes.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The translations were not imported.",
                      AsSentence(bytes.status().message()));
    return false;
  }
  const std::string_view content = AsText(*bytes);
  TranslationRecords records = csv ? ReadCsv(content) : ReadPo(content);
  Report report{
      .title = "Import " + FileName(PathFromUtf8(path)), .summary = {}, .lines = {}, .choices = {}};
  // A spreadsheet on a Russian Windows saves plain CSV in Windows-1251.
  if (csv && std::any_of(records.problems.begin(), records.problems.end(),
                         [](const FileProblem& p) { return p.kind == ProblemKind::kNotUtf8; })) {
    records = ReadCsv(content, TextEncoding::kWindows1251);
    report.lines.push_back(name + ": not UTF-8, so read as Windows-1251");
  }
  const Result<std::vector<EntryText>> entries = state_->session.Entries();
  if (!entries.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The translations were not imported.",
                      AsSentence(entries.status().message()));
    return false;
  }
  ImportPlan plan = PlanImport(*entries, records.translations);
  std::vector<FileProblem> problems = std::move(records.problems);
  problems.insert(problems.end(), plan.problems.begin(), plan.problems.end());
  std::stable_sort(problems.begin(), problems.end(),
                   [](const FileProblem& a, const FileProblem& b) { return a.line < b.line; });
  const auto line = [&](const FileProblem& p) {
    return name + (p.line > 0 ? ":" + std::to_string(p.line) : "") + ": " + p.what + Advice(p, csv);
  };
  for (const FileProblem& p : problems) report.lines.push_back(line(p));
  // Translations of texts changed since the file was made are the only
  // problems: they may be left out or put in all the same, as orva-cli's
  // --source-changed=skip and =apply do.
  std::vector<ImportPlan> choices;
  const std::size_t source_changed = static_cast<std::size_t>(
      std::count_if(problems.begin(), problems.end(),
                    [](const FileProblem& p) { return p.kind == ProblemKind::kSourceChanged; }));
  if (problems.empty()) {
    report.summary = ImportSummary(plan.counts);
    if (plan.changes.empty()) {
      report.summary += ": nothing to change";
    } else {
      report.choices = {"Apply"};
      choices.push_back(std::move(plan));
    }
  } else if (source_changed == problems.size()) {
    ImportPlan skip = PlanImport(*entries, records.translations, SourceChanged::kSkip);
    ImportPlan apply = PlanImport(*entries, records.translations, SourceChanged::kApply);
    const bool one = source_changed == 1;
    report.summary = Plural(source_changed, "translation is", "translations are") +
                     " of a text that has changed since the file was made: skip " +
                     (one ? "it" : "them") + ", or apply " + (one ? "it" : "them") + " too?";
    std::vector<std::string> outcomes{"Skip Them: " + ImportSummary(skip.counts)};
    report.choices.push_back("Skip Them");
    choices.push_back(std::move(skip));
    if (apply.problems.empty()) {
      outcomes.push_back("Apply Them Too: " + ImportSummary(apply.counts));
      report.choices.push_back("Apply Them Too");
      choices.push_back(std::move(apply));
    } else {
      outcomes.push_back("Apply Them Too is not offered: " +
                         Plural(apply.problems.size(), "translation", "translations") +
                         " of them cannot be stored");
      for (const FileProblem& p : apply.problems) report.lines.push_back(line(p));
    }
    report.lines.insert(report.lines.begin(), outcomes.begin(), outcomes.end());
  } else {
    report.summary = Plural(problems.size(), "problem", "problems") +
                     " in the translations, so nothing can be imported (" +
                     ImportSummary(plan.counts) + ")";
  }
  const std::optional<std::size_t> chosen = view_.ShowReport(report);
  if (!chosen || *chosen >= choices.size()) return false;
  const ImportPlan& done = choices[*chosen];
  if (done.changes.empty()) {
    ShowStatusLine("Nothing imported: " + ImportSummary(done.counts));
    return false;
  }
  return Changed(state_->session.ApplyTranslations(done.changes),
                 "The translations were not imported.", "Imported: " + ImportSummary(done.counts));
}

// --- The reference and the checks ---

// The rules beside the database, as orva-cli check finds them: none there
// is no rules; rules that cannot be read are told, and the game's own
// limits are checked without them.
void EditorLogic::ReadRules(const std::filesystem::path& database) {
  const std::filesystem::path folder = database.parent_path();
  const std::filesystem::path beside = folder / PathFromUtf8(kRulesFileName);
  CheckRules rules;
  std::filesystem::path from;
  Result<FileInfo> found = fs_.Stat(beside);
  if (found.ok() || found.status().kind() != ErrorKind::kNotFound) {
    Result<CheckRules> read = ReadCheckRules(beside, fs_);
    if (read.ok()) {
      rules = std::move(read).value();
      from = beside;
    } else {
      view_.ShowMessage(MessageIcon::kExclamation, "The team's rules were not read.",
                        AsSentence(read.status().message()) +
                            " The texts are checked against the game's own limits alone.");
    }
  }
  // Spelling is the one check that needs files of its own; without them
  // the others go on.
  spelling_note_.clear();
  const std::filesystem::path dictionaries =
      dictionary_folder_.empty() ? DefaultDictionaryFolder() : dictionary_folder_;
  if (Status opened = OpenSpelling(rules, folder, dictionaries, fs_); !opened.ok()) {
    std::string_view why = opened.message();
    if (why.starts_with("spelling: ")) why.remove_prefix(std::string_view("spelling: ").size());
    spelling_note_ = "spelling is off: " + std::string(why);
  }
  review_.SetRules(std::move(rules), from);
}

void EditorLogic::OpenReference() {
  if (!state_) return;
  const std::optional<std::string> chosen =
      view_.ChooseFile({.kind = FileRequest::Kind::kOpen,
                        .title = "Open a reference (the language translated from)",
                        .filters = {{"Text databases", "*.def"}, {"All files", "*"}},
                        .start_path = PathToUtf8(state_->session.path().parent_path())});
  if (chosen) (void)OpenReferencePath(*chosen);
}

bool EditorLogic::OpenReferencePath(const std::string& path) {
  const std::filesystem::path file = PathFromUtf8(path);
  Result<ReferenceDatabase> opened = ReferenceDatabase::Open(file, fs_);
  if (!opened.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The reference was not opened.",
                      AsSentence(opened.status().Within(DescribePath(file) + ": ").message()));
    return false;
  }
  review_.SetReference(std::make_shared<const ReferenceDatabase>(std::move(opened).value()), file);
  if (!state_) return true;
  ReviewAgain();
  const Progress progress = review_.progress().value();
  ShowStatusLine("Reference " + FileName(file) + ": " +
                 Plural(progress.only_in_database, "entry", "entries") + " only here, " +
                 Grouped(progress.only_in_reference) + " only in the reference");
  return true;
}

void EditorLogic::CloseReference() {
  if (!review_.has_reference()) return;
  review_.CloseReference();
  if (review_filter_ == ReviewFilter::kOnlyHere) review_filter_ = ReviewFilter::kAll;
  if (!state_) return;
  state_->review_filter = review_filter_;
  ReviewAgain();
}

bool EditorLogic::CopyReference(std::span<const std::size_t> rows) {
  if (!state_) return false;
  std::vector<TextChange> changes;
  for (const std::size_t row : rows) {
    if (!Copyable(row)) continue;
    const std::size_t slot = state_->RefOf(row).index;
    const auto reference = review_.ReferenceText(slot);
    changes.push_back({slot, std::vector<std::byte>(reference->begin(), reference->end())});
  }
  if (changes.empty()) {
    view_.ShowMessage(MessageIcon::kInformation, "No text was changed.",
                      review_.has_reference()
                          ? "The reference has no entry to pair with the rows selected."
                          : "Open a reference first: File ▸ Open Reference.");
    return false;
  }
  std::ranges::sort(changes, {}, &TextChange::slot);
  const std::size_t count = changes.size();
  const std::int32_t id = state_->EntryAt(changes.front().slot).id;
  return Changed(state_->session.ApplyTranslations(changes), "No text was changed.",
                 count == 1 ? std::to_string(id) + ": reference copied to the text"
                            : "Reference copied to " + Plural(count, "text", "texts"));
}

void EditorLogic::SetReviewFilter(ReviewFilter filter) {
  if (filter == ReviewFilter::kOnlyHere && !review_.has_reference()) return;
  review_filter_ = filter;
  if (!state_) return;
  state_->review_filter = filter;
  state_->ChooseRows(false);
  ShowChosenRows();
}

void EditorLogic::ShowOnlyInReference() {
  const ReferenceDatabase* reference = review_.reference();
  if (reference == nullptr) return;
  Report report{.title = "Only in " + FileName(review_.reference_path()),
                .summary = {},
                .lines = {},
                .choices = {}};
  const std::span<const std::uint32_t> only = review_.only_in_reference();
  report.summary = only.empty() ? "Every entry of the reference has its entry here."
                                : Plural(only.size(), "entry", "entries") +
                                      " of the reference: none here pairs with them.";
  // A report to read, not a table: the first thousand say enough.
  constexpr std::size_t kShown = 1000;
  for (std::size_t i = 0; i < only.size() && i < kShown; ++i) {
    report.lines.push_back(std::to_string(reference->ids()[only[i]]) + "\t" +
                           VisibleText(reference->text(only[i])));
  }
  if (only.size() > kShown) {
    report.lines.push_back("… and " + Grouped(only.size() - kShown) +
                           " more (orva-cli check --reference lists them all)");
  }
  (void)view_.ShowReport(report);
}

void EditorLogic::StartReview() {
  review_.Start(state_->session);
  reviewing_ = !review_.complete();
}

void EditorLogic::ReviewAgain() {
  if (!state_) return;
  StartReview();
  state_->ChooseRows(false);
  ShowChosenRows();
}

bool EditorLogic::ContinueReview(std::chrono::milliseconds budget) {
  if (!state_ || !reviewing_) return false;
  // Slots checked between two looks at the clock: a few milliseconds' work.
  constexpr std::size_t kStep = 256;
  State& s = *state_;
  const bool by_findings =
      review_filter_ == ReviewFilter::kUntranslated || review_filter_ == ReviewFilter::kProblems;
  std::size_t first = 0;
  std::size_t last = 0;
  std::vector<std::size_t> kept;  // slots the filter keeps now that they are checked
  const auto start = std::chrono::steady_clock::now();
  do {
    const EditorReview::Stepped stepped = review_.Step(s.session, kStep);
    if (stepped.checked == 0) break;
    if (first == 0) first = stepped.first;
    last = stepped.last;
    for (std::size_t slot = stepped.first; by_findings && slot <= stepped.last; ++slot) {
      if (review_.Keeps(review_filter_, slot) && !s.RowOf(slot) && s.Keeps(slot)) {
        kept.push_back(slot);
      }
    }
  } while (std::chrono::steady_clock::now() - start < budget);
  reviewing_ = !review_.complete();
  if (!kept.empty()) {
    s.map.Follow(RowEdit::kTexts, kept, s.entries(),
                 [&s](std::size_t slot) { return s.Keeps(slot); });
    ShowRowsKept();
  } else if (first != 0 && s.RowCount() > 0) {
    // The rows of the slots checked, which now show their findings.
    // The first slot shown in first..last and the last: the one before the
    // next shown past it, or the last shown.
    const std::optional<std::size_t> near_first = s.map.SlotNear(first);
    const std::optional<std::size_t> past = s.map.SlotNear(last + 1);
    if (near_first && *near_first >= first && *near_first <= last && past) {
      const std::size_t from = *s.RowOf(*near_first);
      const std::size_t to = *past > last ? *s.RowOf(*past) - 1 : *s.RowOf(*past);
      if (from <= to) view_.ShowRowsChanged(from, to);
    }
  }
  view_.ShowReviewSummary(ReviewText());
  if (!reviewing_) view_.ShowCommands(Commands());
  return reviewing_;
}

// The rows after the pass added some that a filter keeps: the selection
// stays on its row, or goes to the first where there was none.
void EditorLogic::ShowRowsKept() {
  State& s = *state_;
  ShowRowsAnew();
  const std::optional<std::size_t> row = SelectedRow();
  if (row) {
    SelectInView(*row);
  } else if (s.RowCount() > 0) {
    s.selected = s.RefOf(0);
    SelectInView(0);
    view_.ShowCommands(Commands());
    ShowSelected();
  }
  ShowStatusLine(note_);
}

void EditorLogic::StopReview() {
  if (!state_ || !reviewing_) return;
  reviewing_ = false;
  const std::size_t unchecked = review_.total() - review_.checked();
  ShowStatusLine("Checking stopped: " + Grouped(review_.checked()) + " of " +
                 Plural(review_.total(), "entry", "entries") + " checked; the other " +
                 Grouped(unchecked) +
                 " show \"not checked\", and Untranslated and With Problems leave them out "
                 "(View ▸ Continue Checking checks them)");
  view_.ShowReviewSummary(ReviewText());
  view_.ShowCommands(Commands());
}

void EditorLogic::ContinueStoppedReview() {
  if (!state_ || reviewing_ || review_.complete()) return;
  reviewing_ = true;
  ShowStatusLine({});
  view_.ShowReviewSummary(ReviewText());
  view_.ShowCommands(Commands());
}

// "2 errors, 5 warnings · missions 12 of 40 translated, others 800 of 900",
// once every entry is checked. Until then the counts are of those checked
// and say so.
std::string EditorLogic::ReviewText() const {
  if (!state_) return {};
  std::string text = Plural(review_.errors(), "error", "errors") + ", " +
                     Plural(review_.warnings(), "warning", "warnings");
  if (reviewing_) {
    return "Checking entries: " + Grouped(review_.checked()) + " of " + Grouped(review_.total()) +
           " (Esc stops) · so far " + text;
  }
  if (!review_.complete()) {
    return "Only " + Grouped(review_.checked()) + " of " +
           Plural(review_.total(), "entry", "entries") + " checked: " + text + " among them";
  }
  if (const std::optional<Progress> p = review_.progress()) {
    text += " · missions " + Grouped(p->missions.translated) + " of " +
            Grouped(p->missions.entries) + " translated, others " + Grouped(p->others.translated) +
            " of " + Grouped(p->others.entries);
  }
  return text;
}

// --- Spelling ---

namespace {

// The UTF-16 code units of each character of `characters` before it, and
// of them all at the end.
std::vector<std::size_t> Utf16Offsets(std::u32string_view characters) {
  std::vector<std::size_t> offsets;
  offsets.reserve(characters.size() + 1);
  std::size_t at = 0;
  for (const char32_t c : characters) {
    offsets.push_back(at);
    at += c > 0xFFFF ? 2 : 1;
  }
  offsets.push_back(at);
  return offsets;
}

}  // namespace

void EditorLogic::SetDictionaryFolder(const std::string& folder) {
  dictionary_folder_ = PathFromUtf8(folder);
}

SpellChecker* EditorLogic::Speller() const {
  return state_ ? review_.rules().speller.get() : nullptr;
}

bool EditorLogic::spelling() const { return Speller() != nullptr; }

std::vector<MisspeltSpan> EditorLogic::MisspeltSpans(std::string_view text,
                                                     std::optional<std::size_t> row) const {
  std::vector<MisspeltSpan> spans;
  SpellChecker* speller = Speller();
  if (speller == nullptr) return spans;
  if (row && *row < state_->RowCount()) {
    const RowRef ref = state_->RefOf(*row);
    if (!ref.removed() && review_.rules().Ignored("spelling", state_->EntryAt(ref.index).id)) {
      return spans;
    }
  }
  // One character of the checks for each character typed: the symbols
  // stand for one character each.
  const std::u32string characters = CharactersFromVisible(text);
  const std::vector<std::size_t> offsets = Utf16Offsets(characters);
  for (Misspelling& m : speller->Check(characters)) {
    spans.push_back({.from = offsets[m.from], .to = offsets[m.to], .word = std::move(m.word)});
  }
  return spans;
}

std::optional<SpellingChoices> EditorLogic::SpellingAt(std::string_view text,
                                                       std::size_t position) const {
  SpellChecker* speller = Speller();
  if (speller == nullptr) return std::nullopt;
  for (MisspeltSpan& span : MisspeltSpans(text)) {
    if (position < span.from || position > span.to) continue;
    const Result<std::u32string> word = DecodeUtf8(span.word);
    SpellingChoices choices{.span = std::move(span), .suggestions = {}};
    if (word.ok()) choices.suggestions = speller->Suggest(*word);
    return choices;
  }
  return std::nullopt;
}

bool EditorLogic::AddToDictionary(std::string_view word) {
  SpellChecker* speller = Speller();
  if (speller == nullptr) return false;
  if (Status added = speller->AddToTeamWords(word); !added.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The word was not added to the dictionary.",
                      AsSentence(added.message()));
    return false;
  }
  ReviewWordsAgain();
  ShowStatusLine("Added “" + std::string(word) + "” to " + DisplayPath(speller->team_words_path()));
  return true;
}

void EditorLogic::IgnoreWord(std::string_view word) {
  SpellChecker* speller = Speller();
  if (speller == nullptr) return;
  speller->Ignore(word);
  ReviewWordsAgain();
  ShowStatusLine("“" + std::string(word) + "” is accepted until the editor closes");
}

void EditorLogic::SetAcceptYeForYo(bool accept) {
  SpellChecker* speller = Speller();
  if (speller == nullptr || speller->options().accept_ye_for_yo == accept) return;
  SpellingOptions options = speller->options();
  options.accept_ye_for_yo = accept;
  speller->SetOptions(options);
  ReviewWordsAgain();
  ShowStatusLine(accept ? "е is accepted for ё" : "ё is spelt as the dictionary spells it");
}

// Every entry checked again in the background. The rows keep their place
// and a text being typed in the details pane stays as it is; but a filter by
// findings leaves out what is not checked yet, so under one the rows are
// chosen again as the pass goes.
void EditorLogic::ReviewWordsAgain() {
  if (!state_) return;
  if (review_filter_ == ReviewFilter::kUntranslated || review_filter_ == ReviewFilter::kProblems) {
    ReviewAgain();
    return;
  }
  StartReview();
  if (state_->RowCount() > 0) view_.ShowRowsChanged(0, state_->RowCount() - 1);
  view_.ShowReviewSummary(ReviewText());
  view_.ShowCommands(Commands());
}

// --- Comparison and patches ---

void EditorLogic::Compare() {
  if (!state_) return;
  const std::optional<std::string> chosen =
      view_.ChooseFile({.kind = FileRequest::Kind::kOpen,
                        .title = "Compare with another database",
                        .filters = {{"Text databases", "*.def"}, {"All files", "*"}},
                        .start_path = PathToUtf8(state_->session.path().parent_path())});
  if (chosen) (void)CompareWith(*chosen);
}

bool EditorLogic::CompareWith(const std::string& path) {
  if (!state_) return false;
  const std::filesystem::path file = PathFromUtf8(path);
  auto refuse = [&](const Status& why) {
    view_.ShowMessage(MessageIcon::kExclamation, "The databases were not compared.",
                      AsSentence(why.message()));
    return false;
  };
  Result<std::vector<std::byte>> bytes = ReadWholeFile(file, kDatabaseReadLimit, fs_);
  if (!bytes.ok()) return refuse(bytes.status());
  Comparison comparison;
  comparison.path = file;
  comparison.bytes = std::move(bytes).value();
  // The entries point into the bytes, whose buffer moves with them.
  Result<std::vector<EntryText>> entries = ReadEntryTexts(comparison.bytes);
  if (!entries.ok()) return refuse(entries.status().Within(DescribePath(file) + ": "));
  comparison.entries = std::move(entries).value();
  comparison.marker_slot = MarkerSlot(comparison.bytes);
  if (state_->comparison) comparison.changed_only = state_->comparison->changed_only;
  state_->SelectSlotNearby();
  state_->comparison = std::move(comparison);
  if (const Status compared = state_->Compare(); !compared.ok()) {
    state_->comparison.reset();
    return refuse(compared);
  }
  state_->ChooseRows(false);
  ShowChosenRows();
  const Comparison& c = *state_->comparison;
  const std::string summary = "Compared with " + FileName(file) + ": " + Grouped(c.added) +
                              " added, " + Grouped(c.changed) + " changed, " +
                              Grouped(c.removed.size()) + " removed";
  // The entries are all in the table; only what lies outside them is told.
  if (!c.other.empty()) {
    (void)view_.ShowReport({.title = "Compared with " + FileName(file),
                            .summary = summary + "; besides the entries:",
                            .lines = c.other,
                            .choices = {}});
  }
  ShowStatusLine(summary);
  return true;
}

void EditorLogic::EndComparison() {
  if (!state_ || !state_->comparison) return;
  state_->SelectSlotNearby();
  state_->comparison.reset();
  state_->ChooseRows(false);
  ShowChosenRows();
}

void EditorLogic::SetChangedOnly(bool changed_only) {
  if (!state_ || !state_->comparison) return;
  state_->comparison->changed_only = changed_only;
  state_->ChooseRows(false);
  ShowChosenRows();
}

void EditorLogic::MakePatch() {
  if (!state_ || !state_->comparison) return;
  const std::optional<std::string> chosen =
      view_.ChooseFile({.kind = FileRequest::Kind::kSave,
                        .title = "Make a patch",
                        .filters = {{"ORVA patches", "*.orvapatch"}, {"All files", "*"}},
                        .start_path = PathToUtf8(state_->session.path().parent_path())});
  if (chosen) (void)MakePatchTo(*chosen);
}

bool EditorLogic::MakePatchTo(const std::string& path) {
  if (!state_ || !state_->comparison) return false;
  const Comparison& c = *state_->comparison;
  const std::filesystem::path& database = state_->session.path();
  auto refuse = [&](const Status& why) {
    view_.ShowMessage(MessageIcon::kExclamation, "The patch was not made.",
                      AsSentence(why.message()));
    return false;
  };
  Result<CreatedPatch> created =
      CreatePatch(c.bytes, state_->session.Image(), FileName(c.path), FileName(database));
  if (!created.ok()) return refuse(created.status());
  // Never written over either database, whatever name leads to it.
  DurableWrite how;
  for (const std::filesystem::path& input : {c.path, database}) {
    if (Result<FileInfo> info = fs_.Stat(input); info.ok()) how.inputs.push_back({*info, input});
  }
  Result<WrittenFile> written = WriteFileDurably(
      PathFromUtf8(path),
      [&](FileWriter& writer) {
        if (Status s = writer.Write(std::string_view(created->text)); !s.ok()) return s;
        return writer.Flush();
      },
      how, fs_);
  if (!written.ok()) return refuse(written.status());
  if (!written->warning.empty()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The patch was written.",
                      AsSentence("it was written, but " + written->warning));
  }
  ShowStatusLine("Patch written to " + DisplayPath(PathFromUtf8(path)) + ": " +
                 PatchSummary(created->counts));
  return true;
}

void EditorLogic::ApplyPatch() {
  if (!state_) return;
  const std::optional<std::string> chosen =
      view_.ChooseFile({.kind = FileRequest::Kind::kOpen,
                        .title = "Apply a patch",
                        .filters = {{"ORVA patches", "*.orvapatch"}, {"All files", "*"}},
                        .start_path = PathToUtf8(state_->session.path().parent_path())});
  if (chosen) (void)ApplyPatchFrom(*chosen);
}

bool EditorLogic::ApplyPatchFrom(const std::string& path) {
  if (!state_) return false;
  const std::string name = DisplayPath(PathFromUtf8(path));
  Result<std::vector<std::byte>> bytes = ReadWholeFile(PathFromUtf8(path), kExchangeReadLimit, fs_);
  if (!bytes.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The patch was not applied.",
                      AsSentence(bytes.status().message()));
    return false;
  }
  PatchReading reading = ReadPatch(AsText(*bytes));
  Report report{
      .title = "Apply " + FileName(PathFromUtf8(path)), .summary = {}, .lines = {}, .choices = {}};
  auto lines = [&](const std::vector<PatchProblem>& problems, const std::string& file) {
    for (const PatchProblem& p : problems) {
      report.lines.push_back((p.line > 0 ? name + ":" + std::to_string(p.line) : file) + ": " +
                             (p.key.empty() ? "" : p.key + ": ") + p.what);
    }
  };
  if (!reading.problems.empty()) {
    lines(reading.problems, name);
    report.summary = Plural(reading.problems.size(), "problem", "problems") +
                     " in the patch, so nothing was applied";
    (void)view_.ShowReport(report);
    return false;
  }
  Result<SessionPatched> patched = state_->session.ApplyPatch(reading.patch);
  if (!patched.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The patch was not applied.",
                      AsSentence(patched.status().message()));
    return false;
  }
  if (!patched->problems.empty()) {
    lines(patched->problems, FileName(state_->session.path()));
    report.summary =
        Plural(patched->problems.size(), "problem", "problems") + ", so the patch was not applied";
    if (patched->already_applied) {
      report.summary += "; the database is already what the patch gives";
    } else if (!patched->base_matched) {
      report.summary += " (the database is not the one the patch was made from)";
    }
    (void)view_.ShowReport(report);
    return false;
  }
  if (patched->edit.description.empty()) {
    ShowStatusLine("The patch changes nothing here");
    return true;
  }
  std::string note = "Applied the patch: " + PatchSummary(patched->counts);
  if (!patched->base_matched) note += " (to a database other than the one it was made from)";
  return Changed(patched->edit, "The patch was not applied.", note);
}

// --- The screenshot ---

void EditorLogic::ChooseScreenshotFolder() {
  const std::optional<std::string> chosen =
      view_.ChooseFile({.kind = FileRequest::Kind::kFolder,
                        .title = "Choose the screenshots' folder",
                        .filters = {},
                        .start_path = PathToUtf8(ScreenshotFolder())});
  if (chosen) SetScreenshotFolder(*chosen);
}

void EditorLogic::SetScreenshotFolder(const std::string& folder) {
  screenshot_folder_ = PathFromUtf8(folder);
  ShowSelected();
}

std::filesystem::path EditorLogic::ScreenshotFolder() const {
  if (!screenshot_folder_.empty() || !state_) return screenshot_folder_;
  return state_->session.path().parent_path();
}

void EditorLogic::ShowSelected() {
  ShowScreenshot();
  view_.ShowDetails(Details(SelectedRow()));
}

void EditorLogic::ShowScreenshot() {
  if (!state_ || !state_->selected) {
    view_.ShowScreenshot({}, {});
    return;
  }
  const RowRef& selected = *state_->selected;
  const EntryText entry =
      selected.removed() ? *state_->Removed(selected).entry : state_->EntryAt(selected.index);
  const RowKind kind = selected.removed() ? state_->Removed(selected).kind : state_->KindAt(entry);
  if (!format::IsMissionKind(kind)) {
    view_.ShowScreenshot({}, "Only a mission has a screenshot.");
    return;
  }
  const std::string image = ImageName(entry.id);
  const std::filesystem::path folder = ScreenshotFolder();
  const std::filesystem::path file = folder / PathFromUtf8(image);
  const Result<FileInfo> info = fs_.Stat(file);
  if (info.ok() && info->regular()) {
    view_.ShowScreenshot(PathToUtf8(file), image);
  } else {
    view_.ShowScreenshot({}, image + " is not in " + DisplayPath(folder) + ".");
  }
}

// --- Commands ---

void EditorLogic::Run(EditorCommand command) {
  if (Info(command).view_does || !IsEnabled(command, Commands())) return;
  switch (command) {
    case EditorCommand::kOpen:
      Open();
      break;
    case EditorCommand::kReload:
      Reload();
      break;
    case EditorCommand::kSave:
      (void)Save();
      break;
    case EditorCommand::kSaveAs:
      (void)SaveAs();
      break;
    case EditorCommand::kBackupNone:
      SetBackup(BackupKind::kNone);
      break;
    case EditorCommand::kBackupSimple:
      SetBackup(BackupKind::kSimple);
      break;
    case EditorCommand::kBackupNumbered:
      SetBackup(BackupKind::kNumbered);
      break;
    case EditorCommand::kExport:
      Export();
      break;
    case EditorCommand::kImport:
      Import();
      break;
    case EditorCommand::kUndo:
      (void)Undo();
      break;
    case EditorCommand::kRedo:
      (void)Redo();
      break;
    case EditorCommand::kRemove:
      if (const std::optional<std::size_t> row = SelectedRow()) (void)Remove(*row);
      break;
    case EditorCommand::kCompare:
      Compare();
      break;
    case EditorCommand::kChangedOnly:
      SetChangedOnly(!Commands().changed_only);
      break;
    case EditorCommand::kEndComparison:
      EndComparison();
      break;
    case EditorCommand::kMakePatch:
      MakePatch();
      break;
    case EditorCommand::kApplyPatch:
      ApplyPatch();
      break;
    case EditorCommand::kScreenshotFolder:
      ChooseScreenshotFolder();
      break;
    case EditorCommand::kOpenReference:
      OpenReference();
      break;
    case EditorCommand::kCloseReference:
      CloseReference();
      break;
    case EditorCommand::kCopyReference:
      (void)CopyReference(SelectedRows());
      break;
    case EditorCommand::kAllRows:
      SetReviewFilter(ReviewFilter::kAll);
      break;
    case EditorCommand::kUntranslated:
      SetReviewFilter(ReviewFilter::kUntranslated);
      break;
    case EditorCommand::kOnlyHere:
      SetReviewFilter(ReviewFilter::kOnlyHere);
      break;
    case EditorCommand::kWithProblems:
      SetReviewFilter(ReviewFilter::kProblems);
      break;
    case EditorCommand::kOnlyInReference:
      ShowOnlyInReference();
      break;
    case EditorCommand::kStopChecking:
      StopReview();
      break;
    case EditorCommand::kContinueChecking:
      ContinueStoppedReview();
      break;
    case EditorCommand::kAcceptYeForYo:
      SetAcceptYeForYo(!Commands().accept_ye_for_yo);
      break;
    case EditorCommand::kKeys:
      ShowKeys();
      break;
    case EditorCommand::kAbout:
      ShowAbout();
      break;
    case EditorCommand::kClose:
    case EditorCommand::kEditText:
    case EditorCommand::kAddMission:
    case EditorCommand::kFilter:
    case EditorCommand::kReplace:
    case EditorCommand::kSpellingSuggestions:
      break;
  }
}

void EditorLogic::ShowAbout() {
  view_.ShowMessage(MessageIcon::kInformation, std::string(kProgram) + " " + ORVA_VERSION,
                    "Edits every entry of a text database: its texts, missions added and "
                    "entries removed, translations and patches.");
}

void EditorLogic::ShowKeys() {
  (void)view_.ShowReport(
      {.title = "Keys", .summary = "The editor's keys:", .lines = EditorKeys(), .choices = {}});
}

// --- The state ---

// A copy, for an open that replaces the session it belongs to.
std::filesystem::path EditorLogic::SessionPath() const { return state_->session.path(); }

bool EditorLogic::has_database() const { return state_ != nullptr; }

bool EditorLogic::modified() const { return state_ && state_->session.modified(); }

std::string EditorLogic::DatabasePath() const {
  return state_ ? PathToUtf8(state_->session.path()) : std::string();
}

std::string EditorLogic::Title() const {
  if (!state_) return std::string(kProgram);
  return (modified() ? "*" : "") + FileName(state_->session.path()) + " – " + std::string(kProgram);
}

EditorCommands EditorLogic::Commands() const {
  EditorCommands c;
  c.backup = backup_.kind;
  if (!state_) return c;
  const EditSession& session = state_->session;
  c.has_database = true;
  c.can_edit = SelectedRow().has_value() && !state_->selected->removed();
  c.can_remove = c.can_edit && state_->selected->index != state_->marker_slot;
  c.can_undo = session.can_undo();
  c.can_redo = session.can_redo();
  if (c.can_undo) c.undo_text = session.undo_description();
  if (c.can_redo) c.redo_text = session.redo_description();
  c.can_save = session.modified();
  c.comparing = state_->comparison.has_value();
  c.changed_only = c.comparing && state_->comparison->changed_only;
  c.has_reference = review_.has_reference();
  c.review_filter = review_filter_;
  c.checking = reviewing_;
  c.stopped = !reviewing_ && !review_.complete();
  const std::optional<std::size_t> row = SelectedRow();
  c.copy_reference_rows = !state_->marked.empty() ? state_->marked_copyable
                          : row && Copyable(*row) ? 1
                                                  : 0;
  c.can_copy_reference = c.copy_reference_rows > 0;
  if (const SpellChecker* speller = Speller()) {
    c.spelling = true;
    c.accept_ye_for_yo = speller->options().accept_ye_for_yo;
  }
  return c;
}

std::string EditorLogic::RowsText() const {
  if (!state_) return {};
  const std::size_t all = state_->entries();
  std::string text = Plural(all, "entry", "entries");
  if (state_->map.choosing()) text = Grouped(state_->map.SlotsShown()) + " of " + text;
  // The rows of removed entries are not among this database's entries.
  if (state_->comparison && !state_->comparison->removed.empty()) {
    const std::size_t removed = state_->comparison->removed.size();
    text += " and " +
            (state_->map.choosing_removed() ? Grouped(state_->map.RemovedShown()) + " of "
                                            : std::string()) +
            Grouped(removed) + " removed";
  }
  return text;
}

void EditorLogic::ShowStatusLine(const std::string& note) {
  note_ = note;
  const std::string rows = RowsText();
  view_.ShowStatus(note.empty() ? rows : rows.empty() ? note : note + " · " + rows);
}

void EditorLogic::Refresh(const std::string& note) {
  view_.ShowTitle(Title());
  view_.ShowReviewSummary(ReviewText());
  view_.ShowCommands(Commands());
  ShowStatusLine(note);
  ShowSelected();
}

}  // namespace orva
