#include "window/form1_logic.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <system_error>
#include <utility>

#include "storage/file_system.h"

namespace orva {
namespace {

constexpr std::string_view kOpenDialogTitle = "Открыть textdb_XX.def файл";
constexpr std::string_view kDatabasePattern = "*.def";
constexpr std::string_view kDatabaseExtension = ".def";

// A path as the user reads it: with the platform's separators.
std::string DisplayPath(const std::filesystem::path& path) {
  std::filesystem::path native = path;
  return PathToUtf8(native.make_preferred());
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string_view OpenDialogTitle() { return kOpenDialogTitle; }

bool IsDatabaseFileName(std::string_view file_name) {
  if (file_name.size() < kDatabaseExtension.size()) return false;
  const std::string_view tail = file_name.substr(file_name.size() - kDatabaseExtension.size());
  for (std::size_t i = 0; i < tail.size(); ++i) {
    if (AsciiLower(tail[i]) != kDatabaseExtension[i]) return false;
  }
  return true;
}

Form1Logic::Form1Logic(Form1View& view, MissionDatabase& database)
    : view_(view), database_(database) {}

// Every library call opens and closes its own file, even when it fails, so
// no database file is left open to close first.
void Form1Logic::Open() {
  SetHelpShown(false);
  const std::optional<std::string> chosen =
      view_.ChooseExistingFile({.title = std::string(kOpenDialogTitle),
                                .filter_description = std::string(kDatabasePattern),
                                .filter_pattern = std::string(kDatabasePattern),
                                .start_path = database_path_});
  if (!chosen) return;  // Cancel changes nothing else.
  OpenDatabase(*chosen);
}

// The dialog accepts only an existing file; a path from elsewhere is held to
// the same rule before anything changes.
void Form1Logic::OpenPath(const std::string& path) {
  SetHelpShown(false);
  std::error_code error;
  std::filesystem::path file = std::filesystem::absolute(PathFromUtf8(path), error);
  file = file.lexically_normal();
  if (error || !database_.Exists(file)) {
    view_.ShowMessage(MessageIcon::kExclamation, "The file was not found.", DisplayPath(file));
    return;
  }
  OpenDatabase(PathToUtf8(file));
}

void Form1Logic::RunMenuCommand(layout::MenuCommand command) {
  switch (command) {
    case layout::MenuCommand::kOpen:
      Open();
      return;
    case layout::MenuCommand::kHelp:
      ShowHelp();
      return;
    case layout::MenuCommand::kNone:
      return;
  }
}

// The chosen file becomes the current database and its missions are listed.
void Form1Logic::OpenDatabase(const std::string& path) {
  database_path_ = path;
  view_.ShowPath(DisplayPath(PathFromUtf8(path)));
  SetCommandsEnabled(true);
  Reload();
}

// Lists the missions of the current database again and selects the last one.
// A failed read keeps the missions read before the failure, visible but
// disabled, until the next successful Open.
void Form1Logic::Reload() {
  MissionList read = database_.Read(PathFromUtf8(database_path_));
  mission_ids_ = std::move(read.ids);
  std::vector<std::string> texts;
  texts.reserve(read.missions.size());
  for (MissionEntry& mission : read.missions) texts.push_back(std::move(mission.text));
  view_.ShowMissions(texts);
  ShowSelected(-1);
  if (!read.status.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, "ERROR!", AsSentence(read.status.message()));
    SetCommandsEnabled(false);
    return;
  }
  // An empty list leaves no selection and the detail boxes empty.
  if (texts.empty()) return;
  const int last = static_cast<int>(texts.size()) - 1;
  view_.SelectMission(last);
  ShowSelected(last);
}

void Form1Logic::SelectionChanged(int row) { ShowSelected(row); }

void Form1Logic::ShowSelected(int row) {
  // A row outside MissionIds (no selection, or a mission listed past what the
  // entry count allows before a failed read) has no id to show.
  if (row < 0 || static_cast<std::size_t>(row) >= mission_ids_.size()) {
    view_.ShowDetails({}, {});
    return;
  }
  const std::int32_t id = mission_ids_[static_cast<std::size_t>(row)];
  view_.ShowDetails(ImageName(id), std::to_string(id));
}

// Writes the typed text as the next mission, lists the missions again and
// confirms. A refused insertion leaves the file and the list as they were.
// The text is taken as typed: a text of spaces is inserted.
void Form1Logic::Insert(std::string_view text) {
  if (text.empty() || !commands_enabled_) return;
  if (database_path_.empty()) {
    view_.ShowMessage(MessageIcon::kExclamation, "Open a database first.",
                      "Choose one with Open ▸ textdb_XX.def, then press Insert again.");
    return;
  }
  const Result<InsertedEntry> inserted = database_.Insert(PathFromUtf8(database_path_), text);
  if (!inserted.ok()) {
    view_.ShowMessage(MessageIcon::kExclamation, "The text was not inserted.",
                      AsSentence(inserted.status().message()));
    return;
  }
  // A failed read says "ERROR!" here, before the insertion, which did
  // happen, is confirmed.
  Reload();
  // A warning comes with a text that is inserted all the same.
  const std::string& warning = inserted->warning;
  view_.ShowMessage(MessageIcon::kInformation, "All Right!",
                    warning.empty() ? std::string() : AsSentence("Inserted, but " + warning));
}

void Form1Logic::ShowHelp() { SetHelpShown(true); }

void Form1Logic::HideHelp() { SetHelpShown(false); }

bool Form1Logic::Escape() {
  if (!help_shown_) return false;
  HideHelp();
  return true;
}

std::string_view Form1Logic::NextFocusStop(
    std::string_view from, int step,
    const std::function<bool(std::string_view)>& takes_focus) const {
  std::vector<std::string_view> stops;
  if (help_shown_) {
    stops.push_back(layout::kHelpOkName);
  } else {
    std::ranges::copy_if(layout::FocusOrder(), std::back_inserter(stops), takes_focus);
  }
  if (stops.empty()) return {};
  const auto count = static_cast<std::ptrdiff_t>(stops.size());
  const auto at = std::ranges::find(stops, from);
  const std::ptrdiff_t now = at == stops.end() ? (step > 0 ? -1 : 0) : at - stops.begin();
  return stops[static_cast<std::size_t>(((now + step) % count + count) % count)];
}

void Form1Logic::SetCommandsEnabled(bool enabled) {
  commands_enabled_ = enabled;
  view_.SetCommandsEnabled(enabled);
}

void Form1Logic::SetHelpShown(bool shown) {
  help_shown_ = shown;
  view_.SetHelpShown(shown);
}

}  // namespace orva
