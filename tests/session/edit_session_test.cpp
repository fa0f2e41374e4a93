#include "session/edit_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "database/code_page.h"
#include "database/insertion_plan.h"
#include "database/layout_check.h"
#include "database/little_endian.h"
#include "database/sha256.h"
#include "exchange/entry_patch.h"
#include "exchange/patch_file.h"
#include "tests/support/database_builder.h"
#include "tests/support/edited_databases.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/generated_databases.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

using test_support::Bytes;
using test_support::Generated;

// A change as the literal steps make it, with the one-change planners.
struct LiteralChange {
  std::vector<std::string> inserted;  // texts, one PlanInsertion each
  std::optional<std::size_t> removed;
  std::vector<TextChange> texts;  // one PlanTextChanges
  std::optional<Patch> patch;     // one PlanPatch
};

std::vector<std::byte> Patched(const std::vector<std::byte>& image, const Patch& patch) {
  const std::vector<EntryText> entries = ReadEntryTexts(image).value();
  const PatchPlan plan = PlanPatch(image, entries, Sha256Of(image), patch);
  return plan.problems.empty() ? Joined(plan.contents) : image;
}

std::vector<std::byte> Apply(std::vector<std::byte> image, const LiteralChange& change) {
  for (const std::string& text : change.inserted) image = PlanInsertion(image, text).value().image;
  if (change.removed) image = Joined(PlanRemoval(image, *change.removed).value());
  if (!change.texts.empty()) image = Joined(PlanTextChanges(image, change.texts).value());
  if (change.patch) image = Patched(image, *change.patch);
  return image;
}

std::vector<std::byte> Replay(std::vector<std::byte> image, std::span<const LiteralChange> done) {
  for (const LiteralChange& change : done) image = Apply(std::move(image), change);
  return image;
}

// What undoing (or redoing) the change tells a view: an insertion undone
// took entries out, a removal undone put its entry back.
SessionEdit::Kind KindOf(const LiteralChange& change, bool undo) {
  if (change.patch) return SessionEdit::Kind::kPatched;
  if (!change.texts.empty()) return SessionEdit::Kind::kTexts;
  const bool added = !change.inserted.empty();
  return added != undo ? SessionEdit::Kind::kAdded : SessionEdit::Kind::kRemoved;
}

// Every occurrence of `find` replaced, found byte for byte by plain search.
std::vector<TextChange> LiteralReplacement(std::span<const std::byte> image,
                                           const std::string& find, const std::string& by) {
  std::vector<TextChange> changes;
  const std::vector<EntryText> entries = ReadEntryTexts(image).value();
  for (const EntryText& entry : entries) {
    std::string text(reinterpret_cast<const char*>(entry.text.data()), entry.text.size());
    std::string replaced;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(find, from)) != std::string::npos;
         from = at + find.size()) {
      replaced += text.substr(from, at - from) + by;
    }
    replaced += text.substr(from);
    if (replaced != text) changes.push_back({entry.slot, Bytes(replaced)});
  }
  return changes;
}

// The database laid out again with bytes between some of its texts (and
// before a marker's text in the tail), each run ended by a NUL, as a
// well-formed database may hold them.
std::vector<std::byte> WithBytesBetween(const std::vector<std::byte>& db, Generated& generated) {
  const std::vector<EntryText> entries = ReadEntryTexts(db).value();
  const Surroundings around = SurroundingsOf(db, entries);
  const std::size_t table_end = 8 * (entries.size() + 1 + (around.marker_past_table ? 1 : 0));
  std::vector<std::byte> out(db.begin(), db.begin() + static_cast<std::ptrdiff_t>(table_end));
  out.insert(out.end(), around.gap.begin(), around.gap.end());
  for (const EntryText& entry : entries) {
    EncodeInt32(out, 8 * entry.slot + 4, static_cast<std::int32_t>(out.size()));
    out.insert(out.end(), entry.text.begin(), entry.text.end());
    out.push_back(std::byte{0});
    if (generated.Pick(0, 2) == 0) {
      const std::vector<std::byte> between = Bytes(generated.AnyText(4) + '\0');
      out.insert(out.end(), between.begin(), between.end());
    }
  }
  if (around.marker_past_table) {
    EncodeInt32(out, 8 * entries.size() + 12,
                static_cast<std::int32_t>(out.size() + around.marker_in_tail));
  }
  out.insert(out.end(), around.tail.begin(), around.tail.end());
  EXPECT_TRUE(CheckTextLayout(out).empty());
  return out;
}

