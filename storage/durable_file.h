// Writing a whole file of ORVA's own (an export, a backup) so that a crash, a
// kill, a full disk or a power cut after the call returned leaves exactly the
// file that was there or exactly the whole new one, never a torn file: the
// steps of database_rewrite.h without the lock, which only a database needs.
//
//  1. The path is followed past symbolic links. A file it names must be one
//     that RewriteDatabase would replace (a regular file, one hard link,
//     writable, no mount point) and none of the inputs the new contents are
//     made from, whatever path leads to it.
//  2. The contents go to a new file beside it (unnamed where the file system
//     allows it); temporaries that killed runs left are removed first.
//  3. The new file gets the old one's metadata, or a new file's usual access;
//     it is flushed to disk, named and renamed over the path, and the folder
//     is flushed last.
// On any refusal or failure the path is left as it was and no temporary file
// stays behind.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

// Takes the new contents in order, in pieces of any size, and writes them in
// large blocks.
class FileWriter {
 public:
  FileWriter(FileSystem& fs, int fd) : fs_(fs), fd_(fd) {}

  Status Write(std::span<const std::byte> bytes);
  Status Write(std::string_view text) { return Write(std::as_bytes(std::span(text))); }
  // Writes what is buffered.
  Status Flush();
  // Whether a write failed (a full disk): WriteFileDurably then names the
  // file in the reason.
  bool failed() const { return failed_; }

 private:
  FileSystem& fs_;
  int fd_;
  std::vector<std::byte> buffer_;
  bool failed_ = false;
};

// Writes the whole contents through the writer, or says why it cannot.
using FileContents = std::function<Status(FileWriter& writer)>;

// A file the new one is made from, which it must never replace.
struct InputFile {
  FileInfo info;
  std::filesystem::path path;  // as the user named it
};

struct DurableWrite {
  std::vector<InputFile> inputs;
  // The open file whose metadata the new one takes (a backup: the database);
  // -1: the file it replaces, if there is one.
  int metadata_from = -1;
  // Where the path is a name of ORVA's own beside a database (a backup): it
  // is replaced whatever it is, not followed, and the temporaries are named
  // after this file, whose rewrite clears them away.
  std::filesystem::path beside_database;
};

struct WrittenFile {
  std::filesystem::path path;  // with links resolved
  std::string warning;         // as in Rewritten
};

// Writes the file at `path` as above, each step through `fs`.
Result<WrittenFile> WriteFileDurably(const std::filesystem::path& path,
                                     const FileContents& contents, const DurableWrite& how = {},
                                     FileSystem& fs = DefaultFileSystem());

}  // namespace orva
