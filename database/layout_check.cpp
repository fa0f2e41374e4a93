#include "database/layout_check.h"

#include <algorithm>

#include "database/format.h"
#include "database/little_endian.h"

namespace orva {
namespace {

std::string Str(std::int64_t v) { return std::to_string(v); }

}  // namespace

std::optional<std::int32_t> FindInsertionPoint(std::span<const std::byte> database) {
  if (database.size() < 4) return std::nullopt;
  const std::int32_t count = DecodeInt32(database, format::kCountOffset);
  const auto size = static_cast<std::int64_t>(database.size());
  for (std::int32_t k = 1; k <= count; ++k) {
    const std::int64_t next_slot = format::SlotOffset(std::int64_t{k} + 1);
    if (next_slot >= size) break;  // the rest reads as zeros, never the marker
    if (format::IsEndMarker(DecodeInt32OrZeros(database, next_slot))) return k;
  }
  return std::nullopt;
}

std::vector<LayoutProblem> CheckLayout(std::span<const std::byte> database) {
  std::vector<LayoutProblem> problems;
  auto report = [&](std::int64_t entry, std::string what) {
    problems.push_back({entry, std::move(what)});
  };
  const auto size = static_cast<std::int64_t>(database.size());
  if (size < 8) {
    report(0, "the file is too short (" + Str(size) +
                  " bytes) to hold the entry count and the header word");
    return problems;
  }
  const std::int32_t count = DecodeInt32(database, format::kCountOffset);
  if (count < 0) {
    report(0, "the entry count is negative (" + Str(count) + ")");
    return problems;
  }
  const std::int64_t table_end = format::SlotOffset(std::int64_t{count} + 1);
  if (table_end > size) {
    report(0, "the entry table of " + Str(count) + " entries needs " + Str(table_end) +
                  " bytes, but the file has " + Str(size));
    return problems;
  }

  std::int64_t previous = -1;
  for (std::int64_t k = 1; k <= count; ++k) {
    const std::int64_t t =
        DecodeInt32(database, static_cast<std::size_t>(format::TextOffsetField(k)));
    if (t < table_end) {
      report(k, "its text offset " + Str(t) + " lies inside the entry table, which ends at " +
                    Str(table_end));
    } else if (t >= size) {
      report(k, "its text offset " + Str(t) + " lies past the end of the file (" + Str(size) +
                    " bytes)");
    } else {
      const auto text = database.subspan(static_cast<std::size_t>(t));
      if (std::find(text.begin(), text.end(), std::byte{0}) == text.end()) {
        report(k, "its text at " + Str(t) + " is not ended by a NUL before the end of the file");
      }
      if (k > 1 && database[static_cast<std::size_t>(t - 1)] != std::byte{0}) {
        report(k, "the byte before its text (at " + Str(t - 1) +
                      ") is not the NUL that ends the text before it");
      }
    }
    if (k > 1 && t <= previous) {
      report(k, "its text at " + Str(t) + " does not lie after the text of entry " + Str(k - 1) +
                    " at " + Str(previous));
    }
    previous = t;
  }

  if (count >= 1 && format::IsEndMarker(DecodeInt32(database, format::SlotOffset(1)))) {
    report(1, "entry 1 is the end marker (id 6000); the marker must follow at least one entry");
  }
  if (!FindInsertionPoint(database)) {
    report(
        0,
        "no end marker (id 6000) follows the first entry, so there is no place to insert a text");
  }
  return problems;
}

}  // namespace orva
