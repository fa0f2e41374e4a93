#include "cli/cli.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "database/layout_check.h"
#include "database/mission_list.h"
#include "database/text_entry_insertion.h"

namespace orva::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: orva-cli list DATABASE\n"
    "       orva-cli check DATABASE\n"
    "       orva-cli insert DATABASE TEXT...\n"
    "       orva-cli insert DATABASE --from FILE|-\n"
    "       orva-cli --help | --version\n";

constexpr std::string_view kHelp =
    "orva-cli: the command-line companion of ORVA, for text databases (textdb_XX.def).\n"
    "\n"
    "  list DATABASE    print the missions, one per line: ID<TAB>IMAGE<TAB>TEXT\n"
    "  check DATABASE   report every departure from a well-formed layout\n"
    "  insert DATABASE TEXT...\n"
    "                   add each TEXT as the next mission, in order, and print\n"
    "                   each new entry as ID<TAB>IMAGE<TAB>TEXT\n"
    "  insert DATABASE --from FILE\n"
    "                   the same with one text per line of FILE ('-': standard input)\n"
    "  --help           show this text\n"
    "  --version        show the version\n"
    "\n"
    "Texts are printed in UTF-8. Exit status: 0 success, 1 the database could not\n"
    "be read, is damaged or refused the change, 2 the command line was wrong.\n";

struct Io {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
};

int UsageError(const Io& io, std::string_view why) {
  io.err << "orva-cli: " << why << "\n" << kUsage;
  return kExitUsage;
}

void PrintMission(std::ostream& out, const MissionEntry& mission) {
  out << mission.id << '\t' << ImageName(mission.id) << '\t' << mission.text << '\n';
}

int List(const Io& io, const std::filesystem::path& database) {
  const MissionList list = ReadMissionList(database);
  for (const MissionEntry& mission : list.missions) PrintMission(io.out, mission);
  io.out.flush();
  if (!list.status.ok()) {
    io.err << "orva-cli: " << database.string() << ": " << list.status.message() << '\n';
    return kExitFailure;
  }
  return kExitOk;
}

int Check(const Io& io, const std::filesystem::path& database) {
  bool damaged = false;
  const Status read = CheckLayout(database, [&](const LayoutProblem& problem) {
    damaged = true;
    io.out << database.string() << ": ";
    if (problem.entry > 0) io.out << "entry " << problem.entry << ": ";
    io.out << problem.what << '\n';
  });
  if (!read.ok()) {
    io.out.flush();
    io.err << "orva-cli: " << read.message() << '\n';
    return kExitFailure;
  }
  if (damaged) return kExitFailure;
  io.out << database.string() << ": well-formed\n";
  return kExitOk;
}

// The texts to insert: one per line of the file, or of standard input for
// "-". A line may end in CR LF; the CR is not part of the text.
Result<std::vector<std::string>> ReadTexts(const Io& io, std::string_view source) {
  std::ifstream file;
  std::istream* in = &io.in;
  if (source != "-") {
    file.open(std::string(source), std::ios::binary);
    if (!file) {
      return Status::Io("cannot read the texts from '" + std::string(source) +
                        "': " + std::strerror(errno));
    }
    in = &file;
  }
  std::vector<std::string> texts;
  for (std::string line; std::getline(*in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    texts.push_back(std::move(line));
  }
  if (in->bad()) {
    return Status::Io("cannot read the texts from '" + std::string(source) + "': read error");
  }
  return texts;
}

// One text at a time, as the window's Insert does: each is in the database
// before the next is tried, and the first refusal stops the run.
int InsertAll(const Io& io, const std::filesystem::path& database,
              std::span<const std::string> texts) {
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::string& text = texts[i];
    // A new entry is one line of the output, as it is one line in the window.
    Result<InsertedEntry> inserted =
        text.find_first_of("\r\n") != std::string::npos
            ? Result<InsertedEntry>(Status::InvalidText("the text holds a line break"))
            : InsertTextEntry(database, text);
    if (!inserted.ok()) {
      io.err << "orva-cli: " << database.string() << ": cannot insert \"" << text
             << "\": " << inserted.status().message();
      if (const std::size_t rest = texts.size() - i - 1; rest > 0) {
        io.err << " (" << rest << (rest == 1 ? " later text was" : " later texts were")
               << " not inserted either)";
      }
      io.err << '\n';
      return kExitFailure;
    }
    PrintMission(io.out, inserted->entry);
    io.out.flush();
    // Inserted all the same: a retry would insert the text twice.
    if (!inserted->warning.empty()) {
      io.err << "orva-cli: " << database.string() << ": inserted \"" << text << "\", but "
             << inserted->warning << '\n';
    }
  }
  return kExitOk;
}

// insert DATABASE TEXT... | insert DATABASE --from FILE|-  ("--" ends options)
int Insert(const Io& io, std::span<const std::string_view> args) {
  std::vector<std::string_view> positional;
  std::optional<std::string_view> from;
  bool options = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (options && args[i] == "--") {
      options = false;
    } else if (options && args[i] == "--from") {
      if (from || i + 1 == args.size()) return UsageError(io, "--from takes one FILE (or -)");
      from = args[++i];
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.empty()) return UsageError(io, "expected a DATABASE to insert into");
  if (from && positional.size() > 1) {
    return UsageError(io, "give the texts either as arguments or with --from, not both");
  }
  if (!from && positional.size() == 1) return UsageError(io, "expected a TEXT to insert");

  const std::filesystem::path database(positional[0]);
  if (!from) {
    const std::vector<std::string> texts(positional.begin() + 1, positional.end());
    return InsertAll(io, database, texts);
  }
  Result<std::vector<std::string>> texts = ReadTexts(io, *from);
  if (!texts.ok()) {
    io.err << "orva-cli: " << texts.status().message() << '\n';
    return kExitFailure;
  }
  return InsertAll(io, database, *texts);
}

struct Command {
  std::string_view name;
  std::function<int(const Io&, std::span<const std::string_view>)> run;
};

// Commands that take exactly one DATABASE argument.
std::function<int(const Io&, std::span<const std::string_view>)> OnDatabase(
    int (*command)(const Io&, const std::filesystem::path&)) {
  return [command](const Io& io, std::span<const std::string_view> args) {
    if (args.size() != 1) return UsageError(io, "expected exactly one DATABASE");
    return command(io, std::filesystem::path(args[0]));
  };
}

}  // namespace

int Run(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
        std::ostream& err) {
  const Io io{in, out, err};
  if (args.empty()) return UsageError(io, "no command given");
  if (args[0] == "--help" || args[0] == "-h") {
    out << kHelp;
    return kExitOk;
  }
  if (args[0] == "--version") {
    out << "orva-cli " << ORVA_VERSION << '\n';
    return kExitOk;
  }
  const Command commands[] = {
      {"list", OnDatabase(List)},
      {"check", OnDatabase(Check)},
      {"insert", Insert},
  };
  for (const Command& command : commands) {
    if (command.name == args[0]) return command.run(io, args.subspan(1));
  }
  return UsageError(io, "unknown command '" + std::string(args[0]) + "'");
}

}  // namespace orva::cli
