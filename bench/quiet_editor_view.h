// The editor's view for the bench programs: it draws nothing and keeps what
// the logic said. A message box would make the figures meaningless, so one
// stops the program.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "window/editor_logic.h"

namespace orva::bench {

class QuietEditorView : public EditorView {
 public:
  explicit QuietEditorView(std::string program) : program_(std::move(program)) {}

  std::optional<std::string> ChooseFile(const FileRequest&) override { return std::nullopt; }
  void ShowMessage(MessageIcon, const std::string& text, const std::string& details) override {
    std::fprintf(stderr, "%s: %s %s\n", program_.c_str(), text.c_str(), details.c_str());
    std::exit(1);
  }
  int Ask(const Question& question) override {
    return answer_yes ? question.default_button : question.cancel_button;
  }
  std::optional<std::size_t> ShowReport(const Report&) override { return std::nullopt; }
  void ShowRows(std::size_t count) override { rows = count; }
  void ShowRowsChanged(std::size_t, std::size_t) override {}
  void SelectRow(std::size_t) override {}
  void ShowTitle(const std::string&) override {}
  void ShowStatus(const std::string& text) override { status = text; }
  void ShowReviewSummary(const std::string& text) override {
    summary = text;
    ++summaries;
  }
  void ShowCommands(const EditorCommands&) override {}
  void ShowScreenshot(const std::string&, const std::string&) override {}
  void ShowDetails(const EntryDetails&) override {}
  void DatabaseSaved(const std::string&) override {}

  std::size_t rows = 0;
  std::string status;
  std::string summary;  // the last review summary, and how many were shown
  std::size_t summaries = 0;
  bool answer_yes = false;  // what Ask answers: the default button, or Cancel

 private:
  std::string program_;
};

}  // namespace orva::bench
