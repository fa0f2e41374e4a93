#include "database/code_page.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>
#include <string_view>

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

// Every character of the Basic Multilingual Plane and a few past it: the
// byte the system's converter makes of it, or none where it makes none.
TEST(CodePage, EveryCharacterEncodesAsTheSystemConverterDoes) {
  iconv_t cd = iconv_open("WINDOWS-1251", "UTF-32LE");
  // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv_open's own failure value
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  for (char32_t c = 1; c <= 0x10100; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;  // no character
    char in[4];
    for (int i = 0; i < 4; ++i) in[i] = static_cast<char>(c >> (8 * i) & 0xFF);
    char out[8];
    char* in_ptr = in;
    char* out_ptr = out;
    std::size_t in_left = sizeof in, out_left = sizeof out;
    const bool mapped =
        iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<std::size_t>(-1) &&
        out_left == sizeof out - 1;
    const std::optional<std::byte> ours = Windows1251Byte(c);
    if (mapped) {
      EXPECT_EQ(ours, std::byte{static_cast<unsigned char>(out[0])}) << "U+" << std::hex << +c;
    } else {
      EXPECT_EQ(ours, std::nullopt) << "U+" << std::hex << +c;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
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

// Among them overlong forms of '/', and sequences cut short at the end of a
// view whose buffer goes on with the bytes they lack.
TEST(CodePage, RefusesMalformedUtf8) {
  const std::string_view cut_short = "a\xD0\x90\xE2\x82\xAC";
  for (std::string_view bad : std::initializer_list<std::string_view>{
           "\xD0", "\xC0\xAF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xED\xA0\x80",
           "\xF8\x88\x80\x80\x80", "a\x80", cut_short.substr(0, 2), cut_short.substr(0, 5)}) {
    const auto encoded = EncodeWindows1251(bad);
    EXPECT_FALSE(encoded.ok()) << ::testing::PrintToString(bad);
    EXPECT_NE(encoded.status().message().find("UTF-8"), std::string::npos);
  }
}

}  // namespace
}  // namespace orva