// Databases whose marker follows an id close to 6000, so that insertions
// soon number their entries 6000, now and then with the marker past the table.
std::vector<std::byte> NearTheMarkerId(Generated& generated) {
  test_support::DatabaseBuilder builder;
  int entries = 0;
  for (int i = generated.Pick(1, 4); i > 0; --i, ++entries) {
    builder.RawEntry(generated.Pick(0, 5999), generated.AnyText(6));
  }
  builder.RawEntry(generated.Pick(5996, 5999), generated.AnyText(6)).Marker("z");
  if (generated.Pick(0, 1) == 0) {
    builder.ClaimedCount(entries + 1);
  } else {
    builder.RawEntry(7000, generated.AnyText(6));
  }
  return builder.Build();
}

std::vector<std::byte> Image(const EditSession& session) { return session.Image(); }

class EditSessionTest : public ::testing::Test {
 protected:
  EditSession Open(FileSystem& fs) {
    Result<EditSession> session = EditSession::Open(db_, fs);
    EXPECT_TRUE(session.ok()) << session.status().message();
    return std::move(session).value();
  }
  EditSession Open() { return Open(DefaultFileSystem()); }
  std::vector<std::byte> OnDisk() const { return test_support::ReadFileBytes(db_); }
  FileInfo Info() const { return RealFileSystem().Stat(db_).value(); }

  test_support::TempDir dir_;
  const std::filesystem::path db_ = dir_ / "textdb_00.def";
};

