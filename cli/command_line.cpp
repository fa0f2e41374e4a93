#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "cli/exit_status.h"
#include "database/text_match.h"

namespace orva::cli {
namespace {

constexpr const char* kDescription =
    "orva-cli: lists, checks, extends, edits, translates, compares and patches\n"
    "ORVA's text databases (textdb_XX.def).";

constexpr const char* kFooter =
    "Results go to standard output in UTF-8, one line per mission or finding;\n"
    "inside a text a backslash, tab, line break, other control character or DEL\n"
    "is written as \\\\, \\t, \\n, \\r or \\xHH. With --json a command prints one\n"
    "JSON document instead. Reasons for a failure go to standard error, one line\n"
    "each.\n"
    "\n"
    "Exit status: 0 success; 1 the database could not be read, is damaged or\n"
    "refused the change, or the output could not be written; 2 the command line\n"
    "was wrong, and nothing was read or changed. diff, as diff(1) does, exits with\n"
    "0 for two equal versions, 1 for different ones and 2 when it cannot compare.\n"
    "\n"
    "Run 'orva-cli COMMAND --help' for a command's options; see orva-cli(1).";

constexpr const char* kListFooter =
    "Prints ID<TAB>IMAGE<TAB>TEXT for each mission: the entries with ids of 5000\n"
    "and more before the end marker (6000). A database that is damaged part-way\n"
    "prints the missions read before the damage, then fails.";

constexpr const char* kCheckFooter =
    "Prints 'DATABASE: entry K: PROBLEM' for each departure from a well-formed\n"
    "layout (without 'entry K' for the file as a whole) and exits with 1, or\n"
    "'DATABASE: well-formed'. A well-formed database's texts are then checked:\n"
    "'DATABASE: entry K (id ID): SEVERITY: CHECK: MESSAGE' for each finding, then\n"
    "the count of errors and warnings and, with --reference, how many entries of\n"
    "each kind are translated. The checks: too-long, not-storable, markers, font,\n"
    "spaces, untranslated, empty, id-twice, spelling (see orva-cli(1) and\n"
    "docs/cli.md); spelling uses the team's words in orva-words.txt beside the\n"
    "rules file.\n"
    "Exits with 1 when an error is found; warnings alone exit with 0.";

constexpr const char* kInsertFooter =
    "Prints ID<TAB>IMAGE<TAB>TEXT for each new entry. A text has 1 to 45\n"
    "characters that Windows-1251 can store, no NUL and no line break. The texts\n"
    "go in together, in order, with one rewrite of the database, or none does:\n"
    "each is checked as it is read, and the first one refused (a line of --from\n"
    "ends the reading) is named in the reason and nothing is inserted. The new\n"
    "entries are printed once they are in the database. A new entry whose id is\n"
    "not a mission id is inserted all the same, with a note on standard error\n"
    "that the window will not list it. Put '--' before texts that begin with '-'.";

constexpr const char* kSetFooter =
    "Gives the entry with the id ID the text TEXT, of any length: the texts after it\n"
    "move and every offset is corrected. Prints ID<TAB>TEXT. Where ID names several\n"
    "entries, the refusal names their table slots: pick one with --slot.";

constexpr const char* kRemoveFooter =
    "Removes the entry with the id ID and its text; the end marker stays. Prints\n"
    "ID<TAB>TEXT of the entry removed. Where ID names several entries, the refusal\n"
    "names their table slots: pick one with --slot.";

constexpr const char* kExportFooter =
    "Writes every entry, in table order, as a gettext PO file (msgctxt the id,\n"
    "msgid the text, msgstr empty) or a CSV file (id,text,translation), UTF-8.\n"
    "An id that several entries share is written ID#SLOT. With --reference the\n"
    "file is bilingual: msgid the reference's text, msgstr the database's (empty\n"
    "where it is empty or still the reference's). See orva-cli(1).";

constexpr const char* kImportFooter =
    "Gives each entry its translation (PO: msgstr of messages not marked fuzzy;\n"
    "CSV: the translation column) with one rewrite, all or nothing. A translation\n"
    "is of the text in msgid (CSV: the text column): one whose text has changed\n"
    "in the database since is a problem, unless --source-changed says otherwise.\n"
    "With --reference the file is bilingual: msgid is the reference's text.\n"
    "Every problem is reported first as FILE:LINE: PROBLEM and nothing is\n"
    "changed. Ends with the counts: changed, already the same, untranslated,\n"
    "fuzzy, source changed, and the size change. Reads UTF-8 and, after a byte\n"
    "order mark, UTF-16; a CSV file's fields may be separated by commas,\n"
    "semicolons or tabs.";

// Shows a flag whose value may follow as GNU tools show one,
// "--backup[=CONTROL]": CLI11 would show the sentinel that tells the flag
// without a value from one with it, "--backup{\x01}", and a space before
// "[=CONTROL]".
class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_option_name(const CLI::Option* option, bool positional) const override {
    std::string name = CLI::Formatter::make_option_name(option, positional);
    for (std::size_t open; (open = name.find('{')) != std::string::npos;) {
      name.erase(open, name.find('}', open) - open + 1);
    }
    return name;
  }
  std::string make_option_opts(const CLI::Option* option) const override {
    if (option->get_option_text().starts_with("[=")) return option->get_option_text();
    return CLI::Formatter::make_option_opts(option);
  }
};

constexpr const char* kEntriesFooter =
    "Prints SLOT<TAB>ID<TAB>KIND<TAB>IMAGE<TAB>LENGTH<TAB>TEXT for every entry in table\n"
    "order. KIND is mission (listed by the window), unlisted-mission (a mission id\n"
    "before the end marker past slot 1000), marker (the end marker) or other; IMAGE\n"
    "is empty but for missions, LENGTH the text's length in bytes. --match ignores\n"
    "case, Cyrillic letters included, and looks in the id, the image name and the\n"
    "text; --regex is an RE2 regular expression over the text's characters, case\n"
    "as written unless it starts with (?i). The filters given must all hold.";

constexpr const char* kReplaceFooter =
    "Replaces every occurrence of FIND in every entry's text with REPLACEMENT, with\n"
    "one rewrite, all or nothing. FIND ignores case (Cyrillic letters included)\n"
    "unless --match-case; REPLACEMENT goes in as typed. With --regex, FIND is an\n"
    "RE2 regular expression and REPLACEMENT may hold $&, $1 ... $99 and $$.\n"
    "Prints ID<TAB>OLD<TAB>NEW for each entry changed, and the counts on standard\n"
    "error; nothing found means no rewrite. A new text Windows-1251 cannot store\n"
    "is refused, naming its entry, and nothing is changed.";

constexpr const char* kDiffFooter =
    "Prints one line per entry added, removed or given another text, matched by id\n"
    "(an id that names several entries by their order among them, written ID#N), by\n"
    "id and then N: 'changed KEY<TAB>OLD<TAB>NEW', 'added KEY<TAB>TEXT', 'removed\n"
    "KEY<TAB>TEXT'; then 'other<TAB>REASON' for each difference that lies outside\n"
    "the entries' texts. Exit status: 0 equal, 1 different, 2 a version could not be\n"
    "read or is not well-formed (the reason on standard error), or a wrong command.";

constexpr const char* kPatchFooter =
    "A patch holds what changed between two versions of a database (the entries\n"
    "inserted, removed or given another text, and nothing else), and the size and\n"
    "SHA-256 of both versions. Run 'orva-cli patch create --help' or 'orva-cli\n"
    "patch apply --help'.";

constexpr const char* kPatchCreateFooter =
    "Writes the patch that makes NEW from OLD, after checking that applied to OLD it\n"
    "gives NEW byte for byte; refuses, saying why, two versions that differ in what\n"
    "a patch cannot hold (the order of the entries, the header word, the bytes\n"
    "around the texts). With -o, prints the counts.";

constexpr const char* kPatchApplyFooter =
    "Applies the patch with one rewrite, all or nothing. To the file it was made\n"
    "from it gives exactly the file it was made to give. To another file it applies\n"
    "where every entry it touches holds what it expects; otherwise each entry that\n"
    "differs is named as PATCH:LINE: KEY: PROBLEM and nothing changes. Ends with the\n"
    "counts: changed, inserted, removed, and the size change.";

// CLI11 keeps pointers to the options and to the variables they fill, so the
// application and the request are built together and live together.
class Parser {
 public:
  Parser() : app_(kDescription, "orva-cli") {
    app_.set_version_flag("--version", std::string("orva-cli ") + ORVA_VERSION,
                          "print the version and exit");
    app_.set_help_flag("-h,--help", "print this help and exit");
    app_.require_subcommand(1);
    // The same command line on every system: on Windows CLI11 would take an
    // argument such as "/notes" for an option.
    app_.allow_windows_style_options(false);
    app_.footer(kFooter);
    app_.formatter(std::make_shared<HelpFormatter>());  // before the commands, which copy it
    app_.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app_.get_formatter()->label("Positionals", "Arguments");

    list_ = DatabaseCommand("list", "print the missions, one per line", kListFooter);
    list_->add_flag("--json", request_.json,
                    "print {\"missions\": [{\"id\", \"image\", \"text\"}]}");

    check_ =
        DatabaseCommand("check", "report every departure from a well-formed layout", kCheckFooter);
    check_
        ->add_option("--reference", reference_,
                     "check the texts against the database REF, in the\n"
                     "source language, and count what is translated")
        ->option_text("REF");
    check_
        ->add_option("--rules", rules_,
                     "the rules file (default: orva-rules.json beside the\n"
                     "database, where there is one)")
        ->option_text("FILE");
    check_->add_flag("--json", request_.json,
                     "print {\"well_formed\", \"problems\": [{\"entry\", \"problem\"}],\n"
                     "\"findings\": [{\"slot\", \"id\", \"check\", \"name\",\n"
                     "\"severity\", \"message\", \"span\"}], \"errors\", \"warnings\",\n"
                     "\"progress\"}, entry null for the file as a whole");

    insert_ =
        DatabaseCommand("insert", "add each TEXT as the next mission, in order", kInsertFooter);
    CLI::Option* texts =
        insert_->add_option("TEXT", request_.texts, "a text to insert")->option_text("...");
    insert_
        ->add_option("--from", from_,
                     "read the texts from FILE instead of TEXT, one per line\n"
                     "('-': standard input); a CR ending a line is dropped")
        ->option_text("FILE")
        ->excludes(texts);
    insert_->add_flag("--json", request_.json,
                      "print {\"inserted\": [{\"id\", \"image\", \"text\", \"mission\"}]}");
    AddBackupOptions(insert_);
    AddEditCommands();
    AddEntryCommands();
    AddPatchCommands();
  }

