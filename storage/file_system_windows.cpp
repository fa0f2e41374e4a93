// The FileSystem seam on Windows. Paths are UTF-16 throughout (CreateFileW);
// files are opened in binary and shared for reading, writing and deleting, so
// that other programs can read a database ORVA holds and a rename can replace
// it; a descriptor is a C runtime descriptor that owns the HANDLE.
// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <fcntl.h>
#include <io.h>
#include <sddl.h>
#include <winioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "storage/file_system.h"
#include "storage/quote.h"
#include "storage/utf16.h"

namespace orva {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// One read or write moves at most this much.
constexpr std::size_t kLargestCall = std::size_t{1} << 30;

// Virus scanners, indexers and backup tools open files for a moment without
// sharing them: a call refused for that is tried again, for up to a second.
constexpr int kSharingTries = 20;
constexpr DWORD kSharingPauseMs = 50;

// The byte every ORVA program locks. Windows' byte-range locks are mandatory
// (no other handle may read a locked range), so the locked byte lies far past
// the data of any database, which 32-bit offsets keep below 2 GiB: readers,
// ORVA's own included, are never blocked.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kLockOffsetLow = 0xFFFFFFFE;

// The rename that replaces a file even while it is open (Windows 10 1809 and
// later, on NTFS). MinGW's headers declare it only for newer targets.
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

using Bytes = std::vector<std::byte>;

std::string Reason(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring reason = length > 0 ? std::wstring(text, length) : std::wstring();
  LocalFree(text);
  while (!reason.empty() &&
         std::wstring_view(L" .\r\n").find(reason.back()) != std::wstring::npos) {
    reason.pop_back();
  }
  return reason.empty() ? "system error " + std::to_string(error) : Utf8FromUtf16(reason);
}

Status IoError(const std::string& what, DWORD error) {
  return Status::Io(what + ": " + Reason(error));
}

bool Missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// kNotFound for a missing file, kIo for any other refusal.
Status PathError(const std::string& what, const std::filesystem::path& path, DWORD error) {
  if (Missing(error)) return Status::NotFound(DescribePath(path) + " does not exist");
  return IoError("cannot " + what + " " + DescribePath(path), error);
}

// A HANDLE closed when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  Handle& operator=(Handle&&) = delete;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Reset(); }

  HANDLE get() const { return handle_; }
  HANDLE Release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
  void Reset() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
  }

 private:
  HANDLE handle_;
};

// Runs `call` (true when it worked) again while it fails on a sharing
// violation; the error of the last try, or ERROR_SUCCESS.
template <typename Call>
DWORD RetryWhileShared(Call call) {
  for (int tries = 1;; ++tries) {
    if (call()) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION || tries == kSharingTries) return error;
    Sleep(kSharingPauseMs);
  }
}

struct Opened {
  Handle handle;
  DWORD error = ERROR_SUCCESS;
};

Opened OpenHandle(const std::filesystem::path& path, DWORD access, DWORD flags = 0,
                  DWORD creation = OPEN_EXISTING, DWORD share = kShareAll,
                  SECURITY_ATTRIBUTES* security = nullptr) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  const DWORD error = RetryWhileShared([&] {
    handle = CreateFileW(path.c_str(), access, share, security, creation,
                         flags | FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle != INVALID_HANDLE_VALUE;
  });
  return {Handle(handle), error};
}

// What Stat opens: attributes only, which no sharing mode refuses, and a
// folder as well as a file.
Opened OpenToExamine(const std::filesystem::path& path) {
  return OpenHandle(path, FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS);
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// Hands the HANDLE to a C runtime descriptor, which owns it from then on.
Result<int> Descriptor(Handle handle) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_BINARY);
  if (fd < 0) return Status::Io(std::string("cannot open another file: ") + std::strerror(errno));
  (void)handle.Release();
  return fd;
}

OVERLAPPED At(DWORD low, DWORD high) {
  OVERLAPPED at{};
  at.Offset = low;
  at.OffsetHigh = high;
  return at;
}

std::int64_t NanosecondsSince1970(FILETIME time) {
  constexpr std::int64_t k1601To1970 = 116'444'736'000'000'000;  // in 100 ns steps
  const auto ticks =
      static_cast<std::int64_t>(std::uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime);
  return (ticks - k1601To1970) * 100;
}

