#include "database/reference.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "database/format.h"
#include "database/layout_check.h"
#include "database/little_endian.h"
#include "database/read_limits.h"
#include "storage/no_memory.h"
#include "storage/quote.h"
#include "storage/whole_file.h"

namespace orva {
namespace {

// The indexes of `ids` sorted by id, entries of one id in table order.
std::vector<std::uint32_t> ById(std::span<const std::int32_t> ids) {
  std::vector<std::uint32_t> order(ids.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  // Ties broken by index: a sort that needs no buffer, and the order among
  // the entries of one id is their table order.
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return ids[a] != ids[b] ? ids[a] < ids[b] : a < b;
  });
  return order;
}

}  // namespace

std::size_t EntryJoin::OnlyInDatabase() const {
  return static_cast<std::size_t>(std::count(partner.begin(), partner.end(), kNone));
}

EntryJoin JoinById(std::span<const std::int32_t> ids, std::span<const std::int32_t> reference_ids) {
  EntryJoin join;
  join.partner.assign(ids.size(), EntryJoin::kNone);
  std::vector<bool> taken(reference_ids.size(), false);
  {
    const std::vector<std::uint32_t> mine = ById(ids);
    const std::vector<std::uint32_t> theirs = ById(reference_ids);
    // One pass over both: within an id, the n-th of one side with the n-th
    // of the other.
    for (std::size_t a = 0, b = 0; a < mine.size() && b < theirs.size();) {
      const std::int32_t left = ids[mine[a]];
      const std::int32_t right = reference_ids[theirs[b]];
      if (left < right) {
        ++a;
      } else if (right < left) {
        ++b;
      } else {
        join.partner[mine[a]] = theirs[b];
        taken[theirs[b]] = true;
        ++a;
        ++b;
      }
    }
  }
  for (std::size_t i = 0; i < taken.size(); ++i) {
    if (!taken[i]) join.only_in_reference.push_back(static_cast<std::uint32_t>(i));
  }
  return join;
}

Result<ReferenceDatabase> ReferenceDatabase::FromBytes(std::span<const std::byte> bytes) {
  return OrNoMemory("read the reference", [&]() -> Result<ReferenceDatabase> {
    auto kept = std::make_unique_for_overwrite<std::byte[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), kept.get());
    return Index(std::move(kept), bytes.size());
  });
}

Result<ReferenceDatabase> ReferenceDatabase::Index(std::unique_ptr<std::byte[]> kept,
                                                   std::size_t size) {
  return OrNoMemory("read the reference", [&]() -> Result<ReferenceDatabase> {
    const std::span<const std::byte> bytes(kept.get(), size);
    if (const std::vector<LayoutProblem> problems = CheckTextLayout(bytes); !problems.empty()) {
      std::string why = "the reference is not well-formed: ";
      for (std::size_t i = 0; i < problems.size() && i < 3; ++i) {
        if (i > 0) why += "; ";
        if (problems[i].entry > 0) why += "entry " + std::to_string(problems[i].entry) + ": ";
        why += problems[i].what;
      }
      if (problems.size() > 3) why += "; and " + std::to_string(problems.size() - 3) + " more";
      return Status::Malformed(why);
    }
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
      return Status::Malformed("the reference is larger than 4 GiB");
    }
    ReferenceDatabase reference;
    // Well-formed: the table fits, and every text lies in the file, NUL-ended.
    const auto count = static_cast<std::size_t>(DecodeInt32(bytes, format::kCountOffset));
    reference.ids_.reserve(count);
    reference.places_.reserve(count);
    for (std::size_t k = 1; k <= count; ++k) {
      const auto offset = static_cast<std::size_t>(DecodeInt32(bytes, format::TextOffsetField(k)));
      const auto* nul = static_cast<const std::byte*>(
          std::memchr(bytes.data() + offset, 0, bytes.size() - offset));
      reference.ids_.push_back(DecodeInt32(bytes, format::SlotOffset(k)));
      reference.places_.push_back({static_cast<std::uint32_t>(offset),
                                   static_cast<std::uint32_t>(nul - (bytes.data() + offset))});
    }
    reference.bytes_ = std::move(kept);
    return reference;
  });
}

Result<ReferenceDatabase> ReferenceDatabase::Open(const std::filesystem::path& path,
                                                  FileSystem& fs) {
  Result<WholeFile> file = ReadWholeFileToKeep(path, kDatabaseReadLimit, fs);
  if (!file.ok()) return file.status();
  Result<ReferenceDatabase> reference = Index(std::move(file->bytes), file->size);
  if (!reference.ok()) return reference.status().Within(DescribePath(path) + ": ");
  return reference;
}

}  // namespace orva
