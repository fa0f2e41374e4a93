// What the translator's workbench costs on a 64 MiB database of 972,592
// entries with a reference of the same size beside it:
//
//  - opening the reference: read whole, checked, its entries indexed, and
//    joined by id to the database's;
//  - every check over every entry, with the reference and a charset;
//  - the live check of one text as it is typed (every check on it);
//  - the editor's review (EditorReview): every entry checked as the editor
//    holds it, on opening the reference, and checked again after one text
//    changed, which checks that text alone;
//  - the peak memory of a process holding the database as the editor does
//    (an edit session) and the reference beside it, against the file's size
//    and against the same process without the reference.
//
//   orva-review-bench --make=DIR          writes DIR/textdb_ru.def, textdb_en.def, charset.txt
//   orva-review-bench DIR                 times the first three
//   orva-review-bench --editor DIR        times the editor's review
//   orva-review-bench --memory=one|both DIR
//
// The memory is measured in a process of its own for each case, so that the
// peak is that case's alone.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_support.h"
#include "database/code_page.h"
#include "database/reference.h"
#include "database/text_edit.h"
#include "review/check_rules.h"
#include "review/database_review.h"
#include "review/text_checks.h"
#include "session/edit_session.h"
#include "storage/file_system.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"
#include "window/editor_review.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using bench::Clock;
using bench::Median;
using bench::Ms;
using bench::PeakKib;

[[noreturn]] void Stop(const std::string& why) {
  std::fprintf(stderr, "orva-review-bench: %s\n", why.c_str());
  std::exit(1);
}

template <typename T>
T Must(Result<T> result, const std::string& what) {
  if (!result.ok()) Stop(what + ": " + result.status().message());
  return std::move(result).value();
}

