#include "session/entry_document.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "database/format.h"
#include "database/layout_check.h"
#include "database/little_endian.h"

namespace orva {
namespace {

// A block of the table is split in two past this many entries; a new table
// is laid out in blocks of half as many.
constexpr std::size_t kLargestBlock = 4096;
// The store's chunks, and the runs the table is written in.
constexpr std::size_t kChunk = std::size_t{1} << 20;

constexpr std::byte kNul{0};

std::uint64_t Rotl(std::uint64_t x, int r) { return x << r | x >> (64 - r); }

constexpr std::uint64_t kP1 = 0x9E3779B185EBCA87u;
constexpr std::uint64_t kP2 = 0xC2B2AE3D27D4EB4Fu;
constexpr std::uint64_t kP3 = 0x165667B19E3779F9u;
constexpr std::uint64_t kP4 = 0x85EBCA77C2B2AE63u;
constexpr std::uint64_t kP5 = 0x27D4EB2F165667C5u;

std::uint64_t Round(std::uint64_t acc, std::uint64_t input) {
  return Rotl(acc + input * kP2, 31) * kP1;
}

std::uint64_t Word(const std::byte* at) {
  std::uint64_t w;
  std::memcpy(&w, at, sizeof w);
  return w;
}

}  // namespace

// --- TextStore ---

std::byte* TextStore::Room(std::size_t size) {
  if (chunks_.empty() || room_ - used_ < size) {
    const std::size_t chunk = std::max(size, kChunk);
    chunks_.push_back(std::make_unique_for_overwrite<std::byte[]>(chunk));
    used_ = 0;
    room_ = chunk;
  }
  std::byte* at = chunks_.back().get() + used_;
  used_ += size;
  return at;
}

DocumentEntry TextStore::Keep(std::int32_t id, std::span<const std::byte> text) {
  std::byte* at = Room(text.size() + 1);
  std::copy(text.begin(), text.end(), at);
  at[text.size()] = kNul;
  return {at, id};
}

Run TextStore::KeepBytes(std::span<const std::byte> bytes) {
  if (bytes.empty()) return {};
  std::byte* at = Room(bytes.size());
  std::copy(bytes.begin(), bytes.end(), at);
  return {at, bytes.size()};
}

// --- EntryTable ---

std::int64_t RunsSize(std::span<const Run> runs) {
  std::int64_t size = 0;
  for (const Run& run : runs) size += static_cast<std::int64_t>(run.size());
  return size;
}

std::pair<std::size_t, std::size_t> EntryTable::Locate(std::size_t index) const {
  const auto after = std::upper_bound(starts_.begin(), starts_.end(), index);
  const auto block = static_cast<std::size_t>(after - starts_.begin()) - 1;
  return {block, index - starts_[block]};
}

void EntryTable::Renumber(std::size_t from_block) {
  starts_.resize(blocks_.size());
  for (std::size_t b = std::max<std::size_t>(from_block, 1); b < blocks_.size(); ++b) {
    starts_[b] = starts_[b - 1] + blocks_[b - 1].entries.size();
  }
  if (!starts_.empty()) starts_[0] = 0;
}

void EntryTable::Split(std::size_t b) {
  Block& full = blocks_[b];
  const std::size_t half = full.entries.size() / 2;
  Block second;
  second.entries.reserve(kLargestBlock);
  second.entries.assign(full.entries.begin() + static_cast<std::ptrdiff_t>(half),
                        full.entries.end());
  full.entries.resize(half);
  for (auto& [at, runs] : full.afters) {
    if (at >= half) second.afters.emplace_back(at - static_cast<std::uint32_t>(half), runs);
  }
  std::erase_if(full.afters, [&](const auto& after) { return after.first >= half; });
  blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b + 1), std::move(second));
  Renumber(b);
}

const DocumentEntry& EntryTable::at(std::size_t index) const {
  const auto [b, i] = Locate(index);
  return blocks_[b].entries[i];
}

DocumentEntry EntryTable::Replace(std::size_t index, const DocumentEntry& entry) {
  const auto [b, i] = Locate(index);
  DocumentEntry& in_place = blocks_[b].entries[i];
  const DocumentEntry old = in_place;
  text_bytes_ += static_cast<std::int64_t>(entry.size()) - static_cast<std::int64_t>(old.size());
  in_place = entry;
  return old;
}

