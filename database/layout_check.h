// The layout rules a well-formed database follows, and where to insert.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orva {

// The insertion point k: the first k = 1 ... N for which table slot k + 1
// holds the end marker. Slot N + 1 lies just past the table and is looked at
// too; slots past the end of the data read as zeros. nullopt when there is
// none, which includes a marker in slot 1 only, a count below 1 and data too
// short to hold the count.
std::optional<std::int32_t> FindInsertionPoint(std::span<const std::byte> database);

struct LayoutProblem {
  std::int64_t entry = 0;  // the table entry concerned, 0 for the file as a whole
  std::string what;        // plain words

  friend bool operator==(const LayoutProblem&, const LayoutProblem&) = default;
};

// Every way in which the database departs from a well-formed layout: the
// count and table fit the file; each text offset lies after the table and
// inside the file and its text ends with a NUL inside the file; texts lie in
// entry order, each right after the NUL of the one before; the end marker is
// not entry 1 and an insertion point exists. Empty when well-formed.
std::vector<LayoutProblem> CheckLayout(std::span<const std::byte> database);

}  // namespace orva
