// Inside the translation readers: a file's bytes as the UTF-8 they parse.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "exchange/translation_files.h"

namespace orva {

// The text of a translation file, or the first reason it has none: its byte
// order mark, if any, says the encoding (UTF-8, UTF-16LE, UTF-16BE; the mark
// itself is dropped), and otherwise `without_mark` does. Line feeds stay line
// feeds, so the lines of the text are the lines of the file.
struct DecodedFile {
  std::string text;
  std::optional<FileProblem> problem;
};
DecodedFile DecodeTranslationFile(std::string_view content, TextEncoding without_mark);

}  // namespace orva
