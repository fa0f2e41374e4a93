// Every check on every entry of a database, with the reference beside it,
// and how far its translation has come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "database/reference.h"
#include "review/check_rules.h"
#include "review/text_checks.h"
#include "storage/status.h"

namespace orva {

// Of the entries of one kind that the reference has a partner for, how many
// are translated: their text is not empty, and not the reference's unless
// it has no letter to translate ("100", "...").
struct KindProgress {
  std::size_t translated = 0;
  std::size_t entries = 0;
};

struct Progress {
  KindProgress missions;  // listed or not
  KindProgress others;    // the end marker, whose text no one sees, is in neither
  std::size_t only_in_database = 0;
  std::size_t only_in_reference = 0;
};

// Whether the entry counts as translated (see KindProgress); the untranslated
// check reports exactly the others among texts with a letter.
bool IsTranslated(const CheckedEntry& entry);

struct DatabaseReview {
  std::size_t errors = 0;
  std::size_t warnings = 0;
  std::optional<Progress> progress;  // with a reference
};

// Checks each entry of `database` in table order, joined to `reference`
// when there is one, handing each finding to `report` as it is found.
// Refuses (kMalformed) a database that is not well-formed. Time linear in the
// texts after a sort of the ids where they do not rise.
using ReportFinding = std::function<void(const Finding&)>;
Result<DatabaseReview> ReviewDatabase(std::span<const std::byte> database,
                                      const ReferenceDatabase* reference, const CheckRules& rules,
                                      const ReportFinding& report);

// How many entries have each id, kept only for the ids that several entries
// share: a game's ids mostly occur once, so the tally of a table of a million
// entries costs next to nothing beside it.
class IdTally {
 public:
  IdTally() = default;
  // Counts `ids`: time n log n, and a sorted copy of them unless they rise.
  explicit IdTally(std::span<const std::int32_t> ids);

  // How many entries have `id`: 1 for an id no two entries share.
  std::uint32_t CountOf(std::int32_t id) const;
  // `count` entries have `id` now.
  void Set(std::int32_t id, std::size_t count);
  // How many ids several entries share.
  std::size_t shared() const { return shared_.size(); }

 private:
  struct Shared {
    std::int32_t id = 0;
    std::uint32_t count = 0;  // above 1
  };
  std::vector<Shared> shared_;  // rising by id
};

}  // namespace orva
