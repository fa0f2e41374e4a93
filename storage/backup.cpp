#include "storage/backup.h"

#include <array>
#include <string>
#include <utility>

#include "storage/durable_file.h"
#include "storage/file_system.h"

namespace orva {
namespace {

// The number N of a name FILE.~N~ as its digits, or nothing: a number from 1
// without leading zeros, of any length, as GNU counts backups (past the
// largest integer too).
std::string_view NumberOf(std::string_view name, std::string_view file) {
  if (!name.starts_with(file) || !name.ends_with("~")) return {};
  name.remove_prefix(file.size());
  if (!name.starts_with(".~") || name.size() < 4) return {};
  const std::string_view digits = name.substr(2, name.size() - 3);
  if (digits.front() == '0') return {};
  for (const char c : digits) {
    if (c < '0' || c > '9') return {};
  }
  return digits;
}

// Whether the number `a` is larger than `b`, both as NumberOf gives them
// (nothing counts as 0): the longer is, or of two as long, the one with the
// larger digit first.
bool Larger(std::string_view a, std::string_view b) {
  return a.size() != b.size() ? a.size() > b.size() : a > b;
}

// The number one above `digits` (nothing counts as 0), in decimal digits.
std::string OneAbove(std::string_view digits) {
  std::string next(digits);
  auto digit = next.rbegin();
  for (; digit != next.rend() && *digit == '9'; ++digit) *digit = '0';
  if (digit == next.rend()) return "1" + next;
  ++*digit;
  return next;
}

// Writes the old contents beside the database under the backup's name, with
// the old file's metadata, flushed before the database is replaced.
Status WriteBackup(FileSystem& fs, int old_fd, const OldContents& old,
                   const std::filesystem::path& backup, const std::filesystem::path& path) {
  DurableWrite how;
  how.metadata_from = old_fd;
  how.beside_database = path;
  Result<WrittenFile> written = WriteFileDurably(
      backup,
      [&](FileWriter& writer) {
        return old.ForEachBlock(
            [&](std::span<const std::byte> block) { return writer.Write(block); });
      },
      how, fs);
  return written.status();
}

}  // namespace

std::optional<BackupKind> ParseBackupControl(std::string_view control) {
  static constexpr std::array<std::pair<std::string_view, BackupKind>, 8> kWords = {{
      {"none", BackupKind::kNone},
      {"off", BackupKind::kNone},
      {"numbered", BackupKind::kNumbered},
      {"t", BackupKind::kNumbered},
      {"existing", BackupKind::kExisting},
      {"nil", BackupKind::kExisting},
      {"simple", BackupKind::kSimple},
      {"never", BackupKind::kSimple},
  }};
  std::optional<BackupKind> found;
  for (const auto& [word, kind] : kWords) {
    if (word == control) return kind;
    if (!control.empty() && word.starts_with(control)) {
      if (found && *found != kind) return std::nullopt;  // ambiguous
      found = kind;
    }
  }
  return found;
}

std::string ValidBackupSuffix(std::string_view suffix) {
  if (suffix.empty() || suffix.find('/') != std::string_view::npos) return "~";
#ifdef _WIN32
  if (suffix.find('\\') != std::string_view::npos) return "~";
#endif
  return std::string(suffix);
}

std::optional<std::filesystem::path> BackupPath(const std::filesystem::path& path,
                                                const BackupPolicy& policy,
                                                const std::vector<std::string>& names) {
  if (policy.kind == BackupKind::kNone) return std::nullopt;
  const std::string file = PathToUtf8(path.filename());
  std::string_view largest;
  for (const std::string& name : names) {
    if (const std::string_view n = NumberOf(name, file); Larger(n, largest)) largest = n;
  }
  const bool numbered = policy.kind == BackupKind::kNumbered ||
                        (policy.kind == BackupKind::kExisting && !largest.empty());
  const std::string name = numbered ? file + ".~" + OneAbove(largest) + "~" : file + policy.suffix;
  return path.parent_path() / PathFromUtf8(name);
}

BeforeRename MakeBackup(const BackupPolicy& policy, FileSystem& fs) {
  if (policy.kind == BackupKind::kNone) return {};
  return [&fs, policy](int old_fd, const OldContents& old,
                       const std::filesystem::path& path) -> Status {
    Result<std::vector<std::string>> names = fs.ListFolder(path.parent_path());
    if (!names.ok()) return names.status();
    const std::filesystem::path backup = *BackupPath(path, policy, *names);
    return WriteBackup(fs, old_fd, old, backup, path)
        .Within("cannot make the backup: ", "; the database was not changed");
  };
}

}  // namespace orva
