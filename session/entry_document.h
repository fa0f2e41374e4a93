// The database an edit session holds: not its bytes but its entries.
//
// The bytes as read stay as they were. The document keeps a table of
// entries, each an id and a reference to its text, which lies either in
// those bytes or in a store of new texts that only grows, in chunks, so that
// a reference stays valid as long as the document lives. Everything of the
// file that is not an entry's text is carried as it is, as runs of bytes:
// the header word; the bytes between the table and the first text (the gap);
// those a well-formed database lets lie between one text's NUL and the next
// text (each entry's "after"); and those after the last text's NUL (the
// tail), where the end marker's text lies when the marker sits just past the
// table. No offset is stored: a text's offset is the sum of what comes
// before it, made when the database is written.
//
// A change touches the entries it changes: a text swaps a reference, and an
// insertion or a removal works on a sequence of blocks of entries, so that
// neither moves the whole table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "database/text_edit.h"
#include "storage/status.h"

namespace orva {

// A run of bytes of the bytes as read or of the store.
using Run = std::span<const std::byte>;

// An entry: its id and its text, which is followed by its NUL wherever it
// lies. The text's length is found from its NUL rather than kept, and where
// it lies is kept as the bytes of a pointer, so that an entry takes 12 bytes
// rather than 16 (a table of a million entries: 11 MiB rather than 15).
class DocumentEntry {
 public:
  DocumentEntry() = default;
  DocumentEntry(const std::byte* text, std::int32_t entry_id) : id(entry_id) {
    std::memcpy(place_.data(), &text, sizeof text);
  }

  // The text, without its NUL; the text and its NUL.
  std::span<const std::byte> Text() const { return {data(), size()}; }
  std::span<const std::byte> Ended() const { return {data(), size() + 1}; }
  std::size_t size() const {
    const std::byte* text = data();
    return text == nullptr ? 0 : std::strlen(reinterpret_cast<const char*>(text));
  }
  const std::byte* data() const {
    const std::byte* text = nullptr;
    std::memcpy(&text, place_.data(), sizeof text);
    return text;
  }

  std::int32_t id = 0;

 private:
  std::array<std::byte, sizeof(const std::byte*)> place_{};
};

// New texts, each kept with a NUL after it, in chunks that never move.
class TextStore {
 public:
  // A copy of `text`, followed by a NUL, that stays in place.
  DocumentEntry Keep(std::int32_t id, std::span<const std::byte> text);
  // A copy of `bytes` that stays in place.
  Run KeepBytes(std::span<const std::byte> bytes);

 private:
  std::byte* Room(std::size_t size);

  std::vector<std::unique_ptr<std::byte[]>> chunks_;
  std::size_t used_ = 0;  // of the last chunk
  std::size_t room_ = 0;  // the last chunk's size
};

// The entries in table order, as a sequence of blocks: an entry is found by
// its index (from 0) in time logarithmic in the blocks, and one goes in or
// out by moving the entries of its block alone.
class EntryTable {
 public:
  std::size_t size() const { return size_; }
  // The bytes the entries' texts, their NULs and the bytes after them take.
  std::int64_t text_bytes() const { return text_bytes_; }

  const DocumentEntry& at(std::size_t index) const;
  // Adds an entry whose text has `size` bytes at the end.
  void Append(const DocumentEntry& entry, std::size_t size);
  // Gives the entry at `index` another text; the old entry back.
  DocumentEntry Replace(std::size_t index, const DocumentEntry& entry);
  void Insert(std::size_t index, std::span<const DocumentEntry> entries);
  // Takes out the entry at `index` and its after, which it gives back.
  DocumentEntry Erase(std::size_t index, std::vector<Run>* after);

  // The bytes between the entry's NUL and the next text.
  std::vector<Run> After(std::size_t index) const;
  void SetAfter(std::size_t index, std::vector<Run> runs);

  // Each entry from `first` on, with its after, in order, while `visit`
  // says go on.
  void Visit(std::size_t first,
             const std::function<bool(std::size_t index, const DocumentEntry& entry,
                                      std::span<const Run> after)>& visit) const;