  // -b, --backup[=CONTROL] and -S, --suffix, as GNU cp, mv and install take them.
  void AddBackupOptions(CLI::App* command) {
    command->add_flag("-b", backup_flag_, "make a backup first (see --backup)");
    // A sentinel tells --backup without a CONTROL from one with it.
    command
        ->add_flag("--backup{\x01}", backup_control_,
                   "make a backup first: CONTROL none, numbered, existing\n"
                   "(the default, or $VERSION_CONTROL) or simple")
        ->option_text("[=CONTROL]");
    command->add_option("-S,--suffix", suffix_, "the suffix of a simple backup ('~')")
        ->option_text("SUFFIX");
  }

  // The policy the options and the environment give, or a usage error.
  std::optional<Reply> ResolveBackup(CLI::App* command) {
    const bool asked = backup_flag_ || command->count("--backup") > 0 || command->count("-S") > 0;
    if (!asked) return std::nullopt;
    std::string control = command->count("--backup") > 0 ? backup_control_ : "\x01";
    std::string from = "--backup";
    if (control == "\x01") {
      const char* env = std::getenv("VERSION_CONTROL");
      control = env != nullptr && *env != '\0' ? env : "existing";
      from = "VERSION_CONTROL";
    }
    const std::optional<BackupKind> kind = ParseBackupControl(control);
    if (!kind) {
      return UsageError("invalid backup type '" + control + "' in " + from +
                        "; the types are none, off, numbered, t, existing, nil, simple and never");
    }
    request_.backup.kind = *kind;
    const char* env = std::getenv("SIMPLE_BACKUP_SUFFIX");
    request_.backup.suffix = ValidBackupSuffix(command->count("-S") > 0 ? suffix_
                                               : env != nullptr         ? env
                                                                        : "");
    return std::nullopt;
  }

