#include "window/window_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orva {
namespace {

using Action = WindowCommandLine::Action;

WindowCommandLine Parse(const std::vector<std::string>& arguments) {
  return ParseWindowCommandLine("orva", arguments);
}

// Both programs start what the line asks: a window with the file named, or
// an answer that ends the program before any window is made.
TEST(WindowCommandLine, StartsTheWindowTheLineAsksForWithItsFile) {
  struct Case {
    std::vector<std::string> arguments;
    Action action;
    std::string file;
    std::string reference = {};
  };
  const std::vector<Case> cases = {
      {{}, Action::kMainWindow, ""},
      {{"textdb_00.def"}, Action::kMainWindow, "textdb_00.def"},
      {{"--edit"}, Action::kEditor, ""},
      {{"--edit", "textdb_00.def"}, Action::kEditor, "textdb_00.def"},
      {{"textdb_00.def", "--edit"}, Action::kEditor, "textdb_00.def"},
      {{"--", "-минус.def"}, Action::kMainWindow, "-минус.def"},
      {{"--edit", "--", "--edit"}, Action::kEditor, "--edit"},
      {{"-"}, Action::kMainWindow, "-"},
      {{"--edit", "--reference", "textdb_01.def", "textdb_00.def"},
       Action::kEditor,
       "textdb_00.def",
       "textdb_01.def"},
      {{"textdb_00.def", "--reference", "-ref.def", "--edit"},
       Action::kEditor,
       "textdb_00.def",
       "-ref.def"},
  };
  for (const Case& c : cases) {
    const WindowCommandLine line = Parse(c.arguments);
    EXPECT_EQ(line.action, c.action) << testing::PrintToString(c.arguments);
    EXPECT_EQ(line.file, c.file) << testing::PrintToString(c.arguments);
    EXPECT_EQ(line.reference, c.reference) << testing::PrintToString(c.arguments);
  }

  const WindowCommandLine help = Parse({"textdb_00.def", "--help"});
  EXPECT_EQ(help.action, Action::kHelp);
  EXPECT_TRUE(help.message.starts_with("Usage: orva [--edit [--reference REF]] [FILE]"))
      << help.message;
  const WindowCommandLine version =
      ParseWindowCommandLine("C:\\ORVA\\orva.exe", std::vector<std::string>{"--version"});
  EXPECT_EQ(version.action, Action::kVersion);
  EXPECT_EQ(version.message, std::string("orva.exe ") + ORVA_VERSION);
}

TEST(WindowCommandLine, RefusesWhatItCannotDoAndSaysWhy) {
  const WindowCommandLine two = Parse({"a.def", "b.def", "--edit"});
  EXPECT_EQ(two.action, Action::kRefused);
  EXPECT_NE(two.message.find("one database at a time; 2 files were given"), std::string::npos)
      << two.message;
  EXPECT_TRUE(two.file.empty());

  const WindowCommandLine unknown = Parse({"--edti", "a.def"});
  EXPECT_EQ(unknown.action, Action::kRefused);
  EXPECT_NE(unknown.message.find("unknown option '--edti'"), std::string::npos) << unknown.message;
  EXPECT_NE(unknown.message.find("orva --help"), std::string::npos) << unknown.message;

  // The main window has no reference to show, and a reference needs its file.
  const WindowCommandLine main = Parse({"--reference", "r.def", "a.def"});
  EXPECT_EQ(main.action, Action::kRefused);
  EXPECT_NE(main.message.find("--reference goes with --edit"), std::string::npos) << main.message;
  const WindowCommandLine bare = Parse({"--edit", "a.def", "--reference"});
  EXPECT_EQ(bare.action, Action::kRefused);
  EXPECT_NE(bare.message.find("needs the reference's file"), std::string::npos) << bare.message;
}

}  // namespace
}  // namespace orva
