#include "database/entry_diff.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <system_error>

#include "database/read_limits.h"
#include "storage/quote.h"

namespace orva {
namespace {

constexpr std::uint32_t kUnmatched = std::numeric_limits<std::uint32_t>::max();

std::uint64_t Rotl(std::uint64_t x, int n) { return x << n | x >> (64 - n); }

// Eight bytes as a number, least-significant byte first.
std::uint64_t LoadLittleEndian(const std::byte* p, std::size_t n = 8) {
  std::uint64_t word = 0;
  for (std::size_t i = 0; i < n; ++i) word |= std::to_integer<std::uint64_t>(p[i]) << (8 * i);
  return word;
}

Status ChangedWhileRead(const std::filesystem::path& path) {
  return Status::Busy(DescribePath(path) +
                      " changed while it was read, so it is not compared; try again when no "
                      "other program is changing it");
}

}  // namespace

TextDigester::TextDigester() {
  std::random_device random;
  for (std::uint64_t& half : key_) {
    half = static_cast<std::uint64_t>(random()) << 32 | static_cast<std::uint64_t>(random());
  }
}

// SipHash-1-3 (Aumasson and Bernstein, with the rounds Rust's and Python's
// hash tables use): a round a word, three to finish.
std::uint64_t TextDigester::operator()(std::span<const std::byte> text) const {
  std::uint64_t v0 = key_[0] ^ 0x736f6d6570736575u;
  std::uint64_t v1 = key_[1] ^ 0x646f72616e646f6du;
  std::uint64_t v2 = key_[0] ^ 0x6c7967656e657261u;
  std::uint64_t v3 = key_[1] ^ 0x7465646279746573u;
  auto round = [&] {
    v0 += v1, v1 = Rotl(v1, 13), v1 ^= v0, v0 = Rotl(v0, 32);
    v2 += v3, v3 = Rotl(v3, 16), v3 ^= v2;
    v0 += v3, v3 = Rotl(v3, 21), v3 ^= v0;
    v2 += v1, v1 = Rotl(v1, 17), v1 ^= v2, v2 = Rotl(v2, 32);
  };
  auto take = [&](std::uint64_t m) {
    v3 ^= m;
    round();
    v0 ^= m;
  };
  const std::size_t whole = text.size() / 8 * 8;
  for (std::size_t i = 0; i < whole; i += 8) take(LoadLittleEndian(text.data() + i));
  take(static_cast<std::uint64_t>(text.size()) << 56 |
       LoadLittleEndian(text.data() + whole, text.size() - whole));
  v2 ^= 0xFF;
  for (int i = 0; i < 3; ++i) round();
  return v0 ^ v1 ^ v2 ^ v3;
}

std::future<Sha256Digest> Sha256Aside(std::span<const std::byte> bytes) {
  auto digest = [bytes] { return Sha256Of(bytes); };
  try {
    return std::async(std::launch::async, digest);
  } catch (const std::system_error&) {
    return std::async(std::launch::deferred, digest);
  }
}

Result<SummedVersion> SumUpVersion(const std::filesystem::path& path, const TextDigester& digester,
                                   bool sha256, FileSystem& fs) {
  Result<RegularFile> file = OpenRegularFile(path, OpenMode::kRead, fs);
  if (!file.ok()) return file.status();
  if (Status s = CheckReadLimit(file->info, path, kDatabaseReadLimit); !s.ok()) return s;
  std::vector<std::byte> bytes(static_cast<std::size_t>(file->info.size));
  if (Status s = ReadAllOf(fs, file->file.fd(), path, bytes); !s.ok()) return s;
  // Declared after the bytes, so that it is done with them before they go.
  std::future<Sha256Digest> digest;
  if (sha256) digest = Sha256Aside(bytes);
  Result<std::vector<EntryText>> entries = ReadEntryTexts(bytes);
  if (!entries.ok()) return entries.status();
  SummedVersion version;
  version.path = path;
  version.size = file->info.size;
  version.file = std::move(file).value();
  version.entries.reserve(entries->size());
  for (const EntryText& e : *entries) {
    version.entries.push_back({e.id, static_cast<std::uint32_t>(e.text.size()), digester(e.text)});
  }
  version.first_text = entries->front().offset;
  const Surroundings around = SurroundingsOf(bytes, *entries);
  version.header_word = around.header_word;
  version.marker_past_table = around.marker_past_table;
  version.marker_in_tail = around.marker_in_tail;
  version.gap.assign(around.gap.begin(), around.gap.end());
  version.tail.assign(around.tail.begin(), around.tail.end());
  if (sha256) version.sha256 = digest.get();
  return version;
}

Status CheckUnchanged(FileSystem& fs, const SummedVersion& version) {
  Result<FileInfo> now = fs.Info(version.file.file.fd());
  if (!now.ok()) return now.status();
  const FileInfo& was = version.file.info;
  if (now->size != was.size || now->modified_ns != was.modified_ns ||
      now->changed_ns != was.changed_ns) {
    return ChangedWhileRead(version.path);
  }
  return Status::Ok();
}

std::string EntryKey::Text() const {
  std::string text = std::to_string(id);
  if (numbered) text += "#" + std::to_string(occurrence);
  return text;
}

EntryIndex::EntryIndex(std::span<const EntryText> entries) { Sort(entries); }

EntryIndex::EntryIndex(std::span<const EntrySum> entries) { Sort(entries); }

template <typename Entry>
void EntryIndex::Sort(std::span<const Entry> entries) {
  // The ids made unsigned in the same order, and the entries sorted by them
  // with a stable radix sort, 16 bits a pass, so that the entries of one id
  // stay in table order: linear in the entries, where a million of them is
  // what a database of 64 MiB has. Ids often rise already; then there is
  // nothing to sort.
  const std::size_t n = entries.size();
  std::vector<std::uint32_t> keys(n);
  for (std::size_t i = 0; i < n; ++i) {
    keys[i] = static_cast<std::uint32_t>(entries[i].id) ^ 0x80000000u;
  }
  by_id_.resize(n);
  for (std::size_t i = 0; i < n; ++i) by_id_[i] = static_cast<std::uint32_t>(i);
  if (!std::is_sorted(keys.begin(), keys.end())) {
    std::vector<std::uint32_t> low_first(n);
    auto pass = [&](const std::vector<std::uint32_t>& from, std::vector<std::uint32_t>& to,
                    int shift) {
      std::vector<std::size_t> start(std::size_t{1} << 16 | 1, 0);
      for (std::uint32_t i : from) ++start[(keys[i] >> shift & 0xFFFFu) + 1];
      for (std::size_t d = 1; d < start.size(); ++d) start[d] += start[d - 1];
      for (std::uint32_t i : from) to[start[keys[i] >> shift & 0xFFFFu]++] = i;
    };
    pass(by_id_, low_first, 0);
    pass(low_first, by_id_, 16);
  }
  ids_.resize(n);
  occurrence_.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint32_t i = by_id_[k];
    ids_[k] = entries[i].id;
    occurrence_[i] = k > 0 && ids_[k - 1] == ids_[k] ? occurrence_[by_id_[k - 1]] + 1 : 1;
  }
}

