#include "cli/patch_commands.h"

#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/exit_status.h"
#include "cli/formats.h"
#include "database/code_page.h"
#include "database/entry_diff.h"
#include "database/read_limits.h"
#include "database/text_edit.h"
#include "exchange/entry_patch.h"
#include "exchange/patch_file.h"
#include "exchange/translation_files.h"
#include "storage/backup.h"
#include "storage/durable_file.h"
#include "storage/file_system.h"

namespace orva::cli {
namespace {

constexpr int kExitDifferent = 1;  // diff: the versions differ
constexpr int kExitTrouble = 2;    // diff: a version could not be compared

// A database read whole and its entries, or the reason it cannot be.
struct Version {
  std::vector<std::byte> bytes;
  std::vector<EntryText> entries;
};

Result<Version> ReadVersion(const std::string& name) {
  Result<std::vector<std::byte>> bytes = ReadWholeFile(PathFromUtf8(name), kDatabaseReadLimit);
  if (!bytes.ok()) return bytes.status();
  Version version{std::move(bytes).value(), {}};
  Result<std::vector<EntryText>> entries = ReadEntryTexts(version.bytes);
  if (!entries.ok()) return entries.status();
  version.entries = std::move(entries).value();
  return version;
}

std::string Counts(const PatchCounts& counts) {
  return "changed " + std::to_string(counts.changed) + ", inserted " +
         std::to_string(counts.inserted) + ", removed " + std::to_string(counts.removed) +
         ", size change " + (counts.size_change > 0 ? "+" : "") +
         std::to_string(counts.size_change) + " bytes";
}

json CountsJson(const PatchCounts& counts) {
  return {{"changed", counts.changed},
          {"inserted", counts.inserted},
          {"removed", counts.removed},
          {"size_change", counts.size_change}};
}

// A JSON document of arrays written a member at a time, so that a diff of a
// million entries does not build a million JSON objects first; it reads as
// the documents nlohmann::json writes with an indent of 2.
class JsonArrays {
 public:
  explicit JsonArrays(CheckedOutput& out) : out_(out) {}
  void Begin(std::string_view name) {
    out_.Write(std::string(first_array_ ? "{\n" : ",\n") + "  " + DumpJson(json(name), -1) + ": [");
    first_array_ = false;
    first_member_ = true;
  }
  void Member(const json& member) {
    out_.Write((first_member_ ? "\n" : ",\n") + JsonArrayMember(member));
    first_member_ = false;
  }
  void End() { out_.Write(first_member_ ? "]" : "\n  ]"); }
  void Finish() { out_.Write(first_array_ ? "{}\n" : "\n}\n"); }

