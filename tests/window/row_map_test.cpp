// The editor's row map against a literal model: the rows written out one by
// one, each removed entry just after the slot it follows, after every step
// of a random run of resets (a table that grew or shrank, a comparison made
// again), choices (a filter typed or cleared, Changed Only), narrowings,
// rows kept in sight, edits followed (texts changed, runs of entries added
// or removed), which must leave the rows a full choice would give, and the
// reference's own entries shown in place of every other row.
#include "window/row_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace orva {
namespace {

struct Model {
  std::size_t entries = 0;
  std::vector<std::size_t> after;
  std::set<std::size_t> slots;    // shown
  std::set<std::size_t> removed;  // shown
  // The reference's entries shown instead of the rest, while they are.
  std::optional<std::set<std::size_t>> reference;

  std::vector<RowRef> Rows() const {
    std::vector<RowRef> rows;
    if (reference) {
      for (const std::size_t i : *reference) rows.push_back(RowRef::Reference(i));
      return rows;
    }
    for (std::size_t place = 0; place <= entries; ++place) {
      if (place >= 1 && slots.count(place) != 0) rows.push_back(RowRef::Slot(place));
      for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i] == place && removed.count(i) != 0) rows.push_back(RowRef::Removed(i));
      }
    }
    return rows;
  }
  void ShowAll() {
    reference.reset();
    slots.clear();
    removed.clear();
    for (std::size_t s = 1; s <= entries; ++s) slots.insert(s);
    for (std::size_t i = 0; i < after.size(); ++i) removed.insert(i);
  }
};

std::string Describe(const RowRef& ref) {
  return (ref.removed()     ? "removed "
          : ref.reference() ? "reference "
                            : "slot ") +
         std::to_string(ref.index);
}

// The reference's entries to show, rising, out of a reference of 20.
constexpr std::size_t kReferenceEntries = 20;

void ExpectSame(const RowMap& map, const Model& model, const std::string& step) {
  const std::vector<RowRef> rows = model.Rows();
  ASSERT_EQ(map.size(), rows.size()) << step;
  for (std::size_t row = 0; row < rows.size(); ++row) {
    ASSERT_EQ(map.At(row), rows[row]) << step << ", row " << row << ": " << Describe(map.At(row))
                                      << " for " << Describe(rows[row]);
    ASSERT_EQ(map.RowOf(rows[row]), row) << step << ", " << Describe(rows[row]);
  }
  for (std::size_t slot = 0; slot <= model.entries + 1; ++slot) {
    if (model.slots.count(slot) == 0) {
      ASSERT_EQ(map.RowOf(RowRef::Slot(slot)), std::nullopt) << step << ", slot " << slot;
    }
  }
  for (std::size_t i = 0; i <= model.after.size(); ++i) {
    if (model.removed.count(i) == 0) {
      ASSERT_EQ(map.RowOf(RowRef::Removed(i)), std::nullopt) << step << ", removed " << i;
    }
  }
  for (std::size_t i = 0; i <= kReferenceEntries; ++i) {
    if (!model.reference || model.reference->count(i) == 0) {
      ASSERT_EQ(map.RowOf(RowRef::Reference(i)), std::nullopt) << step << ", reference " << i;
    }
    std::optional<std::size_t> near;
    if (model.reference && !model.reference->empty()) {
      const auto at = model.reference->lower_bound(i);
      near = at == model.reference->end() ? *model.reference->rbegin() : *at;
    }
    ASSERT_EQ(map.ReferenceNear(i), near) << step << ", reference near " << i;
  }
  ASSERT_EQ(map.showing_reference(), model.reference.has_value()) << step;
  ASSERT_EQ(map.SlotsShown(), model.slots.size()) << step;
  for (std::size_t slot = 1; slot <= model.entries; ++slot) {
    std::optional<std::size_t> near;
    if (!model.slots.empty()) {
      const auto at = model.slots.lower_bound(slot);
      near = at == model.slots.end() ? *model.slots.rbegin() : *at;
    }
    ASSERT_EQ(map.SlotNear(slot), near) << step << ", near " << slot;
  }
}