void EntryTable::Append(const DocumentEntry& entry, std::size_t size) {
  // Blocks filled to half, so that insertions find room; the room is made
  // when one comes, not for every block of a table read.
  if (blocks_.empty() || blocks_.back().entries.size() >= kLargestBlock / 2) {
    blocks_.emplace_back().entries.reserve(kLargestBlock / 2);
    starts_.push_back(size_);
  }
  blocks_.back().entries.push_back(entry);
  ++size_;
  text_bytes_ += static_cast<std::int64_t>(size) + 1;
}

void EntryTable::Insert(std::size_t index, std::span<const DocumentEntry> entries) {
  if (entries.empty()) return;
  if (blocks_.empty()) {
    for (const DocumentEntry& entry : entries) Append(entry, entry.size());
    return;
  }
  auto [b, i] =
      index == size_ ? std::pair(blocks_.size() - 1, blocks_.back().entries.size()) : Locate(index);
  Block& block = blocks_[b];
  block.entries.insert(block.entries.begin() + static_cast<std::ptrdiff_t>(i), entries.begin(),
                       entries.end());
  for (auto& after : block.afters) {
    if (after.first >= i) after.first += static_cast<std::uint32_t>(entries.size());
  }
  size_ += entries.size();
  for (const DocumentEntry& entry : entries) {
    text_bytes_ += static_cast<std::int64_t>(entry.size()) + 1;
  }
  for (std::size_t next = b + 1; next < blocks_.size(); ++next) starts_[next] += entries.size();
  while (blocks_[b].entries.size() > kLargestBlock) {
    Split(b);
    if (blocks_[b].entries.size() <= kLargestBlock) ++b;
  }
}

DocumentEntry EntryTable::Erase(std::size_t index, std::vector<Run>* after) {
  const auto [b, i] = Locate(index);
  Block& block = blocks_[b];
  const DocumentEntry entry = block.entries[i];
  after->clear();
  for (auto it = block.afters.begin(); it != block.afters.end();) {
    if (it->first == i) {
      *after = std::move(it->second);
      it = block.afters.erase(it);
      continue;
    }
    if (it->first > i) --it->first;
    ++it;
  }
  block.entries.erase(block.entries.begin() + static_cast<std::ptrdiff_t>(i));
  --size_;
  text_bytes_ -= static_cast<std::int64_t>(entry.size()) + 1 + RunsSize(*after);
  if (block.entries.empty() && blocks_.size() > 1) {
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b));
    Renumber(b);
  } else {
    for (std::size_t next = b + 1; next < blocks_.size(); ++next) --starts_[next];
  }
  return entry;
}

std::vector<Run> EntryTable::After(std::size_t index) const {
  const auto [b, i] = Locate(index);
  for (const auto& [at, runs] : blocks_[b].afters) {
    if (at == i) return runs;
  }
  return {};
}

void EntryTable::SetAfter(std::size_t index, std::vector<Run> runs) {
  std::erase_if(runs, [](const Run& run) { return run.empty(); });
  const auto [b, i] = Locate(index);
  auto& afters = blocks_[b].afters;
  const auto at =
      std::lower_bound(afters.begin(), afters.end(), i,
                       [](const auto& after, std::size_t n) { return after.first < n; });
  if (at != afters.end() && at->first == i) {
    text_bytes_ -= RunsSize(at->second);
    if (runs.empty()) {
      afters.erase(at);
      return;
    }
    text_bytes_ += RunsSize(runs);
    at->second = std::move(runs);
    return;
  }
  if (runs.empty()) return;
  text_bytes_ += RunsSize(runs);
  afters.insert(at, {static_cast<std::uint32_t>(i), std::move(runs)});
}

void EntryTable::Visit(std::size_t first,
                       const std::function<bool(std::size_t, const DocumentEntry&,
                                                std::span<const Run>)>& visit) const {
  if (first >= size_) return;
  auto [b, i] = Locate(first);
  std::size_t index = first;
  for (; b < blocks_.size(); ++b, i = 0) {
    const Block& block = blocks_[b];
    auto after = std::lower_bound(block.afters.begin(), block.afters.end(), i,
                                  [](const auto& a, std::size_t n) { return a.first < n; });
    for (; i < block.entries.size(); ++i, ++index) {
      std::span<const Run> runs;
      if (after != block.afters.end() && after->first == i) runs = (after++)->second;
      if (!visit(index, block.entries[i], runs)) return;
    }
  }
}

// --- Digester ---

void Digester::Stripe(const std::byte* at) {
  for (int i = 0; i < 4; ++i) lanes_[i] = Round(lanes_[i], Word(at + 8 * i));
}

