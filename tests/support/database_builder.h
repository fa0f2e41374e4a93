// Builds text databases byte by byte for tests, benchmarks and samples, so
// that no test depends on an opaque binary file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/code_page.h"
#include "database/format.h"
#include "database/little_endian.h"

namespace orva::testing {

class DatabaseBuilder {
 public:
  // An entry whose text is given as UTF-8 and stored in Windows-1251.
  DatabaseBuilder& Entry(std::int32_t id, std::string_view utf8_text) {
    auto encoded = EncodeWindows1251(utf8_text);
    std::string bytes;
    for (std::byte b : encoded.value()) bytes += static_cast<char>(b);
    return RawEntry(id, bytes);
  }
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

  std::vector<std::byte> Build() const {
    const std::size_t table_end = format::kEntrySize * (entries_.size() + 1);
    std::vector<std::byte> out(table_end + gap_);
    const auto count = static_cast<std::int32_t>(entries_.size());
    EncodeInt32(out, format::kCountOffset, claimed_count_.value_or(count));
    EncodeInt32(out, format::kHeaderWordOffset, header_word_);
    for (std::size_t k = 1; k <= entries_.size(); ++k) {
      const auto& [id, text] = entries_[k - 1];
      EncodeInt32(out, format::kEntrySize * k, id);
      EncodeInt32(out, format::kEntrySize * k + 4, static_cast<std::int32_t>(out.size()));
      for (char c : text) out.push_back(static_cast<std::byte>(c));
      out.push_back(std::byte{0});
    }
    for (char c : trailing_) out.push_back(static_cast<std::byte>(c));
    return out;
  }

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

inline std::vector<std::byte> Bytes(std::string_view s) {
  std::vector<std::byte> out;
  for (char c : s) out.push_back(static_cast<std::byte>(c));
  return out;
}

}  // namespace orva::testing
