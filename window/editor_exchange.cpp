#include "window/editor_logic.h"
#include "window/internal/editor_parts.h"

namespace orva {

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

}  // namespace orva
