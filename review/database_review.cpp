#include "review/database_review.h"

#include <algorithm>
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
  std::vector<std::uint32_t> order(ids.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  std::sort(order.begin(), order.end(),
            [&](std::uint32_t a, std::uint32_t b) { return ids[a] < ids[b]; });
  std::vector<std::uint32_t> counts(ids.size(), 1);
  for (std::size_t from = 0; from < order.size();) {
    std::size_t to = from + 1;
    while (to < order.size() && ids[order[to]] == ids[order[from]]) ++to;
    for (std::size_t i = from; to - from > 1 && i < to; ++i) {
      counts[order[i]] = static_cast<std::uint32_t>(to - from);
    }
    from = to;
  }
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
