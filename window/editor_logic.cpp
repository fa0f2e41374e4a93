#include "window/editor_logic.h"

#include "window/internal/editor_parts.h"

namespace orva {

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
  // The dictionaries of the file before are read to their end first, as
  // hunspell reads one at a time.
  JoinSpelling(true);
  RulesBeside rules = ReadRules(file);
  Result<EditSession> session = EditSession::Open(file, fs_);
  if (!session.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The database was not opened.",
                      AsSentence(session.status().message()));
    return false;
  }
  state_ = std::make_unique<State>(std::move(session).value());
  state_->FindMarker();
  const std::filesystem::path rules_folder = rules.folder;
  UseRules(std::move(rules));
  state_->review = &review_;
  state_->review_filter = review_filter_;
  if (!filter_.empty()) state_->pattern = TextPattern::Make(filter_, {}).value();
  ReviewAgain();
  StartSpelling(rules_folder);
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
  if (ref.reference()) {
    // No text here: the Reference column holds the entry's.
    const ReferenceDatabase* reference = review_.reference();
    if (reference == nullptr || ref.index >= reference->size()) return out;
    out.id = reference->ids()[ref.index];
    out.kind = review_.ReferenceKind(ref.index);
    out.mark = RowMark::kOnlyInReference;
    if (format::IsMissionKind(out.kind)) out.image = ImageName(out.id);
    out.reference = VisibleText(reference->text(ref.index));
    return out;
  }
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
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

bool EditorLogic::Copyable(std::size_t row) const {
  return state_ && row < state_->RowCount() && state_->RefOf(row).is_slot() &&
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
  if (ref.reference()) {
    preview.problem = OnlyInReferenceRefusal(review_, ref);
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
  for (const Finding& finding :
       review_.Check(state_->session, ref.index, CharactersFromVisible(text))) {
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
  details.editable = IsEditable(shown);
  if (details.editable) {
    TextPreview preview = PreviewText(*row, shown.text);
    details.summary = preview.Line();
    details.findings = std::move(preview.findings);
  } else if (shown.mark == RowMark::kOnlyInReference) {
    details.summary = "Not in this file: only the reference has this entry";
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
  if (ref.reference()) return {};  // no text here, as the row shows
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
  if (ref.reference()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The text was not changed.",
                      OnlyInReferenceRefusal(review_, ref));
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
  if (ref.reference()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The entry was not removed.",
                      OnlyInReferenceRefusal(review_, ref));
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
  } else if (s.map.showing_reference()) {
    // The rows are the reference's entries that nothing here pairs with:
    // the selection stays on its entry, or goes to the next one shown
    // where an entry added now pairs with it.
    if (was && was->reference()) {
      if (const std::optional<std::size_t> index = s.map.ReferenceNear(was->index)) {
        s.selected = RowRef::Reference(*index);
        SelectInView(*s.RowOf(*s.selected));
      }
    }
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
  if (selected.reference()) {
    const ReferenceDatabase* reference = review_.reference();
    if (reference != nullptr && format::IsMissionKind(review_.ReferenceKind(selected.index))) {
      ShowScreenshotOf(reference->ids()[selected.index]);
    } else {
      view_.ShowScreenshot({}, "Only a mission has a screenshot.");
    }
    return;
  }
  const EntryText entry =
      selected.removed() ? *state_->Removed(selected).entry : state_->EntryAt(selected.index);
  const RowKind kind = selected.removed() ? state_->Removed(selected).kind : state_->KindAt(entry);
  if (!format::IsMissionKind(kind)) {
    view_.ShowScreenshot({}, "Only a mission has a screenshot.");
    return;
  }
  ShowScreenshotOf(entry.id);
}

void EditorLogic::ShowScreenshotOf(std::int32_t id) {
  const std::string image = ImageName(id);
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
      SetReviewFilter(ReviewFilter::kOnlyInReference);
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
  c.can_edit = SelectedRow().has_value() && state_->selected->is_slot();
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
  c.checking = reviewing();
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
  if (state_->map.showing_reference()) {
    const std::size_t only = review_.only_in_reference().size();
    return (state_->RowCount() == only ? std::string() : Grouped(state_->RowCount()) + " of ") +
           Plural(only, "entry", "entries") + " only in the reference";
  }
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
