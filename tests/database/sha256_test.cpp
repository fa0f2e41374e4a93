#include "database/sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/database_builder.h"

namespace orva {
namespace {

using test_support::Bytes;

// The message in pieces of `piece` bytes, so that every way a block can be
// split between two calls is met.
std::string InPieces(const std::string& message, std::size_t piece) {
  Sha256 hasher;
  const std::vector<std::byte> bytes = Bytes(message);
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    hasher.Update(std::span(bytes).subspan(at, std::min(piece, bytes.size() - at)));
  }
  return HexDigest(hasher.Finish());
}

// The examples of FIPS 180-2 (appendix B): one block, two blocks, and a
// million 'a's; whole and in pieces of every size up to two blocks.
TEST(Sha256, GivesTheDigestsOfTheStandardsExamples) {
  const std::pair<std::string, std::string> examples[] = {
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"}};
  for (const auto& [message, digest] : examples) {
    EXPECT_EQ(HexDigest(Sha256Of(Bytes(message))), digest) << message.size() << " bytes";
    for (std::size_t piece = 1; piece <= 128 && message.size() < 100; ++piece) {
      ASSERT_EQ(InPieces(message, piece), digest) << "pieces of " << piece;
    }
  }
  EXPECT_EQ(InPieces(std::string(1000000, 'a'), 997), examples[2].second);
  // The hasher starts afresh after Finish.
  Sha256 hasher;
  hasher.Update(Bytes("junk"));
  (void)hasher.Finish();
  hasher.Update(Bytes("abc"));
  EXPECT_EQ(HexDigest(hasher.Finish()), examples[0].second);
}

TEST(Sha256, ReadsBackOnlyWhatItsHexDigestsLookLike) {
  const Sha256Digest digest = Sha256Of(Bytes("abc"));
  const std::string hex = HexDigest(digest);
  EXPECT_EQ(DigestFromHex(hex), digest);
  std::string upper = hex;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(DigestFromHex(upper), digest);
  EXPECT_EQ(DigestFromHex(hex.substr(1)), std::nullopt);
  EXPECT_EQ(DigestFromHex(hex + "0"), std::nullopt);
  EXPECT_EQ(DigestFromHex("g" + hex.substr(1)), std::nullopt);
  EXPECT_EQ(DigestFromHex(""), std::nullopt);
}

}  // namespace
}  // namespace orva
