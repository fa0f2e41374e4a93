// New versions of generated databases for property tests of diff and
// patches, made from the old ones by the library's own edits.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "database/insertion_plan.h"
#include "database/layout_check.h"
#include "database/text_edit.h"
#include "tests/support/generated_databases.h"

namespace orva::test_support {

// Random edits of a well-formed database, each through a planner: a text
// changed, an entry removed, a mission inserted before the marker, an entry
// with any id (often one the database has already) put in any slot. Every
// version stays well-formed.
class Editor {
 public:
  explicit Editor(Generated& generated) : g_(generated) {}

  std::vector<std::byte> Edit(std::vector<std::byte> db, int edits) {
    for (int i = 0; i < edits; ++i) {
      const std::vector<EntryText> entries = ReadEntryTexts(db).value();
      const auto n = static_cast<int>(entries.size());
      const auto slot = static_cast<std::size_t>(g_.Pick(1, n));
      std::vector<std::byte> next;
      switch (g_.Pick(0, 3)) {
        case 0: {
          const TextChange change{slot, Stored(g_.AnyText(12))};
          next = Joined(PlanTextChanges(db, std::span(&change, 1)).value());
          break;
        }
        case 1:
          if (Result<NewContents> removed = PlanRemoval(db, slot); removed.ok()) {
            next = Joined(*removed);
          }
          break;
        case 2: {
          std::string text = "Миссия " + std::to_string(g_.Pick(1, 99));
          if (Result<PlannedInsertion> inserted = PlanInsertion(db, text); inserted.ok()) {
            next = std::move(inserted->image);
          }
          break;
        }
        default: {
          // Not the marker's id, which would move the insertion point.
          std::int32_t id = entries[static_cast<std::size_t>(g_.Pick(0, n - 1))].id;
          if (id == format::kEndMarkerId || g_.Pick(0, 2) == 0) id = g_.Pick(0, 5999);
          const std::vector<std::byte> text = Stored(g_.AnyText(10));
          const auto at = static_cast<std::size_t>(g_.Pick(1, n + 1));
          next = Joined(PlanInsertionAtSlot(db, at, id, text).value());
          break;
        }
      }
      if (!next.empty() && CheckLayout(next).empty()) db = std::move(next);
    }
    return db;
  }

 private:
  static std::vector<std::byte> Stored(const std::string& text) {
    const std::span<const char> chars(text);
    const std::span<const std::byte> bytes = std::as_bytes(chars);
    return {bytes.begin(), bytes.end()};
  }

  Generated& g_;
};

}  // namespace orva::test_support
