// The fuzz targets' checks without libFuzzer: every input a target once failed
// on (saved in this folder, one subfolder per target) and every starting input must pass
// them, and each check must notice the faults it exists to catch.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "database/layout_check.h"
#include "database/little_endian.h"
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

// Stand-ins for PlanInsertion that plan and then spoil one thing, in the
// database below: the new entry takes slot 3, the marker moves to slot 4 and
// the entry after it, whose text is longer than the reader's window, to slot 5.
// Entries 1 and 2 have equal texts.
std::vector<std::byte> ScenarioDatabase() {
  return DatabaseBuilder()
      .Entry(5001, "Один")
      .Entry(5002, "Один")
      .Marker("z")
      .Entry(100, std::string(80, '.'))
      .Build();
}

template <void (*Spoil)(PlannedInsertion&)>
Result<PlannedInsertion> Spoiled(std::span<const std::byte> db, std::string_view text) {
  Result<PlannedInsertion> planned = PlanInsertion(db, text);
  if (planned.ok()) Spoil(*planned);
  return planned;
}

void KeepTheCount(PlannedInsertion& p) {
  EncodeInt32(p.image, format::kCountOffset, DecodeInt32(p.image, format::kCountOffset) - 1);
}
void TouchTheHeaderWord(PlannedInsertion& p) { p.image[format::kHeaderWordOffset] ^= std::byte{1}; }
void MisnumberTheNewEntry(PlannedInsertion& p) { ++p.entry.id; }
void DropTheNewTextsNul(PlannedInsertion& p) {
  const auto text = static_cast<std::size_t>(DecodeInt32(p.image, format::TextOffsetField(3)));
  p.image[text + 3] = std::byte{'x'};
}
// Entry 1 on entry 2's text reads the same, but the texts are out of order.
void PointEntry1AtTheEqualTextOfEntry2(PlannedInsertion& p) {
  EncodeInt32(p.image, format::TextOffsetField(1),
              DecodeInt32(p.image, format::TextOffsetField(2)));
}
void PointTheLastEntryAtTheMarkersText(PlannedInsertion& p) {
  EncodeInt32(p.image, format::TextOffsetField(5),
              DecodeInt32(p.image, format::TextOffsetField(4)));
}
// Beyond what the reader shows of the last text, where only the byte
// comparison looks.
void OverwriteALetterOfTheLastText(PlannedInsertion& p) { p.image.end()[-2] = std::byte{'x'}; }

Result<PlannedInsertion> WriteIntoTheDatabase(std::span<const std::byte> db, std::string_view) {
  const_cast<std::byte&>(db[0]) ^= std::byte{1};
  return Status::Malformed("refused, after writing");
}
Result<PlannedInsertion> RefuseWithoutAReason(std::span<const std::byte>, std::string_view) {
  return Status::Malformed("");
}
Result<PlannedInsertion> InsertAnotherText(std::span<const std::byte> db, std::string_view) {
  return PlanInsertion(db, "x");
}

std::string ViolationFound(Planner planner, std::string_view text = "Щит") {
  std::vector<std::byte> db = ScenarioDatabase();
  const Status check = CheckInsertion(db, text, planner);
  EXPECT_FALSE(check.ok()) << "the check passed a spoiled insertion";
  return check.message();
}

TEST(InsertionCheck, PassesThePlannerItselfOnTheScenario) {
  ASSERT_TRUE(CheckLayout(ScenarioDatabase()).empty());
  ExpectPasses(CheckInsertion(ScenarioDatabase(), "Щит"), "scenario");
}

TEST(InsertionCheck, NoticesAPlanThatBreaksTheTableOrTheTexts) {
  EXPECT_NE(ViolationFound(&Spoiled<KeepTheCount>).find("entry count"), std::string::npos);
  EXPECT_NE(ViolationFound(&Spoiled<TouchTheHeaderWord>).find("header word"), std::string::npos);
  EXPECT_NE(ViolationFound(&Spoiled<MisnumberTheNewEntry>).find("planned entry"),
            std::string::npos);
  EXPECT_NE(ViolationFound(&Spoiled<DropTheNewTextsNul>).find("followed by a NUL"),
            std::string::npos);
  EXPECT_NE(ViolationFound(&Spoiled<PointTheLastEntryAtTheMarkersText>).find("its own text"),
            std::string::npos);
  EXPECT_NE(ViolationFound(&Spoiled<OverwriteALetterOfTheLastText>).find("carried along"),
            std::string::npos);
  EXPECT_NE(ViolationFound(&Spoiled<PointEntry1AtTheEqualTextOfEntry2>).find("became damaged"),
            std::string::npos);
}

TEST(InsertionCheck, NoticesARefusalThatWritesOrGivesNoReasonAndAnAcceptedEmptyText) {
  EXPECT_NE(ViolationFound(&WriteIntoTheDatabase).find("changed the database bytes"),
            std::string::npos);
  EXPECT_NE(ViolationFound(&RefuseWithoutAReason).find("without a reason"), std::string::npos);
  EXPECT_NE(ViolationFound(&InsertAnotherText, "").find("0 characters"), std::string::npos);
}

TEST(BatchInsertionCheck, NoticesABatchThatDiffersFromTheTextsOneAtATime) {
  const std::vector<std::byte> db = ScenarioDatabase();
  ExpectPasses(CheckBatchInsertion(db, "Раз\nДва\nТри"), "scenario");
  auto violation = [](std::span<const std::byte> db, BatchPlanner planner) {
    const Status check = CheckBatchInsertion(db, "Раз\nДва", planner);
    EXPECT_FALSE(check.ok()) << "the check passed a spoiled batch";
    return check.message();
  };
  // Stand-ins for PlanInsertions, each wrong in one way.
  const BatchPlanner first_only = [](std::span<const std::byte> db, const NewTexts&) {
    NewTexts first;
    (void)first.Add("Раз");
    return PlanInsertions(db, first);
  };
  const BatchPlanner refusing = [](std::span<const std::byte>, const NewTexts&) {
    return Result<PlannedInsertions>(Status::NoRoom("no room"));
  };
  const BatchPlanner swapping = [](std::span<const std::byte> db, const NewTexts& texts) {
    Result<PlannedInsertions> planned = PlanInsertions(db, texts);
    std::swap(planned->entries[0], planned->entries[1]);
    return planned;
  };
  EXPECT_NE(violation(db, first_only).find("another database"), std::string::npos);
  EXPECT_NE(violation(db, refusing).find("every text goes in"), std::string::npos);
  EXPECT_NE(violation(db, swapping).find("numbers its entries"), std::string::npos);
  // The second text would be numbered past the largest id.
  const auto top = DatabaseBuilder().Entry(0x7FFFFFFE, "a").Marker().Build();
  EXPECT_NE(violation(top, first_only).find("text 2 is refused"), std::string::npos);
}

}  // namespace
}  // namespace orva::fuzz