  // set, remove: ID, then --slot and --json.
  CLI::App* EntryCommand(const char* name, const char* description, const char* footer) {
    CLI::App* command = DatabaseCommand(name, description, footer);
    command->add_option("ID", request_.id, "the entry's id")->required();
    command->add_option("--slot", slot_, "the entry's table slot, where ID names several")
        ->option_text("N");
    return command;
  }

  void AddEditCommands() {
    set_ = EntryCommand("set", "give an entry a new text", kSetFooter);
    set_->add_option("TEXT", request_.text, "the new text")->required();
    AddBackupOptions(set_);
    set_->add_flag("--json", request_.json,
                   "print {\"set\": {\"slot\", \"id\", \"old_text\", \"text\"}}");
    remove_ = EntryCommand("remove", "remove an entry and its text", kRemoveFooter);
    AddBackupOptions(remove_);
    remove_->add_flag("--json", request_.json, "print {\"removed\": {\"slot\", \"id\", \"text\"}}");

    export_ = DatabaseCommand("export", "write every entry to a PO or CSV file", kExportFooter);
    export_->add_option("--format", format_, "po (the default) or csv")
        ->check(CLI::IsMember({"po", "csv"}));
    export_->add_option("-o,--output", output_, "write to FILE instead of standard output")
        ->option_text("FILE");
    export_
        ->add_option("--reference", reference_,
                     "write a bilingual file: the texts of the database REF\n"
                     "as the sources, this database's as their translations")
        ->option_text("REF");
    export_->add_flag("--json", request_.json,
                      "with -o, print {\"exported\", \"format\", \"output\"}");

    import_ =
        DatabaseCommand("import", "apply the translations of a PO or CSV file", kImportFooter);
    import_->add_option("TRANSLATIONS", request_.translations, "the PO or CSV file")
        ->type_name("")
        ->required();
    import_->add_option("--format", format_, "po or csv (default: from the file's name)")
        ->check(CLI::IsMember({"po", "csv"}));
    import_->add_flag("--dry-run", request_.dry_run, "report, but change nothing");
    import_
        ->add_option("--reference", reference_,
                     "the file is bilingual, made with export --reference REF:\n"
                     "its sources are REF's texts")
        ->option_text("REF");
    import_
        ->add_option("--source-changed", source_changed_,
                     "what to do with a translation of a text that has changed\n"
                     "since the export: refuse the import (the default), skip\n"
                     "it (counted), or apply it all the same")
        ->option_text("refuse|skip|apply")
        ->check(CLI::IsMember({"refuse", "skip", "apply"}));
    import_
        ->add_option("--encoding", encoding_,
                     "a CSV file's encoding where it begins with no byte order\n"
                     "mark: utf-8 (the default) or windows-1251")
        ->option_text("utf-8|windows-1251")
        ->check(CLI::IsMember({"utf-8", "windows-1251"}, CLI::ignore_case));
    AddBackupOptions(import_);
    import_->add_flag("--json", request_.json,
                      "print {\"changed\", \"same\", \"untranslated\", \"fuzzy\",\n"
                      "\"source_changed\", \"size_change\", \"written\",\n"
                      "\"problems\": [{\"file\", \"line\", \"problem\"}]}");
  }

