// orva-cli.exe started as Windows starts programs: with a UTF-16 command line
// that holds names and texts outside the ANSI code page, and its standard
// streams redirected to pipes, where its output must be UTF-8 with bare line
// feeds, as on Linux, and its input may hold byte 0x1A. (The console window
// is tested by tests/windows/console_test.sh.)
#include <windows.h>  // first: the other Windows headers need what it declares

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "database/file_system.h"
#include "database/text_entry_insertion.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using testing::DatabaseBuilder;

struct Ran {
  DWORD exit_code = 0;
  std::string out;
  std::string err;
};

std::string ReadAll(HANDLE pipe) {
  std::string all;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) all.append(buffer, got);
  return all;
}

// Runs orva-cli.exe with `arguments` (each quoted) and `input` on its
// standard input; keeps what it printed.
Ran RunProgram(const std::vector<std::wstring>& arguments, const std::string& input = "") {
  std::wstring line = L"\"" + PathFromUtf8(ORVA_CLI_EXE).wstring() + L"\"";
  for (const std::wstring& argument : arguments) line += L" \"" + argument + L"\"";
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE pipes[3][2];  // standard input, output and error: the read and the write end
  for (auto& pipe : pipes) EXPECT_TRUE(CreatePipe(&pipe[0], &pipe[1], &inherited, 0));
  SetHandleInformation(pipes[0][1], HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(pipes[1][0], HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(pipes[2][0], HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = pipes[0][0];
  start.hStdOutput = pipes[1][1];
  start.hStdError = pipes[2][1];
  PROCESS_INFORMATION process{};
  const bool started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &start, &process);
  for (HANDLE child_end : {pipes[0][0], pipes[1][1], pipes[2][1]}) CloseHandle(child_end);
  Ran ran;
  if (!started) {
    ADD_FAILURE() << "cannot start " << ORVA_CLI_EXE << ": error " << GetLastError();
  } else {
    DWORD written = 0;
    WriteFile(pipes[0][1], input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    CloseHandle(pipes[0][1]);
    std::thread errors([&] { ran.err = ReadAll(pipes[2][0]); });
    ran.out = ReadAll(pipes[1][0]);
    errors.join();
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &ran.exit_code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(pipes[1][0]);
  CloseHandle(pipes[2][0]);
  return ran;
}

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest() : old_(DatabaseBuilder().Entry(5001, "Первый вылет").Marker("конец").Build()) {
    fs::create_directory(folder_);
    testing::WriteFileBytes(db_, old_);
  }
  // The database after inserting `texts` one by one with the library.
  std::vector<std::byte> After(const std::vector<std::string>& texts) const {
    std::vector<std::byte> image = old_;
    for (const std::string& text : texts) image = PlanInsertion(image, text).value().image;
    return image;
  }

  testing::TempDir dir_;
  const fs::path folder_ = dir_.path() / PathFromUtf8("Кампания");
  const fs::path db_ = folder_ / PathFromUtf8("база.def");
  const std::vector<std::byte> old_;
};

TEST_F(ProgramTest, TakesArgumentsAndPathsOutsideTheAnsiCodePage) {
  const Ran inserted = RunProgram({L"insert", db_.wstring(), L"Новая миссия", L"Ещё одна"});
  EXPECT_EQ(inserted.exit_code, 0u) << inserted.err;
  EXPECT_EQ(inserted.out, "5002\tshot002.bmp\tНовая миссия\n5003\tshot003.bmp\tЕщё одна\n");
  EXPECT_EQ(testing::ReadFileBytes(db_), After({"Новая миссия", "Ещё одна"}));

  const Ran listed = RunProgram({L"list", db_.wstring()});
  EXPECT_EQ(listed.exit_code, 0u) << listed.err;
  EXPECT_EQ(listed.out,
            "5001\tshot001.bmp\tПервый вылет\n5002\tshot002.bmp\tНовая миссия\n"
            "5003\tshot003.bmp\tЕщё одна\n");

  const Ran missing = RunProgram({L"check", (folder_ / PathFromUtf8("нет.def")).wstring()});
  EXPECT_EQ(missing.exit_code, 1u);
  EXPECT_NE(missing.err.find("Кампания\\\\нет.def' does not exist\n"), std::string::npos)
      << missing.err;
}

// Redirected input is read as bytes: CR LF and LF end lines alike, and 0x1A
// is a character of a text, not the end.
TEST_F(ProgramTest, ReadsRedirectedInputWithByte0x1A) {
  const Ran inserted = RunProgram({L"insert", db_.wstring(), L"--from", L"-"},
                                  "Раз\x1a"
                                  "Два\r\nТри\n");
  EXPECT_EQ(inserted.exit_code, 0u) << inserted.err;
  EXPECT_EQ(inserted.out, "5002\tshot002.bmp\tРаз\\x1aДва\n5003\tshot003.bmp\tТри\n");
  EXPECT_EQ(testing::ReadFileBytes(db_), After({"Раз\x1a"
                                                "Два",
                                                "Три"}));
}

}  // namespace
}  // namespace orva
