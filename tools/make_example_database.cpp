// Writes the sample database examples/textdb_00.def, made entirely here:
//   make-example-database examples/textdb_00.def
#include <iostream>
#include <string_view>

#include "cli/main_guard.h"
#include "storage/durable_file.h"
#include "storage/path_text.h"
#include "tests/support/database_builder.h"

namespace {

int WriteExample(const char* output) {
  using orva::test_support::DatabaseBuilder;
  const auto bytes = DatabaseBuilder()
                         .HeaderWord(0x4F525641)  // any value; the tools never write it
                         .Entry(5001, "Обучение: первый вылет")
                         .Entry(5002, "Патруль над рекой")
                         .Entry(5003, "   Ночной конвой")  // leading spaces, not shown
                         .Entry(5004, "Escort the supply train")
                         .Entry(1200, "Briefing note, never listed")
                         .Entry(5005, "Оборона аэродрома")
                         .Entry(5006,
                                "Разведка боем у старой мельницы, затем возвращение на базу до "
                                "рассвета следующего дня")
                         .Entry(5007, "Bridge at dawn")
                         .Entry(42, "Подсказка для экрана загрузки")
                         .Entry(5008, "Удар по складам")
                         .Entry(5009, "Storm over the pass")
                         .Entry(5010, "Прорыв блокады")
                         .Entry(5011, "Последний рубеж")
                         .Entry(5012, "Home before winter")
                         .Marker("Конец кампании")
                         .Entry(7001, "Credits: ORVA sample")
                         .Entry(3, "Версия 1")
                         .Build();
  // Crash-safe like every file ORVA writes: an old sample stays whole until
  // the new one is.
  const orva::Result<orva::WrittenFile> written =
      orva::WriteFileDurably(orva::PathFromUtf8(output),
                             [&](orva::FileWriter& writer) { return writer.Write(bytes); }, {});
  if (!written.ok()) {
    std::cerr << "make-example-database: " << written.status().message() << '\n';
    return 1;
  }
  if (!written->warning.empty()) {
    std::cerr << "make-example-database: " << output << " is written, but " << written->warning
              << '\n';
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  constexpr std::string_view kUsage = "usage: make-example-database OUTPUT\n";
  const std::string_view arg = argc == 2 ? argv[1] : "";
  if (arg == "--help" || arg == "-h") {
    std::cout << kUsage << "Writes the sample text database to OUTPUT.\n";
    return 0;
  }
  if (argc != 2 || arg.empty() || arg.starts_with("-")) {
    if (arg.starts_with("-")) std::cerr << "make-example-database: unknown option " << arg << '\n';
    std::cerr << kUsage;
    return 2;
  }
  return orva::GuardedMain("make-example-database", [&] { return WriteExample(argv[1]); });
}