Result<FileInfo> InfoOf(HANDLE handle, const std::string& what) {
  FileInfo info;
  if (GetFileType(handle) != FILE_TYPE_DISK) return info;  // a device, a pipe, a console
  BY_HANDLE_FILE_INFORMATION data{};
  if (!GetFileInformationByHandle(handle, &data)) return IoError(what, GetLastError());
  info.kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileInfo::Kind::kDirectory
                                                                      : FileInfo::Kind::kRegular;
  info.device = data.dwVolumeSerialNumber;
  info.inode = std::uint64_t{data.nFileIndexHigh} << 32 | data.nFileIndexLow;
  info.size =
      static_cast<std::int64_t>(std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow);
  info.modified_ns = NanosecondsSince1970(data.ftLastWriteTime);
  FILE_BASIC_INFO times{};
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times)) {
    return IoError(what, GetLastError());
  }
  const FILETIME changed{times.ChangeTime.LowPart, static_cast<DWORD>(times.ChangeTime.HighPart)};
  info.changed_ns = NanosecondsSince1970(changed);
  info.permissions = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
  info.links = data.nNumberOfLinks;
  return info;
}

// The full path of an open file, as \\?\C:\... or \\?\UNC\server\share\...
Result<std::wstring> FinalPath(HANDLE handle) {
  std::wstring name(MAX_PATH, L'\0');
  while (true) {
    const DWORD length =
        GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return IoError("cannot find the full path of a file", GetLastError());
    const bool fits = length < name.size();
    name.resize(length);  // when it does not fit, the length asked for, with the final NUL
    if (fits) return name;
  }
}

// A final path as people write it, where it works without the \\?\ prefix
// (below MAX_PATH characters): that is how messages show it.
std::wstring WithoutLongPathPrefix(std::wstring name) {
  constexpr std::wstring_view kUnc = LR"(\\?\UNC\)";
  constexpr std::wstring_view kLocal = LR"(\\?\)";
  if (name.starts_with(kUnc) && name.size() - kUnc.size() + 2 < MAX_PATH) {
    return LR"(\\)" + name.substr(kUnc.size());
  }
  if (name.starts_with(kLocal) && name.size() - kLocal.size() < MAX_PATH) {
    return name.substr(kLocal.size());
  }
  return name;
}

// --- What a new file must have of the old one ------------------------------

Result<Bytes> SecurityOf(HANDLE file, SECURITY_INFORMATION parts) {
  DWORD size = 0;
  (void)GetKernelObjectSecurity(file, parts, nullptr, 0, &size);
  Bytes descriptor(size);
  if (size == 0 || !GetKernelObjectSecurity(file, parts, descriptor.data(), size, &size)) {
    return IoError("cannot read the security of a file", GetLastError());
  }
  return descriptor;
}

PSID OwnerIn(Bytes& descriptor) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted);
  return owner;
}

// The access control list with the flag that shields it from the folder's
// inheritance: two files with the same grant the same access.
Bytes AccessListIn(Bytes& descriptor) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL list = nullptr;
  GetSecurityDescriptorControl(descriptor.data(), &control, &revision);
  GetSecurityDescriptorDacl(descriptor.data(), &present, &list, &defaulted);
  Bytes bytes;
  if (present && list != nullptr) {
    const auto* start = reinterpret_cast<const std::byte*>(list);
    bytes.assign(start, start + list->AclSize);
  }
  bytes.push_back(std::byte{(control & SE_DACL_PROTECTED) != 0});
  bytes.push_back(std::byte{present != FALSE});
  return bytes;
}

// "'DOMAIN\name'", or the SID where it has no name.
std::string AccountName(PSID sid) {
  wchar_t name[256];
  wchar_t domain[256];
  DWORD name_size = 256;
  DWORD domain_size = 256;
  SID_NAME_USE use;
  if (LookupAccountSidW(nullptr, sid, name, &name_size, domain, &domain_size, &use)) {
    return "'" + Utf8FromUtf16(std::wstring(domain) + L"\\" + name) + "'";
  }
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return "an unknown account";
  std::string shown = Utf8FromUtf16(text);
  LocalFree(text);
  return shown;
}

// The TOKEN_USER of this process: the account it runs as.
Result<Bytes> ThisUser() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return IoError("cannot find the account this program runs as", GetLastError());
  }
  Handle owned(token);
  DWORD size = 0;
  (void)GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  Bytes user(size);
  if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
    return IoError("cannot find the account this program runs as", GetLastError());
  }
  return user;
}

PSID SidOf(Bytes& user) { return reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid; }

