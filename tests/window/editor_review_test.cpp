// The editor's review kept up to date change by change: after any sequence
// of texts set, missions added, entries removed, translations applied,
// undone and redone, what it holds for each slot and in total is what
// checking the whole database afresh gives, and its totals and progress are
// what orva-cli check's engine (ReviewDatabase) counts on the same bytes.
#include "window/editor_review.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "database/code_page.h"
#include "database/new_texts.h"
#include "session/edit_session.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"
#include "window/editor_display.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;

// Texts that the checks tell apart: empty, untranslated (as the reference
// pool has them), too long for a mission, with markers, spaces, a tab.
const std::vector<std::string> kTexts = {
    "",
    "Patrol",
    "Патруль",
    " Patrol",
    "Патруль  над рекой",
    "%s осталось",
    "Tab\there",
    "Очень длинное задание, которое не помещается в окно",
    "100",
    "First flight",
};

CheckRules Rules() {
  CheckRules rules;
  rules.limits.push_back({{7000, 7001}, 5});
  rules.ignores.push_back({{1200, 1200}, {"untranslated"}});
  return rules;
}

// 5999 before the marker numbers a new mission 6000, which becomes the
// marker.
std::vector<std::int32_t> IdPool() { return {1200, 5001, 5002, 5003, 5999, 7000, 7001}; }

std::vector<std::byte> Stored(const std::string& text) { return StoredText(text).value(); }

// Equal slot by slot and in total to a review made afresh, and in total to
// orva-cli's engine.
void ExpectSameAsAfresh(const EditorReview& kept, const EditSession& session,
                        const std::shared_ptr<const ReferenceDatabase>& reference,
                        const std::string& step) {
  EditorReview fresh;
  fresh.SetRules(Rules());
  if (reference) fresh.SetReference(reference, "ref.def");
  fresh.Rebuild(session);
  ASSERT_EQ(kept.errors(), fresh.errors()) << step;
  ASSERT_EQ(kept.warnings(), fresh.warnings()) << step;
  for (std::size_t slot = 1; slot <= session.entry_count(); ++slot) {
    const SlotProblems& a = kept.ProblemsAt(slot);
    const SlotProblems& b = fresh.ProblemsAt(slot);
    ASSERT_EQ(std::tie(a.errors, a.warnings, a.worst, a.flags),
              std::tie(b.errors, b.warnings, b.worst, b.flags))
        << step << ", slot " << slot;
    for (const ReviewFilter filter :
         {ReviewFilter::kUntranslated, ReviewFilter::kOnlyHere, ReviewFilter::kProblems}) {
      ASSERT_EQ(kept.Keeps(filter, slot), fresh.Keeps(filter, slot)) << step << ", slot " << slot;
    }
    const auto theirs = kept.ReferenceText(slot);
    const auto ours = fresh.ReferenceText(slot);
    ASSERT_EQ(theirs.has_value(), ours.has_value()) << step << ", slot " << slot;
    // The same partner, not only one: its text lies at the same place.
    if (theirs) {
      ASSERT_EQ(theirs->data(), ours->data()) << step << ", slot " << slot;
    }
  }
  ASSERT_TRUE(std::ranges::equal(kept.only_in_reference(), fresh.only_in_reference())) << step;
  const std::vector<std::byte> image = session.Image();
  const Result<DatabaseReview> whole =
      ReviewDatabase(image, reference.get(), Rules(), [](const Finding&) {});
  ASSERT_TRUE(whole.ok()) << whole.status().message();
  ASSERT_EQ(kept.errors(), whole->errors) << step;
  ASSERT_EQ(kept.warnings(), whole->warnings) << step;
  ASSERT_EQ(kept.progress().has_value(), reference != nullptr) << step;
  if (!reference) return;
  const Progress p = kept.progress().value();
  const Progress& q = whole->progress.value();
  ASSERT_EQ(std::tie(p.missions.translated, p.missions.entries, p.others.translated,
                     p.others.entries, p.only_in_database, p.only_in_reference),
            std::tie(q.missions.translated, q.missions.entries, q.others.translated,
                     q.others.entries, q.only_in_database, q.only_in_reference))
      << step;
}

