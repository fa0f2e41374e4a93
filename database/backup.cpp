#include "database/backup.h"

#include <array>
#include <charconv>
#include <utility>

#include "database/durable_file.h"
#include "database/file_system.h"

namespace orva {
namespace {

// The number N of a name FILE.~N~, or 0.
unsigned long NumberOf(std::string_view name, std::string_view file) {
  if (!name.starts_with(file) || !name.ends_with("~")) return 0;
  name.remove_prefix(file.size());
  if (!name.starts_with(".~") || name.size() < 4) return 0;
  const std::string_view digits = name.substr(2, name.size() - 3);
  unsigned long n = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (error != std::errc() || end != digits.data() + digits.size() || digits.front() == '0') {
    return 0;
  }
  return n;
}

// Writes the old contents beside the database under the backup's name, with
// the old file's metadata, flushed before the database is replaced.
Status WriteBackup(FileSystem& fs, int old_fd, std::span<const std::byte> old_bytes,
                   const std::filesystem::path& backup, const std::filesystem::path& path) {
  DurableWrite how;
  how.metadata_from = old_fd;
  how.beside_database = path;
  Result<WrittenFile> written = WriteFileDurably(
      fs, backup, [&](FileWriter& writer) { return writer.Write(old_bytes); }, how);
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
  unsigned long largest = 0;
  for (const std::string& name : names) largest = std::max(largest, NumberOf(name, file));
  const bool numbered =
      policy.kind == BackupKind::kNumbered || (policy.kind == BackupKind::kExisting && largest > 0);
  const std::string name =
      numbered ? file + ".~" + std::to_string(largest + 1) + "~" : file + policy.suffix;
  return path.parent_path() / PathFromUtf8(name);
}

BeforeRename MakeBackup(FileSystem& fs, const BackupPolicy& policy) {
  if (policy.kind == BackupKind::kNone) return {};
  return [&fs, policy](int old_fd, std::span<const std::byte> old_bytes,
                       const std::filesystem::path& path) -> Status {
    Result<std::vector<std::string>> names = fs.ListFolder(path.parent_path());
    if (!names.ok()) return names.status();
    const std::filesystem::path backup = *BackupPath(path, policy, *names);
    return WriteBackup(fs, old_fd, old_bytes, backup, path)
        .Within("cannot make the backup: ", "; the database was not changed");
  };
}

}  // namespace orva