std::string CurrentUser() {
  Result<Bytes> user = ThisUser();
  return user.ok() ? AccountName(SidOf(*user)) : "an unknown account";
}

// The owner first (only one's own account, or a group one may give files to,
// can be given), then the access control list, which is checked afterwards.
Status CopySecurity(HANDLE from, HANDLE to) {
  Result<Bytes> old = SecurityOf(from, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  if (!old.ok()) return old.status();
  Result<Bytes> made = SecurityOf(to, OWNER_SECURITY_INFORMATION);
  if (!made.ok()) return made.status();
  PSID owner = OwnerIn(*old);
  PSID made_owner = OwnerIn(*made);
  if (owner != nullptr && (made_owner == nullptr || !EqualSid(owner, made_owner)) &&
      !SetKernelObjectSecurity(to, OWNER_SECURITY_INFORMATION, old->data())) {
    return Status::Unsupported("the file belongs to " + AccountName(owner) +
                               ", and this program, running as " + CurrentUser() +
                               ", cannot give a new file that owner; replacing it would take the "
                               "file over");
  }
  auto refusal = [](const std::string& reason) {
    return Status::Unsupported(
        "the new file cannot be given the access control list of the old one (" + reason +
        "); without it the file could grant other access than before");
  };
  if (!SetKernelObjectSecurity(to, DACL_SECURITY_INFORMATION, old->data())) {
    return refusal(Reason(GetLastError()));
  }
  Result<Bytes> now = SecurityOf(to, DACL_SECURITY_INFORMATION);
  if (!now.ok()) return now.status();
  if (AccessListIn(*now) != AccessListIn(*old)) return refusal("Windows changed it");
  return Status::Ok();
}

// The attributes a new file must share with the old one. The read-only
// attribute is refused before a rewrite starts, and the archive attribute
// stays set: the contents have changed since the last backup.
constexpr DWORD kCarriedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr DWORD kComparedAttributes =
    kCarriedAttributes | FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED;
constexpr DWORD kSettableAttributes =
    kCarriedAttributes | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE;

Result<FILE_BASIC_INFO> BasicInfo(HANDLE file) {
  FILE_BASIC_INFO info{};
  if (!GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info)) {
    return IoError("cannot read the attributes of a file", GetLastError());
  }
  return info;
}

// The attributes, NTFS compression and the time the file was made.
// Encryption cannot be given to a file through its handle: an encrypted old
// file in a folder that does not encrypt new ones is refused.
Status CopyAttributes(HANDLE from, HANDLE to) {
  Result<FILE_BASIC_INFO> old = BasicInfo(from);
  if (!old.ok()) return old.status();
  Result<FILE_BASIC_INFO> made = BasicInfo(to);
  if (!made.ok()) return made.status();
  if (((old->FileAttributes ^ made->FileAttributes) & FILE_ATTRIBUTE_COMPRESSED) != 0) {
    USHORT format = (old->FileAttributes & FILE_ATTRIBUTE_COMPRESSED) != 0
                        ? COMPRESSION_FORMAT_DEFAULT
                        : COMPRESSION_FORMAT_NONE;
    DWORD returned = 0;
    (void)DeviceIoControl(to, FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0, &returned,
                          nullptr);  // checked with the rest below
  }
  FILE_BASIC_INFO wanted{};  // times left 0 stay as they are
  wanted.CreationTime = old->CreationTime;
  wanted.FileAttributes = (made->FileAttributes & kSettableAttributes & ~kCarriedAttributes) |
                          (old->FileAttributes & kCarriedAttributes);
  if (wanted.FileAttributes == 0) wanted.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!SetFileInformationByHandle(to, FileBasicInfo, &wanted, sizeof wanted)) {
    return IoError("cannot set the attributes of the new file", GetLastError());
  }
  made = BasicInfo(to);
  if (!made.ok()) return made.status();
  if (((old->FileAttributes ^ made->FileAttributes) & kComparedAttributes) != 0) {
    return Status::Unsupported(
        "the new file cannot be given the attributes of the old one (hidden, system, not "
        "indexed, compressed, encrypted)");
  }
  return Status::Ok();
}

