#include "database/text_entry_insertion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "database/format.h"
#include "database/insertion_plan.h"
#include "database/layout_check.h"
#include "database/little_endian.h"
#include "database/mission_list.h"
#include "database/text_edit.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using test_support::Bytes;
using test_support::DatabaseBuilder;

std::vector<std::byte> Hex(std::initializer_list<int> values) {
  std::vector<std::byte> out;
  for (int v : values) out.push_back(static_cast<std::byte>(v));
  return out;
}

std::vector<std::byte> Plan(std::span<const std::byte> db, std::string_view text) {
  Result<PlannedInsertion> planned = PlanInsertion(db, text);
  EXPECT_TRUE(planned.ok()) << planned.status().message();
  return planned.ok() ? planned->image : std::vector<std::byte>{};
}

std::string Refusal(std::span<const std::byte> db, std::string_view text) {
  Result<PlannedInsertion> planned = PlanInsertion(db, text);
  EXPECT_FALSE(planned.ok()) << "the insertion of '" << text << "' was planned";
  return planned.status().message();
}

std::vector<std::int32_t> ListedIds(std::span<const std::byte> db) {
  std::vector<std::int32_t> ids;
  for (const MissionEntry& m : ReadMissionList(db).missions) ids.push_back(m.id);
  return ids;
}

TEST(PlanInsertion, ReproducesTheWorkedExampleByteForByte) {
  const auto old_db = Hex({0x03, 0x00, 0x00, 0x00, 0x41, 0x56, 0x52, 0x4F,  //
                           0x89, 0x13, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00,  //
                           0x8A, 0x13, 0x00, 0x00, 0x23, 0x00, 0x00, 0x00,  //
                           0x70, 0x17, 0x00, 0x00, 0x26, 0x00, 0x00, 0x00,  //
                           0x41, 0x6C, 0x00, 0xC1, 0xEE, 0x00, 0x7A, 0x00});
  const auto new_db = Hex({0x04, 0x00, 0x00, 0x00, 0x41, 0x56, 0x52, 0x4F,  //
                           0x89, 0x13, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00,  //
                           0x8A, 0x13, 0x00, 0x00, 0x2B, 0x00, 0x00, 0x00,  //
                           0x8B, 0x13, 0x00, 0x00, 0x2E, 0x00, 0x00, 0x00,  //
                           0x70, 0x17, 0x00, 0x00, 0x32, 0x00, 0x00, 0x00,  //
                           0x41, 0x6C, 0x00, 0xC1, 0xEE, 0x00,              //
                           0xD9, 0xE8, 0xF2, 0x00, 0x7A, 0x00});
  Result<PlannedInsertion> planned = PlanInsertion(old_db, "Щит");
  ASSERT_TRUE(planned.ok()) << planned.status().message();
  EXPECT_EQ(planned->image, new_db);
  EXPECT_EQ(planned->entry, (MissionEntry{5003, "Щит"}));
  const MissionList list = ReadMissionList(planned->image);
  EXPECT_EQ(list.missions, (std::vector<MissionEntry>{{5001, "Al"}, {5002, "Бо"}, {5003, "Щит"}}));
}

TEST(PlanInsertion, NumbersTheNewEntryAfterItsPredecessorWhateverItIs) {
  // 5999 + 1 is the marker's id: the list now stops at the new entry and the
  // next insertion lands before it.
  const auto db = DatabaseBuilder().Entry(5999, "last").Marker("end").Build();
  const auto once = Plan(db, "a");
  EXPECT_EQ(ListedIds(once), (std::vector<std::int32_t>{5999}));
  const auto twice = Plan(once, "b");
  EXPECT_EQ(DecodeInt32(twice, 16), 6000);  // new entry 2, id 5999 + 1
  EXPECT_EQ(ListedIds(twice), (std::vector<std::int32_t>{5999}));

  // Below 4999 the new entry is written but never listed.
  const auto low = Plan(DatabaseBuilder().Entry(5001, "m").Entry(41, "x").Marker().Build(), "new");
  EXPECT_EQ(DecodeInt32(low, 0), 4);
  EXPECT_EQ(DecodeInt32(low, 24), 42);
  EXPECT_EQ(ListedIds(low), (std::vector<std::int32_t>{5001}));

  // The largest id is the last that can be given.
  const auto top = DatabaseBuilder().Entry(0x7FFFFFFE, "a").Marker().Build();
  EXPECT_EQ(PlanInsertion(top, "x")->entry.id, 0x7FFFFFFF);
}

