#include "window/editor_logic.h"
#include "window/internal/editor_parts.h"

namespace orva {

// --- The reference and the checks ---

EditorLogic::RulesBeside EditorLogic::ReadRules(const std::filesystem::path& database) const {
  RulesBeside read;
  read.folder = database.parent_path();
  const std::filesystem::path beside = read.folder / PathFromUtf8(kRulesFileName);
  Result<FileInfo> found = fs_.Stat(beside);
  if (found.ok() || found.status().kind() != ErrorKind::kNotFound) {
    Result<CheckRules> rules = ReadCheckRules(beside, fs_);
    if (rules.ok()) {
      read.rules = std::move(rules).value();
      read.from = beside;
    } else {
      read.problem = AsSentence(rules.status().message());
    }
  }
  return read;
}

namespace {

// "spelling is off: the Russian dictionary …", for the status line.
std::string SpellingOff(const Status& refused) {
  std::string_view why = refused.message();
  if (why.starts_with("spelling: ")) why.remove_prefix(std::string_view("spelling: ").size());
  return "spelling is off: " + std::string(why);
}

}  // namespace

// Rules that cannot be read are told, and the game's own limits are
// checked without them. Spelling is the one check that needs files of its
// own; without them the others go on (StartSpelling).
void EditorLogic::UseRules(RulesBeside read) {
  if (!read.problem.empty()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The team's rules were not read.",
                      read.problem + " The texts are checked against the game's own limits alone.");
  }
  spelling_before_ = review_.rules().speller;
  read.rules.speller.reset();
  review_.SetRules(std::move(read.rules), std::move(read.from));
}

// The dictionaries are read on a thread of their own and join the checks
// once read (JoinSpelling): the table does not wait for them. They start
// once the table is read and the review's pass laid out, as the two
// together fault in memory more slowly than one after the other.
void EditorLogic::StartSpelling(const std::filesystem::path& rules_folder) {
  spelling_note_.clear();
  const std::filesystem::path dictionaries =
      dictionary_folder_.empty() ? DefaultDictionaryFolder() : dictionary_folder_;
  Result<std::optional<SpellCheckerOpening>> spelling =
      orva::StartSpelling(review_.rules(), rules_folder, dictionaries, fs_);
  if (!spelling.ok()) spelling_note_ = SpellingOff(spelling.status());
  if (spelling.ok() && *spelling) {
    joining_ = std::move(*spelling);
  } else {
    spelling_before_.reset();  // nothing is being read
  }
}

void EditorLogic::JoinSpelling(bool wait) {
  if (!joining_ || (!wait && !joining_->Ready())) return;
  std::optional<SpellCheckerOpening> reading = std::exchange(joining_, std::nullopt);
  CheckRules rules = review_.rules();
  const Status opened = FinishSpelling(rules, std::move(reading));
  spelling_before_.reset();
  if (!opened.ok()) {
    spelling_note_ = SpellingOff(opened);
    if (!state_) return;
    ShowStatusLine(AsSentence(spelling_note_));
    view_.ShowReviewSummary(ReviewText());
    view_.ShowCommands(Commands());
    return;
  }
  review_.SetRules(std::move(rules), review_.rules_path());
  if (!state_) return;
  // What was checked meanwhile, by an edit, lacks the spelling's findings.
  if (review_.checked() > 0) {
    ReviewWordsAgain();
  } else {
    view_.ShowReviewSummary(ReviewText());
    view_.ShowCommands(Commands());
  }
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
  // An entry of the reference before is none of this one's.
  if (state_->selected && state_->selected->reference()) state_->selected.reset();
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
  if (review_filter_ == ReviewFilter::kOnlyHere ||
      review_filter_ == ReviewFilter::kOnlyInReference) {
    review_filter_ = ReviewFilter::kAll;
  }
  if (!state_) return;
  if (state_->selected && state_->selected->reference()) state_->selected.reset();
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
  const bool needs_reference =
      filter == ReviewFilter::kOnlyHere || filter == ReviewFilter::kOnlyInReference;
  if (needs_reference && !review_.has_reference()) return;
  review_filter_ = filter;
  if (!state_) return;
  state_->review_filter = filter;
  state_->ChooseRows(false);
  ShowChosenRows();
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
  if (!state_) return false;
  // The pass waits for the dictionaries, so that it checks the entries
  // once, spelling among the rest.
  if (joining_) {
    if (!joining_->Ready(budget)) return true;
    JoinSpelling(false);
    return reviewing_;
  }
  if (!reviewing_) return false;
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
  if (reviewing_ && joining_) {
    return "Reading the dictionaries, then checking " +
           Plural(review_.total(), "entry", "entries") + " (Esc stops)";
  }
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

std::string_view EditorLogic::NoSpellingChoices() const {
  if (spelling()) return "No misspelt word at the cursor";
  if (reading_dictionaries()) return "The dictionaries are still being read";
  return "Spelling is off: no dictionaries are open";
}

std::vector<MisspeltSpan> EditorLogic::MisspeltSpans(std::string_view text,
                                                     std::optional<std::size_t> row) const {
  std::vector<MisspeltSpan> spans;
  SpellChecker* speller = Speller();
  if (speller == nullptr) return spans;
  if (row && *row < state_->RowCount()) {
    const RowRef ref = state_->RefOf(*row);
    if (ref.is_slot() && review_.rules().Ignored("spelling", state_->EntryAt(ref.index).id)) {
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

}  // namespace orva
