#include "spelling/team_words.h"

#include <algorithm>
#include <new>

#include "database/code_page.h"
#include "storage/durable_file.h"
#include "storage/no_memory.h"
#include "storage/quote.h"

namespace orva {
namespace {

constexpr ReadLimit kTeamWordsLimit{std::int64_t{64} << 20, "the 64 MiB a word list is read up to"};
constexpr std::size_t kLongestWord = 200;  // bytes

// The lines of a text, without their line ends ("\n" or "\r\n").
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  std::size_t number = 1;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!visit(line, number)) return;
    if (end == std::string_view::npos) return;
    text.remove_prefix(end + 1);
    ++number;
  }
}

std::string_view WithoutByteOrderMark(std::string_view text) {
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  if (text.substr(0, kMark.size()) == kMark) text.remove_prefix(kMark.size());
  return text;
}

bool Listed(std::string_view line) { return !line.empty() && line.front() != '#'; }

}  // namespace

std::filesystem::path TeamWordsBeside(const std::filesystem::path& database) {
  return database.parent_path() / kTeamWordsFileName;
}

Result<std::vector<std::string>> ParseTeamWords(std::string_view text) {
  text = WithoutByteOrderMark(text);
  std::vector<std::string> words;
  Status status;
  ForEachLine(text, [&](std::string_view line, std::size_t number) {
    if (WellFormedUtf8Length(line) != line.size()) {
      status = Status::InvalidText("line " + std::to_string(number) + " is not UTF-8 text");
      return false;
    }
    if (Listed(line)) words.emplace_back(line);
    return true;
  });
  if (!status.ok()) return status;
  return words;
}

Result<std::vector<std::string>> ReadTeamWords(const std::filesystem::path& path, FileSystem& fs) {
  Result<std::vector<std::byte>> bytes = ReadWholeFile(path, kTeamWordsLimit, fs);
  if (!bytes.ok()) {
    if (bytes.status().kind() == ErrorKind::kNotFound) return std::vector<std::string>{};
    return bytes.status();
  }
  const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  Result<std::vector<std::string>> words = ParseTeamWords(text);
  if (!words.ok()) return words.status().Within("the word list " + QuotePath(path) + ": ");
  return words;
}

Status CheckTeamWord(std::string_view word) {
  if (word.empty()) return Status::InvalidText("an empty word cannot be added to the word list");
  if (word.size() > kLongestWord) {
    return Status::InvalidText("a word of more than " + std::to_string(kLongestWord) +
                               " bytes cannot be added to the word list");
  }
  Result<std::u32string> characters = DecodeUtf8(word);
  if (!characters.ok()) return Status::InvalidText("the word to add is not UTF-8 text");
  const bool blank = std::any_of(characters->begin(), characters->end(), [](char32_t c) {
    return c <= U' ' || (c >= 0x7F && c <= 0xA0) || c == 0x2028 || c == 0x2029;
  });
  if (blank) {
    return Status::InvalidText("\"" + std::string(word) +
                               "\" has a space or a control character in it: the word list "
                               "takes one word per line");
  }
  if (word.front() == '#') {
    return Status::InvalidText("\"" + std::string(word) +
                               "\" starts with \"#\", which the word list reads as a comment");
  }
  return Status::Ok();
}

Status AddTeamWord(const std::filesystem::path& path, std::string_view word, FileSystem& fs) {
  return OrNoMemory("add a word to the word list", [&]() -> Status {
    if (Status s = CheckTeamWord(word); !s.ok()) return s;
    Result<std::vector<std::byte>> old = ReadWholeFile(path, kTeamWordsLimit, fs);
    std::string_view text;
    if (old.ok()) {
      text = std::string_view(reinterpret_cast<const char*>(old->data()), old->size());
    } else if (old.status().kind() != ErrorKind::kNotFound) {
      return old.status().Within("", "; \"" + std::string(word) + "\" was not added");
    }
    Result<std::vector<std::string>> words = ParseTeamWords(text);
    if (!words.ok()) {
      return words.status().Within("the word list " + QuotePath(path) + ": ",
                                   "; it was left as it is");
    }
    if (std::find(words->begin(), words->end(), word) != words->end()) return Status::Ok();

    const bool ends_line = text.empty() || text.back() == '\n';
    // A list kept with Windows line ends goes on with them.
    const std::string_view eol = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    Result<WrittenFile> written = WriteFileDurably(
        path,
        [&](FileWriter& writer) {
          if (Status s = writer.Write(text); !s.ok()) return s;
          if (!ends_line) {
            if (Status s = writer.Write(eol); !s.ok()) return s;
          }
          if (Status s = writer.Write(word); !s.ok()) return s;
          return writer.Write(eol);
        },
        {}, fs);
    return written.status();
  });
}

}  // namespace orva
