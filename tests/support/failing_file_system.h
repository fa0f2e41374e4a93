// A file system for tests that passes every call to the real one, records the
// calls, and can make a chosen one fail.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "storage/file_system.h"

namespace orva::test_support {

enum class Call {
  kResolvePath,
  kStat,
  kInfo,
  kListFolder,
  kOpen,
  kReadAt,
  kTryLock,
  kPause,
  kCreateUnnamed,
  kCreateExclusive,
  kWrite,
  kCopyMetadata,
  kSync,
  kLink,
  kClose,
  kRename,
  kUnlink,
  kSyncDirectory,
};

class FailingFileSystem final : public FileSystem {
 public:
  // Fails the call numbered `n` (from 1) with `reason`. Once: only that call.
  // Persistently: that call and every later call of the same kind, as a disk
  // that has filled up or gone read-only keeps refusing.
  void FailCall(std::size_t n, bool persistently, std::string reason = "Input/output error") {
    fail_at_ = n;
    persistently_ = persistently;
    reason_ = std::move(reason);
  }
  // Every write of more than `bytes` bytes writes only that many (0: none).
  void ShortWrites(std::size_t bytes) { short_writes_ = bytes; }
  // CreateUnnamed answers as a file system without unnamed files does.
  void WithoutUnnamedFiles() { unnamed_ = false; }
  // Rename answers as Windows does on a file system that cannot replace a
  // file that is open: kBusy while a descriptor of the target is open.
  void WithoutReplacingOpenFiles() { replaces_open_files_ = false; }
  // Runs `action` as each call is made, before it is passed on.
  void OnCall(std::function<void(Call)> action) { on_call_ = std::move(action); }
  // Lets `alter` change what Stat finds at a path, or Info (the path empty)
  // in an open file, as a mount or another program would.
  void OnStat(std::function<void(const std::filesystem::path&, FileInfo&)> alter) {
    on_stat_ = std::move(alter);
  }

  const std::vector<Call>& calls() const { return calls_; }
  // The calls with the files they concerned: the path given, or for a
  // descriptor the path it was opened, created or linked at (empty for a file
  // without a name). A rename concerns `from`, then `to`; CopyMetadata the
  // file copied from, then the one copied to.
  struct Made {
    Call call;
    std::filesystem::path file;
    std::filesystem::path other;
  };
  const std::vector<Made>& made() const { return made_; }
  // The kind of the call that was made to fail, if one was.
  std::optional<Call> failed_kind() const { return failed_kind_; }
  std::size_t bytes_read() const { return bytes_read_; }
  // The descriptors handed out and not closed yet.
  std::size_t open_descriptors() const { return open_.size(); }

