// Well-formed databases made at random for property tests of the edits and
// the translation files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/support/database_builder.h"

namespace orva::test_support {

// Well-formed databases with any id before and after the marker, any byte but
// NUL in their texts, a gap before the texts, bytes after them, and now and
// then a marker just past the table.
class Generated {
 public:
  explicit Generated(std::uint32_t start) : rng_(start) {}
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  std::string AnyText(int longest) {
    std::string text(static_cast<std::size_t>(Pick(0, longest)), ' ');
    for (char& c : text) c = static_cast<char>(Pick(1, 255));
    return text;
  }
  std::vector<std::byte> Next() {
    DatabaseBuilder builder;
    int entries = 0;
    auto add = [&](std::int32_t id) {
      builder.RawEntry(id, AnyText(10));
      ++entries;
    };
    for (int i = Pick(1, 6); i > 0; --i) add(Pick(0, 3) == 0 ? Pick(0, 4999) : Pick(5000, 5998));
    if (Pick(0, 3) == 0) add(5001);  // an id that may repeat
    add(6000);
    const bool past_table = Pick(0, 4) == 0;
    if (past_table) builder.ClaimedCount(entries - 1);
    for (int i = past_table ? 0 : Pick(0, 3); i > 0; --i) add(Pick(6001, 90000));
    builder.GapBeforeTexts(static_cast<std::size_t>(Pick(0, 1) == 0 ? 0 : Pick(0, 16)));
    if (Pick(0, 1) == 1) builder.Trailing(AnyText(12));
    return builder.Build();
  }

 private:
  std::mt19937 rng_;
};

}  // namespace orva::test_support