  void AddEntryCommands() {
    entries_ = DatabaseCommand("entries", "print every entry, or those that match", kEntriesFooter);
    entries_->add_option("--match", match_, "only entries whose id, image or text holds TEXT")
        ->option_text("TEXT");
    entries_->add_option("--regex", regex_, "only entries whose text RE matches")
        ->option_text("RE");
    entries_->add_option("--kind", kind_, "only entries of this kind")
        ->check(CLI::IsMember({"mission", "unlisted-mission", "marker", "other"}))
        ->option_text("KIND");
    entries_->add_flag("--json", request_.json,
                       "print {\"entries\": [{\"slot\", \"id\", \"kind\", \"image\",\n"
                       "\"length\", \"text\"}]}, image null but for missions");

    replace_ = DatabaseCommand("replace", "replace a text in every entry's text", kReplaceFooter);
    replace_->add_option("FIND", request_.find, "the text to find")->type_name("")->required();
    replace_->add_option("REPLACEMENT", request_.replacement, "what it becomes")
        ->type_name("")
        ->required();
    replace_->add_flag("--regex", request_.find_regex, "FIND is an RE2 regular expression");
    replace_->add_flag("--match-case", request_.match_case, "letters match in their own case only");
    replace_->add_flag("--dry-run", request_.dry_run, "report, but change nothing");
    AddBackupOptions(replace_);
    replace_->add_flag("--json", request_.json,
                       "print {\"changed\": [{\"slot\", \"id\", \"old_text\", \"text\"}],\n"
                       "\"occurrences\", \"written\"}");
  }