// As the editor's benchmark lays out its database: 1,000 missions, the end
// marker, then entries with 60-character texts up to the size; here in two
// languages with the same ids. A translation of a twelfth of the texts is
// missing (still English), and the English has a format marker and a line
// break the Russian keeps, so that the checks have work and findings.
std::vector<std::byte> Database(std::size_t bytes, bool english) {
  static constexpr std::string_view kRussian[] = {
      "Патруль над рекой, %d", "Ночной конвой",      "Оборона аэродрома", "Удар по складам",
      "Разведка боем",         "Прорыв блокады",     "Последний рубеж\n", "Escort the train",
      "Мост на рассвете",      "Буря над перевалом", "Домой до зимы",     "Налёт на переправу"};
  static constexpr std::string_view kEnglish[] = {"Patrol over the river, %d",
                                                  "Night convoy",
                                                  "Airfield defence",
                                                  "Strike the depots",
                                                  "Reconnaissance in force",
                                                  "Breaking the siege",
                                                  "The last line\n",
                                                  "Escort the train",
                                                  "Bridge at dawn",
                                                  "Storm over the pass",
                                                  "Home before winter",
                                                  "Raid on the crossing"};
  constexpr std::size_t kPerEntry = 8 + 61;
  test_support::DatabaseBuilder builder;
  std::size_t used = 16 + 4;
  auto text = [&](std::int32_t n) {
    const auto kind = static_cast<std::size_t>(n) % std::size(kRussian);
    std::string t =
        std::string(english ? kEnglish[kind] : kRussian[kind]) + " №" + std::to_string(n);
    const auto characters = static_cast<std::size_t>(std::count_if(
        t.begin(), t.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    t.append(60 - std::min<std::size_t>(60, characters), '.');
    return t;
  };
  std::int32_t id = 5000;
  for (std::size_t i = 0; i < 1000 && used + kPerEntry <= bytes; ++i, used += kPerEntry, ++id) {
    builder.Entry(id, text(id));
  }
  builder.Marker("end");
  for (id = 7000; used + kPerEntry <= bytes; ++id, used += kPerEntry) builder.Entry(id, text(id));
  return builder.Build();
}

void Make(const fs::path& dir) {
  fs::create_directories(dir);
  test_support::WriteFileBytes(dir / "textdb_ru.def", Database(64u << 20, false));
  test_support::WriteFileBytes(dir / "textdb_en.def", Database(64u << 20, true));
  std::string charset =
      " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[]_"
      "abcdefghijklmnopqrstuvwxyz№ЁёАБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"
      "абвгдежзийклмнопрстуфхцчшщъыьэюя";
  test_support::WriteFileBytes(dir / "charset.txt", test_support::Bytes(charset));
  std::printf("wrote %s and %s (%llu bytes each), %s\n", (dir / "textdb_ru.def").c_str(),
              (dir / "textdb_en.def").c_str(),
              static_cast<unsigned long long>(fs::file_size(dir / "textdb_ru.def")),
              (dir / "charset.txt").c_str());
}

CheckRules Rules(const fs::path& dir) {
  CheckRules rules;
  rules.glyphs = Must(ReadGlyphSet(dir / "charset.txt"), "charset");
  rules.glyphs_from = "charset.txt";
  return rules;
}

void Time(const fs::path& dir) {
  const fs::path db = dir / "textdb_ru.def";
  const fs::path en = dir / "textdb_en.def";
  const std::vector<std::byte> bytes = Must(ReadWholeFile(db, {1u << 31, "2 GiB"}), "read");
  const std::vector<EntryText> entries = Must(ReadEntryTexts(bytes), "entries");
  std::vector<std::int32_t> ids;
  ids.reserve(entries.size());
  for (const EntryText& e : entries) ids.push_back(e.id);

  std::vector<double> opens;
  for (int run = 0; run < 5; ++run) {
    const Clock::time_point start = Clock::now();
    const ReferenceDatabase reference = Must(ReferenceDatabase::Open(en), "reference");
    const EntryJoin join = JoinById(ids, reference.ids());
    opens.push_back(Ms(start));
    if (join.OnlyInDatabase() != 0) Stop("the two files should pair up entry for entry");
  }
  std::printf(
      "open the reference beside the file (read, checked, indexed, joined): median %.0f ms "
      "of 5 (%.0f-%.0f)\n",
      Median(opens), *std::min_element(opens.begin(), opens.end()),
      *std::max_element(opens.begin(), opens.end()));

  const ReferenceDatabase reference = Must(ReferenceDatabase::Open(en), "reference");
  const CheckRules rules = Rules(dir);
  std::vector<double> passes;
  DatabaseReview review;
  std::size_t findings = 0;
  for (int run = 0; run < 5; ++run) {
    findings = 0;
    const Clock::time_point start = Clock::now();
    review = Must(ReviewDatabase(bytes, &reference, rules, [&](const Finding&) { ++findings; }),
                  "check");
    passes.push_back(Ms(start));
  }
  std::printf(
      "every check over %zu entries with the reference and a charset: median %.0f ms of 5 "
      "(%.0f-%.0f); %zu findings (%zu errors, %zu warnings), missions %zu of %zu "
      "translated, others %zu of %zu\n",
      entries.size(), Median(passes), *std::min_element(passes.begin(), passes.end()),
      *std::max_element(passes.begin(), passes.end()), findings, review.errors, review.warnings,
      review.progress->missions.translated, review.progress->missions.entries,
      review.progress->others.translated, review.progress->others.entries);

  // A translator typing the text of a mission, one character more each time:
  // the typed UTF-8 decoded and every check run, as the editor does.
  const std::u32string reference_text = StoredCharacters(reference.text(0));
  const std::string typed = "Патруль над рекой, %d самолётов, в два  ряда, ";
  std::vector<Finding> found;
  std::vector<double> lives;
  for (int run = 0; run < 20000; ++run) {
    const std::string text = typed.substr(0, typed.size() - static_cast<std::size_t>(run % 20));
    const Clock::time_point start = Clock::now();
    const std::u32string characters = TypedCharacters(text);
    found.clear();
    CheckEntry({1, 5000, format::EntryKind::kMission, characters, reference_text, 1}, rules, found);
    lives.push_back(Ms(start) * 1000.0);
  }
  std::sort(lives.begin(), lives.end());
  std::printf(
      "live check of one typed text: median %.1f us, 99th percentile %.1f us, most %.1f us "
      "(%zu findings on the last)\n",
      lives[lives.size() / 2], lives[lives.size() * 99 / 100], lives.back(), found.size());
}

// The editor's side: the review of the session as the editor keeps it, made
// whole (what opening a reference or a database costs besides reading it),
// and followed after one text is set and undone.
void TimeEditor(const fs::path& dir) {
  EditSession session = Must(EditSession::Open(dir / "textdb_ru.def"), "open");
  EditorReview review;
  review.SetRules(Rules(dir));
  review.SetReference(std::make_shared<const ReferenceDatabase>(
                          Must(ReferenceDatabase::Open(dir / "textdb_en.def"), "reference")),
                      dir / "textdb_en.def");
  std::vector<double> builds;
  for (int run = 0; run < 3; ++run) {
    const Clock::time_point start = Clock::now();
    review.Rebuild(session);
    builds.push_back(Ms(start));
  }
  std::printf(
      "the editor's review made whole (every entry checked as the session holds it): median "
      "%.0f ms of 3 (%.0f-%.0f); %zu errors, %zu warnings\n",
      Median(builds), *std::min_element(builds.begin(), builds.end()),
      *std::max_element(builds.begin(), builds.end()), review.errors(), review.warnings());
  // The pass in steps, as the editor makes it: the start (the join and the
  // ids counted) and each step of 256 slots, the unit a slice is made of.
  std::vector<double> starts, steps;
  for (int run = 0; run < 3; ++run) {
    Clock::time_point start = Clock::now();
    review.Start(session);
    starts.push_back(Ms(start));
    for (bool more = true; more;) {
      start = Clock::now();
      more = review.Step(session, 256).checked > 0;
      steps.push_back(Ms(start) * 1000.0);
    }
  }
  std::sort(steps.begin(), steps.end());
  std::printf(
      "the editor's review started (ids joined and counted, nothing checked): median %.0f ms of "
      "3; a step of 256 slots: median %.0f us, 99th percentile %.0f us, most %.0f us\n",
      Median(starts), steps[steps.size() / 2], steps[steps.size() * 99 / 100], steps.back());
  const std::vector<std::byte> text = Must(StoredText("Патруль над рекой, два  ряда"), "text");
  std::vector<double> follows;
  for (int run = 0; run < 200; ++run) {
    const std::size_t slot = 1 + static_cast<std::size_t>(run) * 4001 % session.entry_count();
    const SessionEdit edit = Must(session.SetText(slot, text), "set");
    const Clock::time_point start = Clock::now();
    review.Follow(edit, session);
    follows.push_back(Ms(start) * 1000.0);
    review.Follow(Must(session.Undo(), "undo"), session);
  }
  std::sort(follows.begin(), follows.end());
  std::printf(
      "the editor's review after one text set: median %.1f us, most %.1f us (of 200 edits)\n",
      follows[follows.size() / 2], follows.back());
}

// What the editor holds: the session, the review it keeps of every entry
// and, with `both`, the reference; no second image of the file.
void Memory(const fs::path& dir, bool both) {
  const fs::path db = dir / "textdb_ru.def";
  EditSession session = Must(EditSession::Open(db), "open");
  EditorReview review;
  review.SetRules(Rules(dir));
  if (both) {
    review.SetReference(std::make_shared<const ReferenceDatabase>(
                            Must(ReferenceDatabase::Open(dir / "textdb_en.def"), "reference")),
                        dir / "textdb_en.def");
  }
  review.Rebuild(session);
  const double size = static_cast<double>(fs::file_size(db));
  const long peak = PeakKib();
  std::printf(
      "peak memory, the file open in the editor%s and every entry checked: %ld KiB, %.2f times "
      "the file (%.0f bytes; %zu errors, %zu warnings)\n",
      both ? " with the reference beside it" : " alone", peak,
      static_cast<double>(peak) * 1024.0 / size, size, review.errors(), review.warnings());
}

}  // namespace
}  // namespace orva

