#include "review/database_review.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "database/format.h"
#include "database/layout_check.h"
#include "database/text_edit.h"
#include "storage/no_memory.h"

namespace orva {

bool IsTranslated(const CheckedEntry& entry) {
  if (entry.text.empty()) return false;
  if (!entry.reference || entry.text != *entry.reference) return true;
  return std::none_of(entry.text.begin(), entry.text.end(), [](char32_t c) {
    return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') || (c >= 0x00C0 && c <= 0x024F) ||
           (c >= 0x0370 && c <= 0x052F);
  });
}

std::vector<std::uint32_t> IdCounts(std::span<const std::int32_t> ids) {
  std::vector<std::uint32_t> counts(ids.size(), 1);
  // Each run of equal ids, as id_at gives them in order, gives its length
  // to the entries index_at names.
  const auto count_runs = [&](const auto& id_at, const auto& index_at) {
    for (std::size_t from = 0; from < ids.size();) {
      std::size_t to = from + 1;
      while (to < ids.size() && id_at(to) == id_at(from)) ++to;
      for (std::size_t i = from; to - from > 1 && i < to; ++i) {
        counts[index_at(i)] = static_cast<std::uint32_t>(to - from);
      }
      from = to;
    }
  };
  // A game's table keeps its ids rising, mostly: equal ids are neighbours.
  if (std::is_sorted(ids.begin(), ids.end())) {
    count_runs([&](std::size_t i) { return ids[i]; }, [](std::size_t i) { return i; });
    return counts;
  }
  // Otherwise sorted by id, each with its index in the same word, which
  // sorts several times faster than indexes compared through the ids.
  std::vector<std::uint64_t> keyed(ids.size());
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const std::uint32_t biased = static_cast<std::uint32_t>(ids[i]) ^ 0x80000000u;
    keyed[i] = (std::uint64_t{biased} << 32) | static_cast<std::uint32_t>(i);
  }
  std::sort(keyed.begin(), keyed.end());
  count_runs([&](std::size_t i) { return keyed[i] >> 32; },
             [&](std::size_t i) { return static_cast<std::size_t>(keyed[i] & 0xFFFFFFFFu); });
  return counts;
}

Result<DatabaseReview> ReviewDatabase(std::span<const std::byte> database,
                                      const ReferenceDatabase* reference, const CheckRules& rules,
                                      const ReportFinding& report) {
  return OrNoMemory("check the texts", [&]() -> Result<DatabaseReview> {
    const Result<std::vector<EntryText>> entries = ReadEntryTexts(database);
    if (!entries.ok()) {
      return Status::Malformed("the database is not well-formed; orva-cli check says how");
    }
    const std::size_t count = entries->size();
    std::vector<std::int32_t> ids(count);
    for (std::size_t i = 0; i < count; ++i) ids[i] = (*entries)[i].id;
    const std::optional<std::int32_t> point = FindInsertionPoint(database);
    const std::size_t marker_slot = point ? static_cast<std::size_t>(*point) + 1 : SIZE_MAX;

    DatabaseReview review;
    EntryJoin join;
    if (reference != nullptr) {
      join = JoinById(ids, reference->ids());
      review.progress.emplace();
      review.progress->only_in_reference = join.only_in_reference.size();
    }
    const std::vector<std::uint32_t> id_counts = IdCounts(ids);
    std::u32string text, reference_text;
    std::vector<Finding> findings;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t slot = i + 1;
      StoredCharacters((*entries)[i].text, text);
      CheckedEntry entry{slot, ids[i],       format::KindOf(ids[i], slot, marker_slot),
                         text, std::nullopt, id_counts[i]};
      if (reference != nullptr) {
        if (join.partner[i] == EntryJoin::kNone) {
          ++review.progress->only_in_database;
        } else {
          StoredCharacters(reference->text(join.partner[i]), reference_text);
          entry.reference = reference_text;
          if (entry.kind != format::EntryKind::kEndMarker) {
            KindProgress& kind = format::IsMissionKind(entry.kind) ? review.progress->missions
                                                                   : review.progress->others;
            ++kind.entries;
            kind.translated += IsTranslated(entry) ? 1 : 0;
          }
        }
      }
      findings.clear();
      CheckEntry(entry, rules, findings);
      for (const Finding& finding : findings) {
        ++(finding.severity == Severity::kError ? review.errors : review.warnings);
        report(finding);
      }
    }
    return review;
  });
}

}  // namespace orva