// Errors that mean the file system has no named streams (FAT) or cannot list
// them, so a file on it has none.
bool WithoutStreams(DWORD error) {
  return error == ERROR_HANDLE_EOF || error == ERROR_INVALID_PARAMETER ||
         error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

// Copies the named stream `name` (":Zone.Identifier:$DATA") of one file to another.
Status CopyStream(HANDLE from, HANDLE to, const std::wstring& name) {
  const std::string shown = "the data stream '" + Utf8FromUtf16(name) + "' of the old file";
  Result<std::wstring> from_path = FinalPath(from);
  if (!from_path.ok()) return from_path.status();
  Result<std::wstring> to_path = FinalPath(to);
  if (!to_path.ok()) return to_path.status();
  Opened source = OpenHandle(*from_path + name, GENERIC_READ);
  if (source.error != ERROR_SUCCESS) return IoError("cannot read " + shown, source.error);
  Opened copy = OpenHandle(*to_path + name, GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
  if (copy.error != ERROR_SUCCESS) return IoError("cannot copy " + shown, copy.error);
  Bytes buffer(64 * 1024);
  while (true) {
    DWORD got = 0;
    if (!ReadFile(source.handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                  nullptr)) {
      return IoError("cannot read " + shown, GetLastError());
    }
    if (got == 0) break;
    DWORD put = 0;
    if (!WriteFile(copy.handle.get(), buffer.data(), got, &put, nullptr) || put != got) {
      return IoError("cannot copy " + shown, GetLastError());
    }
  }
  if (!FlushFileBuffers(copy.handle.get())) return IoError("cannot copy " + shown, GetLastError());
  return Status::Ok();
}

// The named data streams of the old file (a downloaded file's
// Zone.Identifier, say), which a new file does not have.
Status CopyStreams(HANDLE from, HANDLE to) {
  Bytes list(16 * 1024);
  while (!GetFileInformationByHandleEx(from, FileStreamInfo, list.data(),
                                       static_cast<DWORD>(list.size()))) {
    const DWORD error = GetLastError();
    if (WithoutStreams(error)) return Status::Ok();
    if (error != ERROR_MORE_DATA || list.size() >= (std::size_t{1} << 24)) {
      return IoError("cannot list the data streams of the old file", error);
    }
    list.resize(list.size() * 4);
  }
  for (std::size_t at = 0;;) {
    const auto* stream = reinterpret_cast<const FILE_STREAM_INFO*>(list.data() + at);
    const std::wstring name(stream->StreamName, stream->StreamNameLength / sizeof(wchar_t));
    if (name != L"::$DATA") {
      if (Status s = CopyStream(from, to, name); !s.ok()) return s;
    }
    if (stream->NextEntryOffset == 0) return Status::Ok();
    at += stream->NextEntryOffset;
  }
}

// A security descriptor that lets this process's account alone open a file,
// shielded from the folder's inheritance.
class OnlyThisUser {
 public:
  Status Make() {
    Result<Bytes> user = ThisUser();
    if (!user.ok()) return user.status();
    wchar_t* sid = nullptr;
    if (!ConvertSidToStringSidW(SidOf(*user), &sid)) {
      return IoError("cannot name the account this program runs as", GetLastError());
    }
    const std::wstring text = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
    LocalFree(sid);
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                              &descriptor_, nullptr)) {
      return IoError("cannot make a security descriptor", GetLastError());
    }
    return Status::Ok();
  }
  OnlyThisUser() = default;
  OnlyThisUser(const OnlyThisUser&) = delete;
  OnlyThisUser& operator=(const OnlyThisUser&) = delete;
  ~OnlyThisUser() { LocalFree(descriptor_); }
  PSECURITY_DESCRIPTOR get() const { return descriptor_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

// Errors of a rename that replaces open files where the file system or
// Windows cannot do that kind of rename at all.
bool NoReplacingOpenFiles(DWORD error) {
  return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
         error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED;
}

}  // namespace

Result<std::filesystem::path> RealFileSystem::ResolvePath(const std::filesystem::path& path) {
  Opened file = OpenToExamine(path);
  if (file.error != ERROR_SUCCESS) return PathError("resolve", path, file.error);
  Result<std::wstring> name = FinalPath(file.handle.get());
  if (!name.ok()) return name.status();
  return std::filesystem::path(WithoutLongPathPrefix(*name));
}

Result<FileInfo> RealFileSystem::Stat(const std::filesystem::path& path) {
  Opened file = OpenToExamine(path);
  if (file.error != ERROR_SUCCESS) return PathError("examine", path, file.error);
  return InfoOf(file.handle.get(), "cannot examine " + DescribePath(path));
}

Result<FileInfo> RealFileSystem::Info(int fd) {
  return InfoOf(HandleOf(fd), "cannot examine an open file");
}

// FindFirstFileExW rather than std::filesystem::directory_iterator, whose
// increment is noexcept yet allocates: memory running out in a large folder
// would end the program instead of failing the listing.
Result<std::vector<std::string>> RealFileSystem::ListFolder(const std::filesystem::path& folder) {
  const std::string what = "cannot list the folder " + QuotePath(folder);
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return IoError(what, GetLastError());
  std::vector<std::string> names;
  DWORD error = ERROR_SUCCESS;
  try {
    do {
      const std::wstring_view name = found.cFileName;
      if (name != L"." && name != L"..") names.push_back(Utf8FromUtf16(name));
    } while (FindNextFileW(search, &found));
    error = GetLastError();
  } catch (const std::bad_alloc&) {
    FindClose(search);
    return Status::NoMemory("list the folder " + QuotePath(folder));
  }
  FindClose(search);
  if (error != ERROR_NO_MORE_FILES) return IoError(what, error);
  return names;
}

Result<int> RealFileSystem::Open(const std::filesystem::path& path, OpenMode mode) {
  const DWORD access = mode == OpenMode::kRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  Opened file = OpenHandle(path, access);
  if (file.error != ERROR_SUCCESS) {
    if (Missing(file.error) || mode == OpenMode::kRead) return PathError("open", path, file.error);
    return IoError("cannot open " + DescribePath(path) + " to change it", file.error);
  }
  return Descriptor(std::move(file.handle));
}

Result<std::size_t> RealFileSystem::ReadAt(int fd, std::int64_t offset, std::span<std::byte> out) {
  OVERLAPPED at = At(static_cast<DWORD>(offset), static_cast<DWORD>(offset >> 32));
  DWORD read = 0;
  const auto size = static_cast<DWORD>(std::min(out.size(), kLargestCall));
  if (!ReadFile(HandleOf(fd), out.data(), size, &read, &at)) {
    const DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF) return std::size_t{0};
    return IoError("cannot read", error);
  }
  return std::size_t{read};
}