std::size_t EntryIndex::Count(std::int32_t id) const {
  const auto [from, to] = std::equal_range(ids_.begin(), ids_.end(), id);
  return static_cast<std::size_t>(to - from);
}

std::optional<std::size_t> EntryIndex::Find(const EntryKey& key) const {
  if (key.occurrence < 1) return std::nullopt;
  const auto from = std::lower_bound(ids_.begin(), ids_.end(), key.id);
  const std::size_t at = static_cast<std::size_t>(from - ids_.begin()) + (key.occurrence - 1);
  if (at >= ids_.size() || ids_[at] != key.id) return std::nullopt;
  return by_id_[at];
}

namespace {

// The differences, with the index of each one's new entry (kUnmatched for
// none) in `new_at`: `same(old, new)` tells whether the texts of two entries
// (by index) are one.
template <typename NewEntry, typename Same>
EntryDiff Differences(std::span<const EntryText> old_entries, const EntryIndex& old_index,
                      std::span<const NewEntry> new_entries, const EntryIndex& new_index,
                      const Same& same, std::vector<std::uint32_t>& new_at) {
  const std::span<const std::uint32_t> olds = old_index.ById();
  const std::span<const std::uint32_t> news = new_index.ById();
  std::vector<std::uint32_t> new_of_old(old_entries.size(), kUnmatched);
  EntryDiff diff;
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < olds.size() || j < news.size()) {
    // The next id of either version, and how many entries each has with it.
    const bool old_first =
        j == news.size() || (i < olds.size() && old_entries[olds[i]].id <= new_entries[news[j]].id);
    const std::int32_t id = old_first ? old_entries[olds[i]].id : new_entries[news[j]].id;
    std::size_t a = 0;
    while (i + a < olds.size() && old_entries[olds[i + a]].id == id) ++a;
    std::size_t b = 0;
    while (j + b < news.size() && new_entries[news[j + b]].id == id) ++b;
    for (std::size_t k = 0; k < std::max(a, b); ++k) {
      EntryDifference d;
      d.key = {id, static_cast<std::uint32_t>(k + 1), a > 1 || b > 1};
      if (k < a) d.old_entry = &old_entries[olds[i + k]];
      if (k < a && k < b) {
        new_of_old[olds[i + k]] = news[j + k];
        if (same(olds[i + k], news[j + k])) continue;
        d.kind = DifferenceKind::kChanged;
      } else {
        d.kind = k < a ? DifferenceKind::kRemoved : DifferenceKind::kAdded;
      }
      diff.differences.push_back(d);
      new_at.push_back(k < b ? news[j + k] : kUnmatched);
    }
    i += a;
    j += b;
  }

