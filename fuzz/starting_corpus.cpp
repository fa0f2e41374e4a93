#include "fuzz/starting_corpus.h"

#include <string_view>

#include "database/code_page.h"
#include "database/format.h"
#include "database/little_endian.h"
#include "database/text_edit.h"
#include "exchange/entry_patch.h"
#include "exchange/translation_files.h"
#include "fuzz/exchange_properties.h"
#include "fuzz/properties.h"
#include "tests/support/database_builder.h"

namespace orva::fuzz {
namespace {

using orva::test_support::Bytes;
using orva::test_support::DatabaseBuilder;

DatabaseBuilder Missions(int count, std::int32_t first_id = 5001) {
  DatabaseBuilder b;
  for (int i = 0; i < count; ++i) b.Entry(first_id + i, std::to_string(i + 1));
  return b;
}

std::vector<std::byte> Truncated(std::vector<std::byte> bytes, std::size_t keep) {
  bytes.resize(std::min(keep, bytes.size()));
  return bytes;
}

std::vector<std::byte> WithInt32(std::vector<std::byte> bytes, std::size_t at, std::int32_t v) {
  EncodeInt32(bytes, at, v);
  return bytes;
}

}  // namespace

std::vector<CorpusInput> DatabaseCorpus() {
  std::vector<CorpusInput> corpus;
  auto add = [&](std::string name, std::vector<std::byte> bytes) {
    corpus.push_back({std::move(name), std::move(bytes)});
  };
  const auto campaign = DatabaseBuilder()
                            .Entry(5001, "Обучение: первый вылет")
                            .Entry(5002, "Патруль над рекой")
                            .Entry(5003, "Ночной налёт")
                            .Marker("конец")
                            .Entry(100, "Меню")
                            .Entry(7000, "after the marker")
                            .Build();
  add("campaign", campaign);
  add("worked-example", DatabaseBuilder()
                            .HeaderWord(0x4F525641)
                            .Entry(5001, "Al")
                            .Entry(5002, "Бо")
                            .Marker("z")
                            .Build());
  add("other-entries-between-missions", DatabaseBuilder()
                                            .Entry(10, "title")
                                            .Entry(5001, "one")
                                            .Entry(4999, "not listed")
                                            .Entry(5002, "two")
                                            .Marker()
                                            .Build());
  add("marker-first", DatabaseBuilder().Marker("m").Entry(5001, "x").Marker().Build());
  add("only-other-entries", DatabaseBuilder().Entry(1, "a").Entry(2, "b").Marker().Build());
  add("ids-5000-and-6001", DatabaseBuilder().Entry(5000, "a").Entry(6001, "b").Marker().Build());
  add("before-marker-5999", DatabaseBuilder().Entry(5999, "last").Marker().Build());
  add("spaces", DatabaseBuilder()
                    .Entry(5001, "  Hello")
                    .Entry(5002, "Hello  ")
                    .RawEntry(5003, std::string(60, 'a') + std::string(10, ' ') + "tail")
                    .Marker()
                    .Build());
  add("unassigned-byte", DatabaseBuilder().RawEntry(5001, "a\x98z").Marker().Build());
  add("gap-and-trailing",
      DatabaseBuilder().GapBeforeTexts(5).Entry(5001, "a").Marker("m").Trailing("xyz").Build());
  add("marker-past-table", DatabaseBuilder().Entry(5001, "a").ClaimedCount(1).Build());
  add("many-missions", Missions(999).Marker().Build());

  // Damaged files.
  add("empty", {});
  add("three-bytes", Bytes("\x01\x00\x00"));
  add("half-copied", Truncated(campaign, campaign.size() / 2));
  add("table-cut-short", Truncated(campaign, 20));
  add("negative-count", DatabaseBuilder().Entry(5001, "a").Marker().ClaimedCount(-1).Build());
  add("count-too-small", Missions(5).Marker().ClaimedCount(2).Build());
  add("count-too-large", Missions(2).Marker().ClaimedCount(0x7FFFFFFF).Build());
  add("negative-text-offset",
      WithInt32(DatabaseBuilder().Entry(5001, "a").Marker().Build(), 12, -5));
  add("text-offset-past-end",
      WithInt32(DatabaseBuilder().Entry(5001, "a").Marker().Build(), 12, 1 << 30));
  add("marker-text-offset-zero",
      WithInt32(DatabaseBuilder().Entry(5001, "a").Marker().Build(), 20, 0));
  add("last-id-max", DatabaseBuilder().Entry(0x7FFFFFFF, "a").Marker().Build());
  add("no-marker-full-table", Missions(1000).ClaimedCount(2000).Build());
  return corpus;
}

std::vector<CorpusInput> InsertionCorpus() {
  // With line feeds, the texts of a batch.
  const std::string texts[] = {"Щит",        "x",       std::string(45, 'W'),
                               "  spaced  ", "Ёлка №1", std::string(46, 'a'),
                               "bad \xC3",   "",        "Раз\nДва\nТри"};
  std::vector<CorpusInput> corpus;
  std::size_t t = 0;
  for (const CorpusInput& db : DatabaseCorpus()) {
    // Each database with two texts, so that every text meets several databases.
    for (int i = 0; i < 2; ++i, ++t) {
      const std::string& text = texts[t % std::size(texts)];
      corpus.push_back({db.name + "-" + std::to_string(i), JoinInsertionInput(db.bytes, text)});
    }
  }
  return corpus;
}

std::vector<CorpusInput> CodePageCorpus() {
  std::vector<CorpusInput> corpus;
  std::vector<std::byte> all;
  for (int b = 0; b < 256; ++b) {
    if (b != 0x98) all.push_back(static_cast<std::byte>(b));
  }
  corpus.push_back({"every-assigned-byte", all});
  corpus.push_back({"unassigned", Bytes("a\x98z")});
  corpus.push_back({"cyrillic-utf8", Bytes("Обучение: первый вылет №1 «ёж» €")});
  corpus.push_back({"cp1251-text", Bytes("\xCF\xE0\xF2\xF0\xF3\xEB\xFC")});
  corpus.push_back({"invalid-utf8", Bytes("\xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80 \xE2\x82")});
  corpus.push_back({"outside-code-page", Bytes("日本 \xF0\x9F\x98\x80 \xEF\xBF\xBD")});
  corpus.push_back({"empty", {}});
  return corpus;
}

std::vector<CorpusInput> PatchCorpus() {
  std::vector<CorpusInput> corpus;
  auto add = [&](std::string name, std::string_view text) {
    corpus.push_back({std::move(name), Bytes(text)});
  };
  const std::vector<std::vector<std::byte>> targets = PatchTargets();
  for (std::size_t t = 0; t < targets.size(); ++t) {
    const std::vector<std::byte>& db = targets[t];
    const std::string prefix = "target" + std::to_string(t + 1) + "-";
    // Each edit alone, and all of them one after the other. A new entry of a
    // repeated id goes after the others with that id, where a patch can put it.
    const TextChange change{2, Bytes("Новый\tтекст \"в кавычках\"\n")};
    const std::vector<std::byte> changed =
        Joined(PlanTextChanges(db, std::span(&change, 1)).value());
    const std::vector<std::byte> removed = Joined(PlanRemoval(db, 1).value());
    const std::vector<std::byte> inserted = Joined(
        PlanInsertionAtSlot(db, ReadEntryTexts(db).value().size() + 1, 7000, Bytes("\x01\x98\x7f"))
            .value());
    const std::vector<std::byte> all = Joined(
        PlanInsertionAtSlot(Joined(PlanRemoval(changed, 1).value()), 1, 10, Bytes("")).value());
    for (const auto& [name, version] : {std::pair("change", changed), std::pair("remove", removed),
                                        std::pair("insert", inserted), std::pair("all", all)}) {
      const std::string patch = CreatePatch(db, version, "old", "new").value().text;
      add(prefix + name, patch);
      if (std::string(name) == "all") {
        add(prefix + "all-cut-short", patch.substr(0, patch.size() / 2));
        add(prefix + "all-crlf", [&] {
          std::string crlf;
          for (char c : patch) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
          return crlf;
        }());
      }
    }
    add(prefix + "nothing", CreatePatch(db, db, "old", "new").value().text);
  }
  add("not-a-patch", "--- a/textdb_00.def\n+++ b/textdb_00.def\n");
  add("version-2", "orva-patch 2\n");
  add("empty", "");
  return corpus;
}

namespace {

// The export of a database, with every other entry translated.
std::string Export(TranslationFormat format, const std::vector<std::byte>& database) {
  const std::vector<EntryText> entries = ReadEntryTexts(database).value();
  const std::vector<std::string> keys = ExchangeKeys(entries);
  std::string out = format == TranslationFormat::kPo ? PoHeader("textdb_00.def") : CsvHeader();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string text = ExchangeText(entries[i].text);
    const std::string translation = i % 2 == 0 ? "Перевод " + std::to_string(i) : "";
    out += format == TranslationFormat::kPo ? PoMessage(keys[i], text, translation, true)
                                            : CsvRow(keys[i], text, translation);
  }
  return out;
}

std::vector<std::byte> Campaign() {
  return DatabaseBuilder()
      .Entry(5001, "Обучение: первый вылет")
      .Entry(5002, "Патруль\tнад \"рекой\"")
      .RawEntry(5003, "строка\nвторая\r\x98\x04")
      .Marker("конец")
      .Entry(100, "Меню")
      .Entry(100, "Меню, снова")
      .Build();
}

}  // namespace