// Any sequence of changes (insertions, removals, texts set, translations,
// replacements, patches), undos, redos, saves and saves under another name
// leaves the session, and the file once saved, byte for byte where the
// surviving changes made one by one with the one-change planners leave the
// database. Each undo and redo tells the view what it did; a patch whose
// result the database already is changes nothing and is no step; a save
// under another name goes on with that file.
TEST_F(EditSessionTest, AnySequenceEqualsItsSurvivingChangesMadeOneByOne) {
  Generated generated(20261212);
  test_support::Editor editor(generated);
  int undone_insertions = 0, undone_removals = 0, at_marker_id = 0, patches = 0;
  int already_applied = 0, saved_elsewhere = 0, unchanged_patches = 0;
  for (int round = 0; round < 150; ++round) {
    std::vector<std::byte> db = round % 3 == 0 ? NearTheMarkerId(generated) : generated.Next();
    if (round % 2 == 1) db = WithBytesBetween(db, generated);
    test_support::WriteFileBytes(db_, db);
    std::filesystem::path file = db_;
    EditSession session = Open();
    std::vector<LiteralChange> done, undone;
    // How many changes were done at the last save; kNever once undone and
    // replaced by another change.
    constexpr std::size_t kNever = SIZE_MAX;
    std::size_t saved_at = 0;
    for (int op = 0; op < 30; ++op) {
      SCOPED_TRACE("round " + std::to_string(round) + ", step " + std::to_string(op));
      const std::vector<std::byte> before = Replay(db, done);
      const auto n = static_cast<int>(DecodeInt32(before, 0));
      auto slot = [&] { return static_cast<std::size_t>(generated.Pick(1, n)); };
      LiteralChange change;
      Result<SessionEdit> edit = Status::InvalidText("no change");
      const std::string undo_before = session.undo_description();
      // An edit that takes entries out names the ids they had.
      const auto names_removed = [&](const SessionEdit& e) {
        if (e.kind != SessionEdit::Kind::kRemoved) return;
        const std::vector<EntryText> was = ReadEntryTexts(before).value();
        ASSERT_EQ(e.removed_ids.size(), e.slots.size());
        for (std::size_t i = 0; i < e.slots.size(); ++i) {
          ASSERT_EQ(e.removed_ids[i], was.at(e.slots[i] - 1).id);
        }
      };
      switch (generated.Pick(0, 9)) {
        case 0: {
          NewTexts texts;
          for (int i = generated.Pick(1, 3); i > 0; --i) {
            std::string stored = generated.AnyText(12);
            std::erase_if(stored, [](char c) { return c == '\n' || c == '\r' || c == '\x98'; });
            change.inserted.push_back(ExchangeText(Bytes(stored.empty() ? "x" : stored)));
            ASSERT_TRUE(texts.Add(change.inserted.back()).ok());
          }
          edit = session.Insert(texts);
          at_marker_id += edit.ok() && session.EntryAt(edit->slots.back()).id == 6000;
          break;
        }
        case 1:
          change.texts.push_back({slot(), Bytes(generated.AnyText(8))});
          edit = session.SetText(change.texts[0].slot, change.texts[0].text);
          break;
        case 2:
          change.removed = slot();
          edit = session.Remove(*change.removed);
          if (!PlanRemoval(before, *change.removed).ok()) change.removed.reset();
          break;
        case 3:
          for (int i = generated.Pick(1, n); i > 0; --i) {
            const std::size_t s = slot();
            if (std::none_of(change.texts.begin(), change.texts.end(),
                             [&](const TextChange& c) { return c.slot == s; })) {
              change.texts.push_back({s, Bytes(generated.AnyText(8))});
            }
          }
          edit = session.ApplyTranslations(change.texts);
          break;
        case 4: {
          const std::string find(1, static_cast<char>(generated.Pick(1, 255)));
          const std::string by = generated.AnyText(3);
          change.texts = LiteralReplacement(before, find, by);
          edit = session.Replace(
              TextPattern::Make(ExchangeText(Bytes(find)), {.match_case = true}).value(),
              ExchangeText(Bytes(by)));
          break;
        }
        case 5: {
          const Result<SessionEdit> first = session.Undo();
          ASSERT_EQ(first.ok(), !done.empty());
          if (done.empty()) {
            ASSERT_EQ(first.status().kind(), ErrorKind::kNothingToUndo);
            break;
          }
          undone_insertions += !done.back().inserted.empty();
          undone_removals += done.back().removed.has_value();
          ASSERT_TRUE(session.Redo().ok());
          const Result<SessionEdit> undid = session.Undo();
          ASSERT_TRUE(undid.ok());
          names_removed(*undid);
          EXPECT_EQ(undid->kind, KindOf(done.back(), true));
          if (done.back().removed) {
            EXPECT_EQ(undid->slots, std::vector{*done.back().removed});
          }
          undone.push_back(std::move(done.back()));
          done.pop_back();
          break;
        }
        case 6: {
          const Result<SessionEdit> redid = session.Redo();
          ASSERT_EQ(redid.ok(), !undone.empty());
          if (undone.empty()) {
            ASSERT_EQ(redid.status().kind(), ErrorKind::kNothingToUndo);
            break;
          }
          EXPECT_EQ(redid->kind, KindOf(undone.back(), false));
          names_removed(*redid);
          done.push_back(std::move(undone.back()));
          undone.pop_back();
          break;
        }
        case 7:
          ASSERT_TRUE(session.Save().ok());
          saved_at = done.size();
          ASSERT_EQ(test_support::ReadFileBytes(file), before);
          break;
        case 8: {
          // A patch made of this database and another version of it, either
          // way round: applied, or found already applied; now and then one
          // that changes nothing.
          const std::vector<std::byte> other =
              generated.Pick(0, 5) == 0 ? before : editor.Edit(before, generated.Pick(1, 3));
          const bool forward = generated.Pick(0, 3) != 0;
          Result<CreatedPatch> created =
              forward ? CreatePatch(before, other, "a", "b") : CreatePatch(other, before, "b", "a");
          if (!created.ok()) break;
          change.patch = ReadPatch(created->text).patch;
          const Result<SessionPatched> patched = session.ApplyPatch(*change.patch);
          ASSERT_TRUE(patched.ok()) << patched.status().message();
          if (forward) {
            ASSERT_TRUE(patched->problems.empty()) << patched->problems.front().what;
          } else if (other != before) {
            EXPECT_TRUE(patched->already_applied);
            EXPECT_TRUE(patched->edit.description.empty());
            already_applied += 1;
          }
          patches += forward;
          edit = patched->edit;
          break;
        }
        case 9: {
          file = dir_ / ("elsewhere-" + std::to_string(op) + ".def");
          ASSERT_TRUE(session.SaveAs(file).ok());
          saved_at = done.size();
          ASSERT_EQ(test_support::ReadFileBytes(file), before);
          saved_elsewhere += 1;
          break;
        }
      }
      if (edit.ok()) names_removed(*edit);
      const bool changing =
          !change.inserted.empty() || change.removed || !change.texts.empty() || change.patch;
      if (changing && Apply(before, change) != before) {
        ASSERT_TRUE(edit.ok()) << edit.status().message();
        if (saved_at != kNever && saved_at > done.size()) saved_at = kNever;
        done.push_back(std::move(change));
        undone.clear();
      } else if (edit.ok()) {
        EXPECT_TRUE(edit->slots.empty());  // no step, nothing to show
        EXPECT_EQ(session.undo_description(), undo_before);
        unchanged_patches += change.patch.has_value();
      }
      ASSERT_EQ(Image(session), Replay(db, done));
      ASSERT_EQ(session.modified(), saved_at != done.size());
      ASSERT_EQ(session.can_undo(), !done.empty());
      ASSERT_EQ(session.can_redo(), !undone.empty());
      // What a view reads of every entry is what the bytes hold.
      const std::vector<std::byte> image = Image(session);  // the texts point into it
      const std::vector<EntryText> entries = ReadEntryTexts(image).value();
      const std::optional<std::int32_t> k = FindInsertionPoint(image);
      ASSERT_EQ(session.marker_slot(),
                k ? std::optional<std::size_t>(static_cast<std::size_t>(*k) + 1) : std::nullopt);
      const std::vector<std::int32_t> ids = session.Ids();
      ASSERT_EQ(ids.size(), entries.size());
      for (const EntryText& entry : entries) {
        ASSERT_EQ(ids[entry.slot - 1], entry.id);
        ASSERT_EQ(session.IdAt(entry.slot), entry.id);
        const SessionEntry seen = session.EntryAt(entry.slot);
        ASSERT_EQ(seen.id, entry.id);
        ASSERT_TRUE(std::ranges::equal(seen.text, entry.text));
        ASSERT_EQ(seen.kind, format::KindOf(entry.id, entry.slot, session.marker_slot()));
      }
      const std::vector<EntryText> listed = session.Entries().value();
      ASSERT_EQ(listed.size(), entries.size());
      for (std::size_t i = 0; i < listed.size(); ++i)
        ASSERT_EQ(listed[i].offset, entries[i].offset);
    }
    ASSERT_TRUE(session.Save().ok());
    ASSERT_EQ(test_support::ReadFileBytes(file), Replay(db, done)) << "round " << round;
    EXPECT_FALSE(session.modified());
  }
  // Enough of what undo can get wrong: insertions, numbered 6000 too, and
  // removals undone; patches applied and found applied; saves elsewhere.
  EXPECT_GT(undone_insertions, 60);
  EXPECT_GT(undone_removals, 40);
  EXPECT_GT(at_marker_id, 60);
  EXPECT_GT(patches, 60);
  EXPECT_GT(already_applied, 20);
  EXPECT_GT(saved_elsewhere, 60);
  EXPECT_GT(unchanged_patches, 10);
}

