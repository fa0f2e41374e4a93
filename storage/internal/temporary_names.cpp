#include "storage/internal/temporary_names.h"

#include <cstdint>
#include <cstdio>
#include <random>
#include <string_view>

#include "storage/path_text.h"

namespace orva {
namespace {

// The longest name a file system takes: 255 bytes on Linux (NAME_MAX) and
// 255 UTF-16 units on Windows, in the units of the path's native string.
constexpr std::size_t kLongestName = 255;
constexpr std::size_t kRandomDigits = 16;
constexpr std::string_view kTemporarySuffix = ".tmp";

std::string Hex(std::uint64_t value) {
  char digits[kRandomDigits + 1];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(value));
  return digits;
}

// What the names of the temporaries of `path` begin with: the database's
// own name, or where that would make them too long, a hash of it (FNV-1a).
std::string TemporaryPrefix(const std::filesystem::path& path) {
  const std::string name = PathToUtf8(path.filename());
  std::string prefix = "." + name + ".orva-";
  const std::string longest = prefix + std::string(kRandomDigits, '0') + kTemporarySuffix.data();
  if (PathFromUtf8(longest).native().size() <= kLongestName) return prefix;
  std::uint64_t hash = 0xcbf29ce484222325;
  for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3;
  return ".orva-" + Hex(hash) + "-";
}

}  // namespace

std::filesystem::path TemporaryPathFor(const std::filesystem::path& path) {
  std::random_device random;
  const std::uint64_t value = std::uint64_t{random()} << 32 | random();
  return path.parent_path() /
         PathFromUtf8(TemporaryPrefix(path) + Hex(value) + kTemporarySuffix.data());
}

bool IsTemporaryName(const std::string& name, const std::filesystem::path& path) {
  const std::string prefix = TemporaryPrefix(path);
  if (name.size() != prefix.size() + kRandomDigits + kTemporarySuffix.size()) return false;
  if (!name.starts_with(prefix) || !name.ends_with(kTemporarySuffix)) return false;
  for (std::size_t i = prefix.size(); i < prefix.size() + kRandomDigits; ++i) {
    if (std::string_view("0123456789abcdef").find(name[i]) == std::string_view::npos) return false;
  }
  return true;
}

}  // namespace orva