  Result<std::filesystem::path> ResolvePath(const std::filesystem::path& path) override {
    if (Status s = Enter(Call::kResolvePath, path); !s.ok()) return s;
    return real_.ResolvePath(path);
  }
  Result<FileInfo> Stat(const std::filesystem::path& path) override {
    if (Status s = Enter(Call::kStat, path); !s.ok()) return s;
    Result<FileInfo> info = real_.Stat(path);
    if (info.ok() && on_stat_) on_stat_(path, *info);
    return info;
  }
  Result<FileInfo> Info(int fd) override {
    if (Status s = Enter(Call::kInfo, PathOf(fd)); !s.ok()) return s;
    Result<FileInfo> info = real_.Info(fd);
    if (info.ok() && on_stat_) on_stat_({}, *info);
    return info;
  }
  Result<std::vector<std::string>> ListFolder(const std::filesystem::path& folder) override {
    if (Status s = Enter(Call::kListFolder, folder); !s.ok()) return s;
    return real_.ListFolder(folder);
  }
  Result<int> Open(const std::filesystem::path& path, OpenMode mode) override {
    if (Status s = Enter(Call::kOpen, path); !s.ok()) return s;
    return Opened(real_.Open(path, mode), path);
  }
  Result<std::size_t> ReadAt(int fd, std::int64_t offset, std::span<std::byte> out) override {
    if (Status s = Enter(Call::kReadAt, PathOf(fd)); !s.ok()) return s;
    Result<std::size_t> n = real_.ReadAt(fd, offset, out);
    if (n.ok()) bytes_read_ += *n;
    return n;
  }
  Result<bool> TryLock(int fd) override {
    if (Status s = Enter(Call::kTryLock, PathOf(fd)); !s.ok()) return s;
    return real_.TryLock(fd);
  }
  // Not waited out, so that a test holding a lock sees the wait end at once.
  void Pause(std::chrono::milliseconds) override {
    calls_.push_back(Call::kPause);
    made_.push_back({Call::kPause, {}, {}});
  }
  Result<int> CreateUnnamed(const std::filesystem::path& folder, NewFileAccess access) override {
    // Named in the records by its folder and its number, until Link names it.
    const std::filesystem::path label =
        folder / ("(unnamed " + std::to_string(++unnamed_made_) + ")");
    if (Status s = Enter(Call::kCreateUnnamed, label); !s.ok()) return s;
    if (!unnamed_) return Status::Unsupported("this file system makes no unnamed files");
    return Opened(real_.CreateUnnamed(folder, access), label);
  }
  Result<int> CreateExclusive(const std::filesystem::path& path, NewFileAccess access) override {
    if (Status s = Enter(Call::kCreateExclusive, path); !s.ok()) return s;
    return Opened(real_.CreateExclusive(path, access), path);
  }
  Result<std::size_t> Write(int fd, std::span<const std::byte> bytes) override {
    if (Status s = Enter(Call::kWrite, PathOf(fd)); !s.ok()) return s;
    if (short_writes_ && bytes.size() > *short_writes_) bytes = bytes.first(*short_writes_);
    return real_.Write(fd, bytes);
  }
  Status CopyMetadata(int from, int to) override {
    if (Status s = Enter(Call::kCopyMetadata, PathOf(from), PathOf(to)); !s.ok()) return s;
    return real_.CopyMetadata(from, to);
  }
  Status Sync(int fd) override {
    if (Status s = Enter(Call::kSync, PathOf(fd)); !s.ok()) return s;
    return real_.Sync(fd);
  }
  Status Link(int fd, const std::filesystem::path& path) override {
    if (Status s = Enter(Call::kLink, PathOf(fd), path); !s.ok()) return s;
    Status linked = real_.Link(fd, path);
    if (linked.ok()) open_[fd] = path;
    return linked;
  }
  Status Close(int fd) override {
    const std::filesystem::path closed = PathOf(fd);
    open_.erase(fd);
    // A failed close still releases the descriptor, as on Linux.
    if (Status s = Enter(Call::kClose, closed); !s.ok()) {
      (void)real_.Close(fd);
      return s;
    }
    return real_.Close(fd);
  }
  Status Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    if (Status s = Enter(Call::kRename, from, to); !s.ok()) return s;
    if (!replaces_open_files_) {
      for (const auto& [fd, path] : open_) {
        if (path == to) return Status::Busy("injected refusal: the target is open");
      }
    }
    return real_.Rename(from, to);
  }
  Status Unlink(const std::filesystem::path& path) override {
    if (Status s = Enter(Call::kUnlink, path); !s.ok()) return s;
    return real_.Unlink(path);
  }
  Status SyncDirectory(const std::filesystem::path& folder) override {
    if (Status s = Enter(Call::kSyncDirectory, folder); !s.ok()) return s;
    return real_.SyncDirectory(folder);
  }

 private:
  Result<int> Opened(Result<int> fd, const std::filesystem::path& path) {
    if (fd.ok()) open_[*fd] = path;
    return fd;
  }
  std::filesystem::path PathOf(int fd) const {
    const auto open = open_.find(fd);
    return open == open_.end() ? std::filesystem::path() : open->second;
  }
  Status Enter(Call call, std::filesystem::path file = {}, std::filesystem::path other = {}) {
    calls_.push_back(call);
    made_.push_back({call, std::move(file), std::move(other)});
    if (on_call_) on_call_(call);
    const bool this_one = calls_.size() == fail_at_;
    const bool again = persistently_ && failed_kind_ == call;
    if (!this_one && !again) return Status::Ok();
    failed_kind_ = call;
    return Status::Io("injected failure: " + reason_);
  }

  RealFileSystem real_;
  std::vector<Call> calls_;
  std::vector<Made> made_;
  std::size_t fail_at_ = 0;
  bool persistently_ = false;
  std::string reason_;
  std::optional<std::size_t> short_writes_;
  bool unnamed_ = true;
  bool replaces_open_files_ = true;
  std::function<void(Call)> on_call_;
  std::function<void(const std::filesystem::path&, FileInfo&)> on_stat_;
  std::map<int, std::filesystem::path> open_;
  int unnamed_made_ = 0;
  std::size_t bytes_read_ = 0;
  std::optional<Call> failed_kind_;
};

}  // namespace orva::test_support
