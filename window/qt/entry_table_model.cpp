#include "window/qt/entry_table_model.h"

#include <QBrush>
#include <QColor>
#include <QMetaObject>
#include <QPoint>
#include <QString>
#include <algorithm>
#include <limits>
#include <string>
#include <utility>

namespace orva {
namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

QColor Colour(const MarkLook& look) { return {look.red, look.green, look.blue}; }

}  // namespace

EntryTableModel::EntryTableModel(EditorLogic& logic, QObject* parent)
    : QAbstractTableModel(parent), logic_(logic) {}

int EntryTableModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  // A database of 2 GiB holds no more than 2^28 entries.
  return static_cast<int>(
      std::min<std::size_t>(logic_.RowCount(), std::numeric_limits<int>::max()));
}

int EntryTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kEditorColumnCount;
}

const EditorRow& EntryTableModel::RowAt(int row) const {
  if (!last_ || last_->first != row) last_.emplace(row, logic_.Row(static_cast<std::size_t>(row)));
  return last_->second;
}

QVariant EntryTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const auto column = static_cast<EditorColumn>(index.column());
  if (role == Qt::EditRole) {
    if (column != EditorColumn::kText) return {};
    return Text(logic_.EditableText(static_cast<std::size_t>(index.row())));
  }
  const EditorRow& row = RowAt(index.row());
  switch (role) {
    case Qt::DisplayRole:
      return Text(CellText(row, column));
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
      return Text(CellReading(row, column));
    case Qt::TextAlignmentRole:
      if (column == EditorColumn::kSlot || column == EditorColumn::kId ||
          column == EditorColumn::kBytes) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      }
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case kMatchesRole: {
      QVariantList runs;
      if (column != EditorColumn::kText) return runs;
      for (const TextRun& run : row.matches) {
        runs << QPoint(static_cast<int>(run.first), static_cast<int>(run.length));
      }
      return runs;
    }
    case Qt::BackgroundRole:
      if (column == EditorColumn::kProblems && row.problems > 0) {
        return QBrush(Colour(ProblemLook(row.error)));
      }
      if (row.mark == RowMark::kNone) return {};
      return QBrush(Colour(LookOf(row.mark)));
    default:
      return {};
  }
}

QVariant EntryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= kEditorColumnCount) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  const std::string_view title = ColumnTitle(static_cast<EditorColumn>(section));
  return QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
}

Qt::ItemFlags EntryTableModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  // A removed entry's text is shown as it was, and an entry only the
  // reference has has none here: neither is to be edited.
  if (index.isValid() && static_cast<EditorColumn>(index.column()) == EditorColumn::kText &&
      index.row() < rowCount() && IsEditable(RowAt(index.row()))) {
    flags |= Qt::ItemIsEditable;
  }
  return flags;
}

// The change goes to the logic from the event loop: it may choose the rows
// again, which must not happen while the view is still closing its editor.
bool EntryTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() ||
      static_cast<EditorColumn>(index.column()) != EditorColumn::kText) {
    return false;
  }
  QMetaObject::invokeMethod(
      this,
      [this, slot = RowAt(index.row()).slot, text = value.toString().toStdString()] {
        const std::optional<std::size_t> row = logic_.RowOfSlot(slot);
        if (row && text != logic_.EditableText(*row)) (void)logic_.SetText(*row, text);
      },
      Qt::QueuedConnection);
  return true;
}

void EntryTableModel::Reset() {
  beginResetModel();
  last_.reset();
  endResetModel();
}

void EntryTableModel::RowsChanged(std::size_t first, std::size_t last) {
  last_.reset();
  emit dataChanged(index(static_cast<int>(first), 0),
                   index(static_cast<int>(last), kEditorColumnCount - 1));
}

}  // namespace orva