Result<bool> RealFileSystem::TryLock(int fd) {
  OVERLAPPED at = At(kLockOffsetLow, kLockOffsetHigh);
  if (LockFileEx(HandleOf(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    return true;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_LOCK_VIOLATION) return false;
  return IoError("cannot lock the database", error);
}

void RealFileSystem::Pause(std::chrono::milliseconds time) {
  Sleep(static_cast<DWORD>(time.count()));
}

Result<int> RealFileSystem::CreateUnnamed(const std::filesystem::path&, NewFileAccess) {
  return Status::Unsupported("Windows gives every new file a name");
}

// kOwnerOnly: until CopyMetadata gives it the old file's access control
// list, only the account this program runs as may open the new file.
// kDefault: the file inherits the folder's list, as any new file does.
Result<int> RealFileSystem::CreateExclusive(const std::filesystem::path& path,
                                            NewFileAccess access) {
  OnlyThisUser private_file;
  if (access == NewFileAccess::kOwnerOnly) {
    if (Status s = private_file.Make(); !s.ok()) {
      return Status::Io("cannot create " + DescribePath(path) + ": " + s.message());
    }
  }
  SECURITY_ATTRIBUTES security{sizeof security, private_file.get(), FALSE};
  Opened file = OpenHandle(path, GENERIC_READ | GENERIC_WRITE | WRITE_DAC | WRITE_OWNER, 0,
                           CREATE_NEW, FILE_SHARE_READ | FILE_SHARE_DELETE,
                           access == NewFileAccess::kOwnerOnly ? &security : nullptr);
  if (file.error != ERROR_SUCCESS)
    return IoError("cannot create " + DescribePath(path), file.error);
  return Descriptor(std::move(file.handle));
}

Result<std::size_t> RealFileSystem::Write(int fd, std::span<const std::byte> bytes) {
  DWORD written = 0;
  const auto size = static_cast<DWORD>(std::min(bytes.size(), kLargestCall));
  if (!WriteFile(HandleOf(fd), bytes.data(), size, &written, nullptr)) {
    return IoError("cannot write", GetLastError());
  }
  return std::size_t{written};
}

// The owner, the access control list, the attributes and the named data
// streams, each compared with the old file's where Windows may silently
// differ. The primary group, which Windows itself does not use, and the
// audit list, which needs a privilege to read, are not carried over.
Status RealFileSystem::CopyMetadata(int from, int to) {
  if (Status s = CopySecurity(HandleOf(from), HandleOf(to)); !s.ok()) return s;
  if (Status s = CopyAttributes(HandleOf(from), HandleOf(to)); !s.ok()) return s;
  return CopyStreams(HandleOf(from), HandleOf(to));
}

Status RealFileSystem::Sync(int fd) {
  if (!FlushFileBuffers(HandleOf(fd))) return IoError("cannot flush to disk", GetLastError());
  return Status::Ok();
}

Status RealFileSystem::Link(int, const std::filesystem::path& path) {
  return Status::Unsupported("cannot name " + DescribePath(path) +
                             ": Windows makes no unnamed files");
}

// The lock is let go of first: Windows releases the locks of a closed handle
// only when it gets round to it, and another ORVA program may be waiting.
Status RealFileSystem::Close(int fd) {
  OVERLAPPED at = At(kLockOffsetLow, kLockOffsetHigh);
  (void)UnlockFileEx(HandleOf(fd), 0, 1, 0, &at);  // fails harmlessly where nothing was locked
  if (_close(fd) != 0) return Status::Io(std::string("cannot close: ") + std::strerror(errno));
  return Status::Ok();
}

// First the rename with POSIX semantics, which replaces `to` in one step even
// while it is open, as the locked database is. Where Windows or the file
// system cannot do that, MoveFileExW, which replaces `to` in one step too, but
// fails while any program has it open: kBusy then.
Status RealFileSystem::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
  const std::string what = "cannot rename " + QuotePath(from) + " to " + QuotePath(to);
  Opened source = OpenHandle(from, DELETE | SYNCHRONIZE);
  if (source.error != ERROR_SUCCESS) return IoError(what, source.error);
  std::error_code no_full_path;
  const std::wstring target = std::filesystem::absolute(to, no_full_path).native();
  if (no_full_path) return Status::Io(what + ": " + no_full_path.message());
  Bytes request(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(request.data());
  rename->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::memcpy(rename->FileName, target.data(), rename->FileNameLength);
  DWORD error = RetryWhileShared([&] {
    return SetFileInformationByHandle(source.handle.get(), kFileRenameInfoEx, rename,
                                      static_cast<DWORD>(request.size()));
  });
  if (error == ERROR_SUCCESS) return Status::Ok();
  if (!NoReplacingOpenFiles(error)) return IoError(what, error);

  source.handle.Reset();
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Status::Ok();
  }
  error = GetLastError();
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
    return Status::Busy(what + ": " + Reason(error) +
                        " (this file system cannot replace a file that is open)");
  }
  return IoError(what, error);
}

