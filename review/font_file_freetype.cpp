// Font files read with FreeType, on the systems that have it.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <memory>

#include "review/glyph_set.h"

namespace orva {
namespace {

struct LibraryDone {
  void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
struct FaceDone {
  void operator()(FT_Face face) const { FT_Done_Face(face); }
};

}  // namespace

Result<GlyphSet> ParseFontFile(std::span<const std::byte> bytes) {
  FT_Library raw_library = nullptr;
  if (FT_Init_FreeType(&raw_library) != 0) return Status::NoMemory("start FreeType");
  const std::unique_ptr<FT_LibraryRec_, LibraryDone> library(raw_library);
  FT_Face raw_face = nullptr;
  if (FT_New_Memory_Face(library.get(), reinterpret_cast<const FT_Byte*>(bytes.data()),
                         static_cast<FT_Long>(bytes.size()), 0, &raw_face) != 0) {
    return Status::Malformed("FreeType cannot read it as a TrueType or OpenType font");
  }
  const std::unique_ptr<FT_FaceRec_, FaceDone> face(raw_face);
  if (FT_Select_Charmap(face.get(), FT_ENCODING_UNICODE) != 0) {
    return Status::Malformed("the font has no Unicode character map");
  }
  GlyphSet set;
  FT_UInt glyph = 0;
  for (FT_ULong c = FT_Get_First_Char(face.get(), &glyph); glyph != 0;
       c = FT_Get_Next_Char(face.get(), c, &glyph)) {
    if (c <= 0x10FFFF) set.Add(static_cast<char32_t>(c));
  }
  return set;
}

}  // namespace orva
