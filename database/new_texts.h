// The texts to insert into a database: the rules a new text follows, and the
// texts of one insertion kept as the database will store them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "database/format.h"
#include "storage/status.h"

namespace orva {

// No character of Windows-1251 takes more than 3 bytes in UTF-8, so no new
// text is longer than this in UTF-8.
inline constexpr std::size_t kMaxNewTextUtf8Bytes = 3 * format::kMaxNewTextLength;

// The texts of one insertion, in order, each checked when added. Like a write
// batch, they go into a database together or not at all.
class NewTexts {
 public:
  // Adds the text at the end, stored as one Windows-1251 byte per character,
  // or refuses it, with the reason in plain words, and keeps the texts as
  // they were: a text that is empty, longer than 45 characters, holds a
  // character Windows-1251 cannot store, a NUL (which would end the text
  // early) or a line break (an entry's text is one line in every list that
  // shows it); and texts that together would add more than the 2 GiB that the
  // 32-bit offsets of any database can address.
  Status Add(std::string_view utf8_text);

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // The texts as a database stores them, one after the other, each ended by a
  // NUL: 2 to 46 bytes a text.
  std::span<const std::byte> stored() const { return stored_; }
  // What the texts add to a database: each text, its NUL and its 8-byte entry.
  std::int64_t growth() const {
    return static_cast<std::int64_t>(stored_.size() + count_ * format::kEntrySize);
  }

 private:
  std::vector<std::byte> stored_;
  std::size_t count_ = 0;
};

}  // namespace orva
