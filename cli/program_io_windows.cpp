// orva-cli's arguments and standard streams on Windows. The arguments are read
// as UTF-16 (GetCommandLineW) and turned into UTF-8, never through the ANSI
// code page. A console window is written and read as UTF-16 characters
// (WriteConsoleW, ReadConsoleW), so that it shows and takes any text whatever
// its code page; redirected streams carry the bytes unchanged, in binary mode:
// no CR is added before a line feed, and byte 0x1A does not end the input. A
// redirected standard input is read with ReadFile, so that a failed read is
// told from its end.
// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <streambuf>
#include <string_view>

#include "cli/program_io.h"
#include "storage/utf16.h"

namespace orva::cli {
namespace {

// How much of `bytes` ends on a whole UTF-8 sequence: a sequence cut short at
// the end is left for the write that completes it.
std::size_t WholeSequences(std::string_view bytes) {
  for (std::size_t back = 1; back <= std::min<std::size_t>(3, bytes.size()); ++back) {
    const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? bytes.size() - back : bytes.size();
  }
  return bytes.size();
}

// UTF-8 written to a console window as characters.
class ConsoleOutput final : public std::streambuf {
 public:
  explicit ConsoleOutput(HANDLE console) : console_(console) {}
  ~ConsoleOutput() override { (void)Flush(pending_.size()); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
      return sync() == 0 ? traits_type::not_eof(c) : traits_type::eof();
    }
    pending_.push_back(traits_type::to_char_type(c));
    return pending_.size() < kBuffer || sync() == 0 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* text, std::streamsize size) override {
    pending_.append(text, static_cast<std::size_t>(size));
    return pending_.size() < kBuffer || sync() == 0 ? size : 0;
  }
  int sync() override { return Flush(WholeSequences(pending_)) ? 0 : -1; }

 private:
  static constexpr std::size_t kBuffer = 4096;

  // Writes the first `size` bytes; false, with errno set, when the console refuses.
  bool Flush(std::size_t size) {
    const std::wstring text = Utf16FromUtf8(std::string_view(pending_).substr(0, size));
    pending_.erase(0, size);
    for (std::wstring_view left = text; !left.empty();) {
      DWORD written = 0;
      const auto part = static_cast<DWORD>(std::min<std::size_t>(left.size(), kBuffer));
      if (!WriteConsoleW(console_, left.data(), part, &written, nullptr) || written == 0) {
        errno = EIO;
        return false;
      }
      left.remove_prefix(written);
    }
    return true;
  }

  HANDLE console_;
  std::string pending_;
};

// What is typed in a console window, as UTF-8. Ctrl+Z ends it, as it does
// for Windows' own programs. A failed read throws, which the stream that
// reads through this buffer turns into its bad state.
class ConsoleInput final : public std::streambuf {
 public:
  explicit ConsoleInput(HANDLE console) : console_(console) {}

 protected:
  int_type underflow() override {
    while (gptr() == egptr()) {
      if (ended_) return traits_type::eof();
      wchar_t typed[4096];
      DWORD got = 0;
      if (!ReadConsoleW(console_, typed, 4096, &got, nullptr)) {
        throw std::runtime_error("cannot read from the console");
      }
      std::wstring_view text(typed, got);
      if (const std::size_t end = text.find(L'\x1a'); end != text.npos || got == 0) {
        text = text.substr(0, end);
        ended_ = true;
      }
      // A character beyond U+FFFF may come as its two halves in two reads.
      units_.append(text);
      const bool halved = !ended_ && !units_.empty() && IS_HIGH_SURROGATE(units_.back());
      buffer_ = Utf8FromUtf16(std::wstring_view(units_).substr(0, units_.size() - halved));
      units_.erase(0, units_.size() - halved);
      setg(buffer_.data(), buffer_.data(), buffer_.data() + buffer_.size());
    }
    return traits_type::to_int_type(*gptr());
  }

