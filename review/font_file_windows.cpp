// Where FreeType is not built in (the Windows build), a font file is not
// read: the team gives a charset or a BMFont descriptor instead.
#include "review/glyph_set.h"

namespace orva {

Result<GlyphSet> ParseFontFile(std::span<const std::byte>) {
  return Status::Unsupported(
      "this build reads no TrueType or OpenType font; give a charset (a text file of the "
      "font's characters) or the font's BMFont descriptor (.fnt) instead");
}

}  // namespace orva