TEST(PlanInsertion, RefusesTextsThatCannotBeStoredAsTyped) {
  const auto db = DatabaseBuilder().Entry(5001, "a").Marker().Build();
  EXPECT_NE(Refusal(db, "").find("empty"), std::string::npos);
  EXPECT_NE(Refusal(db, std::string(46, 'x')).find("46 characters"), std::string::npos);
  // 45 Cyrillic characters are 90 UTF-8 bytes but 45 stored bytes: they fit.
  std::string cyrillic;
  for (int i = 0; i < 45; ++i) cyrillic += "ж";
  EXPECT_EQ(Plan(db, cyrillic).size(), db.size() + 54);
  EXPECT_NE(Refusal(db, cyrillic + "ж").find("46 characters"), std::string::npos);
  EXPECT_NE(Refusal(db, std::string("ab\0c", 4)).find("NUL"), std::string::npos);
  EXPECT_NE(Refusal(db, "ab\r\n").find("line break (a carriage return) at position 3"),
            std::string::npos);
  EXPECT_NE(Refusal(db, "日本").find("U+65E5"), std::string::npos);
  EXPECT_NE(Refusal(db, "\xFF").find("UTF-8"), std::string::npos);
}

// Each case breaks one thing the insertion relies on.
TEST(PlanInsertion, RefusesLayoutsItWouldMakeWorse) {
  auto well = [] {
    return DatabaseBuilder().Entry(5001, "one").Entry(5002, "two").Marker("z").Build();
  };
  EXPECT_NE(Refusal(Bytes("abc"), "x").find("too short"), std::string::npos);
  EXPECT_NE(Refusal(DatabaseBuilder().ClaimedCount(0).Entry(5001, "a").Marker().Build(), "x")
                .find("entry count is 0"),
            std::string::npos);
  EXPECT_NE(Refusal(DatabaseBuilder().Marker().Entry(5001, "a").Build(), "x").find("no end marker"),
            std::string::npos);
  // A marker in entry 1 ends the list before anything, so a later one is no
  // place for a text either: it would be written but never listed.
  EXPECT_NE(Refusal(DatabaseBuilder().Marker().Entry(5001, "a").Marker().Build(), "x")
                .find("entry 1 is the end marker"),
            std::string::npos);
  EXPECT_NE(Refusal(DatabaseBuilder().ClaimedCount(1000).Entry(5001, "a").Marker().Build(), "x")
                .find("entry table"),
            std::string::npos);

  auto marker_in_table = well();
  EncodeInt32(marker_in_table, 28, 16);
  EXPECT_NE(Refusal(marker_in_table, "x").find("outside the text area"), std::string::npos);
  auto marker_past_end = well();
  EncodeInt32(marker_past_end, 28, static_cast<std::int32_t>(marker_past_end.size()));
  EXPECT_NE(Refusal(marker_past_end, "x").find("outside the text area"), std::string::npos);
  auto negative = well();
  EncodeInt32(negative, 28, -5);
  EXPECT_NE(Refusal(negative, "x").find("outside the text area"), std::string::npos);

  auto no_nul_before = well();
  no_nul_before[static_cast<std::size_t>(DecodeInt32(no_nul_before, 28)) - 1] = std::byte{'!'};
  EXPECT_NE(Refusal(no_nul_before, "x").find("not a NUL"), std::string::npos);

  auto wild_offset = well();
  EncodeInt32(wild_offset, 12, 0x7FFFFFF0);
  EXPECT_NE(Refusal(wild_offset, "x").find("entry 1"), std::string::npos);

  auto top_id = DatabaseBuilder().Entry(0x7FFFFFFF, "a").Marker().Build();
  EXPECT_NE(Refusal(top_id, "x").find("largest possible id"), std::string::npos);
}

