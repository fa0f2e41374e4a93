#include "cli/cli.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <istream>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_io.h"
#include "cli/command_line.h"
#include "cli/edit_commands.h"
#include "cli/entry_commands.h"
#include "cli/formats.h"
#include "cli/output.h"
#include "cli/patch_commands.h"
#include "database/format.h"
#include "database/layout_check.h"
#include "database/mission_list.h"
#include "database/new_texts.h"
#include "database/read_limits.h"
#include "database/reference.h"
#include "database/text_edit.h"
#include "database/text_entry_insertion.h"
#include "review/check_rules.h"
#include "review/database_review.h"
#include "storage/backup.h"
#include "storage/file_system.h"
#include "storage/quote.h"

namespace orva::cli {
namespace {

// One line on standard error, escaped like a text in the output.
Outcome List(const Io& io, const Request& request) {
  const MissionList list = ReadMissionList(PathFromUtf8(request.database));
  if (request.json) {
    io.out.Write(MissionsJson(list.missions));
  } else {
    for (const MissionEntry& mission : list.missions) io.out.Write(MissionLine(mission));
  }
  if (!list.status.ok()) {
    Say(io.err, request.database + ": " + list.status.message());
    return {kExitFailure};
  }
  return {};
}

// The rules named with --rules, or those beside the database, or none.
Result<CheckRules> RulesFor(const Request& request) {
  if (request.rules) return ReadCheckRules(PathFromUtf8(*request.rules));
  const std::filesystem::path beside =
      PathFromUtf8(request.database).parent_path() / PathFromUtf8(kRulesFileName);
  Result<FileInfo> found = DefaultFileSystem().Stat(beside);
  if (!found.ok() && found.status().kind() == ErrorKind::kNotFound) return CheckRules{};
  return ReadCheckRules(beside);
}

// The texts of a well-formed database, each finding printed as it is found
// (JSON: one document at the end), then the counts.
Outcome CheckTexts(const Io& io, const Request& request) {
  const std::filesystem::path database = PathFromUtf8(request.database);
  auto refuse = [&](const Status& why) {
    Say(io.err, request.database + ": cannot check the texts: " + why.message());
    return Outcome{kExitFailure};
  };
  Result<CheckRules> rules = RulesFor(request);
  if (!rules.ok()) return refuse(rules.status());
  // The team's word list is kept beside the rules file, or where it would be.
  const std::filesystem::path rules_folder =
      (request.rules ? PathFromUtf8(*request.rules) : database).parent_path();
  if (Status s = OpenSpelling(*rules, rules_folder); !s.ok()) return refuse(s);
  std::optional<ReferenceDatabase> reference;
  if (request.reference) {
    Result<ReferenceDatabase> opened = ReferenceDatabase::Open(PathFromUtf8(*request.reference));
    if (!opened.ok()) return refuse(opened.status());
    reference = std::move(opened).value();
  }
  Result<std::vector<std::byte>> bytes = ReadWholeFile(database, kDatabaseReadLimit);
  if (!bytes.ok()) return refuse(bytes.status());
  std::vector<Finding> findings;
  const Result<DatabaseReview> review = ReviewDatabase(
      *bytes, reference ? &*reference : nullptr, *rules, [&](const Finding& finding) {
        if (request.json) {
          findings.push_back(finding);
        } else {
          io.out.Write(FindingLine(database, finding));
        }
      });
  if (!review.ok()) return refuse(review.status());
  io.out.Write(request.json ? CheckedJson(findings, *review) : ReviewSummary(database, *review));
  return {review->errors > 0 ? kExitFailure : kExitOk};
}

// The findings are what `check` is asked for, so they are its output on
// standard output, like the missions of `list`; standard error carries only
// why a database could not be checked at all. The layout is checked a block
// at a time and each problem printed as it is found, except for JSON, which
// is one document; only a well-formed database's texts are checked.
Outcome Check(const Io& io, const Request& request) {
  const std::filesystem::path database = PathFromUtf8(request.database);
  std::vector<LayoutProblem> problems;
  bool damaged = false;
  const Status read = CheckLayout(database, [&](const LayoutProblem& problem) {
    damaged = true;
    if (request.json) {
      problems.push_back(problem);
    } else {
      io.out.Write(ProblemLine(database, problem));
    }
  });
  if (request.json && (damaged || !read.ok())) io.out.Write(ProblemsJson(problems, read.ok()));
  if (!read.ok()) {
    Say(io.err, read.message());
    return {kExitFailure};
  }
  if (damaged) return {kExitFailure};
  if (!request.json) io.out.Write(ShowPath(database) + ": well-formed\n");
  return CheckTexts(io, request);
}

std::string SourceName(std::string_view from) {
  return from == "-" ? "standard input" : QuotePath(PathFromUtf8(from));
}

// A text of the batch that does not go in, named by its place.
Status Refused(const std::string& place, std::string_view text, const Status& why) {
  return Status::InvalidText("cannot insert " + place + ", " + QuoteText(text) + ": " +
                             why.message());
}

// The texts given as arguments, each checked.
Result<NewTexts> TakeTexts(std::span<const std::string> arguments) {
  NewTexts texts;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (Status s = texts.Add(arguments[i]); !s.ok()) {
      return Refused("text " + std::to_string(i + 1), arguments[i], s);
    }
  }
  return texts;
}

// The longest line that can hold a text: the text and a CR before the LF.
constexpr std::size_t kLongestLine = kMaxNewTextUtf8Bytes + 1;

// The texts of --from: one per line of the file, or of standard input for
// "-", each checked as soon as it is read. The first line refused ends the
// reading, and no line is held longer than a text can be, so an endless input
// ends in a refusal too. A line may end in CR LF; the CR is not part of the
// text.
Result<NewTexts> ReadTexts(std::istream& standard_input, std::string_view from, FileSystem& fs) {
  std::istringstream file;
  std::istream* in = &standard_input;
  if (from != "-") {
    // A file is read whole through the file-system seam, as every file ORVA
    // reads; its lines are then taken as standard input's are.
    Result<std::vector<std::byte>> bytes =
        ReadWholeFile(PathFromUtf8(from), kExchangeReadLimit, fs);
    if (!bytes.ok()) return bytes.status().Within("cannot read the texts: ");
    file.str(std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    in = &file;
  }
  // Nothing is printed before every text is read: standard input need not
  // flush standard output before each line, as a tied stream does.
  in->tie(nullptr);
  NewTexts texts;
  // The longest line, a byte more to tell a longer one, and the NUL getline adds.
  std::array<char, kLongestLine + 2> line;
  for (std::size_t number = 1;; ++number) {
    auto place = [&] { return "line " + std::to_string(number) + " of " + SourceName(from); };
    errno = 0;
    in->getline(line.data(), static_cast<std::streamsize>(line.size()));
    const auto read = static_cast<std::size_t>(in->gcount());
    if (in->bad()) {
      // A read error is no end of the input: the batch is refused whole.
      const std::string reason = errno != 0 ? std::string(": ") + std::strerror(errno) : "";
      return Status::Io("cannot read the texts from " + SourceName(from) + reason);
    }
    if (in->fail()) {
      if (read == 0) break;  // the end of the input
      return Status::InvalidText("cannot insert " + place() + ": it is longer than " +
                                 std::to_string(kLongestLine) + " bytes, more than any text of " +
                                 std::to_string(format::kMaxNewTextLength) + " characters takes");
    }
    // Without a line feed at the end of the input, every byte read is the line's.
    std::string_view text(line.data(), in->eof() ? read : read - 1);
    if (text.ends_with('\r')) text.remove_suffix(1);
    if (Status s = texts.Add(text); !s.ok()) return Refused(place(), text, s);
    if (in->eof()) break;
  }
  return texts;
}

// An entry numbered after a predecessor below 4999, or after 5999, or put in
// a table slot past the 1000 the window reads, is in the database but not
// among the missions that the window lists.
std::string NotListedNote(const Request& request, const MissionEntry& entry, std::size_t slot) {
  std::string note = "note: " + request.database + ": the new entry " + QuoteText(entry.text) +
                     " has the id " + std::to_string(entry.id);
  if (format::IsMission(entry.id)) {
    return note + " but lies in table slot " + std::to_string(slot) + ", past the " +
           std::to_string(format::kScanSlots) +
           " slots the window reads, so the window will not list it";
  }
  if (format::IsEndMarker(entry.id)) {
    return note +
           ", the end marker's id, so the window will not list it: the list now ends before it, "
           "and later texts are inserted before it";
  }
  return note + ", below the mission ids (" + std::to_string(format::kFirstMissionId) +
         " and up), so the window will not list it";
}

// All the texts go in with one rewrite, or none does: they are read and
// checked first, and the new entries are printed once they are in place.
Outcome Insert(const Io& io, const Request& request) {
  const bool several = request.from || request.texts.size() > 1;
  auto refuse = [&](const Status& why) {
    if (request.json) io.out.Write(InsertedJson({}, {}));
    Say(io.err,
        request.database + ": " + why.message() + (several ? "; no text was inserted" : ""));
    return Outcome{kExitFailure};
  };
  Result<NewTexts> texts =
      request.from ? ReadTexts(io.in, *request.from, io.fs) : TakeTexts(request.texts);
  if (!texts.ok()) return refuse(texts.status());
  InsertedEntries inserted;
  if (!texts->empty()) {
    Result<InsertedEntries> made = InsertTextEntries(PathFromUtf8(request.database), *texts,
                                                     MakeBackup(request.backup, io.fs), io.fs);
    if (!made.ok()) return refuse(made.status());
    inserted = std::move(made).value();
  }
  if (request.json) {
    io.out.Write(InsertedJson(inserted.entries, inserted.table_slots));
  } else {
    for (const MissionEntry& entry : inserted.entries) io.out.Write(MissionLine(entry));
  }
  for (std::size_t i = 0; i < inserted.entries.size(); ++i) {
    const MissionEntry& entry = inserted.entries[i];
    const std::size_t slot = inserted.table_slots[i];
    if (!format::IsListed(entry.id, static_cast<std::int64_t>(slot))) {
      Say(io.err, NotListedNote(request, entry, slot));
    }
  }
  if (!inserted.warning.empty()) {
    Say(io.err, request.database + ": inserted, but " + inserted.warning);
  }
  return {kExitOk, !inserted.entries.empty()};
}

Outcome Execute(const Io& io, const Request& request) {
  switch (request.command) {
    case Command::kList:
      return List(io, request);
    case Command::kCheck:
      return Check(io, request);
    case Command::kInsert:
      return Insert(io, request);
    case Command::kDiff:
      return Diff(io, request);
    case Command::kPatchCreate:
      return CreatePatchFile(io, request);
    case Command::kPatchApply:
      return ApplyPatchFile(io, request);
    case Command::kSet:
      return SetText(io, request);
    case Command::kRemove:
      return Remove(io, request);
    case Command::kExport:
      return Export(io, request);
    case Command::kImport:
      return Import(io, request);
    case Command::kEntries:
      return Entries(io, request);
    case Command::kReplace:
      return ReplaceTexts(io, request);
  }
  return {kExitUsage};
}

}  // namespace

int Run(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
        std::ostream& err) {
  return Run(args, in, out, err, DefaultFileSystem());
}

int Run(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
        std::ostream& err, FileSystem& fs) {
  CheckedOutput output(out);
  Outcome outcome;
  const std::variant<Request, Reply> parsed = ParseCommandLine(args);
  if (const Reply* reply = std::get_if<Reply>(&parsed)) {
    if (reply->exit_status == kExitOk) {
      output.Write(reply->text);
    } else {
      Say(err, reply->text);
    }
    outcome.exit_status = reply->exit_status;
  } else {
    outcome = Execute(Io{in, output, err, fs}, std::get<Request>(parsed));
  }

  if (const std::optional<std::string> failure = output.Finish()) {
    Say(err, outcome.database_changed
                 ? "the database was changed, but the new entries could not be written to "
                   "standard output: " +
                       *failure
                 : "cannot write to standard output: " + *failure);
    return kExitFailure;
  }
  return outcome.exit_status;
}

}  // namespace orva::cli