// Undoing every change leaves nothing to save, and saving then rewrites
// nothing at all; undoing past a save is a change to save again.
TEST_F(EditSessionTest, UndoneToTheFileSavesNothingAndPastASaveSavesAgain) {
  const std::vector<std::byte> old = test_support::DatabaseBuilder()
                                         .Entry(1200, "заметка")
                                         .Entry(5001, "Первый")
                                         .Marker("конец")
                                         .Build();
  test_support::WriteFileBytes(db_, old);
  const FileInfo before = Info();
  test_support::FailingFileSystem counting;
  EditSession session = Open(counting);
  NewTexts texts;
  ASSERT_TRUE(texts.Add("Третий").ok());
  ASSERT_EQ(session.Insert(texts)->description, "Insert 5002");
  ASSERT_EQ(session.SetText(1, Bytes("x"))->description, "Set 1200");
  ASSERT_EQ(session.Remove(2)->description, "Remove 5001");
  EXPECT_EQ(session.undo_description(), "Remove 5001");
  while (session.can_undo()) ASSERT_TRUE(session.Undo().ok());
  EXPECT_EQ(session.redo_description(), "Insert 5002");
  EXPECT_FALSE(session.modified());

  const std::size_t calls = counting.calls().size();
  Result<SessionSaved> nothing = session.Save();
  ASSERT_TRUE(nothing.ok());
  EXPECT_FALSE(nothing->written);
  EXPECT_EQ(counting.calls().size(), calls);
  const FileInfo after = Info();
  EXPECT_TRUE(after.SameFile(before));
  EXPECT_EQ(after.modified_ns, before.modified_ns);

  ASSERT_TRUE(session.Redo().ok());
  ASSERT_TRUE(session.Save()->written);
  const std::vector<std::byte> inserted = OnDisk();
  EXPECT_NE(inserted, old);
  EXPECT_FALSE(session.modified());
  ASSERT_TRUE(session.Undo().ok());
  EXPECT_TRUE(session.modified());
  ASSERT_TRUE(session.Save()->written);
  EXPECT_EQ(OnDisk(), old);
}

