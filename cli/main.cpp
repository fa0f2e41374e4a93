#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "cli/main_guard.h"
#include "cli/program_io.h"

int main(int argc, char** argv) {
  return orva::GuardedMain("orva-cli", [&] {
    orva::cli::StandardStreams streams;
    const std::vector<std::string> args = orva::cli::ProgramArguments(argc, argv);
    const std::vector<std::string_view> views(args.begin(), args.end());
    return orva::cli::Run(views, streams.in(), streams.out(), streams.err());
  });
}
