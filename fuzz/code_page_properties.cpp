#include <algorithm>
#include <string>
#include <vector>

#include "database/code_page.h"
#include "fuzz/properties.h"
#include "fuzz/utf8_count.h"

namespace orva::fuzz {
namespace {

constexpr std::byte kUnassigned{0x98};
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD

std::string AsString(std::span<const std::byte> bytes) {
  std::string s(bytes.size(), '\0');
  std::transform(bytes.begin(), bytes.end(), s.begin(),
                 [](std::byte b) { return static_cast<char>(b); });
  return s;
}

bool SameBytes(std::span<const std::byte> a, std::span<const std::byte> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// Code page bytes -> UTF-8 -> code page bytes.
Status CheckDecodeThenEncode(std::span<const std::byte> bytes) {
  const std::string utf8 = DecodeWindows1251(bytes);
  const std::optional<std::size_t> chars = CountUtf8Characters(utf8);
  if (!chars || *chars != bytes.size()) {
    return Status::Malformed("decoding " + std::to_string(bytes.size()) +
                             " bytes did not give one UTF-8 character per byte");
  }
  const auto unassigned = std::count(bytes.begin(), bytes.end(), kUnassigned);
  const Result<std::vector<std::byte>> encoded = EncodeWindows1251(utf8);
  if (unassigned > 0) {
    std::size_t replacements = 0;
    for (auto at = utf8.find(kReplacementUtf8); at != std::string::npos;
         at = utf8.find(kReplacementUtf8, at + 1)) {
      ++replacements;
    }
    if (replacements != static_cast<std::size_t>(unassigned)) {
      return Status::Malformed("the unassigned byte 0x98 did not decode to U+FFFD");
    }
    if (encoded.ok()) return Status::Malformed("U+FFFD was encoded although no byte stands for it");
    return Status::Ok();
  }
  if (!encoded.ok()) {
    return Status::Malformed("decoded bytes did not encode back: " + encoded.status().message());
  }
  if (!SameBytes(*encoded, bytes)) {
    return Status::Malformed("decoding then encoding changed the bytes");
  }
  return Status::Ok();
}

// UTF-8 -> code page bytes -> UTF-8, on the same bytes read as a user's text.
Status CheckEncodeThenDecode(std::span<const std::byte> bytes) {
  const std::string utf8 = AsString(bytes);
  const Result<std::vector<std::byte>> encoded = EncodeWindows1251(utf8);
  if (!encoded.ok()) {
    if (encoded.status().kind() != ErrorKind::kInvalidText || encoded.status().message().empty()) {
      return Status::Malformed("a refused text was not refused as invalid text with a reason");
    }
    return Status::Ok();
  }
  const std::optional<std::size_t> chars = CountUtf8Characters(utf8);
  if (!chars || *chars != encoded->size()) {
    return Status::Malformed("an accepted text did not encode to one byte per character");
  }
  if (std::find(encoded->begin(), encoded->end(), kUnassigned) != encoded->end()) {
    return Status::Malformed("a text was encoded with the unassigned byte 0x98");
  }
  if (DecodeWindows1251(*encoded) != utf8) {
    return Status::Malformed("encoding then decoding changed the text");
  }
  return Status::Ok();
}

}  // namespace

Status CheckCodePageRoundTrip(std::span<const std::byte> bytes) {
  if (Status s = CheckDecodeThenEncode(bytes); !s.ok()) return s;
  return CheckEncodeThenDecode(bytes);
}

}  // namespace orva::fuzz
