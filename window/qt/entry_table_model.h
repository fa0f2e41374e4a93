// The editor's table as a Qt model: every row is asked of EditorLogic when a
// view draws it, so a million entries cost what a screenful does. A text
// edited in the table goes to the logic once the editor has closed.
#pragma once

#include <QAbstractTableModel>
#include <cstddef>
#include <optional>

#include "window/editor_logic.h"

namespace orva {

class EntryTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The Text column's filter matches: a QVariantList of QPoint(first, length),
  // in characters.
  static constexpr int kMatchesRole = Qt::UserRole + 1;

  explicit EntryTableModel(EditorLogic& logic, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // What the logic tells of its rows.
  void Reset();
  void RowsChanged(std::size_t first, std::size_t last);

 private:
  const EditorRow& RowAt(int row) const;

  EditorLogic& logic_;
  // The row last asked for: a view asks for each of its cells in turn.
  mutable std::optional<std::pair<int, EditorRow>> last_;
};

}  // namespace orva