// A random database of ids from a small pool, so that several entries
// share one and the reference pairs them by their order, its reference,
// and random changes to it. `long_list` puts the random entries about the
// last slot the mission list reads, after as many missions as reach it, so
// that entries coming and going move missions across it.
class RandomSession {
 public:
  explicit RandomSession(std::uint32_t run, bool long_list = false) : random_(run) {
    DatabaseBuilder database, reference_builder;
    for (std::int32_t i = 0; long_list && i < format::kScanSlots - 6; ++i) {
      database.Entry(6001 + i, "Патруль");
    }
    for (std::size_t i = 0, n = 6 + Pick(10); i < n; ++i) {
      database.Entry(IdPool()[Pick(IdPool().size())], kTexts[Pick(kTexts.size())]);
    }
    database.Marker("end");
    for (std::size_t i = 0, n = Pick(4); i < n; ++i)
      database.Entry(static_cast<std::int32_t>(7000 + Pick(2)), "x");
    for (std::size_t i = 0, n = 4 + Pick(10); i < n; ++i) {
      reference_builder.Entry(IdPool()[Pick(IdPool().size())], kTexts[1 + Pick(3)]);
    }
    test_support::WriteFileBytes(dir_ / "textdb_00.def", database.Build());
    Result<EditSession> opened = EditSession::Open(dir_ / "textdb_00.def");
    EXPECT_TRUE(opened.ok()) << opened.status().message();
    if (opened.ok()) session_.emplace(std::move(opened).value());
    reference_ = std::make_shared<const ReferenceDatabase>(
        ReferenceDatabase::FromBytes(reference_builder.Marker("end").Build()).value());
  }

  std::size_t Pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
  }
  bool opened() const { return session_.has_value(); }
  EditSession& session() { return *session_; }
  const std::shared_ptr<const ReferenceDatabase>& reference() const { return reference_; }

  // A text set, a mission added, an entry removed, translations applied,
  // an undo or a redo; refused or impossible ones give an error. `what`
  // names it.
  Result<SessionEdit> Change(std::string& what) {
    EditSession& session = *session_;
    const std::size_t n = session.entry_count();
    switch (Pick(6)) {
      case 0:
        what = "set";
        return session.SetText(1 + Pick(n), Stored(kTexts[Pick(kTexts.size())]));
      case 1: {
        what = "add";
        NewTexts texts;
        // One too long for a new mission is refused as it would be typed.
        if (!texts.Add(kTexts[1 + Pick(kTexts.size() - 1)]).ok()) break;
        return session.Insert(texts);
      }
      case 2:
        what = "remove";
        return session.Remove(1 + Pick(n));  // the end marker is refused
      case 3: {
        what = "translate";
        const std::size_t a = 1 + Pick(n);
        const std::size_t b = 1 + Pick(n);
        std::vector<TextChange> changes{{std::min(a, b), Stored("Перевод")}};
        if (a != b) changes.push_back({std::max(a, b), Stored(kTexts[Pick(kTexts.size())])});
        return session.ApplyTranslations(changes);
      }
      case 4:
        what = "undo";
        if (session.can_undo()) return session.Undo();
        break;
      default:
        what = "redo";
        if (session.can_redo()) return session.Redo();
        break;
    }
    return Status::InvalidText("no step");
  }

 private:
  std::mt19937 random_;
  test_support::TempDir dir_;
  std::optional<EditSession> session_;
  std::shared_ptr<const ReferenceDatabase> reference_;
};

// Runs with a reference and without, and with missions about the last slot
// the mission list reads.
TEST(EditorReview, KeptChangeByChangeIsWhatCheckingAfreshGives) {
  for (std::uint32_t run = 1; run <= 16; ++run) {
    RandomSession random(run, run % 4 == 3);
    ASSERT_TRUE(random.opened());
    EditSession& session = random.session();
    const std::shared_ptr<const ReferenceDatabase> reference =
        run % 4 == 1 ? nullptr : random.reference();
    EditorReview review;
    review.SetRules(Rules());
    review.SetReference(reference, "ref.def");
    review.Rebuild(session);
    ExpectSameAsAfresh(review, session, reference, "run " + std::to_string(run) + ", opened");

    for (int step = 0; step < 40; ++step) {
      std::string what;
      const Result<SessionEdit> edit = random.Change(what);
      if (!edit.ok()) continue;
      review.Follow(*edit, session);
      ExpectSameAsAfresh(
          review, session, reference,
          "run " + std::to_string(run) + ", step " + std::to_string(step) + " " + what);
      if (HasFatalFailure()) return;
    }
  }
}

