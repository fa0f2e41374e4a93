#include "database/code_page.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace orva {
namespace {

// The system's own converter, as a second opinion on every byte.
std::string IconvDecode(unsigned char byte) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv_open's own failure value
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  char in[1] = {static_cast<char>(byte)};
  char out[8] = {};
  char* in_ptr = in;
  char* out_ptr = out;
  std::size_t in_left = 1, out_left = sizeof out;
  const std::size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) return "unmapped";
  return std::string(out, sizeof out - out_left);
}

TEST(CodePage, EveryByteDecodesAsTheSystemConverterDoes) {
  for (int b = 1; b < 256; ++b) {
    const std::byte byte{static_cast<unsigned char>(b)};
    const std::string expected = IconvDecode(static_cast<unsigned char>(b));
    const std::string ours = DecodeWindows1251({&byte, 1});
    if (expected == "unmapped") {
      EXPECT_EQ(ours, "\uFFFD") << "byte " << b;
    } else {
      EXPECT_EQ(ours, expected) << "byte " << b;
    }
  }
}

TEST(CodePage, EveryMappedByteSurvivesARoundTrip) {
  for (int b = 0; b < 256; ++b) {
    if (b == 0x98) continue;
    const std::byte byte{static_cast<unsigned char>(b)};
    const auto encoded = EncodeWindows1251(DecodeWindows1251({&byte, 1}));
    ASSERT_TRUE(encoded.ok()) << "byte " << b << ": " << encoded.status().message();
    ASSERT_EQ(encoded->size(), 1u);
    EXPECT_EQ((*encoded)[0], byte);
  }
}

TEST(CodePage, EncodesRussianTextOneBytePerCharacter) {
  const auto encoded = EncodeWindows1251("Новая миссия №1");
  ASSERT_TRUE(encoded.ok());
  ASSERT_EQ(encoded->size(), 15u);
  EXPECT_EQ((*encoded)[0], std::byte{0xCD});   // Н
  EXPECT_EQ((*encoded)[13], std::byte{0xB9});  // №
}

TEST(CodePage, RefusesWhatItCannotRepresentAndNamesIt) {
  const auto chinese = EncodeWindows1251("ab漢c");
  ASSERT_FALSE(chinese.ok());
  EXPECT_EQ(chinese.status().kind(), ErrorKind::kInvalidText);
  EXPECT_NE(chinese.status().message().find("漢"), std::string::npos);
  EXPECT_NE(chinese.status().message().find("U+6F22"), std::string::npos);

  // U+FFFD only stands for the unassigned byte on the way in; it is no character to store.
  EXPECT_FALSE(EncodeWindows1251("\uFFFD").ok());
  const auto emoji = EncodeWindows1251("emoji \U0001F600");
  ASSERT_FALSE(emoji.ok());
  EXPECT_NE(emoji.status().message().find("\"\U0001F600\" (U+1F600)"), std::string::npos)
      << emoji.status().message();
}

TEST(CodePage, RefusesMalformedUtf8) {
  for (std::string bad : {"\xD0", "\xC0\xAF", "\xED\xA0\x80", "\xF8\x88\x80\x80\x80", "a\x80"}) {
    const auto encoded = EncodeWindows1251(bad);
    EXPECT_FALSE(encoded.ok()) << bad;
    EXPECT_NE(encoded.status().message().find("UTF-8"), std::string::npos);
  }
}

}  // namespace
}  // namespace orva
