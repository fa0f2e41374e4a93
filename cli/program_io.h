// What the operating system hands orva-cli, in the form Run takes: the
// arguments in UTF-8, and standard streams that carry UTF-8 bytes unchanged,
// with a line feed for a line end. One implementation per platform
// (program_io_posix.cpp, program_io_windows.cpp).
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace orva::cli {

// The arguments after the program name.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The process's standard input, output and error, made ready for orva-cli
// when this is made. Where one is a console window, its text is shown and
// typed as Unicode characters rather than as bytes of a code page.
class StandardStreams {
 public:
  StandardStreams();
  StandardStreams(const StandardStreams&) = delete;
  StandardStreams& operator=(const StandardStreams&) = delete;
  ~StandardStreams();

  std::istream& in();
  std::ostream& out();
  std::ostream& err();

 private:
  struct Consoles;  // what the platform needs for its console windows
  std::unique_ptr<Consoles> consoles_;
};

}  // namespace orva::cli
