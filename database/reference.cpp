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

template <typename Ids>
bool Rising(const Ids& ids) {
  for (std::size_t i = 1; i < ids.size(); ++i) {
    if (ids[i] < ids[i - 1]) return false;
  }
  return true;
}

// The indexes of `ids` sorted by id, entries of one id in table order; none
// for ids that already rise, which are their own order.
template <typename Ids>
std::vector<std::uint32_t> ById(const Ids& ids) {
  if (Rising(ids)) return {};
  std::vector<std::uint32_t> order(ids.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  // Ties broken by index: a sort that needs no buffer, and the order among
  // the entries of one id is their table order.
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const std::int32_t x = ids[a];
    const std::int32_t y = ids[b];
    return x != y ? x < y : a < b;
  });
  return order;
}

template <typename Ids>
EntryJoin Join(std::span<const std::int32_t> ids, const Ids& reference_ids) {
  EntryJoin join;
  join.partner.assign(ids.size(), EntryJoin::kNone);
  std::vector<bool> taken(reference_ids.size(), false);
  {
    const std::vector<std::uint32_t> mine = ById(ids);
    const std::vector<std::uint32_t> theirs = ById(reference_ids);
    const auto nth = [](const std::vector<std::uint32_t>& order, std::size_t n) {
      return order.empty() ? static_cast<std::uint32_t>(n) : order[n];
    };
    // One pass over both: within an id, the n-th of one side with the n-th
    // of the other.
    for (std::size_t a = 0, b = 0; a < ids.size() && b < reference_ids.size();) {
      const std::uint32_t here = nth(mine, a);
      const std::uint32_t there = nth(theirs, b);
      const std::int32_t left = ids[here];
      const std::int32_t right = reference_ids[there];
      if (left < right) {
        ++a;
      } else if (right < left) {
        ++b;
      } else {
        join.partner[here] = there;
        taken[there] = true;
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

}  // namespace

std::size_t EntryJoin::OnlyInDatabase() const {
  return static_cast<std::size_t>(std::count(partner.begin(), partner.end(), kNone));
}

EntryJoin JoinById(std::span<const std::int32_t> ids, std::span<const std::int32_t> reference_ids) {
  return Join(ids, reference_ids);
}

EntryJoin JoinById(std::span<const std::int32_t> ids, const TableIds& reference_ids) {
  return Join(ids, reference_ids);
}

std::span<const std::byte> ReferenceDatabase::text(std::size_t i) const {
  // Checked when read: the offset lies in the file, and a NUL after it.
  const std::span<const std::byte> bytes(bytes_.get(), size_);
  const auto offset = static_cast<std::size_t>(DecodeInt32(bytes, format::TextOffsetField(i + 1)));
  const auto* nul =
      static_cast<const std::byte*>(std::memchr(bytes.data() + offset, 0, size_ - offset));
  return bytes.subspan(offset, static_cast<std::size_t>(nul - (bytes.data() + offset)));
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
    // Well-formed: the table fits, and every text lies in the file, NUL-ended.
    ReferenceDatabase reference;
    reference.count_ = static_cast<std::size_t>(DecodeInt32(bytes, format::kCountOffset));
    reference.bytes_ = std::move(kept);
    reference.size_ = size;
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
