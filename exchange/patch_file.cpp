#include "exchange/patch_file.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "database/code_page.h"
#include "database/format.h"
#include "exchange/internal/c_escapes.h"
#include "storage/quote.h"

namespace orva {
namespace {

// A reader that stops after this many problems: a file that is no patch at
// all would otherwise give one a line.
constexpr std::size_t kMostProblems = 100;

std::string KeyText(const std::optional<EntryKey>& key) {
  return key ? "after " + key->Text() : "first";
}

// One line of a patch, read a token at a time.
class LineReader {
 public:
  explicit LineReader(std::string_view line) : rest_(line) {}

  bool AtEnd() {
    SkipSpaces();
    return rest_.empty();
  }
  // The next run of characters up to a space or the end.
  std::string_view Word() {
    SkipSpaces();
    const std::size_t end = std::min(rest_.find_first_of(" \t"), rest_.size());
    const std::string_view word = rest_.substr(0, end);
    rest_.remove_prefix(end);
    return word;
  }
  // A string in double quotes, with the escapes C and PO files know: the
  // bytes it stands for, or why there is none.
  Result<std::string> String() {
    SkipSpaces();
    if (rest_.empty() || rest_.front() != '"') {
      return Status::Malformed("a text in double quotes was expected");
    }
    std::string out;
    for (std::size_t i = 1; i < rest_.size(); ++i) {
      const char c = rest_[i];
      if (c == '"') {
        rest_.remove_prefix(i + 1);
        return out;
      }
      if (c != '\\') {
        out += c;
        continue;
      }
      if (++i == rest_.size()) break;
      if (std::optional<std::string> why = AppendCUnescaped(rest_, i, out)) {
        return Status::Malformed(*why + " in a text");
      }
    }
    return Status::Malformed("a text has no closing double quote");
  }

 private:
  void SkipSpaces() {
    while (!rest_.empty() && (rest_.front() == ' ' || rest_.front() == '\t'))
      rest_.remove_prefix(1);
  }

