#include "cli/cli.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/formats.h"
#include "cli/output.h"
#include "database/file_system.h"
#include "database/format.h"
#include "database/layout_check.h"
#include "database/mission_list.h"
#include "database/text_entry_insertion.h"

namespace orva::cli {
namespace {

struct Io {
  std::istream& in;
  CheckedOutput& out;
  std::ostream& err;
};

// What a command did: its exit status, and whether it changed the database,
// which a failure to print the results must then admit.
struct Outcome {
  int exit_status = kExitOk;
  bool database_changed = false;
};

// One line on standard error, escaped like a text in the output.
void Say(std::ostream& err, std::string_view reason) {
  err << "orva-cli: " << EscapeText(reason) << '\n';
}

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

// The findings are what `check` is asked for, so they are its output on
// standard output, like the missions of `list`; standard error carries only
// why a database could not be checked at all. The file is checked a block at
// a time and each finding printed as it is found, except for JSON, which is
// one document.
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
  if (!read.ok()) {
    Say(io.err, read.message());
    return {kExitFailure};
  }
  if (request.json) {
    io.out.Write(ProblemsJson(problems));
  } else if (!damaged) {
    io.out.Write(ShowPath(database) + ": well-formed\n");
  }
  return {damaged ? kExitFailure : kExitOk};
}

std::string SourceName(std::string_view from) {
  return from == "-" ? "standard input" : "'" + std::string(from) + "'";
}

// The texts of --from: one per line of the file, or of standard input for
// "-". A line may end in CR LF; the CR is not part of the text.
Result<std::vector<std::string>> ReadTexts(std::istream& standard_input, std::string_view from) {
  std::ifstream file;
  std::istream* in = &standard_input;
  if (from != "-") {
    file.open(PathFromUtf8(from), std::ios::binary);
    if (!file) {
      return Status::Io("cannot read the texts from " + SourceName(from) + ": " +
                        std::strerror(errno));
    }
    in = &file;
  }
  std::vector<std::string> texts;
  for (std::string line; std::getline(*in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    texts.push_back(std::move(line));
  }
  if (in->bad()) return Status::Io("cannot read the texts from " + SourceName(from));
  return texts;
}

// A text of a batch that did not go in, and why.
struct Refusal {
  std::size_t index = 0;  // in the batch, from 0
  Status status;
};

struct BatchOutcome {
  std::vector<MissionEntry> inserted;  // in the order of the texts
  // Why an insertion that was made may not survive a power cut; the text is
  // in the database all the same and must not be inserted again.
  std::vector<std::string> warnings;
  std::optional<Refusal> refusal;
};

// The one place where the texts of an `insert` go into the database. They go
// one at a time, as the window's Insert does: each is in the database before
// the next is tried, and the first refusal stops the batch.
BatchOutcome InsertBatch(const std::filesystem::path& database,
                         std::span<const std::string> texts) {
  BatchOutcome outcome;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    // A new entry is one line in the window's list and in `list`.
    Result<InsertedEntry> inserted =
        texts[i].find_first_of("\r\n") != std::string::npos
            ? Result<InsertedEntry>(Status::InvalidText("the text holds a line break"))
            : InsertTextEntry(database, texts[i]);
    if (!inserted.ok()) {
      outcome.refusal = Refusal{i, inserted.status()};
      break;
    }
    outcome.inserted.push_back(std::move(inserted->entry));
    if (!inserted->warning.empty()) outcome.warnings.push_back(std::move(inserted->warning));
  }
  return outcome;
}

std::string RefusalReason(const Request& request, std::span<const std::string> texts,
                          const Refusal& refusal) {
  const std::string position = std::to_string(refusal.index + 1);
  std::string reason = request.database + ": cannot insert " +
                       (request.from ? "line " + position + " of " + SourceName(*request.from)
                                     : "text " + position) +
                       ", \"" + texts[refusal.index] + "\": " + refusal.status.message();
  if (const std::size_t rest = texts.size() - refusal.index - 1; rest > 0) {
    reason += " (" + std::to_string(rest) + (rest == 1 ? " later text was" : " later texts were") +
              " not inserted either)";
  }
  return reason;
}

// An entry numbered after a predecessor below 4999, or after 5999, is in the
// database but not among the missions that the window lists.
std::string NotAMissionNote(const Request& request, const MissionEntry& entry) {
  std::string note = "note: " + request.database + ": the new entry \"" + entry.text +
                     "\" has the id " + std::to_string(entry.id);
  if (format::IsEndMarker(entry.id)) {
    return note +
           ", the end marker's id, so the window will not list it: the list now ends before it, "
           "and later texts are inserted before it";
  }
  return note + ", below the mission ids (5000 and up), so the window will not list it";
}

Outcome Insert(const Io& io, const Request& request) {
  Result<std::vector<std::string>> texts =
      request.from ? ReadTexts(io.in, *request.from) : request.texts;
  if (!texts.ok()) {
    Say(io.err, texts.status().message());
    return {kExitFailure};
  }
  const BatchOutcome batch = InsertBatch(PathFromUtf8(request.database), *texts);
  if (request.json) {
    io.out.Write(InsertedJson(batch.inserted));
  } else {
    for (const MissionEntry& entry : batch.inserted) io.out.Write(MissionLine(entry));
  }
  for (const MissionEntry& entry : batch.inserted) {
    if (!format::IsMission(entry.id)) Say(io.err, NotAMissionNote(request, entry));
  }
  for (const std::string& warning : batch.warnings) {
    Say(io.err, request.database + ": inserted, but " + warning);
  }
  const bool changed = !batch.inserted.empty();
  if (batch.refusal) {
    Say(io.err, RefusalReason(request, *texts, *batch.refusal));
    return {kExitFailure, changed};
  }
  return {kExitOk, changed};
}

Outcome Execute(const Io& io, const Request& request) {
  switch (request.command) {
    case Command::kList:
      return List(io, request);
    case Command::kCheck:
      return Check(io, request);
    case Command::kInsert:
      return Insert(io, request);
  }
  return {kExitUsage};
}

}  // namespace

int Run(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
        std::ostream& err) {
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
    outcome = Execute(Io{in, output, err}, std::get<Request>(parsed));
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
