// A bilingual PO file through GNU gettext, as a translator lives with one
// over a game's update: export against the reference, msgmerge the old file
// into the export of the new version, import.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "database/code_page.h"
#include "database/text_edit.h"
#include "tests/support/cli_run.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;

std::string Shell(const std::string& command) {
  std::string out;
  // NOLINTNEXTLINE(cert-env33-c): the test runs gettext's tools on its own files
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "cannot run " + command;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  return pclose(pipe) == 0 ? out : out + "\n(" + command + " failed)";
}

class BilingualGettextTest : public test_support::CliFixture {
 protected:
  // A version of the game's English database; `update` changes one text and
  // adds a mission.
  std::vector<std::byte> English(bool update) {
    DatabaseBuilder b;
    b.Entry(1200, "Note").Entry(1200, "Second note");  // one id twice, keyed ID#SLOT
    b.Entry(5001, "Training")
        .Entry(5002, update ? "Patrol over the wide river" : "Patrol over the river");
    if (update) b.Entry(5003, "New mission");
    return b.Marker().Entry(7000, "").Build();
  }
  std::vector<std::string> Texts(const std::string& db) {
    std::vector<std::string> texts;
    const std::vector<std::byte> bytes = test_support::ReadFileBytes(db);
    const std::vector<EntryText> entries = ReadEntryTexts(bytes).value();
    texts.reserve(entries.size());
    for (const EntryText& e : entries) texts.push_back(ExchangeText(e.text));
    return texts;
  }
};

TEST_F(BilingualGettextTest, TranslationsSurviveAnUpdateThroughMsgmerge) {
  const std::string en1 = Database(English(false), "textdb_en_1.def");
  const std::string ru1 = Database(DatabaseBuilder()
                                       .Entry(1200, "Заметка")
                                       .Entry(1200, "Second note")  // not yet translated
                                       .Entry(5001, "Обучение")
                                       .Entry(5002, "Патруль над рекой")
                                       .Marker()
                                       .Entry(7000, "")
                                       .Build(),
                                   "textdb_ru_1.def");
  const std::string old_po = (dir_ / "old.po").string();
  ASSERT_EQ(Run({"export", ru1, "--reference", en1, "-o", old_po}).exit_code, 0);
  EXPECT_EQ(Shell("msgfmt --check -o /dev/null '" + old_po + "' 2>/dev/null && echo ok"), "ok\n");
  // What a translator's tool shows: the English as the source, the Russian
  // as its translation, none where the text is still the English.
  const std::string listed = Shell("msgcat --no-wrap '" + old_po + "'");
  EXPECT_NE(listed.find("msgctxt \"1200#1\"\nmsgid \"Note\"\nmsgstr \"Заметка\"\n"),
            std::string::npos)
      << listed;
  EXPECT_NE(listed.find("msgctxt \"1200#2\"\nmsgid \"Second note\"\nmsgstr \"\"\n"),
            std::string::npos);
  // An export without the reference has the Russian as its sources: that
  // file does not import against the reference, nor this one without it.
  EXPECT_EQ(Run({"import", ru1, old_po, "--dry-run"}).exit_code, 1);

  // The game updates: a new English file, and the Russian one to fill is the
  // new English file as it comes.
  const std::string en2 = Database(English(true), "textdb_en_2.def");
  const std::string ru2 = Database(English(true), "textdb_ru_2.def");
  const std::string new_po = (dir_ / "new.po").string();
  ASSERT_EQ(Run({"export", ru2, "--reference", en2, "-o", new_po}).exit_code, 0);
  const std::string merged = (dir_ / "merged.po").string();
  ASSERT_EQ(
      Shell("msgmerge --quiet -o '" + merged + "' '" + old_po + "' '" + new_po + "' && echo ok"),
      "ok\n");

  // The old file is of the old English: importing it is refused, nothing changes.
  const test_support::CliOutcome stale = Run({"import", ru2, old_po, "--reference", en2});
  EXPECT_EQ(stale.exit_code, 1);
  EXPECT_NE(stale.err.find("the reference's text of 5002 has changed"), std::string::npos)
      << stale.err;
  EXPECT_EQ(test_support::ReadFileBytes(ru2), English(true));

  const test_support::CliOutcome imported = Run({"import", ru2, merged, "--reference", en2});
  ASSERT_EQ(imported.exit_code, 0) << imported.err;
  // Kept: the unchanged texts' translations. The changed one came out fuzzy
  // and stays English until checked, as do the new and the untranslated ones.
  EXPECT_EQ(Texts(ru2),
            (std::vector<std::string>{"Заметка", "Second note", "Обучение",
                                      "Patrol over the wide river", "New mission", "", ""}));
  EXPECT_NE(imported.out.find("changed 2,"), std::string::npos) << imported.out;
  EXPECT_NE(imported.out.find("fuzzy 1,"), std::string::npos) << imported.out;

  // The merged file, exported again from the result, round-trips: the same
  // messages with the same translations, as msgcat sorts them.
  const std::string again = (dir_ / "again.po").string();
  ASSERT_EQ(Run({"export", ru2, "--reference", en2, "-o", again}).exit_code, 0);
  const std::string unfuzzy = "msgattrib --no-wrap --no-fuzzy --no-obsolete --translated ";
  const std::string sorted = " | msgcat --no-wrap --sort-output - | sed '1,/^$/d'";  // no header
  const std::string kept = Shell(unfuzzy + "'" + merged + "'" + sorted);
  EXPECT_EQ(kept, Shell(unfuzzy + "'" + again + "'" + sorted));
  EXPECT_NE(kept.find("msgstr \"Обучение\""), std::string::npos) << kept;
}

}  // namespace
}  // namespace orva