void Digester::Add(std::span<const std::byte> bytes) {
  total_ += bytes.size();
  if (pending_size_ > 0) {
    const std::size_t take = std::min(bytes.size(), pending_.size() - pending_size_);
    std::copy_n(bytes.begin(), take, pending_.begin() + static_cast<std::ptrdiff_t>(pending_size_));
    pending_size_ += take;
    bytes = bytes.subspan(take);
    if (pending_size_ < pending_.size()) return;
    Stripe(pending_.data());
    pending_size_ = 0;
  }
  const std::size_t whole = bytes.size() / 32 * 32;
  for (std::size_t at = 0; at < whole; at += 32) Stripe(bytes.data() + at);
  std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(whole), bytes.end(), pending_.begin());
  pending_size_ = bytes.size() - whole;
}

std::uint64_t Digester::Finish() const {
  std::uint64_t h = total_ * kP5;
  if (total_ >= 32) {
    h += Rotl(lanes_[0], 1) + Rotl(lanes_[1], 7) + Rotl(lanes_[2], 12) + Rotl(lanes_[3], 18);
    for (std::uint64_t lane : lanes_) h = (h ^ Round(0, lane)) * kP1 + kP4;
  }
  std::size_t at = 0;
  for (; at + 8 <= pending_size_; at += 8) {
    h = Rotl(h ^ Round(0, Word(pending_.data() + at)), 27) * kP1 + kP4;
  }
  for (; at < pending_size_; ++at) {
    h = Rotl(h ^ (std::to_integer<std::uint64_t>(pending_[at]) * kP5), 11) * kP1;
  }
  h ^= h >> 33;
  h *= kP2;
  h ^= h >> 29;
  h *= kP3;
  return h ^ (h >> 32);
}

// --- EntryDocument ---

Result<EntryDocument> EntryDocument::Read(std::unique_ptr<std::byte[]> bytes, std::size_t size) {
  const std::span<const std::byte> read(bytes.get(), size);
  if (Status s = CheckTextsWellFormed(read); !s.ok()) return s;
  Result<EntryDocument> document = Build(read, nullptr, nullptr);
  if (document.ok()) {
    document->read_ = std::move(bytes);  // the buffer stays where it is
    document->read_size_ = size;
  }
  return document;
}

Result<EntryDocument> EntryDocument::ReadCopy(std::span<const std::byte> bytes,
                                              const EntryDocument& like, TextStore& store) {
  if (Status s = CheckTextsWellFormed(bytes); !s.ok()) return s;
  return Build(bytes, &like, &store);
}

Result<EntryDocument> EntryDocument::Build(std::span<const std::byte> bytes,
                                           const EntryDocument* like, TextStore* store) {
  // Well-formed: the table fits, every text is NUL-ended inside the file and
  // the texts lie in table order, each after the NUL of the one before.
  const auto count = static_cast<std::size_t>(DecodeInt32(bytes, format::kCountOffset));
  const std::optional<std::int32_t> k = FindInsertionPoint(bytes);
  EntryDocument document;
  DocumentFrame& frame = document.frame_;
  std::copy_n(bytes.begin() + format::kHeaderWordOffset, 4, frame.header_word.begin());
  frame.marker_past_table = k && static_cast<std::size_t>(*k) == count;
  const std::size_t table_end = format::SlotOffset(count + 1 + (frame.marker_past_table ? 1 : 0));
  const auto keep = [&](Run run) -> Run { return store ? store->KeepBytes(run) : run; };
  std::size_t like_next = 0;  // the entry of `like` to look at first
  const auto text_of = [&](std::int32_t id, Run text) -> DocumentEntry {
    if (store == nullptr) return {text.data(), id};
    const std::size_t last = std::min(like->count(), like_next + 4);
    for (std::size_t j = like_next; j < last; ++j) {
      const DocumentEntry& there = like->table_.at(j);
      if (std::ranges::equal(there.Text(), text)) {
        like_next = j + 1;
        return {there.data(), id};
      }
    }
    return store->Keep(id, text);
  };
  std::size_t end = table_end;  // of the text before, with its NUL
  for (std::size_t slot = 1; slot <= count; ++slot) {
    const auto offset = static_cast<std::size_t>(DecodeInt32(bytes, format::TextOffsetField(slot)));
    const auto* nul =
        static_cast<const std::byte*>(std::memchr(bytes.data() + offset, 0, bytes.size() - offset));
    const Run between = bytes.subspan(end, offset - end);
    if (slot == 1) {
      frame.gap = {keep(between)};
    } else if (!between.empty()) {
      document.table_.SetAfter(slot - 2, {keep(between)});
    }
    const Run text = bytes.subspan(offset, static_cast<std::size_t>(nul - bytes.data()) - offset);
    document.table_.Append(text_of(DecodeInt32(bytes, format::SlotOffset(slot)), text),
                           text.size());
    end = static_cast<std::size_t>(nul - bytes.data()) + 1;
  }
  frame.tail = {keep(bytes.subspan(end))};
  std::erase_if(frame.gap, [](const Run& run) { return run.empty(); });
  std::erase_if(frame.tail, [](const Run& run) { return run.empty(); });
  if (frame.marker_past_table) {
    frame.marker_in_tail =
        static_cast<std::size_t>(DecodeInt32(bytes, format::TextOffsetField(count + 1))) - end;
  }
  return document;
}