// Midway through a pass, each slot is either checked, and then holds what
// checking afresh gives it, or not, and then holds nothing and no filter by
// findings keeps it; the totals are those of the slots checked (the
// progress is compared once the pass ends).
void ExpectCheckedAsAfresh(const EditorReview& kept, const EditSession& session,
                           const std::shared_ptr<const ReferenceDatabase>& reference,
                           const std::string& step) {
  EditorReview fresh;
  fresh.SetRules(Rules());
  fresh.SetReference(reference, "ref.def");
  fresh.Rebuild(session);
  ASSERT_EQ(kept.total(), session.entry_count()) << step;
  std::size_t checked = 0, errors = 0, warnings = 0;
  for (std::size_t slot = 1; slot <= session.entry_count(); ++slot) {
    const SlotProblems& a = kept.ProblemsAt(slot);
    if (!kept.Checked(slot)) {
      ASSERT_EQ(std::tie(a.errors, a.warnings, a.worst, a.flags), std::make_tuple(0, 0, 0, 0))
          << step << ", slot " << slot;
      ASSERT_FALSE(kept.Keeps(ReviewFilter::kProblems, slot)) << step << ", slot " << slot;
      ASSERT_FALSE(kept.Keeps(ReviewFilter::kUntranslated, slot)) << step << ", slot " << slot;
      continue;
    }
    const SlotProblems& b = fresh.ProblemsAt(slot);
    ASSERT_EQ(std::tie(a.errors, a.warnings, a.worst, a.flags),
              std::tie(b.errors, b.warnings, b.worst, b.flags))
        << step << ", slot " << slot;
    ++checked;
    errors += b.errors;
    warnings += b.warnings;
  }
  ASSERT_EQ(kept.checked(), checked) << step;
  ASSERT_EQ(kept.complete(), checked == session.entry_count()) << step;
  ASSERT_EQ(kept.errors(), errors) << step;
  ASSERT_EQ(kept.warnings(), warnings) << step;
}

// A pass made in steps of a few slots, between which the texts change,
// entries come and go, changes are undone and redone and the pass starts
// again: at every moment the slots checked are right and the others say
// they are not, and once the pass ends its review is the one checking the
// final database afresh gives.
TEST(EditorReview, APassInStepsAmongChangesEndsAsCheckingAfresh) {
  for (std::uint32_t run = 1; run <= 24; ++run) {
    RandomSession random(run);
    ASSERT_TRUE(random.opened());
    EditSession& session = random.session();
    EditorReview review;
    review.SetRules(Rules());
    review.SetReference(random.reference(), "ref.def");
    review.Start(session);
    const std::string name = "run " + std::to_string(run);
    ExpectCheckedAsAfresh(review, session, random.reference(), name + ", started");
    ASSERT_EQ(review.checked(), 0u);

    for (int step = 0; step < 60; ++step) {
      std::string what;
      const std::size_t choice = random.Pick(10);
      if (choice < 4) {
        what = "step";
        const std::size_t before = review.checked();
        const EditorReview::Stepped stepped = review.Step(session, 1 + random.Pick(4));
        ASSERT_EQ(review.checked(), before + stepped.checked) << name;
        for (std::size_t slot = stepped.first; stepped.checked > 0 && slot <= stepped.last;
             ++slot) {
          ASSERT_TRUE(review.Checked(slot)) << name << ", slot " << slot;
        }
        ASSERT_EQ(stepped.checked == 0, before == review.total()) << name;
      } else if (choice == 4) {
        what = "start again";
        review.Start(session);
      } else {
        const Result<SessionEdit> edit = random.Change(what);
        if (!edit.ok()) continue;
        review.Follow(*edit, session);
      }
      std::string where = name;
      where += ", step " + std::to_string(step) + " " + what;
      ExpectCheckedAsAfresh(review, session, random.reference(), where);
      if (HasFatalFailure()) return;
    }
    // The rest, in steps: each checks at least one slot until none is left.
    std::size_t steps = 0;
    while (review.Step(session, 1 + random.Pick(3)).checked > 0) {
      ASSERT_LE(++steps, session.entry_count()) << name;
    }
    ASSERT_TRUE(review.complete()) << name;
    ExpectSameAsAfresh(review, session, random.reference(), name + ", finished");
    if (HasFatalFailure()) return;
  }
}