  // The entries both have, in the old table's order, must stand in the same
  // order in the new one.
  std::size_t latest = kUnmatched;  // the old index of the one furthest on in the new table
  for (std::size_t k = 0; k < old_entries.size(); ++k) {
    if (new_of_old[k] == kUnmatched) continue;
    if (latest != kUnmatched && new_of_old[k] < new_of_old[latest]) {
      auto key = [&](std::size_t index) {
        const std::int32_t id = old_entries[index].id;
        return EntryKey{id, old_index.Occurrence(index),
                        old_index.Count(id) > 1 || new_index.Count(id) > 1};
      };
      diff.reordered = std::pair(key(latest), key(k));
      break;
    }
    if (latest == kUnmatched || new_of_old[k] > new_of_old[latest]) latest = k;
  }
  return diff;
}

}  // namespace

EntryDiff DiffEntries(std::span<const EntryText> old_entries, const EntryIndex& old_index,
                      std::span<const EntryText> new_entries, const EntryIndex& new_index) {
  std::vector<std::uint32_t> new_at;
  EntryDiff diff = Differences(
      old_entries, old_index, new_entries, new_index,
      [&](std::size_t i, std::size_t j) {
        const std::span<const std::byte> a = old_entries[i].text;
        const std::span<const std::byte> b = new_entries[j].text;
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
      },
      new_at);
  for (std::size_t k = 0; k < diff.differences.size(); ++k) {
    if (new_at[k] != kUnmatched) diff.differences[k].new_entry = &new_entries[new_at[k]];
  }
  return diff;
}

