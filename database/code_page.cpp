#include "database/code_page.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace orva {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::byte kNoCharacter{0x98};  // the byte Windows-1251 leaves unassigned
constexpr std::string_view kNoCharacterUtf8 = "\xC2\x98";  // U+0098

// Unicode code points of the bytes 0x80 ... 0xFF; the lower half is ASCII.
constexpr std::array<char16_t, 128> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98 (0x98 unassigned)
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // 0xC0 А...
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // 0xC8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // 0xD0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // 0xD8 ...Я
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // 0xE0 а...
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // 0xE8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // 0xF0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // 0xF8 ...я
};

// Reads one UTF-8 character at `pos`, advancing it; nullopt for a malformed,
// overlong or surrogate sequence.
std::optional<char32_t> NextUtf8(std::string_view s, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(s[pos]);
  int extra;
  char32_t c;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, c = lead & 0x07;
  } else {
    return std::nullopt;
  }
  if (s.size() - pos <= static_cast<std::size_t>(extra)) return std::nullopt;
  for (int i = 1; i <= extra; ++i) {
    const auto cont = static_cast<unsigned char>(s[pos + i]);
    if ((cont & 0xC0) != 0x80) return std::nullopt;
    c = c << 6 | (cont & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  pos += extra + 1;
  return c;
}

// The upper half the other way round: each character with its byte, by
// character, for a binary search.
struct ByCharacter {
  char16_t character;
  std::uint8_t byte;
};
constexpr std::array<ByCharacter, 128> kByCharacter = [] {
  std::array<ByCharacter, 128> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i] = {kUpperHalf[i], static_cast<std::uint8_t>(0x80 + i)};
  }
  std::sort(table.begin(), table.end(),
            [](const ByCharacter& a, const ByCharacter& b) { return a.character < b.character; });
  return table;
}();

std::optional<std::byte> ToWindows1251(char32_t c) {
  if (c < 0x80) return static_cast<std::byte>(c);
  // А ... я, most of a Russian text, lie in one run at 0xC0 ... 0xFF.
  if (c >= 0x0410 && c <= 0x044F) return static_cast<std::byte>(0xC0 + (c - 0x0410));
  if (c == kReplacement || c > 0xFFFF) return std::nullopt;  // U+FFFD stands for 0x98 only
  const auto* found = std::lower_bound(
      kByCharacter.begin(), kByCharacter.end(), c,
      [](const ByCharacter& entry, char32_t wanted) { return entry.character < wanted; });
  if (found == kByCharacter.end() || found->character != c) return std::nullopt;
  return static_cast<std::byte>(found->byte);
}

// The character quoted as it was typed (its own UTF-8 bytes), then its code.
std::string Describe(std::string_view typed, char32_t c) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  return "\"" + std::string(typed) + "\" (" + code + ")";
}

}  // namespace

char32_t Windows1251Character(std::byte byte) {
  const auto v = std::to_integer<unsigned>(byte);
  return v < 0x80 ? v : kUpperHalf[v - 0x80];
}

std::optional<std::byte> Windows1251Byte(char32_t character) { return ToWindows1251(character); }

Result<std::u32string> DecodeUtf8(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const std::size_t at = pos;
    const std::optional<char32_t> c = NextUtf8(utf8, pos);
    if (!c) {
      return Status::InvalidText("the text is not valid UTF-8 at byte " + std::to_string(at + 1));
    }
    out += *c;
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::size_t WellFormedUtf8Length(std::string_view s) {
  std::size_t pos = 0;
  while (pos < s.size()) {
    const std::size_t at = pos;
    if (!NextUtf8(s, pos)) return at;
  }
  return pos;
}

std::string DecodeWindows1251(std::span<const std::byte> bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::byte b : bytes) AppendUtf8(out, Windows1251Character(b));
  return out;
}

Result<std::vector<std::byte>> EncodeWindows1251(std::string_view utf8) {
  std::vector<std::byte> out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::size_t at = pos;
    const std::optional<char32_t> c = NextUtf8(utf8, pos);
    if (!c) {
      return Status::InvalidText("the text is not valid UTF-8 at byte " + std::to_string(at + 1));
    }
    const std::optional<std::byte> b = ToWindows1251(*c);
    if (!b) {
      return Status::InvalidText("the character " + Describe(utf8.substr(at, pos - at), *c) +
                                 " cannot be stored in the database's code page, Windows-1251");
    }
    out.push_back(*b);
  }
  return out;
}

std::string ExchangeText(std::span<const std::byte> stored) {
  std::string out;
  while (!stored.empty()) {
    const auto at = std::find(stored.begin(), stored.end(), kNoCharacter);
    out += DecodeWindows1251(stored.first(static_cast<std::size_t>(at - stored.begin())));
    if (at == stored.end()) break;
    out += kNoCharacterUtf8;
    stored = stored.subspan(static_cast<std::size_t>(at - stored.begin()) + 1);
  }
  return out;
}

Result<std::vector<std::byte>> StoredText(std::string_view utf8) {
  if (const std::size_t nul = utf8.find('\0'); nul != std::string_view::npos) {
    return Status::InvalidText("the text holds a NUL character (U+0000) at byte " +
                               std::to_string(nul + 1) + ", which would end it early");
  }
  std::vector<std::byte> out;
  for (;;) {
    const std::size_t at = utf8.find(kNoCharacterUtf8);
    Result<std::vector<std::byte>> part = EncodeWindows1251(utf8.substr(0, at));
    if (!part.ok()) return part.status();
    out.insert(out.end(), part->begin(), part->end());
    if (at == std::string_view::npos) return out;
    out.push_back(kNoCharacter);
    utf8.remove_prefix(at + kNoCharacterUtf8.size());
  }
}

}  // namespace orva
