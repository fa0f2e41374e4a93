// The PO side of translation_files.h: a writer whose output GNU gettext's
// `msgcat --no-wrap` leaves as it is, and a reader for what gettext's tools
// and translation editors write.
#include <optional>
#include <string>

#include "exchange/internal/c_escapes.h"
#include "exchange/internal/translation_encoding.h"
#include "exchange/translation_files.h"

namespace orva {
namespace {

// KEYWORD "VALUE", or, as gettext writes a value with a line feed before its
// end, KEYWORD "" and then one line for each part ended by a line feed.
void AppendField(std::string& out, std::string_view keyword, std::string_view value) {
  std::vector<std::string_view> parts;
  for (std::string_view rest = value; !rest.empty();) {
    const std::size_t lf = rest.find('\n');
    const std::size_t end = lf == std::string_view::npos ? rest.size() : lf + 1;
    parts.push_back(rest.substr(0, end));
    rest.remove_prefix(end);
  }
  out += keyword;
  if (parts.size() > 1) {
    out += " \"\"\n";
  } else {
    out += ' ';
    parts.assign(1, value);
  }
  for (std::string_view part : parts) {
    out += '"';
    AppendCEscaped(out, part, OtherControls::kAsTheyAre);
    out += "\"\n";
  }
}

// gettext keeps the byte 0x04 for itself (it separates msgctxt from msgid in
// compiled catalogues) and refuses it in any string, escaped or not: in a PO
// file it is U+2404, the symbol for it, which no Windows-1251 byte is.
constexpr std::string_view kEndOfTransmission = "\x04";
constexpr std::string_view kEndOfTransmissionSymbol = "\xE2\x90\x84";  // U+2404

std::string Replaced(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  for (std::size_t at; (at = text.find(from)) != std::string_view::npos;) {
    out += text.substr(0, at);
    out += to;
    text.remove_prefix(at + from.size());
  }
  return out += text;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Appends the value of one quoted string, as C writes it, or says why it is none.
std::optional<std::string> AppendString(std::string_view quoted, std::string& out) {
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') {
    return "a string in double quotes was expected";
  }
  const std::string_view body = quoted.substr(1, quoted.size() - 2);
  for (std::size_t i = 0; i < body.size(); ++i) {
    // The run up to the next escape or quote as it is.
    std::size_t special = i;
    while (special < body.size() && body[special] != '"' && body[special] != '\\') ++special;
    out.append(body.substr(i, special - i));
    if ((i = special) == body.size()) break;
    if (body[i] == '"') return std::string("a double quote inside a string must be written \\\"");
    if (++i == body.size()) return std::string("the string ends in a lone backslash");
    if (std::optional<std::string> why = AppendCUnescaped(body, i, out)) return why;
  }
  return std::nullopt;
}

// One message as it is read.
struct Message {
  std::size_t first_line = 0;
  bool fuzzy = false;
  bool plural = false;
  bool has_context = false, has_id = false, has_string = false;
  std::string context, id, string;
  std::size_t context_line = 0, id_line = 0, string_line = 0;

  bool started() const { return has_context || has_id || has_string; }
};

class PoReader {
 public:
  TranslationRecords Read(std::string_view file) {
    // An editor may begin the file with a byte order mark (a UTF-16 one as
    // well); gettext's tools write none.
    const DecodedFile decoded = DecodeTranslationFile(file, TextEncoding::kUtf8);
    if (decoded.problem) return {{}, {*decoded.problem}};
    std::string_view content = decoded.text;
    std::size_t number = 0;
    while (!content.empty()) {
      const std::size_t lf = content.find('\n');
      const std::string_view line = content.substr(0, lf);
      content.remove_prefix(lf == std::string_view::npos ? content.size() : lf + 1);
      ReadLine(++number, Trimmed(line));
    }
    Finish();
    return std::move(records_);
  }

 private:
  void Problem(std::size_t line, std::string what) {
    records_.problems.push_back({line, std::move(what)});
  }

