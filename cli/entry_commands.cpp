#include "cli/entry_commands.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "cli/formats.h"
#include "database/code_page.h"
#include "database/format.h"
#include "database/layout_check.h"
#include "database/mission_list.h"
#include "database/read_limits.h"
#include "database/text_edit.h"
#include "database/text_match.h"
#include "exchange/translation_files.h"
#include "storage/backup.h"
#include "storage/file_system.h"

namespace orva::cli {
namespace {

// The kind's name, as `entries` prints it and `--kind` takes it.
const char* Kind(const EntryText& entry, std::size_t marker_slot) {
  switch (format::KindOf(entry.id, entry.slot, marker_slot)) {
    case format::EntryKind::kMission:
      return "mission";
    case format::EntryKind::kEndMarker:
      return "marker";
    case format::EntryKind::kUnlistedMission:
      return "unlisted-mission";
    case format::EntryKind::kOther:
      break;
  }
  return "other";
}

bool IsMissionKind(std::string_view kind) { return kind.ends_with("mission"); }

// One entry as an object of the document, indented as it stands in it.
std::string EntryJson(const EntryText& entry, std::string_view kind) {
  const json object = {{"slot", entry.slot},
                       {"id", entry.id},
                       {"kind", kind},
                       {"image", IsMissionKind(kind) ? json(ImageName(entry.id)) : json(nullptr)},
                       {"length", entry.text.size()},
                       {"text", ExchangeText(entry.text)}};
  return JsonArrayMember(object);
}

}  // namespace

// The entries are written as they are found, the JSON document too, so that
// a database of a million entries costs no more than its bytes and entries.
Outcome Entries(const Io& io, const Request& request) {
  std::optional<TextPattern> match, regex;
  if (request.match) match = TextPattern::Make(*request.match, {}).value();
  if (request.regex) {
    Result<TextPattern> re = TextPattern::Make(*request.regex, {.regex = true, .match_case = true});
    if (!re.ok()) return Refuse(io, request, re.status());
    regex = std::move(re).value();
  }
  Result<std::vector<std::byte>> bytes =
      ReadWholeFile(PathFromUtf8(request.database), kDatabaseReadLimit, io.fs);
  if (!bytes.ok()) return Refuse(io, request, bytes.status());
  Result<std::vector<EntryText>> entries = ReadEntryTexts(*bytes);
  if (!entries.ok()) return Refuse(io, request, entries.status());
  // Well-formed: the marker follows entry 1 or a later one.
  const auto marker_slot = static_cast<std::size_t>(*FindInsertionPoint(*bytes)) + 1;

  bool first = true;
  if (request.json) io.out.Write("{\n  \"entries\": [");
  for (const EntryText& entry : *entries) {
    const char* kind = Kind(entry, marker_slot);
    if (request.kind && *request.kind != kind) continue;
    if (match && !*match->OccursInEntry(entry, IsMissionKind(kind))) continue;
    if (regex) {
      Result<bool> found = regex->Occurs(entry.text);
      if (!found.ok()) {
        if (request.json) io.out.Write(first ? "]\n}\n" : "\n  ]\n}\n");
        return Refuse(io, request,
                      found.status().Within("entry " + std::to_string(entry.slot) + ": "));
      }
      if (!*found) continue;
    }
    if (request.json) {
      io.out.Write((first ? "\n" : ",\n") + EntryJson(entry, kind));
    } else {
      const std::string image = IsMissionKind(kind) ? ImageName(entry.id) : "";
      io.out.Write(std::to_string(entry.slot) + '\t' + std::to_string(entry.id) + '\t' + kind +
                   '\t' + image + '\t' + std::to_string(entry.text.size()) + '\t' +
                   EscapeText(ExchangeText(entry.text)) + '\n');
    }
    first = false;
  }
  if (request.json) io.out.Write(first ? "]\n}\n" : "\n  ]\n}\n");
  return {};
}

Outcome ReplaceTexts(const Io& io, const Request& request) {
  const TextSearch how{.regex = request.find_regex, .match_case = request.match_case};
  Result<TextPattern> pattern = TextPattern::Make(request.find, how);
  if (!pattern.ok()) return Refuse(io, request, pattern.status());
  // Planned from the file as read under the rewrite's lock, so that a
  // writer that holds it is waited for, not refused.
  Result<DatabaseReplacement> replaced =
      ReplaceInDatabase(PathFromUtf8(request.database), *pattern, request.replacement,
                        request.dry_run, MakeBackup(request.backup, io.fs), io.fs);
  if (!replaced.ok())
    return Refuse(io, request, replaced.status().Within("nothing was replaced: ", ""));
  const std::vector<ReplacedEntry>& rows = replaced->changed;
  const std::size_t occurrences = replaced->occurrences;
  const bool written = replaced->written;
  const std::string& warning = replaced->warning;

  if (request.json) {
    json changed = json::array();
    for (const ReplacedEntry& row : rows) {
      changed.push_back(
          {{"slot", row.slot}, {"id", row.id}, {"old_text", row.old_text}, {"text", row.text}});
    }
    io.out.Write(JsonDocument(
        {{"changed", std::move(changed)}, {"occurrences", occurrences}, {"written", written}}));
  } else {
    for (const ReplacedEntry& row : rows) {
      io.out.Write(std::to_string(row.id) + '\t' + EscapeText(row.old_text) + '\t' +
                   EscapeText(row.text) + '\n');
    }
    std::string counts = "replaced " + std::to_string(occurrences) +
                         (occurrences == 1 ? " occurrence" : " occurrences") + " in " +
                         std::to_string(rows.size()) + (rows.size() == 1 ? " entry" : " entries");
    if (occurrences == 0) {
      counts = "nothing found: the database was not rewritten";
    } else if (rows.empty()) {
      counts += ": every text stays as it was, and the database was not rewritten";
    } else if (request.dry_run) {
      counts += " (dry run: nothing was written)";
    }
    Say(io.err, request.database + ": " + counts);
  }
  if (!warning.empty()) {
    Say(io.err, request.database + ": the texts were replaced, but " + warning);
  }
  return {kExitOk, written};
}

}  // namespace orva::cli