std::vector<CorpusInput> PoCorpus() {
  const std::string exported = Export(TranslationFormat::kPo, Campaign());
  return {
      {"export", Bytes(exported)},
      {"byte-order-mark", Bytes("\xEF\xBB\xBF" + exported)},
      {"crlf", Bytes("msgid \"\"\r\nmsgstr \"\"\r\n\r\nmsgctxt \"5001\"\r\nmsgid \"a\"\r\n"
                     "msgstr \"b\"")},
      {"fuzzy-and-obsolete", Bytes("#, fuzzy\nmsgctxt \"5001\"\nmsgid \"a\"\nmsgstr \"b\"\n\n"
                                   "#~ msgctxt \"5002\"\n#~ msgid \"c\"\n#~ msgstr \"d\"\n"
                                   "#| msgid \"old\"\nmsgctxt \"5003\"\nmsgid \"\"\n\"x\\n\"\n"
                                   "msgstr \"\\101\\x42\\t\"\n")},
      {"plural", Bytes("msgctxt \"1\"\nmsgid \"a\"\nmsgid_plural \"b\"\nmsgstr[0] \"c\"\n")},
      {"charset", Bytes("msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=CP1251\\n\"\n")},
      {"broken", Bytes("msgctxt 5001\nmsgid \"unclosed\nmsgstr \"a\\q\" \"\nbogus\n\"")},
      {"empty", {}},
  };
}

