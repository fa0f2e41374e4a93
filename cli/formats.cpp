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

std::string CheckedJson(std::span<const Finding> findings, const DatabaseReview& review) {
  json list = json::array();
  for (const Finding& f : findings) {
    list.push_back(
        {{"slot", f.slot},
         {"id", f.id},
         {"check", f.check},
         {"name", FindTextCheck(f.check)->name()},
         {"severity", SeverityName(f.severity)},
         {"message", f.message},
         {"span", f.span ? json{{"from", f.span->from}, {"to", f.span->to}} : json(nullptr)}});
  }
  json progress = nullptr;
  if (review.progress) {
    const Progress& p = *review.progress;
    progress = {
        {"missions", {{"translated", p.missions.translated}, {"entries", p.missions.entries}}},
        {"others", {{"translated", p.others.translated}, {"entries", p.others.entries}}},
        {"only_in_database", p.only_in_database},
        {"only_in_reference", p.only_in_reference}};
  }
  return JsonDocument({{"well_formed", true},
                       {"problems", json::array()},
                       {"findings", std::move(list)},
                       {"errors", review.errors},
                       {"warnings", review.warnings},
                       {"progress", std::move(progress)}});
}

std::string FindingLine(const std::filesystem::path& database, const Finding& finding) {
  return ShowPath(database) + ": entry " + std::to_string(finding.slot) + " (id " +
         std::to_string(finding.id) + "): " + std::string(SeverityName(finding.severity)) + ": " +
         std::string(finding.check) + ": " + EscapeText(finding.message) + '\n';
}

namespace {

std::string Counted(std::size_t n, std::string_view what) {
  return std::to_string(n) + " " + std::string(what) + (n == 1 ? "" : "s");
}

}  // namespace

std::string ReviewSummary(const std::filesystem::path& database, const DatabaseReview& review) {
  std::string out = ShowPath(database) + ": " + Counted(review.errors, "error") + ", " +
                    Counted(review.warnings, "warning") + '\n';
  if (review.progress) {
    const Progress& p = *review.progress;
    out += ShowPath(database) + ": translated: missions " + std::to_string(p.missions.translated) +
           " of " + std::to_string(p.missions.entries) + ", others " +
           std::to_string(p.others.translated) + " of " + std::to_string(p.others.entries) + "; " +
           std::to_string(p.only_in_database) + " only in this file, " +
           std::to_string(p.only_in_reference) + " only in the reference\n";
  }
  return out;
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
