// What the editor window costs on a 64 MiB database of about 970,000
// entries, through EditorLogic as a view drives it:
//
//  - opening it until the table is usable: the file read and checked, the
//    first screenful of rows made; then the review's pass over every entry
//    made slice by slice as a view runs it while idle, and its longest
//    slice, which the window is unresponsive for;
//  - a filter keystroke: each prefix of a word typed, then cleared;
//  - the peak memory of the process against the file's size, once opened,
//    filtered and edited;
//  - the save of 1,000 edits against the floor of any crash-safe rewrite of
//    a file of the same size (read it, write its bytes to a new file, flush
//    it, rename it over the old one, flush the folder), then further saves
//    of one more edit each, in pairs with the floor, as orva-bench pairs an
//    insertion with its floor;
//  - each kind of edit (a text set, a mission added, an entry removed, an
//    undo, a redo) one at a time: the median and the longest;
//  - a text set with a filter on and with a comparison on, the comparison's
//    start, and missions added with it on, the first of them apart; a
//    replacement in about 10,000 texts.
//
//   orva-editor-bench --make=DATABASE [--megabytes=64]
//   orva-editor-bench DATABASE [--edits=1000] [--pairs=5] [--no-spelling]
//
// The first form writes the database; the second measures it, in a process
// of its own so that the peak memory is the editor's alone. The editor opens
// the system's dictionaries with the database (about 25 MiB whatever its
// size); --no-spelling leaves them out, to see what the file itself costs. It leaves
// DATABASE as it was and works on copies beside it.
#include <sys/resource.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "bench/quiet_editor_view.h"
#include "bench/rewrite_floor.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"
#include "window/editor_logic.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using QuietView = bench::QuietEditorView;
using bench::Clock;
using bench::Median;
using bench::Ms;
using bench::PeakKib;

// The processor time the process has had, in ms.
double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1000 + static_cast<double>(t.tv_usec) / 1000;
  };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

[[noreturn]] void Stop(const std::string& why) {
  std::fprintf(stderr, "orva-editor-bench: %s\n", why.c_str());
  std::exit(1);
}

