#include "cli/edit_commands.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>

#include "cli/exit_status.h"
#include "cli/formats.h"
#include "database/code_page.h"
#include "database/read_limits.h"
#include "database/reference.h"
#include "database/text_edit.h"
#include "exchange/translation_export.h"
#include "exchange/translation_files.h"
#include "storage/backup.h"
#include "storage/file_system.h"
#include "storage/quote.h"

namespace orva::cli {
namespace {

void Warn(const Io& io, const Request& request, const std::string& done,
          const std::string& warning) {
  if (!warning.empty()) Say(io.err, request.database + ": " + done + ", but " + warning);
}

EntryChoice Choice(const Request& request) { return {request.id, request.slot}; }

TranslationFormat FormatOf(const Request& request, std::string_view name) {
  if (request.format)
    return *request.format == "csv" ? TranslationFormat::kCsv : TranslationFormat::kPo;
  std::string lower(name.substr(name.size() >= 4 ? name.size() - 4 : 0));
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return lower == ".csv" ? TranslationFormat::kCsv : TranslationFormat::kPo;
}

}  // namespace

Outcome Refuse(const Io& io, const Request& request, const Status& why) {
  Say(io.err, request.database + ": " + why.message());
  return {kExitFailure};
}

Outcome SetText(const Io& io, const Request& request) {
  Result<std::vector<std::byte>> stored = StoredText(request.text);
  if (!stored.ok()) return Refuse(io, request, stored.status());
  Result<EditedEntry> edited = SetEntryText(PathFromUtf8(request.database), Choice(request),
                                            *stored, MakeBackup(request.backup, io.fs), io.fs);
  if (!edited.ok()) return Refuse(io, request, edited.status());
  if (request.json) {
    io.out.Write(JsonDocument({{"set",
                                {{"slot", edited->slot},
                                 {"id", edited->id},
                                 {"old_text", edited->old_text},
                                 {"text", edited->new_text}}}}));
  } else {
    io.out.Write(std::to_string(edited->id) + '\t' + EscapeText(edited->new_text) + '\n');
  }
  Warn(io, request, "the text was changed", edited->warning);
  return {kExitOk, true};
}

Outcome Remove(const Io& io, const Request& request) {
  Result<EditedEntry> removed = RemoveEntry(PathFromUtf8(request.database), Choice(request),
                                            MakeBackup(request.backup, io.fs), io.fs);
  if (!removed.ok()) return Refuse(io, request, removed.status());
  if (request.json) {
    io.out.Write(JsonDocument(
        {{"removed",
          {{"slot", removed->slot}, {"id", removed->id}, {"text", removed->old_text}}}}));
  } else {
    io.out.Write(std::to_string(removed->id) + '\t' + EscapeText(removed->old_text) + '\n');
  }
  Warn(io, request, "the entry was removed", removed->warning);
  return {kExitOk, true};
}

Outcome Export(const Io& io, const Request& request) {
  const std::filesystem::path database = PathFromUtf8(request.database);
  const bool to_file = request.output && *request.output != "-";
  const TranslationFormat format = FormatOf(request, to_file ? *request.output : "");
  Result<std::vector<std::byte>> bytes = ReadWholeFile(database, kDatabaseReadLimit, io.fs);
  if (!bytes.ok()) return Refuse(io, request, bytes.status());
  if (to_file) {
    // A database or reference that is not well-formed is that file's fault;
    // anything else from here on is the output's, which is named, as
    // `patch create -o` names its own.
    Result<Exported> exported =
        request.reference
            ? ExportBilingual(database, PathFromUtf8(*request.reference),
                              PathFromUtf8(*request.output), format, io.fs)
            : ExportTranslations(*bytes, database, PathFromUtf8(*request.output), format, io.fs);
    if (!exported.ok()) {
      if (Result<std::vector<EntryText>> entries = ReadEntryTexts(*bytes); !entries.ok()) {
        return Refuse(io, request, entries.status());
      }
      if (request.reference) {
        Result<ReferenceDatabase> reference =
            ReferenceDatabase::Open(PathFromUtf8(*request.reference), io.fs);
        if (!reference.ok()) return Refuse(io, request, reference.status());
      }
      Say(io.err, *request.output + ": " + exported.status().message());
      return {kExitFailure};
    }
    if (request.json) {
      io.out.Write(JsonDocument({{"exported", exported->entries},
                                 {"format", format == TranslationFormat::kCsv ? "csv" : "po"},
                                 {"output", *request.output}}));
    }
    if (!exported->warning.empty()) {
      Say(io.err, *request.output + ": the export was written, but " + exported->warning);
    }
    return {};
  }
  Result<std::vector<EntryText>> entries = ReadEntryTexts(*bytes);
  if (!entries.ok()) return Refuse(io, request, entries.status());
  std::optional<ReferenceDatabase> reference;
  EntryJoin join;
  if (request.reference) {
    Result<ReferenceDatabase> opened =
        ReferenceDatabase::Open(PathFromUtf8(*request.reference), io.fs);
    if (!opened.ok()) return Refuse(io, request, opened.status());
    reference = std::move(opened).value();
    std::vector<std::int32_t> ids;
    for (const EntryText& entry : *entries) ids.push_back(entry.id);
    join = JoinById(ids, reference->ids());
  }
  WriteTranslationFile(format, PathToUtf8(database.filename()), *entries,
                       [&](std::string_view s) { io.out.Write(s); },
                       {reference ? &*reference : nullptr, &join});
  return {};
}

namespace {

// A problem as the user reads it: where the remedy lies in orva-cli, or in
// the way a file was saved, it is said here.
std::string Explained(const FileProblem& problem, TranslationFormat format,
                      const Request& request) {
  const bool csv = format == TranslationFormat::kCsv;
  switch (problem.kind) {
    case ProblemKind::kSourceChanged:
      if (csv) {
        return problem.what +
               "; the translations are read from the 'translation' column, and the 'text' "
               "column must stay as exported; if the database has changed since, export it "
               "again (orva-cli export " +
               request.database +
               " --format csv -o new.csv) and carry the translations over, or import with "
               "--source-changed=skip or --source-changed=apply";
      }
      return problem.what + "; merge the file into a fresh export (orva-cli export " +
             request.database +
             (request.reference ? " --reference " + *request.reference : std::string()) +
             " -o new.po && msgmerge " + request.translations +
             " new.po -o merged.po) and import merged.po, whose changed texts are fuzzy, or "
             "import with --source-changed=skip or --source-changed=apply";
    case ProblemKind::kNotUtf8:
      if (csv) {
        return problem.what +
               "; a file saved in Windows-1251 (what spreadsheets on a Russian Windows save "
               "as plain CSV) is read with --encoding windows-1251";
      }
      return problem.what + "; PO files are read in UTF-8 (msgconv --to-code=UTF-8 converts one)";
    case ProblemKind::kOther:
      break;
  }
  return problem.what;
}

}  // namespace

Outcome Import(const Io& io, const Request& request) {
  const TranslationFormat format = FormatOf(request, request.translations);
  if (format == TranslationFormat::kPo && request.encoding) {
    Say(io.err, request.translations +
                    ": --encoding is for CSV files; a PO file is read in UTF-8, as its header "
                    "says (msgconv --to-code=UTF-8 converts one)");
    return {kExitFailure};
  }
  std::optional<ReferenceDatabase> reference;
  if (request.reference) {
    Result<ReferenceDatabase> opened =
        ReferenceDatabase::Open(PathFromUtf8(*request.reference), io.fs);
    if (!opened.ok()) return Refuse(io, request, opened.status());
    reference = std::move(opened).value();
  }
  const std::filesystem::path source = PathFromUtf8(request.translations);
  Result<std::vector<std::byte>> bytes = ReadWholeFile(source, kExchangeReadLimit, io.fs);
  if (!bytes.ok()) {
    Say(io.err, "cannot read the translations: " + bytes.status().message());
    return {kExitFailure};
  }
  const std::string_view content(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  TranslationRecords records =
      format == TranslationFormat::kCsv
          ? ReadCsv(content, request.encoding.value_or(TextEncoding::kUtf8))
          : ReadPo(content);
  // A translator who typed into the text column finds out where translations go.
  const bool none_translated =
      std::none_of(records.translations.begin(), records.translations.end(),
                   [](const Translation& t) { return !t.text.empty(); });
  const bool say_column =
      format == TranslationFormat::kCsv && records.problems.empty() && none_translated;
  // The file's own problems and those of its translations, all reported
  // before anything is written.
  const bool dry_run = request.dry_run || !records.problems.empty();
  Result<ImportOutcome> outcome = ImportTranslations(
      PathFromUtf8(request.database), records.translations, request.source_changed, dry_run,
      reference ? &*reference : nullptr, MakeBackup(request.backup, io.fs), io.fs);
  if (!outcome.ok()) return Refuse(io, request, outcome.status());
  std::vector<FileProblem> problems = std::move(records.problems);
  problems.insert(problems.end(), outcome->problems.begin(), outcome->problems.end());
  std::stable_sort(problems.begin(), problems.end(),
                   [](const FileProblem& a, const FileProblem& b) { return a.line < b.line; });
  const ImportCounts& counts = outcome->counts;
  if (request.json) {
    json list = json::array();
    for (const FileProblem& p : problems) {
      list.push_back({{"file", request.translations},
                      {"line", p.line},
                      {"problem", Explained(p, format, request)}});
    }
    io.out.Write(JsonDocument({{"changed", problems.empty() ? counts.changed : 0},
                               {"same", counts.same},
                               {"untranslated", counts.untranslated},
                               {"fuzzy", counts.fuzzy},
                               {"source_changed", counts.source_changed},
                               {"size_change", problems.empty() ? counts.size_change : 0},
                               {"written", outcome->written},
                               {"problems", std::move(list)}}));
  }
  for (const FileProblem& p : problems) {
    Say(io.err, request.translations + (p.line > 0 ? ":" + std::to_string(p.line) : "") + ": " +
                    Explained(p, format, request));
  }
  if (say_column) {
    Say(io.err, request.translations +
                    ": no row has a translation; translations are read from the "
                    "'translation' column, and the 'text' column stays as exported");
  }
  if (!problems.empty()) {
    Say(io.err, request.database + ": " + std::to_string(problems.size()) +
                    (problems.size() == 1 ? " problem" : " problems") +
                    " in the translations, so nothing was imported");
    return {kExitFailure};
  }
  if (!request.json) {
    const std::string sign = counts.size_change > 0 ? "+" : "";
    std::string line = "changed " + std::to_string(counts.changed) + ", already the same " +
                       std::to_string(counts.same) + ", untranslated " +
                       std::to_string(counts.untranslated) + ", fuzzy " +
                       std::to_string(counts.fuzzy) + ", source changed " +
                       std::to_string(counts.source_changed) + ", size change " + sign +
                       std::to_string(counts.size_change) + " bytes";
    if (request.dry_run) {
      line += " (dry run: nothing was written)";
    } else if (!outcome->written) {
      line += " (nothing to change: the database was not rewritten)";
    }
    io.out.Write(line + '\n');
  }
  Warn(io, request, "the translations were imported", outcome->warning);
  return {kExitOk, outcome->written};
}

}  // namespace orva::cli
