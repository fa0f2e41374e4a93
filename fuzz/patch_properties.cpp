#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "database/entry_diff.h"
#include "database/layout_check.h"
#include "database/sha256.h"
#include "exchange/entry_patch.h"
#include "exchange/patch_file.h"
#include "fuzz/properties.h"
#include "tests/support/database_builder.h"

namespace orva::fuzz {
namespace {

Status Violated(std::string what) { return Status::Malformed(std::move(what)); }

// The patch applied to one database without problems: what it gives must be
// what it says.
Status CheckApplied(std::span<const std::byte> db, const Patch& patch, const PatchPlan& plan) {
  const std::vector<std::byte> result = Joined(plan.contents);
  if (const std::vector<LayoutProblem> problems = CheckLayout(result); !problems.empty()) {
    return Violated("the patched database is not well-formed: " + problems.front().what);
  }
  const std::vector<EntryText> before = ReadEntryTexts(db).value();
  const std::vector<EntryText> after = ReadEntryTexts(result).value();
  if (after.size() + plan.counts.removed != before.size() + plan.counts.inserted) {
    return Violated("the patched database has " + std::to_string(after.size()) + " entries, not " +
                    std::to_string(before.size()) + " + " + std::to_string(plan.counts.inserted) +
                    " - " + std::to_string(plan.counts.removed));
  }
  const auto growth =
      static_cast<std::int64_t>(result.size()) - static_cast<std::int64_t>(db.size());
  if (growth != plan.counts.size_change || growth != patch.result.size - patch.base.size) {
    return Violated("the database grew by " + std::to_string(growth) + " bytes, not by the " +
                    std::to_string(patch.result.size - patch.base.size) + " the patch says");
  }
  const EntryIndex index(after);
  for (const PatchRecord& r : patch.records) {
    if (r.action == PatchAction::kRemove) continue;
    const std::optional<std::size_t> at = index.Find(r.key);
    if (!at || !std::equal(after[*at].text.begin(), after[*at].text.end(), r.new_text.begin(),
                           r.new_text.end())) {
      return Violated("after the patch, " + r.key.Text() + " does not hold its new text");
    }
  }
  return Status::Ok();
}

Status CheckWritesBack(const Patch& patch, std::string_view what) {
  const std::string text = WritePatch(patch);
  const PatchReading again = ReadPatch(text);
  if (!again.problems.empty()) {
    return Violated(std::string(what) + " does not read back: line " +
                    std::to_string(again.problems.front().line) + ": " +
                    again.problems.front().what);
  }
  if (WritePatch(again.patch) != text) {
    return Violated(std::string(what) + " reads back to another patch");
  }
  return Status::Ok();
}

}  // namespace

std::vector<std::vector<std::byte>> PatchTargets() {
  using test_support::DatabaseBuilder;
  return {DatabaseBuilder()
              .HeaderWord(0x4F525641)
              .Entry(5001, "Al")
              .Entry(5002, "Бо")
              .Marker("z")
              .Build(),
          DatabaseBuilder()
              .Entry(5001, "Обучение")
              .Entry(7000, "a")
              .Entry(5002, "Патруль")
              .Entry(7000, "b")
              .Marker("конец")
              .Entry(100, "Меню")
              .GapBeforeTexts(3)
              .Trailing("tail")
              .Build()};
}

Status CheckPatchRead(std::span<const std::byte> input) {
  const std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
  const PatchReading reading = ReadPatch(text);
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  for (const PatchProblem& p : reading.problems) {
    if (p.line > lines) {
      return Violated("a problem names line " + std::to_string(p.line) + " of " +
                      std::to_string(lines));
    }
    if (p.what.empty()) return Violated("a problem says nothing");
  }
  if (!reading.problems.empty()) return Status::Ok();

  const Patch& patch = reading.patch;
  if (Status s = CheckWritesBack(patch, "the patch"); !s.ok()) return s;
  if (Status s = CheckWritesBack(Reversed(patch), "its reverse"); !s.ok()) return s;
  if (WritePatch(Reversed(Reversed(patch))) != WritePatch(patch)) {
    return Violated("the reverse of its reverse is another patch");
  }
  for (const std::vector<std::byte>& db : PatchTargets()) {
    const std::vector<EntryText> entries = ReadEntryTexts(db).value();
    const Sha256Digest digest = Sha256Of(db);
    const PatchPlan plan = PlanPatch(db, entries, digest, patch);
    if (plan.problems.empty()) {
      if (Status s = CheckApplied(db, patch, plan); !s.ok()) return s;
    }
    // As if the target were the patch's base: then it must give the result
    // the patch names, or be refused.
    Patch based = patch;
    based.base = {static_cast<std::int64_t>(db.size()), digest};
    const PatchPlan exact = PlanPatch(db, entries, digest, based);
    if (exact.problems.empty()) {
      Sha256 hasher;
      for (std::span<const std::byte> piece : exact.contents.pieces()) hasher.Update(piece);
      if (hasher.Finish() != based.result.digest) {
        return Violated("applied to its base, the patch gives a file it does not name");
      }
    }
  }
  return Status::Ok();
}

}  // namespace orva::fuzz
