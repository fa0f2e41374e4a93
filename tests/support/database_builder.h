// Builds text databases byte by byte for tests, benchmarks and samples, so
// that no test depends on an opaque binary file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/format.h"

namespace orva::test_support {

class DatabaseBuilder {
 public:
  // An entry whose text is given as UTF-8 and stored in Windows-1251.
  DatabaseBuilder& Entry(std::int32_t id, std::string_view utf8_text);
  // An entry whose text is given as the stored bytes, without the ending NUL.
  DatabaseBuilder& RawEntry(std::int32_t id, std::string_view bytes) {
    entries_.push_back({id, std::string(bytes)});
    return *this;
  }
  DatabaseBuilder& Marker(std::string_view text = "") { return Entry(format::kEndMarkerId, text); }
  DatabaseBuilder& HeaderWord(std::int32_t word) {
    header_word_ = word;
    return *this;
  }
  // Bytes between the entry table and the first text.
  DatabaseBuilder& GapBeforeTexts(std::size_t bytes) {
    gap_ = bytes;
    return *this;
  }
  // Bytes after the last text's NUL.
  DatabaseBuilder& Trailing(std::string_view bytes) {
    trailing_ = bytes;
    return *this;
  }
  // Writes this count at offset 0 instead of the number of entries.
  DatabaseBuilder& ClaimedCount(std::int32_t count) {
    claimed_count_ = count;
    return *this;
  }

  std::vector<std::byte> Build() const;

 private:
  struct PlannedEntry {
    std::int32_t id;
    std::string text;
  };
  std::vector<PlannedEntry> entries_;
  std::int32_t header_word_ = 0x00010203;
  std::size_t gap_ = 0;
  std::string trailing_;
  std::optional<std::int32_t> claimed_count_;
};

std::vector<std::byte> Bytes(std::string_view s);

}  // namespace orva::test_support