// However many findings one text has (thousands of format markers that the
// reference lacks, each a finding), its slot and the totals count every one,
// as orva-cli's engine does, through changes and entries added before it.
TEST(EditorReview, CountsEveryFindingOfATextWithThousands) {
  const auto markers = [](int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "{" + std::to_string(i) + "}";
    return text;
  };
  test_support::TempDir dir;
  test_support::WriteFileBytes(
      dir / "textdb_00.def",
      DatabaseBuilder().Entry(5001, "Вылет").Marker("end").Entry(7500, markers(2100)).Build());
  EditSession session = EditSession::Open(dir / "textdb_00.def").value();
  const auto reference = std::make_shared<const ReferenceDatabase>(
      ReferenceDatabase::FromBytes(
          DatabaseBuilder().Entry(5001, "Flight").Marker("end").Entry(7500, "x").Build())
          .value());
  EditorReview review;
  review.SetRules(Rules());
  review.SetReference(reference, "ref.def");
  review.Rebuild(session);
  EXPECT_EQ(review.ProblemsAt(3).errors, 2100u);
  ExpectSameAsAfresh(review, session, reference, "opened");

  // More than a 16-bit count holds.
  review.Follow(session.SetText(3, Stored(markers(70'000))).value(), session);
  EXPECT_EQ(review.ProblemsAt(3).errors, 70'000u);
  EXPECT_EQ(review.errors(), 70'000u);
  ExpectSameAsAfresh(review, session, reference, "set");
  NewTexts texts;
  ASSERT_TRUE(texts.Add("Новый вылет").ok());
  review.Follow(session.Insert(texts).value(), session);
  EXPECT_EQ(review.ProblemsAt(4).errors, 70'000u);
  ExpectSameAsAfresh(review, session, reference, "added");
  review.Follow(session.Undo().value(), session);
  review.Follow(session.Undo().value(), session);
  EXPECT_EQ(review.ProblemsAt(3).errors, 2100u);
  ExpectSameAsAfresh(review, session, reference, "undone");
}

// What a text being typed would have against it: the checks of the entry's
// slot, its partner's text and the rules, on the characters as typed (a
// symbol standing for its control character), nothing stored meanwhile.
TEST(EditorReview, ChecksADraftAsTheSlotsTextWithoutStoringIt) {
  test_support::TempDir dir;
  test_support::WriteFileBytes(dir / "textdb_00.def", DatabaseBuilder()
                                                          .Entry(5001, "Первый вылет")
                                                          .RawEntry(5002, "Line\none")
                                                          .Marker("end")
                                                          .Build());
  EditSession session = EditSession::Open(dir / "textdb_00.def").value();
  const auto reference = std::make_shared<const ReferenceDatabase>(
      ReferenceDatabase::FromBytes(DatabaseBuilder()
                                       .Entry(5001, "First flight")
                                       .RawEntry(5002, "Line\ntwo")
                                       .Marker("end")
                                       .Build())
          .value());
  EditorReview review;
  review.SetReference(reference, "ref.def");
  review.Rebuild(session);
  EXPECT_EQ(review.errors(), 0u);

  const auto checks = [&](std::size_t slot, const std::string& typed) {
    std::vector<std::string> ids;
    for (const Finding& f : review.Check(session, slot, CharactersFromVisible(typed))) {
      ids.emplace_back(f.check);
    }
    return ids;
  };
  EXPECT_EQ(checks(1, std::string(45, 'x')), std::vector<std::string>{});
  EXPECT_EQ(checks(1, std::string(46, 'x')), std::vector<std::string>{"too-long"});
  EXPECT_EQ(checks(1, "First flight"), std::vector<std::string>{"untranslated"});
  // The line feed shown as its symbol is the reference's line feed.
  EXPECT_EQ(checks(2, "Строка␊два"), std::vector<std::string>{});
  EXPECT_EQ(checks(2, "Строка два"), std::vector<std::string>{"markers"});
  EXPECT_EQ(checks(1, "日本"), std::vector<std::string>{"not-storable"});
  // Only typed: the slot's own findings stay those of its stored text.
  EXPECT_EQ(review.ProblemsAt(1).count(), 0u);
}

}  // namespace
}  // namespace orva