TEST(PlanInsertion, KeepsAnEntryOnItsOwnTextWhenTextsAreOutOfOrder) {
  // Entry 1 points at the last text, the marker at the middle one and entry 2
  // at the first: each entry must stay on its own text, whichever side of the
  // marker's text it lies.
  auto db = DatabaseBuilder().Entry(5001, "one").Entry(5002, "two").Marker("z").Build();
  const std::int32_t one = DecodeInt32(db, 12);
  const std::int32_t marker = DecodeInt32(db, 28);
  const std::int32_t two = DecodeInt32(db, 20);
  EncodeInt32(db, 12, marker);
  EncodeInt32(db, 28, two);
  EncodeInt32(db, 20, one);
  const auto image = Plan(db, "new");
  auto text_of = [&](std::size_t j) {
    std::string text;
    for (auto i = static_cast<std::size_t>(DecodeInt32(image, 8 * j + 4)); image[i] != std::byte{0};
         ++i) {
      text += static_cast<char>(image[i]);
    }
    return text;
  };
  EXPECT_EQ(text_of(1), "z");
  EXPECT_EQ(text_of(2), "one");
  EXPECT_EQ(text_of(3), "new");
  EXPECT_EQ(text_of(4), "two");
}

// A marker in slot N + 1, just past the table, moves and is re-pointed like
// an entry, so the next insertion finds it and the check agrees; a marker
// left pointing at its old place is reported and refused.
TEST(PlanInsertion, KeepsAMarkerJustPastTheTableOnItsText) {
  const auto db = DatabaseBuilder().Entry(5001, "one").Marker("end").ClaimedCount(1).Build();
  ASSERT_EQ(CheckLayout(db), std::vector<LayoutProblem>{});
  const auto once = Plan(db, "two");
  const auto twice = Plan(once, "three");
  for (const auto& image : {once, twice}) {
    EXPECT_EQ(CheckLayout(image), std::vector<LayoutProblem>{});
    const auto count = static_cast<std::size_t>(DecodeInt32(image, 0));
    EXPECT_EQ(DecodeInt32(image, 8 * (count + 1)), 6000);
    const auto marker_text = static_cast<std::size_t>(DecodeInt32(image, 8 * (count + 1) + 4));
    EXPECT_EQ(std::vector<std::byte>(image.begin() + static_cast<std::ptrdiff_t>(marker_text),
                                     image.end()),
              Bytes(std::string("end\0", 4)));
  }
  EXPECT_EQ(ListedIds(twice), (std::vector<std::int32_t>{5001, 5002, 5003}));

  auto stale = once;
  EncodeInt32(stale, 8 * 3 + 4, DecodeInt32(db, 8 * 2 + 4));
  EXPECT_NE(CheckLayout(stale), std::vector<LayoutProblem>{});
  EXPECT_NE(Refusal(stale, "x").find("end marker's text"), std::string::npos);
  // The marker's slot is no place for a text of the table.
  auto on_the_marker = db;
  EncodeInt32(on_the_marker, 12, 16);
  EXPECT_NE(Refusal(on_the_marker, "x").find("outside the text area after the end marker"),
            std::string::npos);
}