std::vector<CorpusInput> CsvCorpus() {
  const std::string exported = Export(TranslationFormat::kCsv, Campaign());
  return {
      {"export", Bytes(exported)},
      {"semicolons", Bytes("id;text;translation\r\n5001;\"a;b\";c\r\n100#5;x;y\r\n")},
      {"tabs-utf16le", Bytes(std::string("\xFF\xFEi\0d\0\t\0t\0\n\0005\0\t\0\x10\x04\n\0", 20))},
      {"utf16be", Bytes(std::string("\xFE\xFF\0i\0d\0,\0t\0\n", 12))},
      {"windows-1251", Bytes("id,translation\n5001,\xCF\xF0\xE8\xE2\xE5\xF2\n")},
      {"column-twice", Bytes("id,id,translation\n5001,5002,x\n")},
      {"only-text-filled", Bytes("id,text,translation\n5001,Другое,\n")},
      {"quoted-lines", Bytes("id,translation\n5001,\"a\nb\rc\"\n5002,\"x\"\"y\"z\n5003,\"open\n")},
      {"empty", {}},
  };
}

std::vector<CorpusInput> ImportCorpus() {
  std::vector<CorpusInput> corpus;
  const std::vector<std::byte> campaign = Campaign();
  for (const CorpusInput& file : PoCorpus()) {
    corpus.push_back({"po-" + file.name, JoinImportInput(false, file.bytes, campaign)});
  }
  for (const CorpusInput& file : CsvCorpus()) {
    corpus.push_back({"csv-" + file.name, JoinImportInput(true, file.bytes, campaign)});
  }
  return corpus;
}

std::vector<CorpusInput> PatternCorpus() {
  const struct {
    const char* name;
    std::string pattern;
    std::string text;  // UTF-8, stored as Windows-1251
  } inputs[] = {
      {"words", "(\\S+) у (\\S+)", "Ёлка у дома, ёлка у реки"},
      {"letters", "^[а-яё]+$", "ПоЕзД"},
      {"case", "(?i)ЁЛ[а-я]*", "ёлка Ёлка ЁЛКА"},
      {"empty-matches", "x*|[^Ёё]", "аxxб"},
      {"classes", "\\b\\w+\\d\\s\\pL\\p{Cyrillic}[[:alpha:]]", "Train_1 Ж"},
      {"repetitions", "(a|b)*c{2,5}(?:д+?)", "ababcccдд"},
      {"nested", std::string(200, '(') + "a" + std::string(200, ')'), "a"},
      {"large-count", "((a{30}){30})", std::string(900, 'a')},
      {"invalid", "(а", "а"},
      {"literal", "a.b*[c]", "a.b*[c] A.B*[C]"},
  };
  std::vector<CorpusInput> corpus;
  for (const auto& input : inputs) {
    corpus.push_back({input.name, JoinPatternInput(input.pattern, StoredText(input.text).value())});
  }
  return corpus;
}

}  // namespace orva::fuzz