 private:
  struct Block {
    std::vector<DocumentEntry> entries;
    // The entries with bytes after them, by their index in the block, rising.
    std::vector<std::pair<std::uint32_t, std::vector<Run>>> afters;
  };
  // The block that holds `index` and the index within it; an index past
  // the last entry gives the last block's end.
  std::pair<std::size_t, std::size_t> Locate(std::size_t index) const;
  void Renumber(std::size_t from_block);
  void Split(std::size_t block);

  std::vector<Block> blocks_;
  std::vector<std::size_t> starts_;  // the index of each block's first entry
  std::size_t size_ = 0;
  std::int64_t text_bytes_ = 0;
};

std::int64_t RunsSize(std::span<const Run> runs);

// What the file holds besides the entries and their texts.
struct DocumentFrame {
  std::array<std::byte, 4> header_word{};
  // The end marker's slot lies just past the table (slot N + 1) and moves
  // with it, its text `marker_in_tail` bytes into the tail.
  bool marker_past_table = false;
  std::size_t marker_in_tail = 0;
  std::vector<Run> gap;
  std::vector<Run> tail;
};

// A 64-bit digest of bytes given in pieces of any size, in the manner of
// xxHash: it tells bytes another program changed from those written, not one
// forger's from another's.
class Digester {
 public:
  void Add(std::span<const std::byte> bytes);
  std::uint64_t Finish() const;

 private:
  void Stripe(const std::byte* at);

  std::uint64_t lanes_[4] = {0x9E3779B185EBCA87u + 0xC2B2AE3D27D4EB4Fu, 0xC2B2AE3D27D4EB4Fu, 0,
                             0 - 0x9E3779B185EBCA87u};
  std::uint64_t total_ = 0;
  std::array<std::byte, 32> pending_{};
  std::size_t pending_size_ = 0;
};

class EntryDocument {
 public:
  // Reads a well-formed database of `size` bytes, refusing any other as
  // ReadEntryTexts does. The document keeps the bytes, in the buffer they
  // were read into (which need not have been cleared before).
  static Result<EntryDocument> Read(std::unique_ptr<std::byte[]> bytes, std::size_t size);
  // The document of a database's bytes that only live as long as the call:
  // a text that `like` holds in the same place or a little before is taken
  // from there, any other text and every run copied into `store`.
  static Result<EntryDocument> ReadCopy(std::span<const std::byte> bytes, const EntryDocument& like,
                                        TextStore& store);

  EntryDocument() = default;
  EntryDocument(EntryDocument&&) noexcept = default;
  EntryDocument& operator=(EntryDocument&&) noexcept = default;

  // The bytes as read, which runs and texts may lie in.
  std::span<const std::byte> bytes_read() const { return {read_.get(), read_size_}; }
  EntryTable& table() { return table_; }
  const EntryTable& table() const { return table_; }
  DocumentFrame& frame() { return frame_; }
  const DocumentFrame& frame() const { return frame_; }
  // The table and the frame change places with another document's: the
  // bytes as read stay.
  void SwapEntries(EntryDocument& other) {
    std::swap(table_, other.table_);
    std::swap(frame_, other.frame_);
    marker_known_ = other.marker_known_ = false;
  }

  std::size_t count() const { return table_.size(); }
  // The file's size.
  std::int64_t size() const;
  // Where the texts begin: after the table, a marker past it and the gap.
  std::int64_t TextsStart() const;
  // Where the tail begins.
  std::int64_t TailStart() const { return TextsStart() + table_.text_bytes(); }
  // The insertion point k: the first entry followed by the end marker, from
  // 1, N when the marker lies past the table; 0 without one.
  std::size_t InsertionPoint() const;
  // To be called after the ids or the entries' order changed.
  void EntriesMoved() { marker_known_ = false; }

  // The database's bytes, in order and in runs of any size (the table made
  // a block at a time), to `out`.
  Status Write(const std::function<Status(std::span<const std::byte>)>& out) const;
  // The same, as one image.
  std::vector<std::byte> Image() const;

 private:
  static Result<EntryDocument> Build(std::span<const std::byte> bytes, const EntryDocument* like,
                                     TextStore* store);

  std::unique_ptr<std::byte[]> read_;  // the bytes as read, never changed
  std::size_t read_size_ = 0;
  EntryTable table_;
  DocumentFrame frame_;
  mutable bool marker_known_ = false;
  mutable std::size_t marker_ = 0;
};

}  // namespace orva
