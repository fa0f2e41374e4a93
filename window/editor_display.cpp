#include "window/editor_display.h"

#include "database/code_page.h"
#include "review/text_checks.h"

namespace orva {
namespace {

// The symbols a row's text shows in place of the bytes that have none of
// their own: Unicode's control pictures for 0x01 ... 0x1F and 0x7F, and the
// replacement character for 0x98, which Windows-1251 leaves unassigned.
constexpr char32_t kControlPictures = 0x2400;
constexpr char32_t kDeletePicture = 0x2421;
constexpr char32_t kNoCharacterPicture = 0xFFFD;
constexpr char32_t kNoCharacter = 0x98;  // as ExchangeText has it

}  // namespace

std::string VisibleText(std::span<const std::byte> stored) {
  std::string out;
  out.reserve(stored.size() * 2);
  for (std::byte b : stored) {
    const auto v = std::to_integer<char32_t>(b);
    if (v < 0x20) {
      AppendUtf8(out, kControlPictures + v);
    } else if (v == 0x7F) {
      AppendUtf8(out, kDeletePicture);
    } else if (v == kNoCharacter) {
      AppendUtf8(out, kNoCharacterPicture);
    } else {
      AppendUtf8(out, Windows1251Character(b));
    }
  }
  return out;
}

std::u32string CharactersFromVisible(std::string_view typed) {
  std::u32string characters = TypedCharacters(typed);
  for (char32_t& c : characters) {
    if (c > kControlPictures && c < kControlPictures + 0x20) {
      c -= kControlPictures;
    } else if (c == kDeletePicture) {
      c = 0x7F;
    } else if (c == kNoCharacterPicture) {
      c = kNoCharacter;
    }
  }
  return characters;
}

std::string_view ColumnTitle(EditorColumn column) {
  switch (column) {
    case EditorColumn::kSlot:
      return "Slot";
    case EditorColumn::kId:
      return "ID";
    case EditorColumn::kKind:
      return "Kind";
    case EditorColumn::kImage:
      return "Image";
    case EditorColumn::kBytes:
      return "Bytes";
    case EditorColumn::kProblems:
      return "Problems";
    case EditorColumn::kReference:
      return "Reference";
    case EditorColumn::kText:
      break;
  }
  return "Text";
}

std::string_view RowKindName(RowKind kind) {
  switch (kind) {
    case RowKind::kMission:
      return "mission";
    case RowKind::kEndMarker:
      return "end marker";
    case RowKind::kUnlistedMission:
      return "unlisted mission";
    case RowKind::kOther:
      break;
  }
  return "other";
}

std::string CellText(const EditorRow& row, EditorColumn column) {
  switch (column) {
    case EditorColumn::kSlot:  // none for a removed entry
      return row.slot == 0 ? std::string() : std::to_string(row.slot);
    case EditorColumn::kId:
      return std::to_string(row.id);
    case EditorColumn::kKind: {
      std::string kind(RowKindName(row.kind));
      if (const MarkLook look = LookOf(row.mark); !look.name.empty()) {
        kind += ", " + std::string(look.name);
      }
      return kind;
    }
    case EditorColumn::kImage:
      return row.image;
    case EditorColumn::kBytes:  // none for a text that is not here
      return row.mark == RowMark::kOnlyInReference ? std::string() : std::to_string(row.bytes);
    case EditorColumn::kProblems:  // "2 · too long"
      if (!row.checked) return "not checked";
      return row.problems == 0 ? std::string() : std::to_string(row.problems) + " · " + row.worst;
    case EditorColumn::kReference:
      return row.reference.value_or(std::string());
    case EditorColumn::kText:
      break;
  }
  return row.text;
}

std::string CellReading(const EditorRow& row, EditorColumn column) {
  std::string cell = CellText(row, column);
  if (cell.empty()) {
    if (column == EditorColumn::kReference && !row.reference) return "no reference";
    if (row.mark == RowMark::kOnlyInReference &&
        (column == EditorColumn::kText || column == EditorColumn::kBytes)) {
      return "not in this file";
    }
    return column == EditorColumn::kText || column == EditorColumn::kReference ? "empty" : "none";
  }
  if (column == EditorColumn::kProblems) {
    if (!row.checked) return "not checked yet";
    return std::to_string(row.problems) + (row.problems == 1 ? " problem" : " problems") +
           ", the worst " + (row.error ? "an error: " : "a warning: ") + row.worst;
  }
  return cell;
}

MarkLook ProblemLook(bool error) {
  return error ? MarkLook{"error", 250, 210, 205} : MarkLook{"warning", 255, 236, 190};
}

MarkLook LookOf(RowMark mark) {
  switch (mark) {
    case RowMark::kAdded:
      return {"added", 222, 244, 222};
    case RowMark::kChanged:
      return {"changed", 255, 242, 204};
    case RowMark::kRemoved:
      return {"removed", 248, 218, 218};
    case RowMark::kOnlyInReference:
      return {"only in the reference", 218, 230, 250};
    case RowMark::kNone:
      break;
  }
  return {};
}

std::string FindingsText(const std::vector<std::string>& findings) {
  if (findings.empty()) return std::string(editor_words::kFindingsLabel) + " no problems";
  std::string text(editor_words::kFindingsLabel);
  for (const std::string& line : findings) text += "\n" + line;
  return text;
}

}  // namespace orva
