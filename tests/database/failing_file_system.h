// A file system for tests that passes every call to the real one, counts the
// calls, and can make a chosen one fail.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "database/file_system.h"

namespace orva::testing {

enum class Call {
  kResolvePath,
  kStat,
  kCheckWritable,
  kReadFile,
  kCreateExclusive,
  kWrite,
  kChangeOwner,
  kChangeMode,
  kSync,
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
  // Every write of more than `bytes` bytes writes only that many.
  void ShortWrites(std::size_t bytes) { short_writes_ = bytes; }

  const std::vector<Call>& calls() const { return calls_; }
  // The kind of the call that was made to fail, if one was.
  std::optional<Call> failed_kind() const { return failed_kind_; }

  Result<std::filesystem::path> ResolvePath(const std::filesystem::path& path) override {
    if (Status s = Enter(Call::kResolvePath); !s.ok()) return s;
    return real_.ResolvePath(path);
  }
  Result<struct stat> Stat(const std::filesystem::path& path) override {
    if (Status s = Enter(Call::kStat); !s.ok()) return s;
    return real_.Stat(path);
  }
  Status CheckWritable(const std::filesystem::path& path) override {
    if (Status s = Enter(Call::kCheckWritable); !s.ok()) return s;
    return real_.CheckWritable(path);
  }
  Result<std::vector<std::byte>> ReadFile(const std::filesystem::path& path) override {
    if (Status s = Enter(Call::kReadFile); !s.ok()) return s;
    return real_.ReadFile(path);
  }
  Result<int> CreateExclusive(const std::filesystem::path& path, mode_t mode) override {
    if (Status s = Enter(Call::kCreateExclusive); !s.ok()) return s;
    return real_.CreateExclusive(path, mode);
  }
  Result<std::size_t> Write(int fd, std::span<const std::byte> bytes) override {
    if (Status s = Enter(Call::kWrite); !s.ok()) return s;
    if (short_writes_ > 0 && bytes.size() > short_writes_) bytes = bytes.first(short_writes_);
    return real_.Write(fd, bytes);
  }
  Status ChangeOwner(int fd, uid_t owner, gid_t group) override {
    if (Status s = Enter(Call::kChangeOwner); !s.ok()) return s;
    return real_.ChangeOwner(fd, owner, group);
  }
  Status ChangeMode(int fd, mode_t mode) override {
    if (Status s = Enter(Call::kChangeMode); !s.ok()) return s;
    return real_.ChangeMode(fd, mode);
  }
  Status Sync(int fd) override {
    if (Status s = Enter(Call::kSync); !s.ok()) return s;
    return real_.Sync(fd);
  }
  Status Close(int fd) override {
    // A failed close still releases the descriptor, as on Linux.
    if (Status s = Enter(Call::kClose); !s.ok()) {
      (void)real_.Close(fd);
      return s;
    }
    return real_.Close(fd);
  }
  Status Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    if (Status s = Enter(Call::kRename); !s.ok()) return s;
    return real_.Rename(from, to);
  }
  Status Unlink(const std::filesystem::path& path) override {
    if (Status s = Enter(Call::kUnlink); !s.ok()) return s;
    return real_.Unlink(path);
  }
  Status SyncDirectory(const std::filesystem::path& folder) override {
    if (Status s = Enter(Call::kSyncDirectory); !s.ok()) return s;
    return real_.SyncDirectory(folder);
  }

 private:
  Status Enter(Call call) {
    calls_.push_back(call);
    const bool this_one = calls_.size() == fail_at_;
    const bool again = persistently_ && failed_kind_ == call;
    if (!this_one && !again) return Status::Ok();
    failed_kind_ = call;
    return Status::Io("injected failure: " + reason_);
  }

  RealFileSystem real_;
  std::vector<Call> calls_;
  std::size_t fail_at_ = 0;
  bool persistently_ = false;
  std::string reason_;
  std::size_t short_writes_ = 0;
  std::optional<Call> failed_kind_;
};

}  // namespace orva::testing