  void ReadLine(std::size_t number, std::string_view line) {
    if (line.empty()) return;
    if (line.starts_with("#~")) {  // an obsolete message, which gives nothing
      if (message_.has_string) Finish();
      if (!message_.started()) message_.fuzzy = false;  // its flags were its own
      return;
    }
    if (line.front() == '#') {
      if (message_.has_string) Finish();
      if (line.starts_with("#,") && line.find("fuzzy") != std::string_view::npos) {
        message_.fuzzy = true;
      }
      return;
    }
    if (line.front() == '"') {
      if (target_ == nullptr) return Problem(number, "a string follows no keyword");
      if (auto why = AppendString(line, *target_)) Problem(number, *why);
      return;
    }
    const std::size_t space = line.find_first_of(" \t\"");
    const std::string_view keyword = line.substr(0, space);
    const std::string_view rest =
        space == std::string_view::npos ? std::string_view() : Trimmed(line.substr(space));
    if ((keyword == "msgctxt" || keyword == "msgid") && message_.has_string) Finish();
    if (!message_.started()) message_.first_line = number;
    if (keyword == "msgctxt" && !message_.has_context && !message_.has_id) {
      message_.has_context = true;
      message_.context_line = number;
      target_ = &message_.context;
    } else if (keyword == "msgid" && !message_.has_id) {
      message_.has_id = true;
      message_.id_line = number;
      target_ = &message_.id;
    } else if (keyword == "msgstr" && message_.has_id && !message_.has_string) {
      message_.has_string = true;
      message_.string_line = number;
      target_ = &message_.string;
    } else if (keyword == "msgid_plural" || keyword.starts_with("msgstr[")) {
      message_.plural = true;
      message_.has_string = message_.has_string || keyword.starts_with("msgstr[");
      target_ = &ignored_;
    } else {
      target_ = nullptr;
      return Problem(number, "'" + std::string(keyword) + "' is out of place or no PO keyword");
    }
    if (auto why = AppendString(rest, *target_)) Problem(number, *why);
  }

  void Finish() {
    Message m = std::move(message_);
    message_ = Message{};
    target_ = nullptr;
    if (!m.started()) return;
    if (!m.has_string) return Problem(m.first_line, "the message has no msgstr");
    if (!m.has_context) {
      if (m.id.empty()) return CheckHeader(m);
      return Problem(m.first_line, "the message has no msgctxt, so it names no entry");
    }
    if (m.plural) return Problem(m.first_line, "the message has plural forms, which no text has");
    Translation& t = records_.translations.emplace_back();
    t.key = std::move(m.context);
    t.text = Replaced(m.string, kEndOfTransmissionSymbol, kEndOfTransmission);
    t.source = Replaced(m.id, kEndOfTransmissionSymbol, kEndOfTransmission);
    t.fuzzy = m.fuzzy;  // a guess, not a translation
    t.key_line = m.context_line;
    t.text_line = m.string_line;
    t.source_line = m.id_line;
  }

  void CheckHeader(const Message& header) {
    const std::size_t at = header.string.find("charset=");
    if (at == std::string::npos) return;
    std::string charset = header.string.substr(at + 8);
    charset = charset.substr(0, charset.find_first_of(" ;\n"));
    for (char& c : charset) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (charset != "UTF-8") {
      Problem(header.first_line,
              "the file says its charset is " + charset + "; only UTF-8 is read");
    }
  }

  TranslationRecords records_;
  Message message_;
  std::string* target_ = nullptr;
  std::string ignored_;
};

}  // namespace

std::string PoMessage(std::string_view key, std::string_view text, std::string_view translation,
                      bool mission, std::string_view note) {
  std::string out = "\n";
  if (mission) out += "#. mission\n";
  if (!note.empty()) out += "#. " + std::string(note) + "\n";
  AppendField(out, "msgctxt", key);
  AppendField(out, "msgid", Replaced(text, kEndOfTransmission, kEndOfTransmissionSymbol));
  AppendField(out, "msgstr", Replaced(translation, kEndOfTransmission, kEndOfTransmissionSymbol));
  return out;
}

std::string PoHeader(std::string_view name) {
  std::string header = "Project-Id-Version: ";
  header += name;
  header +=
      "\nMIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n"
      "Content-Transfer-Encoding: 8bit\n";
  std::string out;
  AppendField(out, "msgid", "");
  AppendField(out, "msgstr", header);
  return out;
}

TranslationRecords ReadPo(std::string_view content) { return PoReader().Read(content); }

}  // namespace orva