// 1,000 missions, the end marker, and after it as many entries as make up
// the size, each with a 60-byte text: a dozen kinds of mission texts with
// their numbers, as a game's database holds them.
std::vector<std::byte> Database(std::size_t bytes) {
  static constexpr std::string_view kTexts[] = {
      "Патруль над рекой", "Ночной конвой",       "Оборона аэродрома",  "Удар по складам",
      "Разведка боем",     "Прорыв блокады",      "Последний рубеж",    "Escort the train",
      "Bridge at dawn",    "Storm over the pass", "Home before winter", "Налёт на переправу"};
  constexpr std::size_t kPerEntry = 8 + 61;
  test_support::DatabaseBuilder builder;
  std::size_t used = 16 + 4;
  std::int32_t id = 5000;
  // 60 characters, one byte each once stored.
  auto text = [](std::int32_t n) {
    std::string t = std::string(kTexts[static_cast<std::size_t>(n) % std::size(kTexts)]) + " №" +
                    std::to_string(n);
    const auto characters = static_cast<std::size_t>(std::count_if(
        t.begin(), t.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    t.append(60 - characters, '.');
    return t;
  };
  for (std::size_t i = 0; i < 1000 && used + kPerEntry <= bytes; ++i, used += kPerEntry) {
    builder.Entry(id, text(id));
    ++id;
  }
  builder.Marker("end");
  for (id = 7000; used + kPerEntry <= bytes; ++id, used += kPerEntry) builder.Entry(id, text(id));
  return builder.Build();
}

void Make(const fs::path& path, std::size_t megabytes) {
  test_support::WriteFileBytes(path, Database(megabytes << 20));
  std::printf("wrote %s (%llu bytes)\n", path.string().c_str(),
              static_cast<unsigned long long>(fs::file_size(path)));
}

void PrintTimes(const char* what, const std::vector<double>& times) {
  double all = 0;
  for (double t : times) all += t;
  std::printf("%s: median %.3f ms, longest %.3f ms, %zu in %.0f ms\n", what, Median(times),
              *std::max_element(times.begin(), times.end()), times.size(), all);
}

// Times `edit` `count` times, stopping on a refusal.
template <typename Edit>
std::vector<double> Timed(int count, const Edit& edit) {
  std::vector<double> times;
  for (int i = 0; i < count; ++i) {
    const Clock::time_point start = Clock::now();
    if (!edit(i)) Stop("an edit was refused");
    times.push_back(Ms(start));
  }
  return times;
}

// Each kind of edit alone, then with a filter on and with a comparison on,
// then a replacement in about 10,000 texts.
void MeasureEdits(EditorLogic& logic, QuietView& view, const fs::path& original) {
  constexpr int kEach = 200;
  const auto row = [&](int i) { return static_cast<std::size_t>(i) * 7919 % logic.RowCount(); };
  std::vector<double> all;
  const auto kind = [&](const char* what, const std::vector<double>& times) {
    PrintTimes(what, times);
    all.insert(all.end(), times.begin(), times.end());
  };
  kind("set a text",
       Timed(kEach, [&](int i) { return logic.SetText(row(i), "Правка " + std::to_string(i)); }));
  kind("add a mission",
       Timed(kEach, [&](int i) { return logic.AddMission("Миссия " + std::to_string(i)); }));
  kind("remove an entry", Timed(kEach, [&](int i) {
         return logic.Remove(logic.RowCount() - 1 - static_cast<std::size_t>(i % 100));
       }));
  kind("undo", Timed(kEach, [&](int) { return logic.Undo(); }));
  kind("redo", Timed(kEach, [&](int) { return logic.Redo(); }));
  PrintTimes("1,000 edits of every kind", all);

  logic.SetFilter("ночной");
  PrintTimes("set a text, filter on", Timed(50, [&](int i) {
               return logic.SetText(static_cast<std::size_t>(i) % logic.RowCount(),
                                    "Ночной правка " + std::to_string(i));
             }));
  logic.SetFilter("");
  const Clock::time_point compare = Clock::now();
  double cpu = CpuMs();
  if (!logic.CompareWith(original.string())) Stop("the comparison was refused");
  std::printf("compare with the file as opened: %.0f ms (%.0f ms of processor time), %s\n",
              Ms(compare), CpuMs() - cpu, view.status.c_str());
  PrintTimes("set a text, comparison on", Timed(50, [&](int i) {
               return logic.SetText(row(i), "Сравнение " + std::to_string(i));
             }));
  // Processor time as well: on a busy machine the wall clock also counts
  // the time others had the processor.
  std::vector<double> cpu_added;
  const std::vector<double> added = Timed(5, [&](int i) {
    cpu = CpuMs();
    const bool done = logic.AddMission("Сравнение " + std::to_string(i));
    cpu_added.push_back(CpuMs() - cpu);
    return done;
  });
  PrintTimes("add a mission, comparison on", added);
  std::printf(
      "the first of them: %.3f ms (%.3f ms of processor time); processor time median "
      "%.3f ms, longest %.3f ms\n",
      added.front(), cpu_added.front(), Median(cpu_added),
      *std::max_element(cpu_added.begin(), cpu_added.end()));
  logic.EndComparison();

  // "№10" ends the texts of ids 10000-10999 and 100000-109999: 11,000 texts.
  view.answer_yes = true;
  Clock::time_point start = Clock::now();
  if (!logic.ReplaceAll({.find = "№10", .replacement = "#10"})) Stop("the replacement failed");
  std::printf("replace in the texts: %.0f ms, %s\n", Ms(start), view.status.c_str());
  start = Clock::now();
  if (!logic.Undo()) Stop("the undo was refused");
  std::printf("undo of the replacement: %.1f ms\n", Ms(start));
  view.answer_yes = false;
}

void Measure(const fs::path& original, int edits, int pairs, bool spelling) {
  const fs::path work = original.parent_path() / "textdb_editor_work.def";
  const fs::path other = original.parent_path() / "textdb_editor_floor.def";
  fs::copy_file(original, work, fs::copy_options::overwrite_existing);
  const auto size = static_cast<double>(fs::file_size(work));

  QuietView view("orva-editor-bench");
  EditorLogic logic(view);
  const test_support::TempDir no_dictionaries;
  if (!spelling) logic.SetDictionaryFolder(no_dictionaries.path().string());
  Clock::time_point start = Clock::now();
  const double cpu = CpuMs();
  if (!logic.OpenPath(work.string())) Stop("cannot open " + work.string());
  for (std::size_t row = 0; row < std::min<std::size_t>(40, logic.RowCount()); ++row) {
    (void)logic.Row(row);
  }
  std::printf(
      "open to a usable table: %.0f ms (%.0f ms of processor time; %zu entries, %.0f bytes); "
      "peak memory %ld KiB\n",
      Ms(start), CpuMs() - cpu, logic.RowCount(), size, PeakKib());

  // The review's pass, slice by slice as a view's timer runs it while idle;
  // the first slices wait for the dictionaries.
  {
    std::vector<double> slices;
    const Clock::time_point pass = Clock::now();
    for (bool more = true; more;) {
      const Clock::time_point slice = Clock::now();
      const bool reading = logic.reading_dictionaries();
      more = logic.ContinueReview();
      slices.push_back(Ms(slice));
      if (reading && !logic.reading_dictionaries()) {
        std::printf("the dictionaries joined the checks %.0f ms after the open began\n", Ms(start));
      }
    }
    std::printf(
        "the review's pass over every entry: %.0f ms in %zu slices; a slice median %.1f ms, "
        "longest %.1f ms; %zu errors, %zu warnings\n",
        Ms(pass), slices.size(), Median(slices), *std::max_element(slices.begin(), slices.end()),
        logic.review().errors(), logic.review().warnings());
  }

  // Typed one letter at a time, each keystroke narrowing the one before;
  // then cleared; then a letter that every row holds, which keeps them all.
  const std::pair<std::string_view, std::string_view> keystrokes[] = {
      {"", "н"},           {"н", "но"},    {"но", "ноч"}, {"ноч", "ночн"}, {"ночн", "ночно"},
      {"ночно", "ночной"}, {"ночной", ""}, {"", "№"},     {"№", ""}};
  for (const auto& [before, typed] : keystrokes) {
    std::vector<double> times;
    for (int run = 0; run < 5; ++run) {
      logic.SetFilter(before);
      start = Clock::now();
      logic.SetFilter(typed);
      times.push_back(Ms(start));
    }
    std::printf("filter keystroke \"%.*s\" -> \"%.*s\": %.1f ms (median of 5), %s\n",
                static_cast<int>(before.size()), before.data(), static_cast<int>(typed.size()),
                typed.data(), Median(times), view.status.c_str());
  }

  std::printf("peak memory once filtered: %ld KiB\n", PeakKib());
  start = Clock::now();
  for (int i = 0; i < edits; ++i) {
    const auto row = static_cast<std::size_t>(i) * 997 % logic.RowCount();
    if (!logic.SetText(row, "Правка " + std::to_string(i))) Stop("an edit was refused");
  }
  std::printf("%d edits: %.0f ms, %.1f ms each; peak memory %ld KiB\n", edits, Ms(start),
              Ms(start) / edits, PeakKib());

  // The saves, each against the floor on a copy of the same size.
  std::vector<double> ratios;
  for (int pair = 0; pair <= pairs; ++pair) {
    if (pair > 0 && !logic.SetText(static_cast<std::size_t>(pair), "Ещё одна правка")) {
      Stop("an edit was refused");
    }
    fs::copy_file(original, other, fs::copy_options::overwrite_existing);
    start = Clock::now();
    if (!logic.Save()) Stop("the save was refused");
    const double save = Ms(start);
    // Before the floor, which holds a whole file of its own.
    if (pair == 0) {
      std::printf("peak memory, opened, filtered, edited and saved: %ld KiB, %.2f times the file\n",
                  PeakKib(), static_cast<double>(PeakKib()) * 1024 / size);
    }
    start = Clock::now();
    if (!RewriteFloor(other)) Stop("the floor failed");
    const double floor = Ms(start);
    ratios.push_back(save / floor);
    std::printf("%s: save %.0f ms, the floor %.0f ms, ratio %.2f\n",
                pair == 0 ? "save of the edits" : "save of one more edit", save, floor,
                save / floor);
  }
  MeasureEdits(logic, view, original);
  std::printf("save against the floor: median ratio %.2f over %zu pairs\n", Median(ratios),
              ratios.size());
  fs::remove(work);
  fs::remove(other);
}

}  // namespace
}  // namespace orva

