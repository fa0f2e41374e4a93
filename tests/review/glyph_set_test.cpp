// What the game's font covers, from each kind of file a team may have.
#include "review/glyph_set.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

TEST(GlyphSet, ABmFontDescriptorGivesTheCharactersOfItsCharLines) {
  const Result<GlyphSet> set = ParseBmFont(
      "info face=\"Game\" size=16 bold=0 charset=\"\" unicode=1\r\n"
      "common lineHeight=18 base=14 scaleW=256 scaleH=256 pages=1\r\n"
      "page id=0 file=\"game_0.png\"\r\n"
      "chars count=3\r\n"
      "char id=65   x=0 y=0 width=8 height=12 xoffset=0 yoffset=2 xadvance=9 page=0 chnl=15\r\n"
      "char id=1078 x=9 y=0 width=8 height=12 xoffset=0 yoffset=2 xadvance=9 page=0 chnl=15\r\n"
      "char id=32 x=0 y=0 width=0 height=0 xoffset=0 yoffset=0 xadvance=4 page=0 chnl=15\r\n"
      "kernings count=1\r\n"
      "kerning first=65 second=1078 amount=-1\r\n");
  ASSERT_TRUE(set.ok()) << set.status().message();
  EXPECT_EQ(set->size(), 3u);
  EXPECT_TRUE(set->Has(U'A'));
  EXPECT_TRUE(set->Has(U'ж'));
  EXPECT_TRUE(set->Has(U' '));
  EXPECT_FALSE(set->Has(U'B'));  // no kerning or page line adds a character
  EXPECT_FALSE(set->Has(0));

  EXPECT_FALSE(ParseBmFont(std::string("BMF\x03", 4)).ok());  // the binary form
  EXPECT_FALSE(ParseBmFont("a charset, not a descriptor").ok());
  EXPECT_FALSE(ParseBmFont("info face=x\nchar id=z x=0\n").ok());
}

TEST(GlyphSet, ACharsetIsItsCharactersButLineBreaks) {
  const Result<GlyphSet> set = ParseCharset("AБ\n\r в");
  ASSERT_TRUE(set.ok());
  EXPECT_EQ(set->size(), 4u);
  EXPECT_TRUE(set->Has(U' '));
  EXPECT_FALSE(set->Has(U'\n'));
  EXPECT_FALSE(set->Has(0x10FFFF));
  EXPECT_FALSE(ParseCharset("\xC0\xAF").ok());  // not UTF-8
}

#ifndef _WIN32
// A TrueType font made here by fontTools (Debian's python3-fonttools), with
// glyphs for some characters alone: FreeType must see exactly those.
TEST(GlyphSet, AFontFileCoversTheCharactersItsCharacterMapHas) {
  test_support::TempDir dir;
  const std::string font = (dir / "game.ttf").string();
  const std::string script =
      "from fontTools.fontBuilder import FontBuilder\n"
      "from fontTools.pens.ttGlyphPen import TTGlyphPen\n"
      "import sys\n"
      "codes = [int(c, 16) for c in sys.argv[2:]]\n"
      "names = ['.notdef'] + ['g%d' % i for i in range(len(codes))]\n"
      "fb = FontBuilder(1000, isTTF=True)\n"
      "fb.setupGlyphOrder(names)\n"
      "fb.setupCharacterMap({c: 'g%d' % i for i, c in enumerate(codes)})\n"
      "pen = TTGlyphPen(None)\n"
      "pen.moveTo((0, 0)); pen.lineTo((0, 500)); pen.lineTo((400, 500)); pen.closePath()\n"
      "fb.setupGlyf({n: pen.glyph() for n in names})\n"
      "fb.setupHorizontalMetrics({n: (500, 0) for n in names})\n"
      "fb.setupHorizontalHeader(ascent=800, descent=-200)\n"
      "fb.setupNameTable({'familyName': 'OrvaTest', 'styleName': 'Regular'})\n"
      "fb.setupOS2()\n"
      "fb.setupPost()\n"
      "fb.save(sys.argv[1])\n";
  test_support::WriteFileBytes(dir / "make_font.py", test_support::Bytes(script));
  // A, z, space, Ж, ё, №
  // The system's Python, which Debian's package serves (not one of a user's own).
  const std::string command = "/usr/bin/python3 '" + (dir / "make_font.py").string() + "' '" +
                              font + "' 41 7A 20 416 451 2116";
  // NOLINTNEXTLINE(cert-env33-c): the font is made by a real tool, run by the shell
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  const Result<GlyphSet> set = ReadGlyphSet(font);
  ASSERT_TRUE(set.ok()) << set.status().message();
  EXPECT_EQ(set->size(), 6u);
  for (char32_t c : std::u32string(U"Az Жё№")) EXPECT_TRUE(set->Has(c)) << static_cast<int>(c);
  for (char32_t c : std::u32string(U"aZжЁ?")) EXPECT_FALSE(set->Has(c)) << static_cast<int>(c);

  // Named .fnt, the same bytes are refused as a descriptor; a damaged font
  // is refused by FreeType, naming the file.
  std::filesystem::copy_file(font, dir / "game.fnt");
  EXPECT_FALSE(ReadGlyphSet(dir / "game.fnt").ok());
  std::vector<std::byte> bytes = test_support::ReadFileBytes(font);
  bytes.resize(40);
  test_support::WriteFileBytes(dir / "cut.ttf", bytes);
  const Result<GlyphSet> cut = ReadGlyphSet(dir / "cut.ttf");
  ASSERT_FALSE(cut.ok());
  EXPECT_NE(cut.status().message().find("cut.ttf"), std::string::npos);
}
#endif

}  // namespace
}  // namespace orva
