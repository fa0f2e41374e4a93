#include "review/database_review.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>

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

IdTally::IdTally(std::span<const std::int32_t> ids) {
  // Each run of equal ids, in order, that is longer than one.
  const auto count_runs = [this](std::span<const std::int32_t> rising) {
    for (std::size_t from = 0; from < rising.size();) {
      std::size_t to = from + 1;
      while (to < rising.size() && rising[to] == rising[from]) ++to;
      if (to - from > 1) shared_.push_back({rising[from], static_cast<std::uint32_t>(to - from)});
      from = to;
    }
  };
  // A game's table keeps its ids rising, mostly: equal ids are neighbours.
  if (std::is_sorted(ids.begin(), ids.end())) {
    count_runs(ids);
    return;
  }
  std::vector<std::int32_t> sorted(ids.begin(), ids.end());
  std::sort(sorted.begin(), sorted.end());
  count_runs(sorted);
}

std::uint32_t IdTally::CountOf(std::int32_t id) const {
  const auto at = std::lower_bound(shared_.begin(), shared_.end(), id,
                                   [](const Shared& s, std::int32_t n) { return s.id < n; });
  return at != shared_.end() && at->id == id ? at->count : 1;
}

void IdTally::Set(std::int32_t id, std::size_t count) {
  const auto at = std::lower_bound(shared_.begin(), shared_.end(), id,
                                   [](const Shared& s, std::int32_t n) { return s.id < n; });
  const bool listed = at != shared_.end() && at->id == id;
  if (count <= 1) {
    if (listed) shared_.erase(at);
  } else if (listed) {
    at->count = static_cast<std::uint32_t>(count);
  } else {
    shared_.insert(at, {id, static_cast<std::uint32_t>(count)});
  }
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
    std::optional<std::size_t> marker_slot;
    if (point) marker_slot = static_cast<std::size_t>(*point) + 1;

    DatabaseReview review;
    EntryJoin join;
    if (reference != nullptr) {
      join = JoinById(ids, reference->ids());
      review.progress.emplace();
      review.progress->only_in_reference = join.only_in_reference.size();
    }
    const IdTally tally(ids);
    std::u32string text, reference_text;
    std::vector<Finding> findings;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t slot = i + 1;
      StoredCharacters((*entries)[i].text, text);
      CheckedEntry entry{slot, ids[i],       format::KindOf(ids[i], slot, marker_slot),
                         text, std::nullopt, tally.CountOf(ids[i])};
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
