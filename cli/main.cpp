#include <iostream>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "tools/main_guard.h"

int main(int argc, char** argv) {
  return orva::GuardedMain("orva-cli", [&] {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return orva::cli::Run(args, std::cin, std::cout, std::cerr);
  });
}