// A file another program changed since the session read it is left as that
// program made it, even where its size and times look as they were; the
// changes stay, to be saved to another file.
TEST_F(EditSessionTest, RefusesToSaveOverAnotherProgramsChangeAndKeepsItsOwn) {
  const std::vector<std::byte> old =
      test_support::DatabaseBuilder().Entry(5001, "Первый").Marker("конец").Build();
  for (const bool same_size_and_times : {false, true}) {
    test_support::WriteFileBytes(db_, old);
    const FileInfo read = Info();
    test_support::FailingFileSystem fs;
    fs.OnStat([&](const std::filesystem::path&, FileInfo& info) {
      if (same_size_and_times && info.SameFile(read)) {
        info.modified_ns = read.modified_ns;
        info.changed_ns = read.changed_ns;
      }
    });
    EditSession session = Open(fs);
    ASSERT_TRUE(session.SetText(1, Bytes("mine")).ok());
    const std::vector<std::byte> mine = Image(session);

    std::vector<std::byte> theirs = old;
    theirs[theirs.size() - 2] = std::byte{'Z'};
    if (!same_size_and_times) theirs.push_back(std::byte{'!'});
    std::filesystem::resize_file(db_, theirs.size());
    {
      // In place, as a program that takes no lock writes.
      std::FILE* file = std::fopen(db_.string().c_str(), "r+b");
      ASSERT_NE(file, nullptr);
      ASSERT_EQ(std::fwrite(theirs.data(), 1, theirs.size(), file), theirs.size());
      ASSERT_EQ(std::fclose(file), 0);
    }
    const Result<SessionSaved> saved = session.Save();
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.status().kind(), ErrorKind::kBusy);
    EXPECT_NE(saved.status().message().find("changed by another program since it was read"),
              std::string::npos)
        << saved.status().message();
    EXPECT_EQ(OnDisk(), theirs);
    EXPECT_TRUE(session.modified());
    EXPECT_EQ(Image(session), mine);

    EXPECT_FALSE(session.SaveAs(db_).ok());
    const std::filesystem::path elsewhere = dir_ / "mine.def";
    ASSERT_TRUE(session.SaveAs(elsewhere).ok());
    EXPECT_EQ(test_support::ReadFileBytes(elsewhere), mine);
    EXPECT_EQ(OnDisk(), theirs);
    EXPECT_FALSE(session.modified());
    std::filesystem::remove(elsewhere);
  }
}

