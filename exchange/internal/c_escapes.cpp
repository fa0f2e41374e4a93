#include "exchange/internal/c_escapes.h"

namespace orva {
namespace {

constexpr std::string_view kNamed = "\\\"\a\b\t\n\v\f\r";
constexpr std::string_view kLetters = "\\\"abtnvfr";

void AppendOctal(std::string& out, unsigned char byte) {
  out += '\\';
  out += static_cast<char>('0' + (byte >> 6));
  out += static_cast<char>('0' + (byte >> 3 & 7));
  out += static_cast<char>('0' + (byte & 7));
}

int Digit(char c, int base) {
  int d = -1;
  if (c >= '0' && c <= '9') d = c - '0';
  if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
  return d < base ? d : -1;
}

}  // namespace

void AppendCEscaped(std::string& out, std::string_view text, OtherControls others) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (const std::size_t at = kNamed.find(text[i]); at != std::string_view::npos) {
      out += '\\';
      out += kLetters[at];
      continue;
    }
    if (others == OtherControls::kOctal) {
      const bool c1_control = byte == 0xC2 && i + 1 < text.size() &&
                              static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                              static_cast<unsigned char>(text[i + 1]) <= 0x9F;
      if (byte < 0x20 || byte == 0x7F) {
        AppendOctal(out, byte);
        continue;
      }
      if (c1_control) {
        AppendOctal(out, byte);
        AppendOctal(out, static_cast<unsigned char>(text[++i]));
        continue;
      }
    }
    out += text[i];
  }
}

std::optional<std::string> AppendCUnescaped(std::string_view text, std::size_t& at,
                                            std::string& out) {
  static constexpr std::string_view kFrom = "\\\"'?abtnvfr";
  static constexpr std::string_view kTo = "\\\"'?\a\b\t\n\v\f\r";
  const char e = text[at];
  if (const std::size_t named = kFrom.find(e); named != std::string_view::npos) {
    out += kTo[named];
    return std::nullopt;
  }
  int value = 0;
  if (Digit(e, 8) >= 0) {
    for (int n = 0; n < 3 && at < text.size() && Digit(text[at], 8) >= 0; ++n, ++at) {
      value = value * 8 + Digit(text[at], 8);
    }
    --at;
    if (value > 0xFF) return "the octal escape stands for no byte";
  } else if (e == 'x' && at + 1 < text.size() && Digit(text[at + 1], 16) >= 0) {
    while (at + 1 < text.size() && Digit(text[at + 1], 16) >= 0) {
      value = value * 16 + Digit(text[++at], 16);
      if (value > 0xFF) return "the hex escape stands for no byte";
    }
  } else {
    return "unknown escape \\" + std::string(1, e);
  }
  out += static_cast<char>(value);
  return std::nullopt;
}

}  // namespace orva
