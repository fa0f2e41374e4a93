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
#include "session/edit_session.h"
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
      ReadWholeFile(PathFromUtf8(request.database), kDatabaseReadLimit);
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
  Result<EditSession> session = EditSession::Open(PathFromUtf8(request.database));
  if (!session.ok()) return Refuse(io, request, session.status());

  // What changes, for the report, read before the session's step replaces
  // the bytes the entries point into.
  struct Row {
    std::size_t slot;
    std::int32_t id;
    std::string old_text;
    std::string text;
  };
  std::vector<Row> rows;
  std::size_t occurrences = 0;
  {
    Result<std::vector<EntryText>> entries = session->Entries();
    if (!entries.ok()) return Refuse(io, request, entries.status());
    Result<PlannedReplacement> planned = PlanReplacement(*entries, *pattern, request.replacement);
    if (!planned.ok())
      return Refuse(io, request, planned.status().Within("nothing was replaced: ", ""));
    occurrences = planned->occurrences;
    for (const TextChange& change : planned->changes) {
      const EntryText& entry = (*entries)[change.slot - 1];
      rows.push_back({entry.slot, entry.id, ExchangeText(entry.text), ExchangeText(change.text)});
    }
  }
  bool written = false;
  std::string warning;
  if (!rows.empty()) {
    Result<SessionEdit> replaced = session->Replace(*pattern, request.replacement);
    if (!replaced.ok()) return Refuse(io, request, replaced.status());
    if (!request.dry_run) {
      Result<SessionSaved> saved = session->Save(MakeBackup(request.backup));
      if (!saved.ok()) return Refuse(io, request, saved.status().Within("nothing was replaced: "));
      written = saved->written;
      warning = std::move(saved->warning);
    }
  }

  if (request.json) {
    json changed = json::array();
    for (const Row& row : rows) {
      changed.push_back(
          {{"slot", row.slot}, {"id", row.id}, {"old_text", row.old_text}, {"text", row.text}});
    }
    io.out.Write(JsonDocument(
        {{"changed", std::move(changed)}, {"occurrences", occurrences}, {"written", written}}));
  } else {
    for (const Row& row : rows) {
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