// ---------------------------------------------------------------------------
// The steps of the insertion followed literally on a byte buffer, slot by slot
// and write by write, as a model to hold the library to.
std::vector<std::byte> LiteralInsertion(const std::vector<std::byte>& b,
                                        const std::string& s_bytes) {
  auto read = [](const std::vector<std::byte>& f, std::int64_t at) {
    return DecodeInt32(f, static_cast<std::size_t>(at));
  };
  auto write_bytes = [](std::vector<std::byte>& f, std::int64_t at, const std::byte* src,
                        std::int64_t n) {
    if (static_cast<std::int64_t>(f.size()) < at + n) f.resize(static_cast<std::size_t>(at + n));
    for (std::int64_t i = 0; i < n; ++i) f[static_cast<std::size_t>(at + i)] = src[i];
  };
  auto write_int = [&](std::vector<std::byte>& f, std::int64_t at, std::int32_t v) {
    std::byte four[4];
    EncodeInt32(four, 0, v);
    write_bytes(f, at, four, 4);
  };
  const auto l = static_cast<std::int64_t>(b.size());
  const std::int64_t n = read(b, 0);
  std::int64_t k = 0;
  for (std::int64_t c = 1; c <= n; ++c) {
    if (read(b, 8 * (c + 1)) == 6000) {
      k = c;
      break;
    }
  }
  const std::int64_t t = read(b, 8 * (k + 1) + 4);
  const std::int32_t p = read(b, 8 * k);
  const auto s = static_cast<std::int64_t>(s_bytes.size());
  std::vector<std::byte> f = b;
  write_int(f, 8 * (k + 1), p + 1);
  write_int(f, 8 * (k + 1) + 4, static_cast<std::int32_t>(t + 8));
  write_bytes(f, 8 * (k + 2), b.data() + 8 * (k + 1), l - 8 * (k + 1));
  write_bytes(f, t + 8, reinterpret_cast<const std::byte*>(s_bytes.data()), s);
  write_bytes(f, t + 8 + s, b.data() + t - 1, l - t + 1);
  for (std::int64_t j = 1; j <= k; ++j) write_int(f, 8 * j + 4, read(f, 8 * j + 4) + 8);
  for (std::int64_t j = k + 2; j <= n + 1; ++j) {
    write_int(f, 8 * j + 4, read(f, 8 * j + 4) + static_cast<std::int32_t>(s + 9));
  }
  write_int(f, 0, static_cast<std::int32_t>(n + 1));
  return f;
}

// Databases like those the window meets, and odder: entries with any id
// before and after the marker, a gap before the texts, bytes after them; now
// and then a predecessor of the marker close to 6000, and where asked a
// marker just past the table.
class GeneratedDatabases {
 public:
  explicit GeneratedDatabases(std::uint32_t start) : rng_(start) {}

  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  std::string AsciiText(int lo, int hi) {
    std::string text(static_cast<std::size_t>(Pick(lo, hi)), ' ');
    for (char& c : text) c = static_cast<char>(Pick(0x20, 0x7E));
    return text;
  }
  // A text to insert with Cyrillic letters, as UTF-8 and as stored.
  std::pair<std::string, std::string> NewText(int longest_ascii) {
    std::string utf8 = AsciiText(1, longest_ascii);
    std::string stored = utf8;
    for (int i = Pick(0, 5); i > 0; --i) {
      utf8 += "ё";
      stored += '\xB8';
    }
    return {utf8, stored};
  }
  std::vector<std::byte> Next(bool marker_past_table_too) {
    DatabaseBuilder builder;
    int entries = 0;
    auto add = [&](std::int32_t id, const std::string& text) {
      builder.RawEntry(id, text);
      ++entries;
    };
    for (int i = Pick(0, 3); i > 0; --i) add(Pick(-100, 4999), AsciiText(0, 8));
    const int missions = Pick(1, 6);
    for (int i = 0; i < missions; ++i) {
      if (Pick(0, 3) == 0) add(Pick(0, 4999), AsciiText(0, 8));
      add(Pick(0, 3) == 0 ? Pick(5990, 5999) : Pick(5000, 5998), AsciiText(0, 12));
    }
    add(6000, AsciiText(0, 4));
    const bool past_table = marker_past_table_too && Pick(0, 4) == 0;
    if (past_table) builder.ClaimedCount(entries - 1);
    for (int i = past_table ? 0 : Pick(0, 3); i > 0; --i) add(Pick(6001, 90000), AsciiText(0, 8));
    // NOLINTNEXTLINE(bugprone-misplaced-widening-cast): the product is at most 32
    builder.GapBeforeTexts(static_cast<std::size_t>(Pick(0, 2) * Pick(0, 16)));
    if (Pick(0, 1) == 1) builder.Trailing(AsciiText(1, 20));
    return builder.Build();
  }

