#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "database/code_page.h"
#include "database/format.h"
#include "database/insertion_plan.h"
#include "database/layout_check.h"
#include "database/little_endian.h"
#include "database/mission_list.h"
#include "fuzz/properties.h"

namespace orva::fuzz {
namespace {

std::string Str(std::int64_t v) { return std::to_string(v); }

Status Violated(std::string what) { return Status::Malformed(std::move(what)); }

std::int32_t Int32At(std::span<const std::byte> bytes, std::int64_t at) {
  return DecodeInt32OrZeros(bytes, at);
}

// The start of the text at `offset`: up to its NUL, at most as many bytes as
// the reader shows, so that checking every entry stays linear in the table.
std::vector<std::byte> TextStart(std::span<const std::byte> bytes, std::int64_t offset) {
  std::vector<std::byte> text;
  for (std::int64_t i = offset;
       i >= 0 && i < static_cast<std::int64_t>(bytes.size()) && text.size() < format::kTextWindow;
       ++i) {
    const std::byte b = bytes[static_cast<std::size_t>(i)];
    if (b == std::byte{0}) break;
    text.push_back(b);
  }
  return text;
}

// Every old entry (and a marker just past the table) sits in the new table
// one slot on past the new entry, with its id and (re-pointed) text unchanged.
Status CheckOldEntries(std::span<const std::byte> db, std::span<const std::byte> image,
                       std::int64_t slots, std::int64_t k) {
  for (std::int64_t old_j = 1; old_j <= slots; ++old_j) {
    const std::int64_t new_j = old_j <= k ? old_j : old_j + 1;
    const std::int32_t old_id = Int32At(db, format::SlotOffset(old_j));
    const std::int32_t new_id = Int32At(image, format::SlotOffset(new_j));
    if (old_id != new_id) {
      return Violated("entry " + Str(old_j) + " (id " + Str(old_id) + ") became entry " +
                      Str(new_j) + " with id " + Str(new_id));
    }
    const auto old_text = TextStart(db, Int32At(db, format::TextOffsetField(old_j)));
    const auto new_text = TextStart(image, Int32At(image, format::TextOffsetField(new_j)));
    if (old_text != new_text) {
      return Violated("entry " + Str(old_j) + " (id " + Str(old_id) +
                      ") no longer points at its own text");
    }
  }
  return Status::Ok();
}

Status CheckMissionListReadsBack(std::span<const std::byte> db, std::span<const std::byte> image,
                                 const MissionEntry& added, std::int64_t new_slot,
                                 std::span<const std::byte> stored_text) {
  const MissionList before = ReadMissionList(db);
  if (!before.status.ok()) return Status::Ok();  // nothing to compare with
  const MissionList after = ReadMissionList(image);
  if (!after.status.ok()) {
    return Violated("the mission list read before the insertion but not after it: " +
                    after.status.message());
  }
  std::vector<MissionEntry> expected = before.missions;
  // The reader shows a mission only within its 1000 scanned slots.
  if (format::IsMission(added.id) && new_slot <= format::kScanSlots) {
    std::vector<std::byte> window(stored_text.begin(), stored_text.end());
    window.push_back(std::byte{0});
    expected.push_back({added.id, DisplayText(window)});
  }
  if (after.missions != expected) {
    return Violated("the mission list read back " +
                    Str(static_cast<std::int64_t>(after.missions.size())) + " missions, not the " +
                    Str(static_cast<std::int64_t>(before.missions.size())) +
                    " from before plus the new one");
  }
  return Status::Ok();
}

Status CheckAccepted(std::span<const std::byte> db, std::string_view utf8_text,
                     const PlannedInsertion& plan) {
  const Result<std::vector<std::byte>> text = EncodeWindows1251(utf8_text);
  if (!text.ok()) return Violated("a text the code page refuses was inserted");
  const auto s = static_cast<std::int64_t>(text->size());
  if (s < 1 || s > static_cast<std::int64_t>(format::kMaxNewTextLength)) {
    return Violated("a text of " + Str(s) + " characters was inserted");
  }
  if (std::find(text->begin(), text->end(), std::byte{0}) != text->end()) {
    return Violated("a text holding a NUL was inserted");
  }
  const std::span<const std::byte> image = plan.image;
  const auto size = static_cast<std::int64_t>(db.size());
  if (static_cast<std::int64_t>(image.size()) != size + s + 9) {
    return Violated("the database grew from " + Str(size) + " to " +
                    Str(static_cast<std::int64_t>(image.size())) + " bytes, not by " + Str(s + 9));
  }
  const std::int64_t count = Int32At(db, format::kCountOffset);
  if (Int32At(image, format::kCountOffset) != count + 1) {
    return Violated("the entry count went from " + Str(count) + " to " +
                    Str(Int32At(image, format::kCountOffset)));
  }
  if (Int32At(image, format::kHeaderWordOffset) != Int32At(db, format::kHeaderWordOffset)) {
    return Violated("the header word changed");
  }
  const std::optional<std::int32_t> k = FindInsertionPoint(db);
  if (!k) return Violated("a database without an insertion point was accepted");
  const std::int64_t new_slot = std::int64_t{*k} + 1;
  const std::int64_t p = Int32At(db, format::SlotOffset(*k));
  const std::int64_t t = Int32At(db, format::TextOffsetField(new_slot));
  if (plan.entry.id != p + 1 || plan.entry.text != utf8_text) {
    return Violated("the planned entry is (" + Str(plan.entry.id) + ", \"" + plan.entry.text +
                    "\"), not (" + Str(p + 1) + ", the text as given)");
  }
  if (Int32At(image, format::SlotOffset(new_slot)) != p + 1 ||
      Int32At(image, format::TextOffsetField(new_slot)) != t + 8) {
    return Violated("the new entry in slot " + Str(new_slot) + " is not (" + Str(p + 1) + ", " +
                    Str(t + 8) + ")");
  }
  // A marker just past the table moves with it, re-pointed like an entry.
  const std::int64_t moved = *k == count ? count + 1 : count;
  const std::int64_t texts_start = format::SlotOffset(moved + 1);
  if (t < texts_start || t >= size) {
    return Violated("the insertion was planned although the marker's text offset " + Str(t) +
                    " lies outside the text area");
  }
  const auto stored = image.subspan(static_cast<std::size_t>(t + 8));
  if (!std::equal(text->begin(), text->end(), stored.begin()) ||
      stored[static_cast<std::size_t>(s)] != std::byte{0}) {
    return Violated("the new text at " + Str(t + 8) + " is not the text followed by a NUL");
  }
  // Every byte after the moved slots is carried along unchanged: those before
  // the marker's text 8 bytes on, the byte before it and the rest s + 9 on.
  const auto te = static_cast<std::size_t>(texts_start);
  const auto ts = static_cast<std::size_t>(t);
  if (!std::ranges::equal(db.subspan(te, ts - te), image.subspan(te + 8, ts - te)) ||
      !std::ranges::equal(db.subspan(ts - 1), image.subspan(ts + 8 + text->size()))) {
    return Violated("the bytes after the entry table were not carried along unchanged");
  }
  if (Status st = CheckOldEntries(db, image, moved, *k); !st.ok()) return st;
  if (Status st = CheckMissionListReadsBack(db, image, plan.entry, new_slot, *text); !st.ok()) {
    return st;
  }
  if (CheckLayout(db).empty()) {
    const std::vector<LayoutProblem> problems = CheckLayout(image);
    if (!problems.empty()) {
      return Violated("a well-formed database became damaged: entry " +
                      Str(problems.front().entry) + ": " + problems.front().what);
    }
  }
  return Status::Ok();
}

}  // namespace

Status CheckInsertion(std::span<const std::byte> database, std::string_view utf8_text,
                      Planner planner) {
  const std::vector<std::byte> original(database.begin(), database.end());
  const Result<PlannedInsertion> plan = planner(database, utf8_text);
  if (!std::equal(database.begin(), database.end(), original.begin(), original.end())) {
    return Violated("planning the insertion changed the database bytes it was given");
  }
  if (!plan.ok()) {
    if (plan.status().message().empty())
      return Violated("the insertion was refused without a reason");
    if (plan.status().kind() == ErrorKind::kMalformed && CheckLayout(database).empty()) {
      return Violated(
          "the layout check calls the database well-formed, yet the insertion refuses "
          "it: " +
          plan.status().message());
    }
    return Status::Ok();
  }
  return CheckAccepted(database, utf8_text, *plan);
}

Status CheckBatchInsertion(std::span<const std::byte> database, std::string_view utf8_texts,
                           BatchPlanner planner) {
  std::vector<std::string_view> lines;
  for (std::size_t from = 0;;) {
    const std::size_t end = utf8_texts.find('\n', from);
    lines.push_back(utf8_texts.substr(from, end - from));
    if (end == std::string_view::npos) break;
    from = end + 1;
  }
  NewTexts texts;
  for (std::string_view line : lines) {
    if (!texts.Add(line).ok()) return Status::Ok();
  }
  PlannedInsertions one_by_one{{database.begin(), database.end()}, {}, {}};
  std::optional<std::size_t> refused_at;
  Status refusal;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Result<PlannedInsertion> one = PlanInsertion(one_by_one.image, lines[i]);
    if (!one.ok()) {
      refused_at = i + 1;
      refusal = one.status();
      break;
    }
    one_by_one.image = std::move(one->image);
    one_by_one.entries.push_back(std::move(one->entry));
  }
  const Result<PlannedInsertions> batch = planner(database, texts);
  if (refused_at) {
    if (batch.ok()) {
      return Violated("the batch was planned, but one at a time text " + Str(*refused_at) +
                      " is refused: " + refusal.message());
    }
    return Status::Ok();
  }
  if (!batch.ok()) {
    return Violated("the batch was refused, but one at a time every text goes in: " +
                    batch.status().message());
  }
  if (batch->image != one_by_one.image) {
    return Violated("the batch gives another database than the texts inserted one at a time");
  }
  if (batch->entries != one_by_one.entries) {
    return Violated("the batch numbers its entries otherwise than insertions one at a time");
  }
  return Status::Ok();
}

}  // namespace orva::fuzz
