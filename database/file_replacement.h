// Replacing a file's contents so that, whatever happens (a crash, a kill, a
// full disk, a power cut after the call returned), the file is afterwards
// either exactly the old one or exactly the new one.
//
// The new bytes go to a temporary file in the same folder, which is flushed
// to disk and then renamed over the old file; the folder is flushed last so
// the rename itself survives a power cut. A rename within one folder is
// atomic, so readers never see a partly written file.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <filesystem>
#include <span>

#include "database/file_system.h"
#include "database/status.h"

namespace orva {

// A file found fit to be replaced: the real file behind any symbolic links,
// and what it was when examined.
struct ReplaceableFile {
  std::filesystem::path path;
  struct stat status {};
};

// Follows symbolic links to the file that will be replaced, and refuses what
// a rename could not replace faithfully: something that is not a regular
// file, a file with more than one hard link (the new file would be separate
// from the other names, which would keep the old contents) and a file this
// process may not write.
Result<ReplaceableFile> PrepareReplacement(FileSystem& fs, const std::filesystem::path& path);

// Puts the new contents in place of the file, given as consecutive pieces
// written in order. The new file keeps the permission bits of
// the old one, and its owner and group where the process may set them. On
// failure the temporary file is removed and the old file is untouched; the
// one exception is a failure to flush the folder after the rename, reported as
// such, when the new contents are in place but may not survive a power cut.
Status ReplaceFile(FileSystem& fs, const ReplaceableFile& file,
                   std::span<const std::span<const std::byte>> pieces);

// The name the temporary file gets beside `path`: hidden, and recognisable as
// ORVA's ('.textdb_00.def.orva-1a2b3c.tmp').
std::filesystem::path TemporaryPathFor(const std::filesystem::path& path);

}  // namespace orva