  std::string_view rest_;
};

template <typename Int>
std::optional<Int> Number(std::string_view digits) {
  Int value{};
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<EntryKey> ParseKey(std::string_view word) {
  const std::size_t hash = word.find('#');
  if (word.starts_with('+')) return std::nullopt;
  const std::optional<std::int32_t> id = Number<std::int32_t>(word.substr(0, hash));
  if (!id) return std::nullopt;
  if (hash == std::string_view::npos) return EntryKey{*id, 1, false};
  const std::string_view place = word.substr(hash + 1);
  if (place.starts_with('-') || place.starts_with('+')) return std::nullopt;
  const std::optional<std::uint32_t> occurrence = Number<std::uint32_t>(place);
  if (!occurrence || *occurrence == 0) return std::nullopt;
  return EntryKey{*id, *occurrence, true};
}

std::string NotAKey(std::string_view word) {
  return "'" + std::string(word) +
         "' is no entry's key: an id, or ID#N for the N-th entry with "
         "the id";
}

// The records of a patch, the header aside, checked one line at a time.
class PatchReader {
 public:
  PatchReading Read(std::string_view content) {
    if (content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);  // a byte order mark
    std::size_t number = 0;
    while (!content.empty() && reading_.problems.size() < kMostProblems && !stopped_) {
      const std::size_t lf = content.find('\n');
      std::string_view line = content.substr(0, lf);
      content.remove_prefix(lf == std::string_view::npos ? content.size() : lf + 1);
      if (line.ends_with('\r')) line.remove_suffix(1);
      ReadLine(++number, line);
    }
    if (number == 0)
      Problem(
          0, "the file is empty: no patch begins with an '" + std::string(kPatchFormat) + "' line");
    if (!stopped_ && reading_.problems.size() >= kMostProblems) {
      Problem(number, "more problems than " + std::to_string(kMostProblems) +
                          "; the rest of the file was not read");
    } else if (!stopped_ && reading_.patch.result_line == 0 && number > 0) {
      Problem(0, "the patch names no 'result' file");
    }
    if (reading_.problems.empty()) CheckRecordsFit();
    return std::move(reading_);
  }

 private:
  void Problem(std::size_t line, std::string what, std::string key = {}) {
    reading_.problems.push_back({line, std::move(key), std::move(what)});
  }

  void ReadLine(std::size_t number, std::string_view line) {
    if (number == 1) return ReadFormatLine(line);
    LineReader reader(line);
    if (reader.AtEnd() || line.front() == '#') return;  // blank lines and comments
    const std::string_view word = reader.Word();
    Patch& patch = reading_.patch;
    if (word == "base" || word == "result") {
      const bool base = word == "base";
      if (base ? patch.base_line != 0 : patch.result_line != 0) {
        return Problem(number, "the patch names its " + std::string(word) + " file twice");
      }
      if (!base && patch.base_line == 0) {
        return Problem(number, "the 'result' line must follow the 'base' line");
      }
      return ReadFileLine(number, reader, base ? patch.base : patch.result,
                          base ? patch.base_line : patch.result_line);
    }
    if (patch.result_line == 0) {
      return Problem(number, "the 'base' and 'result' lines must come before the records");
    }
    PatchRecord record;
    record.line = number;
    if (word == "change") {
      record.action = PatchAction::kChange;
    } else if (word == "remove") {
      record.action = PatchAction::kRemove;
    } else if (word == "insert") {
      record.action = PatchAction::kInsert;
    } else {
      return Problem(
          number, "'" + std::string(word) + "' is no record of a patch (change, remove or insert)");
    }
    const std::string_view key = reader.Word();
    const std::optional<EntryKey> parsed = ParseKey(key);
    if (!parsed) return Problem(number, NotAKey(key));
    record.key = *parsed;
    if (Status s = ReadRecord(reader, record); !s.ok()) {
      return Problem(number, s.message(), record.key.Text());
    }
    patch.records.push_back(std::move(record));
  }

  void ReadFormatLine(std::string_view line) {
    LineReader reader(line);
    const std::string_view name = reader.Word();
    const std::string_view version = reader.Word();
    if (name != kPatchFormat || version.empty() || !reader.AtEnd()) {
      stopped_ = true;
      return Problem(1, "this is no ORVA patch: its first line must be '" +
                            std::string(kPatchFormat) + " " + std::to_string(kPatchVersion) + "'");
    }
    if (version != std::to_string(kPatchVersion)) {
      stopped_ = true;
      return Problem(1, "the patch is of version '" + std::string(version) +
                            "' of the format; this orva-cli reads version " +
                            std::to_string(kPatchVersion));
    }
  }

  // SIZE bytes sha256 HEX
  void ReadFileLine(std::size_t number, LineReader& reader, PatchedFile& file,
                    std::size_t& file_line) {
    const std::string_view size = reader.Word();
    const std::string_view bytes = reader.Word();
    const std::string_view hash = reader.Word();
    const std::string_view hex = reader.Word();
    const std::optional<std::int64_t> value = Number<std::int64_t>(size);
    if (!value || *value < 0 || *value > format::kMaxDatabaseSize || size.starts_with('-')) {
      return Problem(
          number, "'" + std::string(size) + "' is no size of a database (0 to 2147483647 bytes)");
    }
    const std::optional<Sha256Digest> digest = DigestFromHex(hex);
    if (bytes != "bytes" || hash != "sha256" || !digest || !reader.AtEnd()) {
      return Problem(number,
                     "a file is named by its size and its SHA-256 as 'SIZE bytes sha256 "
                     "HEX', with 64 hex digits");
    }
    file = {*value, *digest};
    file_line = number;
  }

  // After the key: "OLD" "NEW" for a change, (after KEY | first) "TEXT" for
  // the others.
  static Status ReadRecord(LineReader& reader, PatchRecord& record) {
    if (record.action != PatchAction::kChange) {
      const std::string_view place = reader.Word();
      if (place == "after") {
        const std::string_view before = reader.Word();
        record.after = ParseKey(before);
        if (!record.after) return Status::Malformed(NotAKey(before));
        if (*record.after == record.key) {
          return Status::Malformed("an entry cannot come after itself");
        }
      } else if (place != "first") {
        return Status::Malformed("'after KEY' or 'first' was expected, where the entry stands");
      }
    }
    auto text = [&](std::vector<std::byte>& into) {
      Result<std::string> utf8 = reader.String();
      if (!utf8.ok()) return utf8.status();
      Result<std::vector<std::byte>> stored = StoredText(*utf8);
      if (!stored.ok()) return stored.status();
      into = std::move(stored).value();
      return Status::Ok();
    };
    if (record.action != PatchAction::kInsert) {
      if (Status s = text(record.old_text); !s.ok()) return s;
    }
    if (record.action != PatchAction::kRemove) {
      if (Status s = text(record.new_text); !s.ok()) return s;
    }
    if (!reader.AtEnd()) return Status::Malformed("the line goes on after its record");
    return Status::Ok();
  }

  // What the records must be to have come from two versions: each entry
  // touched once; an id whose entries are inserted or removed has only one
  // of the two, and those are its last entries, numbered on without a gap;
  // at most one entry goes right after another, and each goes after an entry
  // of the version that has it, without a loop; and the sizes add up.
  void CheckRecordsFit() {
    const std::vector<PatchRecord>& records = reading_.patch.records;
    std::vector<std::size_t> by_key(records.size());
    for (std::size_t i = 0; i < by_key.size(); ++i) by_key[i] = i;
    std::stable_sort(by_key.begin(), by_key.end(),
                     [&](std::size_t a, std::size_t b) { return records[a].key < records[b].key; });
    for (std::size_t k = 0; k < by_key.size(); ++k) {
      const PatchRecord& r = records[by_key[k]];
      if (k > 0 && records[by_key[k - 1]].key == r.key) {
        Problem(
            r.line,
            "the entry is touched already, at line " + std::to_string(records[by_key[k - 1]].line),
            r.key.Text());
      }
    }
    if (!reading_.problems.empty()) return;
    CheckIds(by_key);
    CheckPlaces(PatchAction::kInsert, PatchAction::kRemove);
    CheckPlaces(PatchAction::kRemove, PatchAction::kInsert);
    CheckSizes();
  }

  void CheckIds(const std::vector<std::size_t>& by_key) {
    const std::vector<PatchRecord>& records = reading_.patch.records;
    for (std::size_t from = 0; from < by_key.size();) {
      const std::int32_t id = records[by_key[from]].key.id;
      std::size_t to = from;
      while (to < by_key.size() && records[by_key[to]].key.id == id) ++to;
      // By occurrence: changes, then the run of insertions or removals.
      const PatchRecord* first_moved = nullptr;
      for (std::size_t k = from; k < to; ++k) {
        const PatchRecord& r = records[by_key[k]];
        if (first_moved == nullptr) {
          if (r.action != PatchAction::kChange) first_moved = &r;
          continue;
        }
        const PatchRecord& before = records[by_key[k - 1]];
        if (r.action == PatchAction::kChange) {
          Problem(r.line,
                  "it is changed, yet " + first_moved->key.Text() + " (line " +
                      std::to_string(first_moved->line) +
                      ") comes before it: the entries inserted or removed with one id are its "
                      "last ones",
                  r.key.Text());
          break;
        }
        if (r.action != first_moved->action) {
          Problem(r.line,
                  "an id cannot both gain and lose entries (see line " +
                      std::to_string(first_moved->line) +
                      "): entries with one id are matched by their order among them",
                  r.key.Text());
          break;
        }
        if (r.key.occurrence != before.key.occurrence + 1) {
          Problem(r.line,
                  "the entries inserted or removed with one id are numbered on without a gap, "
                  "but " +
                      before.key.Text() + " is followed by " + r.key.Text(),
                  r.key.Text());
          break;
        }
      }
      from = to;
    }
  }

  // The records of `action` (insertions or removals) each go after an entry
  // of their version: none touched by `other`, which that version lacks; no
  // two after the same entry; and no loop among them.
  void CheckPlaces(PatchAction action, PatchAction other) {
    const std::vector<PatchRecord>& records = reading_.patch.records;
    std::map<EntryKey, std::size_t> own;      // the key of each such record
    std::map<EntryKey, std::size_t> missing;  // keys the version lacks
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (records[i].action == action) own.emplace(records[i].key, i);
      if (records[i].action == other) missing.emplace(records[i].key, i);
    }
    std::map<std::optional<EntryKey>, std::size_t> placed;  // after what, which record
    for (const auto& [key, i] : own) {
      const PatchRecord& r = records[i];
      if (r.after && missing.contains(*r.after)) {
        Problem(r.line,
                "it goes after " + r.after->Text() + ", which the line " +
                    std::to_string(records[missing.at(*r.after)].line) +
                    " says that version does not have",
                key.Text());
      }
      const auto [at, added] = placed.emplace(r.after, i);
      if (!added) {
        Problem(r.line,
                "line " + std::to_string(records[at->second].line) + " puts another entry " +
                    KeyText(r.after) + " already",
                key.Text());
      }
    }
    // Each chain of entries after entries must begin at one the patch does
    // not touch in this way: follow each back, marking what was seen.
    std::map<EntryKey, int> state;  // 1: being followed, 2: reaches such an entry
    for (const auto& [start, i] : own) {
      std::vector<EntryKey> path;
      std::optional<EntryKey> at = start;
      while (at && own.contains(*at) && state[*at] == 0) {
        state[*at] = 1;
        path.push_back(*at);
        at = records[own.at(*at)].after;
      }
      if (at && own.contains(*at) && state[*at] == 1) {
        const PatchRecord& r = records[own.at(*at)];
        Problem(r.line, "the entries after one another go round in a loop, so none has a place",
                r.key.Text());
        return;
      }
      for (const EntryKey& key : path) state[key] = 2;
    }
  }

  // What the records add and take away is the difference of the two sizes.
  void CheckSizes() {
    const Patch& patch = reading_.patch;
    std::int64_t growth = 0;
    for (const PatchRecord& r : patch.records) {
      const auto old_size = static_cast<std::int64_t>(r.old_text.size());
      const auto new_size = static_cast<std::int64_t>(r.new_text.size());
      switch (r.action) {
        case PatchAction::kChange:
          growth += new_size - old_size;
          break;
        case PatchAction::kRemove:
          growth -= format::kAddedPerText + old_size;
          break;
        case PatchAction::kInsert:
          growth += format::kAddedPerText + new_size;
          break;
      }
    }
    if (patch.base.size + growth != patch.result.size) {
      Problem(patch.result_line, "the records make a file of " + std::to_string(patch.base.size) +
                                     " bytes " + (growth < 0 ? "" : "+") + std::to_string(growth) +
                                     " bytes, not of the " + std::to_string(patch.result.size) +
                                     " bytes the patch names");
    }
  }

  PatchReading reading_;
  bool stopped_ = false;
};

}  // namespace

std::string QuotedPatchText(std::span<const std::byte> stored) {
  std::string out = "\"";
  AppendCEscaped(out, ExchangeText(stored), OtherControls::kOctal);
  return out += '"';
}

PatchReading ReadPatch(std::string_view content) { return PatchReader().Read(content); }

std::string WritePatch(const Patch& patch) {
  auto file = [](std::string_view name, const PatchedFile& f) {
    return std::string(name) + " " + std::to_string(f.size) + " bytes sha256 " +
           HexDigest(f.digest) + "\n";
  };
  std::string out = std::string(kPatchFormat) + " " + std::to_string(kPatchVersion) + "\n";
  out += file("base", patch.base);
  out += file("result", patch.result);
  for (const PatchRecord& r : patch.records) {
    switch (r.action) {
      case PatchAction::kChange:
        out += "change " + r.key.Text() + " " + QuotedPatchText(r.old_text) + " " +
               QuotedPatchText(r.new_text);
        break;
      case PatchAction::kRemove:
        out +=
            "remove " + r.key.Text() + " " + KeyText(r.after) + " " + QuotedPatchText(r.old_text);
        break;
      case PatchAction::kInsert:
        out +=
            "insert " + r.key.Text() + " " + KeyText(r.after) + " " + QuotedPatchText(r.new_text);
        break;
    }
    out += '\n';
  }
  return out;
}

Patch Reversed(Patch patch) {
  std::swap(patch.base, patch.result);
  std::swap(patch.base_line, patch.result_line);
  for (PatchRecord& r : patch.records) {
    std::swap(r.old_text, r.new_text);
    if (r.action == PatchAction::kRemove) {
      r.action = PatchAction::kInsert;
    } else if (r.action == PatchAction::kInsert) {
      r.action = PatchAction::kRemove;
    }
  }
  return patch;
}

}  // namespace orva