// Memory running out in any call an open, a save or a save under another
// name makes of the file system is a refusal in words, never an exception
// through the caller: the session keeps its changes, and each file is left
// exactly as it was or exactly as saved, with no file left open.
TEST_F(EditSessionTest, RunningOutOfMemoryAnywhereIsARefusalThatLosesNothing) {
  const std::vector<std::byte> old =
      test_support::DatabaseBuilder().Entry(5001, "Первый").Marker("конец").Build();
  const std::filesystem::path elsewhere = dir_ / "copy.def";
  const auto refused = [](const Status& status) {
    EXPECT_EQ(status.kind(), ErrorKind::kNoMemory) << status.message();
    EXPECT_TRUE(status.message().starts_with("there is not enough memory to ")) << status.message();
  };
  bool failed = true;
  std::size_t n = 0;
  while (failed) {
    ++n;
    failed = false;
    test_support::WriteFileBytes(db_, old);
    std::filesystem::remove(elsewhere);
    test_support::FailingFileSystem fs;
    std::size_t calls = 0;
    // Closing a descriptor allocates nothing: a throw there would only keep
    // it open.
    fs.OnCall([&](test_support::Call call) {
      if (call != test_support::Call::kClose && ++calls == n) {
        failed = true;
        throw std::bad_alloc();
      }
    });
    const auto nothing_left_open = [&] { EXPECT_EQ(fs.open_descriptors(), 0u) << "call " << n; };
    std::optional<Result<EditSession>> opened;
    ASSERT_NO_THROW(opened.emplace(EditSession::Open(db_, fs))) << "call " << n;
    if (!opened->ok()) {
      refused(opened->status());
      nothing_left_open();
      continue;
    }
    EditSession& session = opened->value();
    ASSERT_TRUE(session.SetText(1, Bytes("mine")).ok());
    const std::vector<std::byte> mine = Image(session);
    std::optional<Result<SessionSaved>> saved;
    ASSERT_NO_THROW(saved.emplace(session.Save())) << "call " << n;
    if (!saved->ok()) {
      refused(saved->status());
      EXPECT_TRUE(session.modified());
      EXPECT_EQ(Image(session), mine);
      EXPECT_EQ(OnDisk(), old) << "call " << n;
      nothing_left_open();
      continue;
    }
    EXPECT_EQ(OnDisk(), mine);
    ASSERT_TRUE(session.SetText(1, Bytes("copy")).ok());
    const std::vector<std::byte> copy = Image(session);
    ASSERT_NO_THROW(saved.emplace(session.SaveAs(elsewhere))) << "call " << n;
    if (!saved->ok()) {
      refused(saved->status());
      EXPECT_TRUE(session.modified());
      EXPECT_FALSE(std::filesystem::exists(elsewhere)) << "call " << n;
    } else {
      EXPECT_EQ(test_support::ReadFileBytes(elsewhere), copy);
    }
    EXPECT_EQ(OnDisk(), mine);
    nothing_left_open();
  }
  EXPECT_GT(n, 10u);  // every call of the three, up to the last round's, failed once
}

// A patch applied in a session changes the database as `orva-cli patch apply`
// changes its file, to its base and to a copy changed elsewhere alike, or
// refuses with the same problems and changes nothing; undone and redone, the
// step gives back exactly the bytes it had.
TEST_F(EditSessionTest, AppliesAPatchAsTheFileCommandDoesAndUndoesItExactly) {
  Generated generated(20260214);
  test_support::Editor editor(generated);
  const std::filesystem::path copy = dir_ / "copy.def";
  int applied_elsewhere = 0, refused = 0;
  for (int round = 0; round < 120; ++round) {
    const std::vector<std::byte> base = generated.Next();
    const std::vector<std::byte> result = editor.Edit(base, generated.Pick(1, 4));
    Result<CreatedPatch> created = CreatePatch(base, result, "base", "result");
    if (!created.ok()) continue;
    const Patch patch = ReadPatch(created->text).patch;
    const std::vector<std::byte> db = round % 2 == 0 ? base : editor.Edit(base, 2);
    test_support::WriteFileBytes(db_, db);
    test_support::WriteFileBytes(copy, db);
    const PatchOutcome on_file = ApplyPatch(copy, patch, false).value();

    EditSession session = Open();
    const SessionPatched patched = session.ApplyPatch(patch).value();
    ASSERT_EQ(patched.problems.size(), on_file.problems.size()) << "round " << round;
    if (!on_file.problems.empty() || !on_file.written) {
      refused += !on_file.problems.empty();
      EXPECT_EQ(Image(session), db);
      EXPECT_FALSE(session.can_undo());
      continue;
    }
    applied_elsewhere += !on_file.base_matched;
    const std::vector<std::byte> expected = test_support::ReadFileBytes(copy);
    ASSERT_EQ(Image(session), expected) << "round " << round;
    EXPECT_EQ(patched.edit.description, "Apply patch");
    EXPECT_EQ(patched.edit.kind, SessionEdit::Kind::kPatched);
    ASSERT_TRUE(session.Undo().ok());
    ASSERT_EQ(Image(session), db) << "round " << round;
    ASSERT_TRUE(session.Redo().ok());
    ASSERT_EQ(Image(session), expected) << "round " << round;
    ASSERT_TRUE(session.Save().ok());
    EXPECT_EQ(OnDisk(), expected);
  }
  EXPECT_GT(applied_elsewhere, 10);
  EXPECT_GT(refused, 5);
}

}  // namespace
}  // namespace orva
