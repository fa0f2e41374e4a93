#include "fuzz/exchange_properties.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "database/code_page.h"
#include "database/format.h"
#include "database/text_edit.h"
#include "exchange/translation_files.h"

namespace orva::fuzz {
namespace {

constexpr std::size_t kMostTexts = 64;

std::string_view AsText(std::span<const std::byte> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool SameBytes(std::span<const std::byte> a, std::span<const std::byte> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

Status CheckLines(const TranslationRecords& records, std::string_view content) {
  const std::size_t lines =
      static_cast<std::size_t>(std::count(content.begin(), content.end(), '\n')) + 1;
  for (const FileProblem& p : records.problems) {
    if (p.line > lines) {
      return Status::Malformed("a problem names line " + std::to_string(p.line) + " of " +
                               std::to_string(lines) + ": " + p.what);
    }
  }
  for (const Translation& t : records.translations) {
    for (const std::size_t line : {t.key_line, t.text_line, t.source_line}) {
      if (line > lines) {
        return Status::Malformed("a translation names line " + std::to_string(line) + " of " +
                                 std::to_string(lines));
      }
    }
  }
  return Status::Ok();
}

// The pieces of `bytes` between NULs, as a database would store texts.
std::vector<std::span<const std::byte>> StoredTexts(std::span<const std::byte> bytes) {
  std::vector<std::span<const std::byte>> texts;
  while (texts.size() < kMostTexts) {
    const auto nul = std::find(bytes.begin(), bytes.end(), std::byte{0});
    texts.push_back(bytes.first(static_cast<std::size_t>(nul - bytes.begin())));
    if (nul == bytes.end()) break;
    bytes = bytes.subspan(static_cast<std::size_t>(nul - bytes.begin()) + 1);
  }
  return texts;
}

Status CheckRoundTrip(std::span<const std::byte> bytes, bool csv) {
  const std::vector<std::span<const std::byte>> texts = StoredTexts(bytes);
  std::string file = csv ? CsvHeader() : PoHeader("textdb_00.def");
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::string key = std::to_string(5001 + i);
    const std::string source = ExchangeText(texts[i]);
    const std::string translation = ExchangeText(texts[(i + 1) % texts.size()]);
    file += csv ? CsvRow(key, source, translation) : PoMessage(key, source, translation, true);
  }
  const TranslationRecords records = csv ? ReadCsv(file) : ReadPo(file);
  if (!records.problems.empty()) {
    return Status::Malformed("the exporter's own file has a problem at line " +
                             std::to_string(records.problems.front().line) + ": " +
                             records.problems.front().what);
  }
  std::size_t next = 0;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::span<const std::byte> translation = texts[(i + 1) % texts.size()];
    if (next == records.translations.size()) {
      return Status::Malformed("the record of text " + std::to_string(i + 1) + " was lost");
    }
    const Translation& t = records.translations[next++];
    if (t.key != std::to_string(5001 + i) || t.fuzzy) {
      return Status::Malformed("record " + std::to_string(i + 1) + " came back as key " + t.key);
    }
    if (!t.source || *t.source != ExchangeText(texts[i])) {
      return Status::Malformed("the source of record " + std::to_string(i + 1) + " changed");
    }
    Result<std::vector<std::byte>> stored = StoredText(t.text);
    if (!translation.empty() && (!stored.ok() || !SameBytes(*stored, translation))) {
      return Status::Malformed("the translation of record " + std::to_string(i + 1) +
                               " did not come back byte for byte");
    }
  }
  if (next != records.translations.size()) {
    return Status::Malformed("the reader found records the exporter did not write");
  }
  return Status::Ok();
}

}  // namespace

Status CheckTranslationFileRead(std::span<const std::byte> file, bool csv) {
  const std::string_view content = AsText(file);
  const TranslationRecords records = csv ? ReadCsv(content) : ReadPo(content);
  if (Status s = CheckLines(records, content); !s.ok()) return s;
  return CheckRoundTrip(file, csv);
}

ImportInput SplitImportInput(std::span<const std::byte> input) {
  ImportInput split;
  if (input.size() < 3) return split;
  split.csv = (std::to_integer<unsigned>(input[0]) & 1) != 0;
  const std::size_t length =
      std::to_integer<std::size_t>(input[1]) | std::to_integer<std::size_t>(input[2]) << 8;
  const std::span<const std::byte> rest = input.subspan(3);
  split.file = rest.first(std::min(length, rest.size()));
  split.database = rest.subspan(split.file.size());
  return split;
}

std::vector<std::byte> JoinImportInput(bool csv, std::span<const std::byte> file,
                                       std::span<const std::byte> database) {
  const std::size_t length = std::min<std::size_t>(file.size(), 0xFFFF);
  std::vector<std::byte> input = {std::byte{csv ? std::uint8_t{1} : std::uint8_t{0}},
                                  static_cast<std::byte>(length & 0xFF),
                                  static_cast<std::byte>(length >> 8)};
  input.insert(input.end(), file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
  input.insert(input.end(), database.begin(), database.end());
  return input;
}

Status CheckImportPlan(std::span<const std::byte> input) {
  const ImportInput split = SplitImportInput(input);
  Result<std::vector<EntryText>> entries = ReadEntryTexts(split.database);
  if (!entries.ok()) return Status::Ok();  // refused before any file is read
  const TranslationRecords records =
      split.csv ? ReadCsv(AsText(split.file)) : ReadPo(AsText(split.file));
  for (const SourceChanged policy :
       {SourceChanged::kRefuse, SourceChanged::kSkip, SourceChanged::kApply}) {
    const ImportPlan plan = PlanImport(*entries, records.translations, policy);
    const ImportCounts& c = plan.counts;
    if (c.changed + c.same + c.source_changed + c.fuzzy + c.untranslated != entries->size() ||
        c.changed != plan.changes.size()) {
      return Status::Malformed("the counts do not add up to the " +
                               std::to_string(entries->size()) + " entries");
    }
    std::vector<std::size_t> slots;
    std::int64_t size_change = 0;
    for (const TextChange& change : plan.changes) {
      if (change.slot < 1 || change.slot > entries->size()) {
        return Status::Malformed("a change names slot " + std::to_string(change.slot));
      }
      const EntryText& entry = (*entries)[change.slot - 1];
      if (SameBytes(change.text, entry.text) ||
          std::find(change.text.begin(), change.text.end(), std::byte{0}) != change.text.end()) {
        return Status::Malformed("a change to slot " + std::to_string(change.slot) +
                                 " is no change or holds a NUL");
      }
      size_change += static_cast<std::int64_t>(change.text.size()) -
                     static_cast<std::int64_t>(entry.text.size());
      slots.push_back(change.slot);
    }
    std::sort(slots.begin(), slots.end());
    if (std::adjacent_find(slots.begin(), slots.end()) != slots.end()) {
      return Status::Malformed("two changes to one slot");
    }
    if (size_change != c.size_change) return Status::Malformed("the size change is wrong");
    if (!plan.problems.empty() || plan.changes.empty()) continue;
    Result<NewContents> planned = PlanTextChanges(split.database, *entries, plan.changes);
    if (!planned.ok()) continue;  // refused as a whole: too large for the offsets
    const std::vector<std::byte> image = Joined(*planned);
    Result<std::vector<EntryText>> after = ReadEntryTexts(image);
    if (!after.ok() || after->size() != entries->size()) {
      return Status::Malformed("the imported database does not read back whole");
    }
    std::size_t changed = 0;
    for (std::size_t i = 0; i < after->size(); ++i) {
      const auto change = std::find_if(plan.changes.begin(), plan.changes.end(),
                                       [&](const TextChange& tc) { return tc.slot == i + 1; });
      const std::span<const std::byte> expected =
          change == plan.changes.end() ? (*entries)[i].text : std::span(change->text);
      if (!SameBytes((*after)[i].text, expected) || (*after)[i].id != (*entries)[i].id) {
        return Status::Malformed("entry " + std::to_string(i + 1) +
                                 " does not hold what the import planned");
      }
      changed += change != plan.changes.end();
    }
    if (changed != plan.changes.size()) return Status::Malformed("a change was lost");
  }
  return Status::Ok();
}

}  // namespace orva::fuzz
