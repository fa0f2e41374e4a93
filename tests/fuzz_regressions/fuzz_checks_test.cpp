// The fuzz targets' checks without libFuzzer: every input a target once failed
// on (saved in this folder, one subfolder per target) and every starting input must pass
// them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "database/layout_check.h"
#include "database/sha256.h"
#include "exchange/entry_patch.h"
#include "fuzz/exchange_properties.h"
#include "fuzz/properties.h"
#include "fuzz/starting_corpus.h"
#include "tests/support/database_builder.h"

namespace orva::fuzz {
namespace {

namespace fs = std::filesystem;
using orva::test_support::DatabaseBuilder;

std::vector<std::byte> ReadInput(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> chars{std::istreambuf_iterator<char>(in), {}};
  std::vector<std::byte> bytes(chars.size());
  std::transform(chars.begin(), chars.end(), bytes.begin(),
                 [](char c) { return static_cast<std::byte>(c); });
  return bytes;
}

// The saved inputs of one target, in name order; none while it found nothing.
std::vector<fs::path> SavedInputs(const char* target) {
  std::vector<fs::path> paths;
  std::error_code error;
  for (const auto& entry :
       fs::directory_iterator(fs::path(ORVA_FUZZ_REGRESSIONS) / target, error)) {
    if (entry.is_regular_file()) paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

void ExpectPasses(const Status& check, const std::string& input) {
  EXPECT_TRUE(check.ok()) << input << ": " << check.message();
}

TEST(SavedFuzzInputs, PassTheChecksOfTheTargetThatFoundThem) {
  for (const fs::path& path : SavedInputs("reader")) {
    ExpectPasses(CheckMissionListRead(ReadInput(path)), path.string());
  }
  for (const fs::path& path : SavedInputs("insertion")) {
    const std::vector<std::byte> bytes = ReadInput(path);
    const InsertionInput input = SplitInsertionInput(bytes);
    ExpectPasses(CheckInsertion(input.database, input.utf8_text), path.string());
    ExpectPasses(CheckBatchInsertion(input.database, input.utf8_text), path.string());
  }
  for (const fs::path& path : SavedInputs("code_page")) {
    ExpectPasses(CheckCodePageRoundTrip(ReadInput(path)), path.string());
  }
  for (const fs::path& path : SavedInputs("patch")) {
    ExpectPasses(CheckPatchRead(ReadInput(path)), path.string());
  }
  for (const char* reader : {"po_reader", "csv_reader"}) {
    for (const fs::path& path : SavedInputs(reader)) {
      ExpectPasses(CheckTranslationFileRead(ReadInput(path), reader[0] == 'c'), path.string());
    }
  }
  for (const fs::path& path : SavedInputs("import")) {
    ExpectPasses(CheckImportPlan(ReadInput(path)), path.string());
  }
  for (const fs::path& path : SavedInputs("pattern")) {
    ExpectPasses(CheckPattern(ReadInput(path)), path.string());
  }
}

TEST(FuzzStartingCorpus, PassTheChecksOfTheirTargets) {
  for (const CorpusInput& input : DatabaseCorpus())
    ExpectPasses(CheckMissionListRead(input.bytes), input.name);
  for (const CorpusInput& start : InsertionCorpus()) {
    const InsertionInput input = SplitInsertionInput(start.bytes);
    ExpectPasses(CheckInsertion(input.database, input.utf8_text), start.name);
    ExpectPasses(CheckBatchInsertion(input.database, input.utf8_text), start.name);
  }
  for (const CorpusInput& input : CodePageCorpus())
    ExpectPasses(CheckCodePageRoundTrip(input.bytes), input.name);
  for (const CorpusInput& input : PatchCorpus())
    ExpectPasses(CheckPatchRead(input.bytes), input.name);
  for (const CorpusInput& input : PoCorpus())
    ExpectPasses(CheckTranslationFileRead(input.bytes, false), input.name);
  for (const CorpusInput& input : CsvCorpus())
    ExpectPasses(CheckTranslationFileRead(input.bytes, true), input.name);
  for (const CorpusInput& input : ImportCorpus())
    ExpectPasses(CheckImportPlan(input.bytes), input.name);
  for (const CorpusInput& input : PatternCorpus())
    ExpectPasses(CheckPattern(input.bytes), input.name);
}

// Every code page string of up to two bytes, which meets every byte value and
// every pair of them: decoding then encoding gives the bytes back, or refuses
// exactly where the unassigned byte stands.
TEST(CodePageCheck, HoldsForEveryStringOfUpToTwoBytes) {
  for (int a = 0; a < 256; ++a) {
    const std::byte one[] = {static_cast<std::byte>(a)};
    ExpectPasses(CheckCodePageRoundTrip(one), "byte " + std::to_string(a));
    for (int b = 0; b < 256; ++b) {
      const std::byte two[] = {static_cast<std::byte>(a), static_cast<std::byte>(b)};
      const Status check = CheckCodePageRoundTrip(two);
      ASSERT_TRUE(check.ok()) << "bytes " << a << ", " << b << ": " << check.message();
    }
  }
}

// Entries on both sides of the marker, two equal texts and one longer than
// the reader's window: the planners pass their own checks, for one text and
// for several.
TEST(InsertionCheck, PassesThePlannersOnAScenario) {
  const std::vector<std::byte> db = DatabaseBuilder()
                                        .Entry(5001, "Один")
                                        .Entry(5002, "Один")
                                        .Marker("z")
                                        .Entry(100, std::string(80, '.'))
                                        .Build();
  ASSERT_TRUE(CheckLayout(db).empty());
  ExpectPasses(CheckInsertion(db, "Щит"), "one text");
  ExpectPasses(CheckBatchInsertion(db, "Раз\nДва\nТри"), "three texts");
}

// The starting patches were made from the patch target's databases: each
// applies to its own, so that the fuzzer starts from patches that go in.
TEST(PatchCheck, StartingPatchesApplyToTheDatabasesTheyWereMadeFrom) {
  const std::vector<std::vector<std::byte>> targets = PatchTargets();
  int applied = 0;
  for (const CorpusInput& input : PatchCorpus()) {
    if (!input.name.starts_with("target") || input.name.find("cut-short") != std::string::npos) {
      continue;
    }
    const std::vector<std::byte>& db = targets.at(static_cast<std::size_t>(input.name[6] - '1'));
    const PatchReading reading = ReadPatch(
        std::string_view(reinterpret_cast<const char*>(input.bytes.data()), input.bytes.size()));
    ASSERT_TRUE(reading.problems.empty()) << input.name << ": " << reading.problems.front().what;
    const PatchPlan plan = PlanPatch(db, ReadEntryTexts(db).value(), Sha256Of(db), reading.patch);
    EXPECT_TRUE(plan.problems.empty()) << input.name << ": " << plan.problems.front().what;
    EXPECT_TRUE(plan.base_matched) << input.name;
    ++applied;
  }
  EXPECT_GE(applied, 10);
}

}  // namespace
}  // namespace orva::fuzz
