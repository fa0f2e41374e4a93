// What the editor window costs on a 64 MiB database of about 970,000
// entries, through EditorLogic as a view drives it:
//
//  - opening it until the table is usable: the file read and checked, the
//    first screenful of rows made;
//  - a filter keystroke: each prefix of a word typed, then cleared;
//  - the peak memory of the process against the file's size, once opened,
//    filtered and edited;
//  - the save of 1,000 edits against the insertion of one text into a file
//    of the same size, then further saves of one more edit each, in pairs
//    with insertions, as orva-bench pairs an insertion with its floor.
//
//   orva-editor-bench --make=DATABASE [--megabytes=64]
//   orva-editor-bench DATABASE [--edits=1000] [--pairs=5]
//
// The first form writes the database; the second measures it, in a process
// of its own so that the peak memory is the editor's alone. It leaves
// DATABASE as it was and works on copies beside it.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "database/text_entry_insertion.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"
#include "window/editor_logic.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

long PeakKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

[[noreturn]] void Stop(const std::string& why) {
  std::fprintf(stderr, "orva-editor-bench: %s\n", why.c_str());
  std::exit(1);
}

// A view that draws nothing and says what the logic asked: a refusal would
// make the figures meaningless.
class QuietView : public EditorView {
 public:
  std::optional<std::string> ChooseFile(const FileRequest&) override { return std::nullopt; }
  void ShowMessage(MessageIcon, const std::string& text, const std::string& details) override {
    Stop(text + " " + details);
  }
  int Ask(const Question& question) override { return question.cancel_button; }
  std::optional<std::size_t> ShowReport(const Report&) override { return std::nullopt; }
  void ShowRows(std::size_t count) override { rows = count; }
  void ShowRowsChanged(std::size_t, std::size_t) override {}
  void SelectRow(std::size_t) override {}
  void ShowTitle(const std::string&) override {}
  void ShowStatus(const std::string& text) override { status = text; }
  void ShowCommands(const EditorCommands&) override {}
  void ShowScreenshot(const std::string&, const std::string&) override {}
  void DatabaseSaved(const std::string&) override {}

  std::size_t rows = 0;
  std::string status;
};

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

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Measure(const fs::path& original, int edits, int pairs) {
  const fs::path work = original.parent_path() / "textdb_editor_work.def";
  const fs::path other = original.parent_path() / "textdb_editor_insert.def";
  fs::copy_file(original, work, fs::copy_options::overwrite_existing);
  const auto size = static_cast<double>(fs::file_size(work));

  QuietView view;
  EditorLogic logic(view);
  Clock::time_point start = Clock::now();
  if (!logic.OpenPath(work.string())) Stop("cannot open " + work.string());
  for (std::size_t row = 0; row < std::min<std::size_t>(40, logic.RowCount()); ++row) {
    (void)logic.Row(row);
  }
  std::printf("open to a usable table: %.0f ms (%zu entries, %.0f bytes)\n", Ms(start),
              logic.RowCount(), size);

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

  start = Clock::now();
  for (int i = 0; i < edits; ++i) {
    const auto row = static_cast<std::size_t>(i) * 997 % logic.RowCount();
    if (!logic.SetText(row, "Правка " + std::to_string(i))) Stop("an edit was refused");
  }
  std::printf("%d edits: %.0f ms, %.1f ms each\n", edits, Ms(start), Ms(start) / edits);
  std::printf("peak memory: %ld KiB, %.2f times the file\n", PeakKib(),
              static_cast<double>(PeakKib()) * 1024 / size);

  // The saves, each against an insertion into a copy of the same size.
  std::vector<double> ratios;
  for (int pair = 0; pair <= pairs; ++pair) {
    if (pair > 0 && !logic.SetText(static_cast<std::size_t>(pair), "Ещё одна правка")) {
      Stop("an edit was refused");
    }
    fs::copy_file(original, other, fs::copy_options::overwrite_existing);
    start = Clock::now();
    if (!logic.Save()) Stop("the save was refused");
    const double save = Ms(start);
    start = Clock::now();
    if (!InsertTextEntry(other, "Новая миссия").ok()) Stop("the insertion was refused");
    const double insert = Ms(start);
    ratios.push_back(save / insert);
    std::printf("%s: save %.0f ms, one insertion %.0f ms, ratio %.2f\n",
                pair == 0 ? "save of the edits" : "save of one more edit", save, insert,
                save / insert);
  }
  std::printf("save against one insertion: median ratio %.2f over %zu pairs\n", Median(ratios),
              ratios.size());
  fs::remove(work);
  fs::remove(other);
}

}  // namespace
}  // namespace orva

int main(int argc, char** argv) {
  std::string database, made;
  std::size_t megabytes = 64;
  int edits = 1000, pairs = 5;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const auto value = [&](std::string_view name) { return std::string(arg.substr(name.size())); };
    if (arg.starts_with("--make=")) {
      made = value("--make=");
    } else if (arg.starts_with("--megabytes=")) {
      megabytes = std::stoul(value("--megabytes="));
    } else if (arg.starts_with("--edits=")) {
      edits = std::stoi(value("--edits="));
    } else if (arg.starts_with("--pairs=")) {
      pairs = std::stoi(value("--pairs="));
    } else {
      database = std::string(arg);
    }
  }
  if (!made.empty()) {
    orva::Make(made, megabytes);
    return 0;
  }
  if (database.empty()) {
    std::fprintf(stderr,
                 "usage: orva-editor-bench --make=DATABASE [--megabytes=64]\n"
                 "       orva-editor-bench DATABASE [--edits=1000] [--pairs=5]\n");
    return 2;
  }
  orva::Measure(database, edits, pairs);
  return 0;
}