 private:
  std::mt19937 rng_;
};

TEST(PlanInsertion, MatchesTheLiteralStepsOnGeneratedDatabases) {
  GeneratedDatabases generated(20261207);
  for (int round = 0; round < 500; ++round) {
    // The literal steps leave a marker just past the table pointing at its
    // old text, which the library corrects.
    const std::vector<std::byte> db = generated.Next(false);
    const auto [utf8, stored] = generated.NewText(40);

    const std::vector<std::byte> expected = LiteralInsertion(db, stored);
    Result<PlannedInsertion> planned = PlanInsertion(db, utf8);
    ASSERT_TRUE(planned.ok()) << "round " << round << ": " << planned.status().message();
    ASSERT_EQ(planned->image, expected) << "round " << round;

    const MissionList before = ReadMissionList(db);
    const MissionList after = ReadMissionList(planned->image);
    ASSERT_TRUE(after.status.ok()) << after.status.message();
    std::vector<MissionEntry> wanted = before.missions;
    // A new entry that follows a mission and is one is listed, as the reader
    // shows it: without its leading spaces.
    if (format::IsMission(planned->entry.id)) {
      wanted.push_back(
          {planned->entry.id, utf8.substr(utf8.find_first_not_of(' ') == std::string::npos
                                              ? utf8.size()
                                              : utf8.find_first_not_of(' '))});
    }
    ASSERT_EQ(after.missions, wanted) << "round " << round;
  }
}

// ---------------------------------------------------------------------------
// Several texts planned at once give what inserting them one at a time gives.
TEST(PlanInsertions, EqualsTheTextsInsertedOneByOneOnGeneratedDatabases) {
  GeneratedDatabases generated(20261208);
  for (int round = 0; round < 1000; ++round) {
    const std::vector<std::byte> db = generated.Next(true);
    NewTexts texts;
    PlannedInsertions expected{db, {}, {}};
    for (int i = generated.Pick(1, 12); i > 0; --i) {
      const std::string text = generated.NewText(20).first;
      ASSERT_TRUE(texts.Add(text).ok());
      Result<PlannedInsertion> one = PlanInsertion(expected.image, text);
      ASSERT_TRUE(one.ok()) << "round " << round << ": " << one.status().message();
      expected.image = std::move(one->image);
      expected.entries.push_back(one->entry);
    }
    Result<PlannedInsertions> planned = PlanInsertions(db, texts);
    ASSERT_TRUE(planned.ok()) << "round " << round << ": " << planned.status().message();
    ASSERT_EQ(planned->image, expected.image) << "round " << round;
    ASSERT_EQ(planned->entries, expected.entries) << "round " << round;
  }
}

// Undoing a batch, marker ids and a marker past the table included, gives the
// database it went into; a database the batch did not make is refused.
TEST(PlanInsertionUndo, TakesABatchOutByteForByte) {
  GeneratedDatabases generated(20261210);
  int crossed = 0;
  for (int round = 0; round < 1000; ++round) {
    const std::vector<std::byte> db = generated.Next(true);
    NewTexts texts;
    for (int i = generated.Pick(1, 12); i > 0; --i) {
      ASSERT_TRUE(texts.Add(generated.NewText(20).first).ok());
    }
    Result<PlannedInsertions> planned = PlanInsertions(db, texts);
    ASSERT_TRUE(planned.ok()) << "round " << round << ": " << planned.status().message();
    Result<NewContents> undone = PlanInsertionUndo(planned->image, planned->site, texts);
    ASSERT_TRUE(undone.ok()) << "round " << round << ": " << undone.status().message();
    ASSERT_EQ(Joined(*undone), db) << "round " << round;
    if (planned->entries.back().id == format::kEndMarkerId) ++crossed;
    EXPECT_FALSE(PlanInsertionUndo(db, planned->site, texts).ok()) << "round " << round;
  }
  EXPECT_GT(crossed, 50);
}

}  // namespace
}  // namespace orva
