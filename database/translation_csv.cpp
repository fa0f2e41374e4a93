// The CSV side of translation_files.h (RFC 4180): fields split by commas,
// records by CR LF (a bare LF is read as well), a field quoted when it holds
// a comma, a double quote or a line break, and a double quote in a quoted
// field doubled.
#include <string>

#include "database/translation_files.h"

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

class CsvReader {
 public:
  explicit CsvReader(std::string_view content) : rest_(content) {
    if (rest_.starts_with(kByteOrderMark)) rest_.remove_prefix(kByteOrderMark.size());
  }

  TranslationRecords Read() {
    Record header;
    if (!Next(header)) {
      records_.problems.push_back({0, "the file is empty; its first line names the columns"});
      return std::move(records_);
    }
    std::size_t id = header.fields.size(), translation = header.fields.size();
    for (std::size_t i = 0; i < header.fields.size(); ++i) {
      if (header.fields[i] == "id") id = i;
      if (header.fields[i] == "translation") translation = i;
    }
    if (id == header.fields.size() || translation == header.fields.size()) {
      records_.problems.push_back(
          {header.line, "the first line names no 'id' and 'translation' columns"});
      return std::move(records_);
    }
    const std::size_t needed = std::max(id, translation) + 1;
    for (Record record; Next(record);) {
      if (record.fields.size() == 1 && record.fields.front().empty()) continue;  // an empty line
      if (record.fields.size() < needed) {
        records_.problems.push_back(
            {record.line, "the line has " + std::to_string(record.fields.size()) +
                              " fields; the columns need " + std::to_string(needed)});
        continue;
      }
      records_.translations.push_back({std::move(record.fields[id]),
                                       std::move(record.fields[translation]), record.line,
                                       record.line});
    }
    return std::move(records_);
  }

 private:
  // Reads the next record; false at the end of the input.
  bool Next(Record& record) {
    if (rest_.empty()) return false;
    record = Record{line_, {}};
    std::string field;
    bool quoted = false, was_quoted = false;
    while (true) {
      if (rest_.empty()) {
        if (quoted) {
          records_.problems.push_back({record.line, "a quoted field is not closed"});
        }
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
      if (c == ',' || c == '\n' || (c == '\r' && rest_.starts_with('\n'))) {
        record.fields.push_back(std::move(field));
        field.clear();
        was_quoted = false;
        if (c == ',') continue;
        if (c == '\r') {
          rest_.remove_prefix(1);
          ++line_;
        }
        return true;
      }
      if (c == '"' && field.empty() && !was_quoted) {
        quoted = was_quoted = true;
      } else if (was_quoted || c == '"') {
        records_.problems.push_back(
            {line_, was_quoted ? "a quoted field goes on after its closing quote"
                               : "a double quote inside a field that does not begin with one"});
        field += c;
      } else {
        field += c;
      }
    }
  }

  std::string_view rest_;
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

TranslationRecords ReadCsv(std::string_view content) { return CsvReader(content).Read(); }

}  // namespace orva
