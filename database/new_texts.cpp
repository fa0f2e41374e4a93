#include "database/new_texts.h"

#include <algorithm>
#include <string>

#include "database/code_page.h"

namespace orva {
namespace {

// The number of characters in valid UTF-8 text (bytes that do not continue a
// sequence).
std::size_t CountCharacters(std::string_view utf8) {
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// A new text as stored, without its NUL, or why it is refused (see NewTexts::Add).
Result<std::vector<std::byte>> EncodeNewText(std::string_view utf8_text) {
  if (utf8_text.empty()) {
    return Status::InvalidText("the text is empty; type 1 to " +
                               std::to_string(format::kMaxNewTextLength) + " characters");
  }
  Result<std::vector<std::byte>> encoded = EncodeWindows1251(utf8_text);
  if (!encoded.ok()) return encoded.status();
  const std::size_t characters = CountCharacters(utf8_text);
  if (characters > format::kMaxNewTextLength || encoded->size() > format::kMaxNewTextLength) {
    return Status::InvalidText("the text has " + std::to_string(characters) +
                               " characters, more than the " +
                               std::to_string(format::kMaxNewTextLength) + " a new entry can hold");
  }
  // One byte per character, so a byte's place is the character's.
  const auto wrong = std::find_if(encoded->begin(), encoded->end(), [](std::byte b) {
    return b == std::byte{0} || b == std::byte{'\n'} || b == std::byte{'\r'};
  });
  if (wrong != encoded->end()) {
    const std::string position = std::to_string(wrong - encoded->begin() + 1);
    if (*wrong == std::byte{0}) {
      return Status::InvalidText("the text holds a NUL character (U+0000) at position " + position +
                                 ", which cannot be stored because it ends a text");
    }
    return Status::InvalidText(std::string("the text holds a line break (") +
                               (*wrong == std::byte{'\n'} ? "a line feed" : "a carriage return") +
                               ") at position " + position + ", but an entry's text is one line");
  }
  return encoded;
}

}  // namespace

Status NewTexts::Add(std::string_view utf8_text) {
  Result<std::vector<std::byte>> text = EncodeNewText(utf8_text);
  if (!text.ok()) return text.status();
  const std::int64_t added = static_cast<std::int64_t>(text->size()) + format::kAddedPerText;
  if (growth() + added > format::kMaxDatabaseSize) {
    return Status::NoRoom("with this text the texts would add " + std::to_string(growth() + added) +
                          " bytes to the database, more than the 2 GiB that its 32-bit offsets "
                          "can address");
  }
  stored_.insert(stored_.end(), text->begin(), text->end());
  stored_.push_back(std::byte{0});
  ++count_;
  return Status::Ok();
}

}  // namespace orva
