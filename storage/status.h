// Errors as values: a Status says whether an operation worked and, when it
// did not, what kind of failure it was and the reason in plain words.
// Result<T> carries either a value or the Status explaining its absence.
#pragma once

#include <cassert>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace orva {

enum class ErrorKind {
  kOk = 0,
  kNotFound,       // the database file does not exist
  kIo,             // the operating system refused a read, write, sync or rename
  kMalformed,      // the bytes do not follow the database layout
  kNoRoom,         // a table or the 32-bit offsets cannot take what was asked
  kInvalidText,    // the text to insert cannot be stored as asked
  kUnsupported,    // the file is of a kind the tool declines to rewrite
  kBusy,           // another program is changing the database; trying again later may work
  kNoMemory,       // there was not enough memory for the operation
  kNothingToUndo,  // an undo or a redo with no change to take back or make again
};

class [[nodiscard]] Status {
 public:
  Status() = default;  // success

  static Status Ok() { return {}; }
  static Status NotFound(std::string msg) { return {ErrorKind::kNotFound, std::move(msg)}; }
  static Status Io(std::string msg) { return {ErrorKind::kIo, std::move(msg)}; }
  static Status Malformed(std::string msg) { return {ErrorKind::kMalformed, std::move(msg)}; }
  static Status NoRoom(std::string msg) { return {ErrorKind::kNoRoom, std::move(msg)}; }
  static Status InvalidText(std::string msg) { return {ErrorKind::kInvalidText, std::move(msg)}; }
  static Status Unsupported(std::string msg) { return {ErrorKind::kUnsupported, std::move(msg)}; }
  static Status Busy(std::string msg) { return {ErrorKind::kBusy, std::move(msg)}; }
  static Status NothingToUndo(std::string msg) {
    return {ErrorKind::kNothingToUndo, std::move(msg)};
  }
  // What the library's public calls return instead of letting std::bad_alloc
  // escape: `what` says what was being done.
  static Status NoMemory(const std::string& what) {
    return {ErrorKind::kNoMemory, "there is not enough memory to " + what};
  }

  bool ok() const { return kind_ == ErrorKind::kOk; }
  ErrorKind kind() const { return kind_; }
  // The reason in plain words, empty on success.
  const std::string& message() const { return message_; }
  // The same failure told with what was being done around it: `before`, the
  // message, then `after`. The kind stays, so callers still tell a busy file
  // from a full disk.
  Status Within(std::string_view before, std::string_view after = {}) const {
    if (ok()) return *this;
    return {kind_, std::string(before) + message_ + std::string(after)};
  }

 private:
  Status(ErrorKind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

  ErrorKind kind_ = ErrorKind::kOk;
  std::string message_;
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}        // NOLINT: implicit by design
  Result(Status status) : state_(std::move(status)) {  // NOLINT: implicit by design
    assert(!std::get<Status>(state_).ok() && "a Result without a value needs an error");
  }

  bool ok() const { return std::holds_alternative<T>(state_); }
  const Status& status() const {
    static const Status kOk;
    return ok() ? kOk : std::get<Status>(state_);
  }

  const T& value() const& { return std::get<T>(state_); }
  T& value() & { return std::get<T>(state_); }
  T&& value() && { return std::get<T>(std::move(state_)); }
  const T& operator*() const& { return value(); }
  T& operator*() & { return value(); }
  const T* operator->() const { return &value(); }
  T* operator->() { return &value(); }

 private:
  std::variant<T, Status> state_;
};

}  // namespace orva