Result<SummedDiff> DiffEntries(FileSystem& fs, std::span<const EntryText> old_entries,
                               const EntryIndex& old_index, const SummedVersion& new_version,
                               const EntryIndex& new_index, const TextDigester& digester) {
  const std::span<const EntrySum> news = new_version.entries;
  std::vector<std::uint32_t> new_at;
  SummedDiff summed;
  summed.diff = Differences(
      old_entries, old_index, news, new_index,
      [&](std::size_t i, std::size_t j) {
        const std::span<const std::byte> text = old_entries[i].text;
        return text.size() == news[j].size && digester(text) == news[j].digest;
      },
      new_at);

  // The new entries the differences name, read again in table order: the
  // texts follow one another from the first, each after the NUL of the one
  // before.
  std::vector<std::uint32_t> wanted;
  for (std::uint32_t j : new_at) {
    if (j != kUnmatched) wanted.push_back(j);
  }
  std::sort(wanted.begin(), wanted.end());
  std::size_t bytes = 0;
  for (std::uint32_t j : wanted) bytes += news[j].size + std::size_t{1};
  summed.texts = std::make_unique<std::vector<std::byte>>(bytes);
  summed.read_again = std::make_unique<std::vector<EntryText>>();
  summed.read_again->reserve(wanted.size());
  const std::span<std::byte> into = *summed.texts;
  std::size_t offset = new_version.first_text;
  std::size_t at = 0;
  auto next = wanted.begin();
  for (std::size_t j = 0; j < news.size() && next != wanted.end(); ++j) {
    const std::size_t size = news[j].size;
    if (*next == j) {
      ++next;
      const std::span<std::byte> text = into.subspan(at, size + 1);
      Result<std::size_t> read =
          ReadFully(fs, new_version.file.file.fd(), static_cast<std::int64_t>(offset), text);
      if (!read.ok()) {
        return read.status().Within("cannot read " + DescribePath(new_version.path) + " (", ")");
      }
      if (*read != text.size() || text.back() != std::byte{0} ||
          digester(text.first(size)) != news[j].digest) {
        return ChangedWhileRead(new_version.path);
      }
      summed.read_again->push_back({j + 1, news[j].id, offset, text.first(size)});
      at += size + 1;
    }
    offset += size + 1;
  }
  if (Status s = CheckUnchanged(fs, new_version); !s.ok()) return s;

  for (std::size_t k = 0; k < summed.diff.differences.size(); ++k) {
    if (new_at[k] == kUnmatched) continue;
    const auto found = std::lower_bound(wanted.begin(), wanted.end(), new_at[k]);
    summed.diff.differences[k].new_entry =
        &(*summed.read_again)[static_cast<std::size_t>(found - wanted.begin())];
  }
  return summed;
}

namespace {

std::string Hex(std::int32_t word) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) {
    hex += kDigits[static_cast<std::uint32_t>(word) >> shift & 0xF];
  }
  return hex;
}

bool SameBytes(std::span<const std::byte> a, std::span<const std::byte> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

std::string Bytes(std::size_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

}  // namespace

std::vector<std::string> OtherDifferences(std::span<const std::byte> old_database,
                                          std::span<const EntryText> old_entries,
                                          std::span<const std::byte> new_database,
                                          std::span<const EntryText> new_entries,
                                          const EntryDiff& diff) {
  return OtherDifferences(SurroundingsOf(old_database, old_entries),
                          SurroundingsOf(new_database, new_entries), diff);
}

std::vector<std::string> OtherDifferences(const Surroundings& was, const Surroundings& is,
                                          const EntryDiff& diff) {
  std::vector<std::string> found;
  if (diff.reordered) {
    found.push_back("the entries " + diff.reordered->first.Text() + " and " +
                    diff.reordered->second.Text() +
                    " lie in one order in the old version and in the other in the new");
  }
  if (was.header_word != is.header_word) {
    found.push_back("the header word is " + Hex(was.header_word) + " in the old version and " +
                    Hex(is.header_word) + " in the new");
  }
  if (was.marker_past_table != is.marker_past_table) {
    found.push_back(std::string("the end marker lies just past the entry table in the ") +
                    (was.marker_past_table ? "old version, not in the new"
                                           : "new version, not in "
                                             "the old"));
  } else if (was.marker_in_tail != is.marker_in_tail) {
    found.push_back("the end marker past the entry table points " + Bytes(was.marker_in_tail) +
                    " past the last text's NUL in the old version and " + Bytes(is.marker_in_tail) +
                    " in the new");
  }
  if (!SameBytes(was.gap, is.gap)) {
    found.push_back("the bytes between the entry table and the first text differ (" +
                    Bytes(was.gap.size()) + " in the old version, " + Bytes(is.gap.size()) +
                    " in the new)");
  }
  if (!SameBytes(was.tail, is.tail)) {
    found.push_back("the bytes after the last text differ (" + Bytes(was.tail.size()) +
                    " in the old version, " + Bytes(is.tail.size()) + " in the new)");
  }
  return found;
}

}  // namespace orva
