#include "storage/durable_file.h"

#include <new>
#include <optional>

#include "storage/internal/file_replacement.h"
#include "storage/internal/temporary_names.h"
#include "storage/no_memory.h"
#include "storage/quote.h"

namespace orva {
namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

// The path with links resolved, and what it names, if anything: a path that
// names nothing yet resolves through its folder.
struct Target {
  std::filesystem::path path;
  std::optional<FileInfo> existing;
};

Result<Target> Resolve(FileSystem& fs, const std::filesystem::path& path) {
  Result<std::filesystem::path> resolved = fs.ResolvePath(path);
  if (resolved.ok()) {
    Result<FileInfo> info = fs.Stat(*resolved);
    if (!info.ok()) return info.status();
    return Target{*resolved, *info};
  }
  if (resolved.status().kind() != ErrorKind::kNotFound) return resolved.status();
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  Result<std::filesystem::path> resolved_folder = fs.ResolvePath(folder);
  if (!resolved_folder.ok()) return resolved_folder.status();
  return Target{*resolved_folder / path.filename(), std::nullopt};
}

Status CheckTarget(FileSystem& fs, const Target& target, const std::filesystem::path& path,
                   const std::vector<InputFile>& inputs) {
  if (!target.existing) return Status::Ok();
  for (const InputFile& input : inputs) {
    if (target.existing->SameFile(input.info)) {
      const std::string input_named =
          path == input.path ? std::string() : " " + QuotePath(input.path) + ",";
      return Status::Unsupported("cannot write " + QuotePath(path) + " over" + input_named +
                                 " the file it is made from (the same file, whatever its "
                                 "name); nothing was written");
    }
  }
  if (Status s = CheckReplaceable(*target.existing, target.path); !s.ok()) return s;
  return CheckNotMounted(fs, *target.existing, target.path);
}

}  // namespace

Status FileWriter::Write(std::span<const std::byte> bytes) {
  if (buffer_.size() + bytes.size() > kBlock) {
    if (Status s = Flush(); !s.ok()) return s;
    if (bytes.size() >= kBlock) {
      Status s = WriteAll(fs_, fd_, bytes);
      failed_ = failed_ || !s.ok();
      return s;
    }
  }
  if (buffer_.capacity() < kBlock) buffer_.reserve(kBlock);
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  return Status::Ok();
}

Status FileWriter::Flush() {
  Status s = WriteAll(fs_, fd_, buffer_);
  buffer_.clear();
  failed_ = failed_ || !s.ok();
  return s;
}

Result<WrittenFile> WriteFileDurably(const std::filesystem::path& path,
                                     const FileContents& contents, const DurableWrite& how,
                                     FileSystem& fs) {
  const auto doing = [&] { return "write " + DescribePath(path); };
  return OrNoMemory(doing, [&]() -> Result<WrittenFile> {
    const bool own_name = !how.beside_database.empty();
    Target target{path, std::nullopt};
    if (!own_name) {
      Result<Target> resolved = Resolve(fs, path);
      if (!resolved.ok()) return resolved.status();
      if (Status s = CheckTarget(fs, *resolved, path, how.inputs); !s.ok()) return s;
      target = *resolved;
      RemoveLeftovers(fs, target.path);
    }
    const std::filesystem::path folder = target.path.parent_path();
    const std::string unchanged =
        target.existing ? "; " + DescribePath(path) + " was not changed" : "";
    const bool takes_metadata = how.metadata_from >= 0 || target.existing;

    NewFile temporary(fs, TemporaryPathFor(own_name ? how.beside_database : target.path));
    if (Status s = temporary.Create(
            folder, takes_metadata ? NewFileAccess::kOwnerOnly : NewFileAccess::kDefault);
        !s.ok()) {
      return Status::Io("cannot make a new file in the folder " + QuotePath(folder) + " (" +
                        s.message() + ")" + unchanged);
    }
    auto cannot_write = [&](const Status& why) {
      // The file system's "cannot write: REASON" is said of this file.
      std::string_view reason = why.message();
      if (reason.starts_with("cannot write: ")) reason.remove_prefix(14);
      return Status::Io("cannot write " + QuotePath(path) + " (" + std::string(reason) + ")" +
                        unchanged);
    };
    FileWriter writer(fs, temporary.fd());
    if (Status s = contents(writer); !s.ok()) return writer.failed() ? cannot_write(s) : s;
    if (Status s = writer.Flush(); !s.ok()) return cannot_write(s);
    // The metadata follows the contents, as a write clears set-id bits, and
    // precedes the flush, which makes it durable.
    Status copied;
    if (how.metadata_from >= 0) {
      copied = fs.CopyMetadata(how.metadata_from, temporary.fd());
    } else if (target.existing) {
      Result<RegularFile> old = OpenRegularFile(target.path, OpenMode::kRead, fs);
      copied = old.ok() ? fs.CopyMetadata(old->file.fd(), temporary.fd()) : old.status();
    }
    if (!copied.ok()) {
      if (copied.kind() == ErrorKind::kUnsupported) {
        return Status::Unsupported(copied.message() + unchanged);
      }
      return cannot_write(copied);
    }
    if (Status s = fs.Sync(temporary.fd()); !s.ok()) return cannot_write(s);
    if (Status s = temporary.Name(); !s.ok()) return cannot_write(s);
    if (Status s = fs.Rename(temporary.name(), target.path); !s.ok()) {
      const std::string why =
          "cannot put " + QuotePath(path) + " in place (" + s.message() + ")" + unchanged;
      return s.kind() == ErrorKind::kBusy
                 ? Status::Busy(why + "; try again when no other program has it open")
                 : Status::Io(why);
    }
    std::string warning = FinishInPlace(fs, temporary, folder);
    return WrittenFile{target.path, std::move(warning)};
  });
}

}  // namespace orva