std::int64_t EntryDocument::TextsStart() const {
  const std::size_t slots = count() + 1 + (frame_.marker_past_table ? 1 : 0);
  return static_cast<std::int64_t>(format::SlotOffset(slots)) + RunsSize(frame_.gap);
}

std::int64_t EntryDocument::size() const { return TailStart() + RunsSize(frame_.tail); }

std::size_t EntryDocument::InsertionPoint() const {
  if (!marker_known_) {
    marker_ = 0;
    table_.Visit(1, [&](std::size_t index, const DocumentEntry& entry, std::span<const Run>) {
      if (!format::IsEndMarker(entry.id)) return true;
      marker_ = index;  // the entry before it, from 1
      return false;
    });
    if (marker_ == 0 && frame_.marker_past_table) marker_ = count();
    marker_known_ = true;
  }
  return marker_;
}

Status EntryDocument::Write(const std::function<Status(std::span<const std::byte>)>& out) const {
  // The table a block at a time, each offset the sum of what lies before its text.
  std::vector<std::byte> block;
  block.reserve(kChunk);
  const auto put = [&](std::int32_t value) {
    std::array<std::byte, 4> four;
    EncodeInt32(four, 0, value);
    block.insert(block.end(), four.begin(), four.end());
  };
  const auto flush = [&]() -> Status {
    Status s = block.empty() ? Status::Ok() : out(block);
    block.clear();
    return s;
  };
  put(static_cast<std::int32_t>(count()));
  block.insert(block.end(), frame_.header_word.begin(), frame_.header_word.end());
  std::int64_t at = TextsStart();
  Status status;
  table_.Visit(0, [&](std::size_t, const DocumentEntry& entry, std::span<const Run> after) {
    put(entry.id);
    put(static_cast<std::int32_t>(at));
    at += static_cast<std::int64_t>(entry.size()) + 1 + RunsSize(after);
    if (block.size() + format::kEntrySize > kChunk) status = flush();
    return status.ok();
  });
  if (!status.ok()) return status;
  if (frame_.marker_past_table) {
    put(format::kEndMarkerId);
    put(static_cast<std::int32_t>(at + static_cast<std::int64_t>(frame_.marker_in_tail)));
  }
  if (Status s = flush(); !s.ok()) return s;
  for (const Run& run : frame_.gap) {
    if (Status s = out(run); !s.ok()) return s;
  }
  // The texts as runs: a text that follows the one before in memory (as
  // those of the bytes as read do) lengthens the run.
  Run pending;
  const auto add = [&](Run run) -> Status {
    if (!pending.empty() && pending.data() + pending.size() == run.data()) {
      pending = {pending.data(), pending.size() + run.size()};
      return Status::Ok();
    }
    Status s = pending.empty() ? Status::Ok() : out(pending);
    pending = run;
    return s;
  };
  table_.Visit(0, [&](std::size_t, const DocumentEntry& entry, std::span<const Run> after) {
    status = add(entry.Ended());
    for (std::size_t i = 0; status.ok() && i < after.size(); ++i) status = add(after[i]);
    return status.ok();
  });
  if (!status.ok()) return status;
  for (const Run& run : frame_.tail) {
    if (Status s = add(run); !s.ok()) return s;
  }
  return pending.empty() ? Status::Ok() : out(pending);
}

std::vector<std::byte> EntryDocument::Image() const {
  std::vector<std::byte> image;
  image.reserve(static_cast<std::size_t>(size()));
  (void)Write([&](std::span<const std::byte> run) {
    image.insert(image.end(), run.begin(), run.end());
    return Status::Ok();
  });
  return image;
}

}  // namespace orva
