#include "cli/cli.h"

#include <filesystem>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "database/file_reading.h"
#include "database/layout_check.h"
#include "database/mission_list.h"

namespace orva::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: orva-cli list DATABASE\n"
    "       orva-cli check DATABASE\n"
    "       orva-cli --help | --version\n";

constexpr std::string_view kHelp =
    "orva-cli: the command-line companion of ORVA, for text databases (textdb_XX.def).\n"
    "\n"
    "  list DATABASE    print the missions, one per line: ID<TAB>IMAGE<TAB>TEXT\n"
    "  check DATABASE   report every departure from a well-formed layout\n"
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
  const Result<std::vector<std::byte>> bytes = ReadWholeFile(database);
  if (!bytes.ok()) {
    io.err << "orva-cli: " << bytes.status().message() << '\n';
    return kExitFailure;
  }
  const std::vector<LayoutProblem> problems = CheckLayout(*bytes);
  for (const LayoutProblem& problem : problems) {
    io.out << database.string() << ": ";
    if (problem.entry > 0) io.out << "entry " << problem.entry << ": ";
    io.out << problem.what << '\n';
  }
  if (!problems.empty()) return kExitFailure;
  io.out << database.string() << ": well-formed\n";
  return kExitOk;
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
  };
  for (const Command& command : commands) {
    if (command.name == args[0]) return command.run(io, args.subspan(1));
  }
  return UsageError(io, "unknown command '" + std::string(args[0]) + "'");
}

}  // namespace orva::cli