  // What entries and replace look for, read before any file is: a regular
  // expression that cannot be read is a wrong command line.
  std::optional<Reply> TakeEntryCommands() {
    if (entries_->parsed()) {
      request_.command = Command::kEntries;
      if (entries_->count("--match") > 0) {
        if (match_.empty()) return UsageError("--match takes a text to look for");
        request_.match = match_;
      }
      if (entries_->count("--kind") > 0) request_.kind = kind_;
      if (entries_->count("--regex") > 0) {
        request_.regex = regex_;
        const Result<TextPattern> re = TextPattern::Make(regex_, {.regex = true});
        if (!re.ok()) return UsageError("--regex: " + re.status().message());
      }
    }
    if (replace_->parsed()) {
      request_.command = Command::kReplace;
      const Result<TextPattern> find = TextPattern::Make(
          request_.find, {.regex = request_.find_regex, .match_case = request_.match_case});
      if (!find.ok()) return UsageError("FIND: " + find.status().message());
    }
    return std::nullopt;
  }

  // diff OLD NEW, patch create OLD NEW, patch apply DATABASE PATCH.
  void AddPatchCommands() {
    diff_ = app_.add_subcommand("diff", "print what changed between two versions");
    diff_->group("Commands")->footer(kDiffFooter);
    AddVersions(diff_);
    diff_->add_flag("--json", request_.json,
                    "print {\"changed\", \"added\", \"removed\": [{\"key\", ...}],\n"
                    "\"other\": [REASON]}");

    patch_ = app_.add_subcommand("patch", "make a patch from two versions, or apply one");
    patch_->group("Commands")->footer(kPatchFooter)->require_subcommand(1);
    create_ = patch_->add_subcommand("create", "write the patch that makes NEW from OLD");
    create_->group("Commands")->footer(kPatchCreateFooter);
    AddVersions(create_);
    create_->add_option("-o,--output", output_, "write to FILE instead of standard output")
        ->option_text("FILE");
    create_->add_flag("--json", request_.json,
                      "with -o, print {\"changed\", \"inserted\", \"removed\",\n"
                      "\"size_change\", \"output\"}");
    apply_ = patch_->add_subcommand("apply", "apply a patch to a database");
    apply_->group("Commands")->footer(kPatchApplyFooter);
    apply_->add_option("DATABASE", request_.database, "the text database (textdb_XX.def)")
        ->type_name("")
        ->required();
    apply_->add_option("PATCH", request_.other, "the patch file")->type_name("")->required();
    apply_->add_flag("--dry-run", request_.dry_run, "report, but change nothing");
    apply_->add_flag("--reverse", request_.reverse,
                     "undo the patch: make the file it was made from");
    AddBackupOptions(apply_);
    apply_->add_flag("--json", request_.json,
                     "print {\"changed\", \"inserted\", \"removed\", \"size_change\",\n"
                     "\"base_matched\", \"written\", \"problems\": [{\"file\", \"line\",\n"
                     "\"key\", \"problem\"}]}");
  }

  void AddVersions(CLI::App* command) {
    command->add_option("OLD", request_.database, "the old version of the database")
        ->type_name("")
        ->required();
    command->add_option("NEW", request_.other, "the new version")->type_name("")->required();
  }

  std::variant<Request, Reply> Parse(std::span<const std::string_view> args) {
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
      app_.parse(reversed);
    } catch (const CLI::CallForHelp&) {
      return Reply{kExitOk, app_.help()};
    } catch (const CLI::CallForVersion& version) {
      return Reply{kExitOk, version.what() + std::string("\n")};
    } catch (const CLI::ExcludesError&) {
      return UsageError("give the texts either as arguments or with --from, not both");
    } catch (const CLI::ExtrasError& error) {
      std::string reason = error.what();
      // A text that begins with '-' is refused as a possible mistyped option.
      const bool dashed = std::any_of(args.begin(), args.end(), [](std::string_view arg) {
        return arg.size() > 1 && arg.starts_with("-") && arg != "--" && arg != "--json" &&
               !arg.starts_with("--from");
      });
      if (insert_->parsed() && dashed) {
        reason +=
            "; to insert a text that begins with '-', put '--' before the texts: "
            "orva-cli insert DATABASE -- TEXT...";
      }
      return UsageError(reason, args);
    } catch (const CLI::ParseError& error) {
      return UsageError(error.what(), args);
    }