TEST(RowMapTest, ShowsTheRowsALiteralModelWritesOut) {
  std::mt19937 random(20261209);
  for (int run = 0; run < 300; ++run) {
    RowMap map;
    Model model;
    // The slots and removed entries the last choice kept, for narrowing.
    std::set<std::size_t> chosen_slots, chosen_removed;
    bool exact = true;
    bool choosing_removed = false;
    for (int step = 0; step < 12; ++step) {
      const std::string where = "run " + std::to_string(run) + ", step " + std::to_string(step);
      switch (random() % 7) {
        case 0: {  // a table that changed, compared again
          model.entries = random() % 30;
          model.after.assign(random() % 6, 0);
          for (std::size_t& a : model.after) a = random() % (model.entries + 1);
          std::sort(model.after.begin(), model.after.end());
          map.Reset(model.entries, model.after);
          model.ShowAll();
          exact = true;
          choosing_removed = false;
          chosen_slots.clear();
          break;
        }
        case 1:
        case 2: {  // a choice, narrowing the last when it keeps fewer
          const std::size_t keep_one_in = 1 + random() % 3;
          const bool narrow = map.choosing() && exact && random() % 2 == 0 &&
                              (choosing_removed || random() % 2 == 0);  // a filter made longer
          const bool with_removed = narrow ? choosing_removed : random() % 2 == 0;
          std::set<std::size_t> keep, keep_removed;
          for (std::size_t s = 1; s <= model.entries; ++s) {
            if (random() % keep_one_in == 0 && (!narrow || chosen_slots.count(s) != 0)) {
              keep.insert(s);
            }
          }
          for (std::size_t i = 0; i < model.after.size(); ++i) {
            if (random() % keep_one_in == 0 && (!narrow || chosen_removed.count(i) != 0)) {
              keep_removed.insert(i);
            }
          }
          const RowMap::Keep slots = [&](std::size_t s) { return keep.count(s) != 0; };
          const RowMap::Keep removed = [&](std::size_t i) { return keep_removed.count(i) != 0; };
          map.Choose(slots, with_removed ? &removed : nullptr, narrow);
          model.reference.reset();
          model.slots = keep;
          model.removed.clear();
          for (std::size_t i = 0; i < model.after.size(); ++i) {
            if (!with_removed || keep_removed.count(i) != 0) model.removed.insert(i);
          }
          chosen_slots = keep;
          chosen_removed = model.removed;
          exact = true;
          choosing_removed = with_removed;
          EXPECT_TRUE(map.exact()) << where;
          break;
        }
        case 3: {  // the rows of a change kept in sight
          std::vector<std::size_t> also;
          for (std::size_t n = random() % 3; n > 0; --n)
            also.push_back(random() % (model.entries + 2));
          map.AlsoShow(also);
          if (!map.choosing() || model.reference) break;
          for (std::size_t s : also) {
            if (s >= 1 && s <= model.entries && model.slots.insert(s).second) exact = false;
          }
          EXPECT_EQ(map.exact(), exact) << where;
          break;
        }
        case 5: {  // an edit followed under an exact choice: the rows of a full choice
          if (!map.choosing() || !exact || (!model.after.empty() && random() % 2 == 0)) break;
          if (model.reference) {  // the reference's rows stay; only the table grows
            if (!model.after.empty()) break;
            std::vector<std::size_t> added;
            for (std::size_t n = 1 + random() % 3; n > 0; --n) added.push_back(added.size() + 1);
            model.entries += added.size();
            map.Follow(RowEdit::kAdded, added, model.entries, [](std::size_t) { return true; });
            break;
          }
          const RowEdit edit =
              model.after.empty() ? static_cast<RowEdit>(random() % 3) : RowEdit::kTexts;
          std::vector<std::size_t> slots;
          std::set<std::size_t> keep;
          if (edit == RowEdit::kTexts) {
            if (model.entries == 0) break;
            for (std::size_t n = 1 + random() % 3; n > 0; --n) {
              slots.push_back(1 + random() % model.entries);
            }
            std::sort(slots.begin(), slots.end());
            slots.erase(std::unique(slots.begin(), slots.end()), slots.end());
            keep = model.slots;
            for (std::size_t slot : slots) {
              if (random() % 2 == 0) {
                keep.insert(slot);
              } else {
                keep.erase(slot);
              }
            }
          } else if (edit == RowEdit::kAdded) {
            const std::size_t at = 1 + random() % (model.entries + 1);
            const std::size_t count = 1 + random() % 3;
            for (std::size_t n = 0; n < count; ++n) slots.push_back(at + n);
            for (std::size_t s : model.slots) keep.insert(s < at ? s : s + count);
            for (std::size_t slot : slots) {
              if (random() % 2 == 0) keep.insert(slot);
            }
            model.entries += count;
          } else {
            if (model.entries == 0) break;
            const std::size_t at = 1 + random() % model.entries;
            const std::size_t count =
                1 + random() % std::min<std::size_t>(3, model.entries - at + 1);
            for (std::size_t n = 0; n < count; ++n) slots.push_back(at + n);
            for (std::size_t s : model.slots) {
              if (s < at) keep.insert(s);
              if (s >= at + count) keep.insert(s - count);
            }
            model.entries -= count;
          }
          map.Follow(edit, slots, model.entries,
                     [&](std::size_t slot) { return keep.count(slot) != 0; });
          model.slots = keep;
          chosen_slots = keep;
          break;
        }
        case 6: {  // the reference's entries that nothing here pairs with
          std::vector<std::uint32_t> indexes;
          std::set<std::size_t> shown;
          const std::size_t keep_one_in = 1 + random() % 4;
          for (std::uint32_t i = 0; i < kReferenceEntries; ++i) {
            if (random() % keep_one_in == 0) {
              indexes.push_back(i);
              shown.insert(i);
            }
          }
          map.ShowReference(std::move(indexes));
          model.reference = shown;
          model.slots.clear();
          model.removed.clear();
          chosen_slots.clear();
          chosen_removed.clear();
          exact = true;
          choosing_removed = true;
          EXPECT_TRUE(map.exact() && map.choosing()) << where;
          break;
        }
        case 4:  // the filter emptied
          map.ShowAll();
          model.ShowAll();
          exact = true;
          choosing_removed = false;
          break;
      }
      ExpectSame(map, model, where);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace orva