// Only a file that no handle holds open is removed: DeleteFileW would also
// mark for deletion a file that another run still writes or is about to
// rename into place (its handle shares deleting, for that rename), and ORVA
// keeps each new file open until it is in place.
Status RealFileSystem::Unlink(const std::filesystem::path& path) {
  const std::string what = "cannot remove " + DescribePath(path);
  Opened file = OpenHandle(path, DELETE, 0, OPEN_EXISTING, 0);
  if (file.error != ERROR_SUCCESS) return IoError(what, file.error);
  FILE_DISPOSITION_INFO remove{TRUE};
  if (!SetFileInformationByHandle(file.handle.get(), FileDispositionInfo, &remove, sizeof remove)) {
    return IoError(what, GetLastError());
  }
  return Status::Ok();
}

// NTFS flushes a folder's entries, and the journal that records the rename,
// through a handle of the folder opened for writing. A file system that has
// no such flush, or a folder this user may add files to but not open so, is
// no failure.
Status RealFileSystem::SyncDirectory(const std::filesystem::path& folder) {
  Opened dir = OpenHandle(folder, GENERIC_READ | GENERIC_WRITE, FILE_FLAG_BACKUP_SEMANTICS);
  if (dir.error == ERROR_ACCESS_DENIED) return Status::Ok();
  if (dir.error != ERROR_SUCCESS)
    return IoError("cannot open the folder " + QuotePath(folder), dir.error);
  if (!FlushFileBuffers(dir.handle.get())) {
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_FUNCTION ||
        error == ERROR_NOT_SUPPORTED) {
      return Status::Ok();
    }
    return IoError("cannot flush the folder " + QuotePath(folder) + " to disk", error);
  }
  return Status::Ok();
}

FileSystem& DefaultFileSystem() {
  static RealFileSystem real;
  return real;
}

}  // namespace orva