    if (list_->parsed()) request_.command = Command::kList;
    if (check_->parsed()) request_.command = Command::kCheck;
    if (insert_->parsed()) {
      request_.command = Command::kInsert;
      if (insert_->count("--from") > 0) request_.from = from_;
      if (!request_.from && request_.texts.empty()) {
        return UsageError("expected a TEXT to insert, or --from FILE");
      }
    }
    if (set_->parsed()) request_.command = Command::kSet;
    if (remove_->parsed()) request_.command = Command::kRemove;
    if (export_->parsed()) request_.command = Command::kExport;
    if (import_->parsed()) request_.command = Command::kImport;
    if (std::optional<Reply> wrong = TakeEntryCommands()) return *wrong;
    if (diff_->parsed()) request_.command = Command::kDiff;
    if (create_->parsed()) request_.command = Command::kPatchCreate;
    if (apply_->parsed()) request_.command = Command::kPatchApply;
    if (!slot_.empty()) {
      std::size_t slot = 0;
      if (!CLI::detail::lexical_cast(slot_, slot) || slot == 0) {
        return UsageError("--slot takes a table slot, a number from 1");
      }
      request_.slot = slot;
    }
    for (CLI::App* command : {insert_, set_, remove_, import_, replace_, apply_}) {
      if (!command->parsed()) continue;
      if (std::optional<Reply> wrong = ResolveBackup(command)) return *wrong;
    }
    if (!format_.empty()) request_.format = format_;
    if (!reference_.empty()) request_.reference = reference_;
    if (!rules_.empty()) request_.rules = rules_;
    if (!output_.empty()) request_.output = output_;
    if (source_changed_ == "skip") request_.source_changed = SourceChanged::kSkip;
    if (source_changed_ == "apply") request_.source_changed = SourceChanged::kApply;
    if (!encoding_.empty()) {
      request_.encoding = encoding_ == "utf-8" ? TextEncoding::kUtf8 : TextEncoding::kWindows1251;
    }
    if (export_->parsed() && request_.json && (!request_.output || *request_.output == "-")) {
      return UsageError("--json goes with -o FILE: the export itself is the output");
    }
    if (create_->parsed() && request_.json && (!request_.output || *request_.output == "-")) {
      return UsageError("--json goes with -o FILE: the patch itself is the output");
    }
    return std::move(request_);
  }

 private:
  CLI::App* DatabaseCommand(const char* name, const char* description, const char* footer) {
    CLI::App* command = app_.add_subcommand(name, description);
    command->group("Commands");
    command->footer(footer);
    command->add_option("DATABASE", request_.database, "the text database (textdb_XX.def)")
        ->type_name("")
        ->required();
    return command;
  }

  // One line: what is wrong, and where the help of the command concerned is.
  Reply UsageError(std::string reason, std::span<const std::string_view> args = {}) const {
    const std::vector<CLI::App*> commands = app_.get_subcommands();
    std::string help = "orva-cli";
    if (!commands.empty()) {
      help += " " + commands.front()->get_name();
      const std::vector<CLI::App*> nested = commands.front()->get_subcommands();
      if (!nested.empty()) help += " " + nested.front()->get_name();
      if (commands.front() == patch_ && nested.empty()) {
        reason = "'patch' is followed by a command, create or apply";
      }
    } else if (args.empty()) {
      reason = "no command given";
    } else if (args.front().starts_with("-")) {
      reason = "unknown option '" + std::string(args.front()) + "'";
    } else {
      reason = "unknown command '" + std::string(args.front()) +
               "'; the commands are list, check, insert, set, remove, export, import, entries, "
               "replace, diff and patch";
    }
    return Reply{kExitUsage, reason + " (see '" + help + " --help')"};
  }

  CLI::App app_;
  CLI::App* list_ = nullptr;
  CLI::App* check_ = nullptr;
  CLI::App* insert_ = nullptr;
  CLI::App* set_ = nullptr;
  CLI::App* remove_ = nullptr;
  CLI::App* export_ = nullptr;
  CLI::App* import_ = nullptr;
  CLI::App* entries_ = nullptr;
  CLI::App* replace_ = nullptr;
  CLI::App* diff_ = nullptr;
  CLI::App* patch_ = nullptr;
  CLI::App* create_ = nullptr;
  CLI::App* apply_ = nullptr;
  Request request_;
  std::string from_;
  std::string slot_;
  std::string format_;
  std::string output_;
  std::string source_changed_;
  std::string encoding_;
  std::string reference_;
  std::string rules_;
  bool backup_flag_ = false;
  std::string backup_control_;
  std::string suffix_;
  std::string match_;
  std::string regex_;
  std::string kind_;
};

}  // namespace

std::variant<Request, Reply> ParseCommandLine(std::span<const std::string_view> args) {
  return Parser().Parse(args);
}

}  // namespace orva::cli