namespace {

constexpr std::string_view kUsage =
    "usage: orva-editor-bench --make=DATABASE [--megabytes=64]\n"
    "       orva-editor-bench DATABASE [--edits=1000] [--pairs=5] [--no-spelling]\n";

int Refuse(const std::string& why) {
  std::fprintf(stderr, "orva-editor-bench: %s\n%.*s", why.c_str(), static_cast<int>(kUsage.size()),
               kUsage.data());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string database, made;
  long megabytes = 64, edits = 1000, pairs = 5;
  bool spelling = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::printf("%.*s", static_cast<int>(kUsage.size()), kUsage.data());
      return 0;
    }
    const auto number = [&](std::string_view name, long& value) {
      if (!arg.starts_with(name)) return false;
      const std::optional<long> n = orva::bench::PositiveCount(arg.substr(name.size()));
      if (!n) return false;
      value = *n;
      return true;
    };
    if (arg == "--no-spelling") {
      spelling = false;
    } else if (arg.starts_with("--make=")) {
      made = std::string(arg.substr(7));
    } else if (number("--megabytes=", megabytes) || number("--edits=", edits) ||
               number("--pairs=", pairs)) {
    } else if (arg.starts_with("-") || !database.empty()) {
      return Refuse("not understood: " + std::string(arg));
    } else {
      database = std::string(arg);
    }
  }
  if (!made.empty()) {
    orva::Make(made, static_cast<std::size_t>(megabytes));
    return 0;
  }
  if (database.empty()) return Refuse("no database named");
  if (!std::filesystem::is_regular_file(database)) return Refuse("no such file: " + database);
  orva::Measure(database, static_cast<int>(edits), static_cast<int>(pairs), spelling);
  return 0;
}
