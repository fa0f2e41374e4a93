#include "tests/support/database_builder.h"

#include "database/code_page.h"
#include "database/little_endian.h"

namespace orva::test_support {

DatabaseBuilder& DatabaseBuilder::Entry(std::int32_t id, std::string_view utf8_text) {
  auto encoded = EncodeWindows1251(utf8_text);
  std::string bytes;
  for (std::byte b : encoded.value()) bytes += static_cast<char>(b);
  return RawEntry(id, bytes);
}

std::vector<std::byte> DatabaseBuilder::Build() const {
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

std::vector<std::byte> Bytes(std::string_view s) {
  std::vector<std::byte> out;
  for (char c : s) out.push_back(static_cast<std::byte>(c));
  return out;
}

}  // namespace orva::test_support