int main(int argc, char** argv) {
  constexpr std::string_view kUsage =
      "usage: orva-review-bench --make=DIR | DIR | --editor DIR | --memory=one|both DIR\n";
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::printf("%.*s", static_cast<int>(kUsage.size()), kUsage.data());
    std::printf(
        "--make=DIR writes DIR/textdb_ru.def, textdb_en.def and charset.txt; DIR times opening\n"
        "the reference, every check and the live check; --editor DIR times the editor's review\n"
        "of DIR's files; --memory measures the peak memory of\n"
        "the database held with every check run, alone or with the reference.\n");
    return 0;
  }
  if (args.size() == 1 && args[0].starts_with("--make=")) {
    orva::Make(std::string(args[0].substr(7)));
  } else if (args.size() == 2 && (args[0] == "--memory=one" || args[0] == "--memory=both")) {
    orva::Memory(std::string(args[1]), args[0] == "--memory=both");
  } else if (args.size() == 2 && args[0] == "--editor") {
    orva::TimeEditor(std::string(args[1]));
  } else if (args.size() == 1 && !args[0].starts_with("-")) {
    orva::Time(std::string(args[0]));
  } else {
    if (!args.empty() && args[0].starts_with("-")) {
      std::fprintf(stderr, "orva-review-bench: not understood: %.*s\n",
                   static_cast<int>(args[0].size()), args[0].data());
    }
    std::fprintf(stderr, "%.*s", static_cast<int>(kUsage.size()), kUsage.data());
    return 2;
  }
  return 0;
}
