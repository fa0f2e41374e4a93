// The characters a game's font can draw, read from what the team has of it:
// a charset (a UTF-8 text file of the characters), an AngelCode BMFont
// descriptor in its text form (.fnt), or a TrueType/OpenType font file.
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

class GlyphSet {
 public:
  bool Has(char32_t c) const { return c < bits_.size() && bits_[c]; }
  void Add(char32_t c);
  std::size_t size() const { return count_; }

 private:
  std::vector<bool> bits_;  // by code point, as far as the largest one added
  std::size_t count_ = 0;
};

// Every character of a UTF-8 text but line breaks (LF, CR), which only
// separate the lines of the file; a byte order mark at the start is no
// character either. Refuses (kInvalidText) what is not UTF-8.
Result<GlyphSet> ParseCharset(std::string_view utf8);

// The characters of the `char id=N` lines of a BMFont descriptor in text
// form. Refuses (kMalformed) a file that is not one: the binary form
// ("BMF\3"), or text with no `info` or `char` line.
Result<GlyphSet> ParseBmFont(std::string_view text);

// The characters a TrueType or OpenType font maps to a glyph other than the
// missing-glyph one, through its Unicode character map. Read with FreeType
// on Linux; elsewhere refused (kUnsupported) with a plain reason.
Result<GlyphSet> ParseFontFile(std::span<const std::byte> bytes);

// Reads the file at `path` through `fs` and parses it by its name: .fnt a
// BMFont descriptor, .ttf, .otf, .ttc and .otc a font file, anything else a
// charset. Refusals name the file.
Result<GlyphSet> ReadGlyphSet(const std::filesystem::path& path,
                              FileSystem& fs = DefaultFileSystem());

}  // namespace orva