 private:
  CheckedOutput& out_;
  bool first_array_ = true;
  bool first_member_ = true;
};

void WriteDiffJson(CheckedOutput& out, const EntryDiff& diff,
                   const std::vector<std::string>& other) {
  JsonArrays doc(out);
  for (const auto& [kind, name] :
       {std::pair(DifferenceKind::kChanged, "changed"), std::pair(DifferenceKind::kAdded, "added"),
        std::pair(DifferenceKind::kRemoved, "removed")}) {
    doc.Begin(name);
    for (const EntryDifference& d : diff.differences) {
      if (d.kind != kind) continue;
      json member = {{"key", d.key.Text()}, {"id", d.key.id}};
      if (kind == DifferenceKind::kChanged) {
        member["old_slot"] = d.old_entry->slot;
        member["slot"] = d.new_entry->slot;
        member["old_text"] = ExchangeText(d.old_entry->text);
        member["text"] = ExchangeText(d.new_entry->text);
      } else {
        const EntryText& entry = kind == DifferenceKind::kAdded ? *d.new_entry : *d.old_entry;
        member["slot"] = entry.slot;
        member["text"] = ExchangeText(entry.text);
      }
      doc.Member(member);
    }
    doc.End();
  }
  doc.Begin("other");
  for (const std::string& reason : other) doc.Member(reason);
  doc.End();
  doc.Finish();
}

void WriteDiffLines(CheckedOutput& out, const EntryDiff& diff,
                    const std::vector<std::string>& other) {
  for (const EntryDifference& d : diff.differences) {
    const std::string key = d.key.Text();
    switch (d.kind) {
      case DifferenceKind::kChanged:
        out.Write("changed " + key + '\t' + EscapeText(ExchangeText(d.old_entry->text)) + '\t' +
                  EscapeText(ExchangeText(d.new_entry->text)) + '\n');
        break;
      case DifferenceKind::kAdded:
        out.Write("added " + key + '\t' + EscapeText(ExchangeText(d.new_entry->text)) + '\n');
        break;
      case DifferenceKind::kRemoved:
        out.Write("removed " + key + '\t' + EscapeText(ExchangeText(d.old_entry->text)) + '\n');
        break;
    }
  }
  for (const std::string& reason : other) out.Write("other\t" + EscapeText(reason) + '\n');
}

}  // namespace

Outcome Diff(const Io& io, const Request& request) {
  auto trouble = [&](const std::string& name, const Status& status) {
    Say(io.err, name + ": " + status.message());
    return Outcome{kExitTrouble};
  };
  // The new version is summed up and let go of before the old one is read
  // whole, so that one of them is held at a time.
  FileSystem& fs = DefaultFileSystem();
  const TextDigester digester;
  Result<SummedVersion> new_version =
      SumUpVersion(PathFromUtf8(request.other), digester, false, fs);
  if (!new_version.ok()) {
    // The old version's trouble is told first, as it is read first.
    if (Result<Version> old_version = ReadVersion(request.database); !old_version.ok()) {
      return trouble(request.database, old_version.status());
    }
    return trouble(request.other, new_version.status());
  }
  const EntryIndex new_index(new_version->entries);
  Result<Version> old_version = ReadVersion(request.database);
  if (!old_version.ok()) return trouble(request.database, old_version.status());
  const EntryIndex old_index(old_version->entries);
  Result<SummedDiff> summed =
      DiffEntries(fs, old_version->entries, old_index, *new_version, new_index, digester);
  if (!summed.ok()) return trouble(request.other, summed.status());
  const EntryDiff& diff = summed->diff;
  const std::vector<std::string> other = OtherDifferences(
      SurroundingsOf(old_version->bytes, old_version->entries), new_version->surroundings(), diff);
  if (request.json) {
    WriteDiffJson(io.out, diff, other);
  } else {
    WriteDiffLines(io.out, diff, other);
  }
  return {diff.differences.empty() && other.empty() ? kExitOk : kExitDifferent};
}

Outcome CreatePatchFile(const Io& io, const Request& request) {
  auto refuse = [&](const std::string& reason) {
    Say(io.err, reason);
    return Outcome{kExitFailure};
  };
  FileSystem& fs = DefaultFileSystem();
  const std::filesystem::path old_path = PathFromUtf8(request.database);
  const std::filesystem::path new_path = PathFromUtf8(request.other);
  Result<CreatedPatch> created =
      CreatePatch(old_path, new_path, request.database, request.other, fs);
  if (!created.ok()) return refuse(created.status().message());

  if (!request.output || *request.output == "-") {
    io.out.Write(created->text);
    return {};
  }
  // Never written over either version, whatever name leads to it.
  DurableWrite how;
  for (const auto& [path, name] :
       {std::pair(old_path, request.database), std::pair(new_path, request.other)}) {
    Result<FileInfo> info = fs.Stat(path);
    if (!info.ok()) return refuse(name + ": " + info.status().message());
    how.inputs.push_back({*info, path});
  }
  Result<WrittenFile> written = WriteFileDurably(
      PathFromUtf8(*request.output),
      [&](FileWriter& writer) {
        if (Status s = writer.Write(std::string_view(created->text)); !s.ok()) return s;
        return writer.Flush();
      },
      how, fs);
  if (!written.ok()) return refuse(*request.output + ": " + written.status().message());
  if (request.json) {
    json document = CountsJson(created->counts);
    document["output"] = *request.output;
    io.out.Write(JsonDocument(document));
  } else {
    io.out.Write(Counts(created->counts) + '\n');
  }
  if (!written->warning.empty()) {
    Say(io.err, *request.output + ": the patch was written, but " + written->warning);
  }
  return {};
}

Outcome ApplyPatchFile(const Io& io, const Request& request) {
  const std::string& patch_name = request.other;
  // A problem with a line is at that line of the patch; one without is the
  // patch's as a whole while it is read, the database's once it is applied.
  bool reading_patch = true;
  auto file_of = [&](const PatchProblem& p) {
    return p.line > 0 || reading_patch ? patch_name : request.database;
  };
  auto where = [&](const PatchProblem& p) {
    return file_of(p) + (p.line > 0 ? ":" + std::to_string(p.line) : "") + ": " +
           (p.key.empty() ? "" : p.key + ": ") + p.what;
  };
  auto report = [&](const std::vector<PatchProblem>& problems, const PatchOutcome* outcome) {
    if (request.json) {
      json list = json::array();
      for (const PatchProblem& p : problems) {
        list.push_back({{"file", file_of(p)},
                        {"line", p.line > 0 ? json(p.line) : json(nullptr)},
                        {"key", p.key.empty() ? json(nullptr) : json(p.key)},
                        {"problem", p.what}});
      }
      json document =
          CountsJson(outcome != nullptr && problems.empty() ? outcome->counts : PatchCounts{});
      document["base_matched"] = outcome != nullptr && outcome->base_matched;
      document["written"] = outcome != nullptr && outcome->written;
      document["problems"] = std::move(list);
      io.out.Write(JsonDocument(document));
    }
    for (const PatchProblem& p : problems) Say(io.err, where(p));
  };

  Result<std::vector<std::byte>> bytes =
      ReadWholeFile(PathFromUtf8(patch_name), kExchangeReadLimit);
  if (!bytes.ok()) {
    Say(io.err, "cannot read the patch: " + bytes.status().message());
    return {kExitFailure};
  }
  PatchReading reading =
      ReadPatch(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
  if (!reading.problems.empty()) {
    report(reading.problems, nullptr);
    Say(io.err, patch_name + ": the patch cannot be read, so nothing was applied");
    return {kExitFailure};
  }
  reading_patch = false;
  Patch patch = std::move(reading.patch);
  if (request.reverse) patch = Reversed(std::move(patch));
  Result<PatchOutcome> outcome = ApplyPatch(PathFromUtf8(request.database), patch, request.dry_run,
                                            MakeBackup(request.backup));
  if (!outcome.ok()) {
    if (request.json) report({}, nullptr);
    Say(io.err, request.database + ": " + outcome.status().message());
    return {kExitFailure};
  }
  const std::string done = request.reverse ? "undone" : "applied";
  report(outcome->problems, &*outcome);
  if (!outcome->problems.empty()) {
    std::string why = std::to_string(outcome->problems.size()) +
                      (outcome->problems.size() == 1 ? " problem" : " problems") +
                      ", so the patch was not " + done;
    if (outcome->already_applied) {
      why += "; the file is already what the patch " +
             std::string(request.reverse ? "was made from" : "gives") + ": it was " + done +
             " before";
    } else if (!outcome->base_matched) {
      why += " (the file is not the one the patch " +
             std::string(request.reverse ? "gives" : "was made from") + ")";
    }
    Say(io.err, request.database + ": " + why);
    return {kExitFailure};
  }
  if (!request.json) {
    std::string line = Counts(outcome->counts);
    if (request.dry_run) {
      line += " (dry run: nothing was written)";
    } else if (!outcome->written) {
      line += " (nothing to change: the database was not rewritten)";
    }
    io.out.Write(line + '\n');
  }
  if (!outcome->base_matched) {
    Say(io.err, "note: " + request.database + " is not the file the patch " +
                    (request.reverse ? "gives" : "was made from") +
                    "; every entry it touches holds what it expects, so it " +
                    (outcome->written ? "was " + done : std::string("applies")));
  }
  if (!outcome->warning.empty()) {
    Say(io.err, request.database + ": the patch was " + done + ", but " + outcome->warning);
  }
  return {kExitOk, outcome->written};
}

}  // namespace orva::cli
