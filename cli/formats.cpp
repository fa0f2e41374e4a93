#include "cli/formats.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <ostream>

#include "database/format.h"
#include "storage/file_system.h"

namespace orva::cli {
namespace {

void AppendHexByte(std::string& out, unsigned char byte) {
  constexpr char kDigits[] = "0123456789abcdef";
  out += "\\x";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0xF];
}

json MissionJson(const MissionEntry& mission) {
  return {{"id", mission.id}, {"image", ImageName(mission.id)}, {"text", mission.text}};
}

}  // namespace

std::string DumpJson(const json& value, int indent) {
  return value.dump(indent, ' ', false, json::error_handler_t::replace);
}

std::string JsonDocument(const json& document) { return DumpJson(document) + '\n'; }

std::string JsonArrayMember(const json& value) {
  std::string out = "    ";
  for (char c : DumpJson(value)) {
    out += c;
    if (c == '\n') out += "    ";
  }
  return out;
}

std::string EscapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // U+0080 ... U+009F: the lead byte 0xC2 and a second byte 0x80 ... 0x9F.
    const bool c1_control = byte == 0xC2 && i + 1 < text.size() &&
                            static_cast<unsigned char>(text[i + 1]) <= 0x9F &&
                            static_cast<unsigned char>(text[i + 1]) >= 0x80;
    if (byte == '\\') {
      out += "\\\\";
    } else if (byte == '\t') {
      out += "\\t";
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\r') {
      out += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      AppendHexByte(out, byte);
    } else if (c1_control) {
      AppendHexByte(out, byte);
      AppendHexByte(out, static_cast<unsigned char>(text[++i]));
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string ShowPath(const std::filesystem::path& path) { return EscapeText(PathToUtf8(path)); }

std::string MissionLine(const MissionEntry& mission) {
  return std::to_string(mission.id) + '\t' + ImageName(mission.id) + '\t' +
         EscapeText(mission.text) + '\n';
}

std::string ProblemLine(const std::filesystem::path& database, const LayoutProblem& problem) {
  std::string line = ShowPath(database) + ": ";
  if (problem.entry > 0) line += "entry " + std::to_string(problem.entry) + ": ";
  return line + EscapeText(problem.what) + '\n';
}

std::string MissionsJson(std::span<const MissionEntry> missions) {
  json list = json::array();
  for (const MissionEntry& mission : missions) list.push_back(MissionJson(mission));
  return JsonDocument({{"missions", std::move(list)}});
}

std::string ProblemsJson(std::span<const LayoutProblem> problems, bool read_whole) {
  json list = json::array();
  for (const LayoutProblem& problem : problems) {
    list.push_back({{"entry", problem.entry > 0 ? json(problem.entry) : json(nullptr)},
                    {"problem", problem.what}});
  }
  return JsonDocument(
      {{"well_formed", read_whole && problems.empty()}, {"problems", std::move(list)}});
}

std::string InsertedJson(std::span<const MissionEntry> inserted,
                         std::span<const std::size_t> table_slots) {
  json list = json::array();
  for (std::size_t i = 0; i < inserted.size(); ++i) {
    json item = MissionJson(inserted[i]);
    item["mission"] = format::IsListed(inserted[i].id, static_cast<std::int64_t>(table_slots[i]));
    list.push_back(std::move(item));
  }
  return JsonDocument({{"inserted", std::move(list)}});
}

void Say(std::ostream& err, std::string_view reason) {
  err << "orva-cli: " << EscapeText(reason) << '\n';
}

}  // namespace orva::cli
