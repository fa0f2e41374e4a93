// Every check on every entry of a database, with the reference beside it,
// and how far its translation has come.
#pragma once

#include <cstddef>
#include <functional>
#include <span>

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
// texts after a sort of the ids; memory 12 bytes an entry besides the
// database, so that the editor can check what it holds with the reference
// beside it.
using ReportFinding = std::function<void(const Finding&)>;
Result<DatabaseReview> ReviewDatabase(std::span<const std::byte> database,
                                      const ReferenceDatabase* reference, const CheckRules& rules,
                                      const ReportFinding& report);

// How many entries have each id of `ids`, by index (an entry alone: 1).
std::vector<std::uint32_t> IdCounts(std::span<const std::int32_t> ids);

}  // namespace orva
