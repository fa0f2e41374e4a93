#include "window/editor_display.h"

namespace orva {

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
    case EditorColumn::kBytes:
      return std::to_string(row.bytes);
    case EditorColumn::kText:
      break;
  }
  return row.text;
}

std::string CellReading(const EditorRow& row, EditorColumn column) {
  std::string cell = CellText(row, column);
  if (cell.empty()) return column == EditorColumn::kText ? "empty" : "none";
  return cell;
}

MarkLook LookOf(RowMark mark) {
  switch (mark) {
    case RowMark::kAdded:
      return {"added", 222, 244, 222};
    case RowMark::kChanged:
      return {"changed", 255, 242, 204};
    case RowMark::kRemoved:
      return {"removed", 248, 218, 218};
    case RowMark::kNone:
      break;
  }
  return {};
}

}  // namespace orva
