#include "spelling/words.h"

#include <algorithm>

namespace orva {
namespace {

bool IsDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
bool IsAsciiLetter(char32_t c) { return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z'); }
bool IsLetter(char32_t c) { return IsCyrillicLetter(c) || IsLatinLetter(c); }
bool IsSpace(char32_t c) { return c <= U' ' || c == 0x85 || c == 0xA0 || c == 0x2028; }
bool IsJoiner(char32_t c) { return c == U'\'' || c == 0x2019 || c == U'-'; }
bool IsUpper(char32_t c) {
  return (c >= U'A' && c <= U'Z') || (c >= 0x0410 && c <= 0x042F) || c == 0x0401 ||
         (c >= 0xC0 && c <= 0xDE && c != 0xD7);
}
bool IsLower(char32_t c) { return IsLetter(c) && !IsUpper(c); }

// Where a printf-style marker that starts at text[i] == '%' ends, or i when
// none does: %% and %1, or flags, width, precision, length and a conversion.
std::size_t FormatMarkerEnd(std::u32string_view text, std::size_t i) {
  std::size_t j = i + 1;
  if (j < text.size() && text[j] == U'%') return j + 1;
  const std::size_t digits_from = j;
  while (j < text.size() && IsDigit(text[j])) ++j;
  if (j > digits_from && (j == text.size() || text[j] != U'$')) {
    // %1 alone, or a width followed by a conversion (%5d).
    if (j < text.size() &&
        std::u32string_view(U"diouxXeEfFgGaAcsp").find(text[j]) != std::u32string_view::npos) {
      return j + 1;
    }
    return j;
  }
  if (j > digits_from) ++j;  // %1$s
  while (j < text.size() &&
         std::u32string_view(U"-+ #0").find(text[j]) != std::u32string_view::npos)
    ++j;
  while (j < text.size() && (IsDigit(text[j]) || text[j] == U'*')) ++j;
  if (j < text.size() && text[j] == U'.') {
    ++j;
    while (j < text.size() && (IsDigit(text[j]) || text[j] == U'*')) ++j;
  }
  while (j < text.size() &&
         std::u32string_view(U"hlLqjzt").find(text[j]) != std::u32string_view::npos)
    ++j;
  if (j < text.size() &&
      std::u32string_view(U"diouxXeEfFgGaAcspn@").find(text[j]) != std::u32string_view::npos) {
    return j + 1;
  }
  return i;
}

// Where a bracketed piece that opens at text[i] ends (past `close`), or i: no
// longer than `longest`, on one line, no second `open` inside, and for a tag
// a letter, "/" or "!" right after the "<".
std::size_t BracketedEnd(std::u32string_view text, std::size_t i, char32_t open, char32_t close,
                         std::size_t longest, bool spaces_inside) {
  if (i + 1 >= text.size()) return i;
  if (open == U'<') {
    const char32_t first = text[i + 1];
    if (!IsAsciiLetter(first) && first != U'/' && first != U'!') return i;
  }
  const std::size_t last = std::min(text.size(), i + longest);
  for (std::size_t j = i + 1; j < last; ++j) {
    const char32_t c = text[j];
    if (c == close) return j > i + 1 ? j + 1 : i;
    if (c == open || c == U'\n' || c == U'\r' || (!spaces_inside && IsSpace(c))) return i;
  }
  return i;
}

// Where an entity (&amp; &#160;) that starts at text[i] ends, or i.
std::size_t EntityEnd(std::u32string_view text, std::size_t i) {
  std::size_t j = i + 1;
  if (j < text.size() && text[j] == U'#') ++j;
  const std::size_t name_from = j;
  while (j < text.size() && j - name_from < 10 && (IsAsciiLetter(text[j]) || IsDigit(text[j]))) ++j;
  return j > name_from && j < text.size() && text[j] == U';' ? j + 1 : i;
}

std::size_t SpaceAfter(std::u32string_view text, std::size_t i) {
  while (i < text.size() && !IsSpace(text[i])) ++i;
  return i;
}

}  // namespace

bool IsCyrillicLetter(char32_t c) {
  return (c >= 0x0400 && c <= 0x045F) || (c >= 0x0490 && c <= 0x04FF);
}

bool IsLatinLetter(char32_t c) {
  return IsAsciiLetter(c) || (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7);
}

std::vector<Word> FindWords(std::u32string_view text) {
  std::vector<Word> words;
  std::size_t i = 0;
  while (i < text.size()) {
    const char32_t c = text[i];
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    std::size_t end = i;
    switch (c) {
      case U'%':
        end = FormatMarkerEnd(text, i);
        break;
      case U'{':
        end = BracketedEnd(text, i, U'{', U'}', 40, false);
        break;
      case U'<':
        end = BracketedEnd(text, i, U'<', U'>', 200, true);
        break;
      case U'&':
        end = EntityEnd(text, i);
        break;
      case U'\\':
        end = i + 1 < text.size() && IsAsciiLetter(text[i + 1]) ? i + 2 : i;
        break;
      case U'@':
        end = SpaceAfter(text, i);
        break;
      default:
        break;
    }
    if (end > i) {
      i = end;
      continue;
    }
    if (!IsLetter(c) && !IsDigit(c) && c != U'_') {
      ++i;
      continue;
    }

    // A token: letters, digits and "_", with joiners between letters.
    const std::size_t from = i;
    bool id = false;
    bool camel = false;
    std::size_t cyrillic = 0;
    std::size_t latin = 0;
    while (i < text.size()) {
      const char32_t t = text[i];
      if (IsLetter(t)) {
        if (IsCyrillicLetter(t)) {
          ++cyrillic;
        } else {
          ++latin;
        }
        if (i > from && IsUpper(t) && IsLower(text[i - 1])) camel = true;
      } else if (IsDigit(t) || t == U'_') {
        id = true;
      } else if (!(IsJoiner(t) && i > from && i + 1 < text.size() && IsLetter(text[i - 1]) &&
                   IsLetter(text[i + 1]))) {
        break;
      }
      ++i;
    }
    const std::size_t to = i;
    const bool dotted = to + 1 < text.size() && text[to] == U'.' && IsLetter(text[to + 1]);
    const bool address = (to + 2 < text.size() && text.substr(to, 3) == U"://") ||
                         (to < text.size() && text[to] == U'@');
    if (dotted || address) {
      i = SpaceAfter(text, to);
      continue;
    }
    if (id || camel) continue;
    words.push_back(
        {from, to, cyrillic >= latin ? SpellingLanguage::kRussian : SpellingLanguage::kEnglish});
  }
  return words;
}

}  // namespace orva
