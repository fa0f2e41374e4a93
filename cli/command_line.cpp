#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "cli/exit_status.h"

namespace orva::cli {
namespace {

constexpr const char* kDescription =
    "orva-cli: lists, checks, extends, edits and translates ORVA's text "
    "databases\n(textdb_XX.def).";

constexpr const char* kFooter =
    "Results go to standard output in UTF-8, one line per mission or finding;\n"
    "inside a text a backslash, tab, line break, other control character or DEL\n"
    "is written as \\\\, \\t, \\n, \\r or \\xHH. With --json a command prints one\n"
    "JSON document instead. Reasons for a failure go to standard error, one line\n"
    "each.\n"
    "\n"
    "Exit status: 0 success; 1 the database could not be read, is damaged or\n"
    "refused the change, or the output could not be written; 2 the command line\n"
    "was wrong, and nothing was read or changed.\n"
    "\n"
    "Run 'orva-cli COMMAND --help' for a command's options; see orva-cli(1).";

constexpr const char* kListFooter =
    "Prints ID<TAB>IMAGE<TAB>TEXT for each mission: the entries with ids of 5000\n"
    "and more before the end marker (6000). A database that is damaged part-way\n"
    "prints the missions read before the damage, then fails.";

constexpr const char* kCheckFooter =
    "Prints 'DATABASE: entry K: PROBLEM' for each finding (without 'entry K' for\n"
    "the file as a whole) and exits with 1, or 'DATABASE: well-formed'.";

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
    "An id that several entries share is written ID#SLOT. See orva-cli(1).";

constexpr const char* kImportFooter =
    "Gives each entry its translation (PO: msgstr of messages not marked fuzzy;\n"
    "CSV: the translation column) with one rewrite, all or nothing. A translation\n"
    "is of the text in msgid (CSV: the text column): one whose text has changed\n"
    "in the database since is a problem, unless --source-changed says otherwise.\n"
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
    check_->add_flag("--json", request_.json,
                     "print {\"well_formed\", \"problems\": [{\"entry\", \"problem\"}]},\n"
                     "entry null for the file as a whole");

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
    if (!slot_.empty()) {
      std::size_t slot = 0;
      if (!CLI::detail::lexical_cast(slot_, slot) || slot == 0) {
        return UsageError("--slot takes a table slot, a number from 1");
      }
      request_.slot = slot;
    }
    for (CLI::App* command : {insert_, set_, remove_, import_}) {
      if (!command->parsed()) continue;
      if (std::optional<Reply> wrong = ResolveBackup(command)) return *wrong;
    }
    if (!format_.empty()) request_.format = format_;
    if (!output_.empty()) request_.output = output_;
    if (source_changed_ == "skip") request_.source_changed = SourceChanged::kSkip;
    if (source_changed_ == "apply") request_.source_changed = SourceChanged::kApply;
    if (!encoding_.empty()) {
      request_.encoding = encoding_ == "utf-8" ? TextEncoding::kUtf8 : TextEncoding::kWindows1251;
    }
    if (export_->parsed() && request_.json && (!request_.output || *request_.output == "-")) {
      return UsageError("--json goes with -o FILE: the export itself is the output");
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
    } else if (args.empty()) {
      reason = "no command given";
    } else if (args.front().starts_with("-")) {
      reason = "unknown option '" + std::string(args.front()) + "'";
    } else {
      reason = "unknown command '" + std::string(args.front()) +
               "'; the commands are list, check, insert, set, remove, export and import";
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
  Request request_;
  std::string from_;
  std::string slot_;
  std::string format_;
  std::string output_;
  std::string source_changed_;
  std::string encoding_;
  bool backup_flag_ = false;
  std::string backup_control_;
  std::string suffix_;
};

}  // namespace

std::variant<Request, Reply> ParseCommandLine(std::span<const std::string_view> args) {
  return Parser().Parse(args);
}

}  // namespace orva::cli
