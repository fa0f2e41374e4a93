// Standard output whose every write is checked, so that a full disk or a
// closed descriptor is a failure and not a silent success.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace orva::cli {

class CheckedOutput {
 public:
  explicit CheckedOutput(std::ostream& out) : out_(out) {}

  // Writes `text` unless an earlier write failed.
  void Write(std::string_view text);

  // Flushes what is buffered. The reason the first failed write or the flush
  // failed ("No space left on device"), or nullopt when everything arrived.
  [[nodiscard]] std::optional<std::string> Finish();

 private:
  void Check();

  std::ostream& out_;
  std::optional<std::string> failure_;
};

}  // namespace orva::cli