 private:
  HANDLE console_;
  std::wstring units_;
  std::string buffer_;
  bool ended_ = false;
};

// A redirected standard input, a file or a pipe, read as it is. The end of
// the file or of the pipe ends it. A failed read (no handle at all, a folder,
// a disk error) throws, with errno saying why, which the stream that reads
// through this buffer turns into its bad state: a read error is never taken
// for the end of the texts. A pipe in no-wait mode is waited on.
class RedirectedInput final : public std::streambuf {
 public:
  explicit RedirectedInput(HANDLE handle) : handle_(handle) {}

 protected:
  int_type underflow() override {
    while (true) {
      DWORD got = 0;
      if (ReadFile(handle_, buffer_, sizeof buffer_, &got, nullptr)) {
        if (got == 0) return traits_type::eof();
        setg(buffer_, buffer_, buffer_ + got);
        return traits_type::to_int_type(buffer_[0]);
      }
      const DWORD error = GetLastError();
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return traits_type::eof();
      if (error == ERROR_NO_DATA) {
        Sleep(10);
        continue;
      }
      errno = error == ERROR_INVALID_HANDLE  ? EBADF
              : error == ERROR_ACCESS_DENIED ? EACCES
              : IsFolder()                   ? EISDIR
                                             : EIO;
      throw std::runtime_error("cannot read standard input");
    }
  }

 private:
  bool IsFolder() const {
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(handle_, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  HANDLE handle_;
  char buffer_[64 * 1024];
};

// The standard handle if it is a console window, else null.
HANDLE Console(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
    return nullptr;
  }
  return handle;
}

void SetBinary(std::FILE* stream) {
  if (const int fd = _fileno(stream); fd >= 0) (void)_setmode(fd, _O_BINARY);
}

}  // namespace

std::vector<std::string> ProgramArguments(int, char**) {
  int count = 0;
  std::unique_ptr<wchar_t*, decltype(&LocalFree)> wide(
      CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  if (!wide) throw std::runtime_error("cannot read the command line");
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(Utf8FromUtf16(wide.get()[i]));
  return args;
}

struct StandardStreams::Consoles {
  std::unique_ptr<std::streambuf> in_buffer;
  std::unique_ptr<ConsoleOutput> out_buffer;
  std::unique_ptr<ConsoleOutput> err_buffer;
  std::istream in{nullptr};
  std::ostream out{nullptr};
  std::ostream err{nullptr};
};

StandardStreams::StandardStreams() : consoles_(std::make_unique<Consoles>()) {
  SetBinary(stdin);
  SetBinary(stdout);
  SetBinary(stderr);
  if (const HANDLE console = Console(STD_INPUT_HANDLE)) {
    consoles_->in_buffer = std::make_unique<ConsoleInput>(console);
  } else {
    consoles_->in_buffer = std::make_unique<RedirectedInput>(GetStdHandle(STD_INPUT_HANDLE));
  }
  consoles_->in.rdbuf(consoles_->in_buffer.get());
  if (const HANDLE console = Console(STD_OUTPUT_HANDLE)) {
    consoles_->out_buffer = std::make_unique<ConsoleOutput>(console);
    consoles_->out.rdbuf(consoles_->out_buffer.get());
  }
  if (const HANDLE console = Console(STD_ERROR_HANDLE)) {
    consoles_->err_buffer = std::make_unique<ConsoleOutput>(console);
    consoles_->err.rdbuf(consoles_->err_buffer.get());
    consoles_->err.setf(std::ios::unitbuf);  // as std::cerr: each message at once
  }
}

StandardStreams::~StandardStreams() = default;

std::istream& StandardStreams::in() { return consoles_->in; }
std::ostream& StandardStreams::out() { return consoles_->out_buffer ? consoles_->out : std::cout; }
std::ostream& StandardStreams::err() { return consoles_->err_buffer ? consoles_->err : std::cerr; }

}  // namespace orva::cli
