#include "database/entry_diff.h"

#include <algorithm>
#include <limits>

namespace orva {

std::string EntryKey::Text() const {
  std::string text = std::to_string(id);
  if (numbered) text += "#" + std::to_string(occurrence);
  return text;
}

EntryIndex::EntryIndex(std::span<const EntryText> entries) {
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

EntryDiff DiffEntries(std::span<const EntryText> old_entries, const EntryIndex& old_index,
                      std::span<const EntryText> new_entries, const EntryIndex& new_index) {
  constexpr std::uint32_t kUnmatched = std::numeric_limits<std::uint32_t>::max();
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
      if (k < b) d.new_entry = &new_entries[news[j + k]];
      if (k < a && k < b) {
        new_of_old[olds[i + k]] = news[j + k];
        if (std::equal(d.old_entry->text.begin(), d.old_entry->text.end(),
                       d.new_entry->text.begin(), d.new_entry->text.end())) {
          continue;
        }
        d.kind = DifferenceKind::kChanged;
      } else {
        d.kind = k < a ? DifferenceKind::kRemoved : DifferenceKind::kAdded;
      }
      diff.differences.push_back(d);
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
  std::vector<std::string> found;
  if (diff.reordered) {
    found.push_back("the entries " + diff.reordered->first.Text() + " and " +
                    diff.reordered->second.Text() +
                    " lie in one order in the old version and in the other in the new");
  }
  const Surroundings was = SurroundingsOf(old_database, old_entries);
  const Surroundings is = SurroundingsOf(new_database, new_entries);
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
