// The CSV side of translation_files.h (RFC 4180): fields split by commas,
// records by CR LF (a bare LF is read as well), a field quoted when it holds
// a comma, a double quote or a line break, and a double quote in a quoted
// field doubled. The reader takes a semicolon or a tab for the comma too,
// and UTF-16 and Windows-1251 as well as UTF-8.
#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "exchange/internal/translation_encoding.h"
#include "exchange/translation_files.h"

namespace orva {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

void AppendField(std::string& out, std::string_view field) {
  // Quoted too where a spreadsheet might trim: at a space or a tab at either end.
  const bool quoted = field.find_first_of(",\"\r\n") != std::string_view::npos ||
                      (!field.empty() && (field.front() == ' ' || field.front() == '\t' ||
                                          field.back() == ' ' || field.back() == '\t'));
  if (!quoted) {
    out += field;
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// A record and the line it starts on.
struct Record {
  std::size_t line = 0;
  std::vector<std::string> fields;
};

// The separator of the fields: the first comma, semicolon or tab outside
// quotes on the first line (spreadsheets save with a semicolon where the
// comma is the decimal sign, and "Unicode text" with tabs), or a comma.
char SeparatorOf(std::string_view text) {
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == ',' || c == ';' || c == '\t') return c;
    if (c == '\n') break;
  }
  return ',';
}

std::string Ordinal(std::size_t column) { return "column " + std::to_string(column + 1); }

class CsvReader {
 public:
  explicit CsvReader(std::string_view text) : rest_(text), separator_(SeparatorOf(text)) {}

  TranslationRecords Read() {
    Record header;
    if (!Next(header)) {
      Problem(0, "the file is empty; its first line names the columns");
      return std::move(records_);
    }
    // The columns read, by name: key, translation and, if there, source.
    struct Column {
      std::string_view name;
      std::optional<std::size_t> at;
    };
    std::array<Column, 3> columns = {{{"id", {}}, {"translation", {}}, {"text", {}}}};
    for (std::size_t i = 0; i < header.fields.size(); ++i) {
      for (Column& column : columns) {
        if (header.fields[i] != column.name) continue;
        if (column.at) {
          Problem(header.line, "the first line names the column '" + std::string(column.name) +
                                   "' twice, as " + Ordinal(*column.at) + " and " + Ordinal(i) +
                                   "; it may be named once");
          return std::move(records_);
        }
        column.at = i;
      }
    }
    const auto [id, translation, text] = columns;
    if (!id.at || !translation.at) {
      Problem(header.line, std::string("the first line, which names the columns, has no ") +
                               (!id.at && !translation.at ? "'id' and no 'translation' column"
                                : !id.at                  ? "'id' column"
                                                          : "'translation' column") +
                               " (the names as the export writes them: id,text,translation)");
      return std::move(records_);
    }
    const std::size_t needed = std::max({*id.at, *translation.at, text.at.value_or(0)}) + 1;
    for (Record record; Next(record);) {
      if (record.fields.size() == 1 && record.fields.front().empty()) continue;  // an empty line
      if (record.fields.size() < needed) {
        Problem(record.line, "the line has " + std::to_string(record.fields.size()) +
                                 " fields; the columns need " + std::to_string(needed));
        continue;
      }
      Translation& t = records_.translations.emplace_back();
      t.key = std::move(record.fields[*id.at]);
      t.text = std::move(record.fields[*translation.at]);
      if (text.at) t.source = std::move(record.fields[*text.at]);
      t.key_line = t.text_line = t.source_line = record.line;
    }
    return std::move(records_);
  }

 private:
  void Problem(std::size_t line, std::string what) {
    records_.problems.push_back({line, std::move(what)});
  }

  // Reads the next record; false at the end of the input.
  bool Next(Record& record) {
    if (rest_.empty()) return false;
    record = Record{line_, {}};
    std::string field;
    bool quoted = false, was_quoted = false;
    while (true) {
      if (rest_.empty()) {
        if (quoted) Problem(record.line, "a quoted field is not closed");
        record.fields.push_back(std::move(field));
        return true;
      }
      const char c = rest_.front();
      rest_.remove_prefix(1);
      if (c == '\n') ++line_;
      if (quoted) {
        if (c != '"') {
          field += c;
        } else if (rest_.starts_with('"')) {
          field += '"';
          rest_.remove_prefix(1);
        } else {
          quoted = false;
        }
        continue;
      }
      if (c == separator_ || c == '\n' || (c == '\r' && rest_.starts_with('\n'))) {
        record.fields.push_back(std::move(field));
        field.clear();
        was_quoted = false;
        if (c == separator_) continue;
        if (c == '\r') {
          rest_.remove_prefix(1);
          ++line_;
        }
        return true;
      }
      if (c == '"' && field.empty() && !was_quoted) {
        quoted = was_quoted = true;
      } else if (was_quoted || c == '"') {
        Problem(line_, was_quoted ? "a quoted field goes on after its closing quote"
                                  : "a double quote inside a field that does not begin with one");
        field += c;
      } else {
        field += c;
      }
    }
  }

  std::string_view rest_;
  char separator_;
  std::size_t line_ = 1;
  TranslationRecords records_;
};

}  // namespace

std::string CsvRow(std::string_view key, std::string_view text, std::string_view translation) {
  std::string out;
  AppendField(out, key);
  out += ',';
  AppendField(out, text);
  out += ',';
  AppendField(out, translation);
  out += "\r\n";
  return out;
}

std::string CsvHeader() { return std::string(kByteOrderMark) + "id,text,translation\r\n"; }

TranslationRecords ReadCsv(std::string_view content, TextEncoding without_mark) {
  const DecodedFile decoded = DecodeTranslationFile(content, without_mark);
  if (decoded.problem) return {{}, {*decoded.problem}};
  return CsvReader(decoded.text).Read();
}

}  // namespace orva
