// Conversion between UTF-8 (what the library hands to its callers) and the
// single-byte code page Windows-1251 that the databases store their texts in.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/status.h"

namespace orva {

// Decodes Windows-1251 bytes to UTF-8, one character per byte. The one byte
// value the code page leaves unassigned (0x98) becomes U+FFFD.
std::string DecodeWindows1251(std::span<const std::byte> bytes);

// Encodes UTF-8 text to Windows-1251, one byte per character. Fails with
// kInvalidText when the text is not valid UTF-8 or holds a character the code
// page cannot represent; the message names the first such character.
Result<std::vector<std::byte>> EncodeWindows1251(std::string_view utf8);

// Windows-1251 bytes and UTF-8 without loss, for editing and exchange files:
// as DecodeWindows1251, but the byte 0x98, which has no character in the code
// page, is U+0098 (a control character of its own) rather than U+FFFD, and
// back.
std::string ExchangeText(std::span<const std::byte> stored);
// Refuses text that is not UTF-8 or holds a character Windows-1251 cannot
// store, naming it; NUL is refused here too, as it would end the text.
Result<std::vector<std::byte>> StoredText(std::string_view utf8);

// One byte's character, and the byte of a character: U+FFFD for 0x98, which
// has no character, and nullopt for a character the code page lacks.
char32_t Windows1251Character(std::byte byte);
std::optional<std::byte> Windows1251Byte(char32_t character);

// The characters of UTF-8 text; refuses (kInvalidText) what is not UTF-8.
Result<std::u32string> DecodeUtf8(std::string_view utf8);
// How many bytes at the start of `s` are well-formed UTF-8 (s.size() when all
// are): no overlong form, no surrogate, nothing past U+10FFFF.
std::size_t WellFormedUtf8Length(std::string_view s);
// Appends the UTF-8 form of the code point `c` (below U+110000).
void AppendUtf8(std::string& out, char32_t c);

}  // namespace orva
