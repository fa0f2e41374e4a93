// How screen readers see a QListWidget: the list and one item per row. Qt's
// own items claim the focus whenever they are the list's current item, even
// while another control has it, so a screen reader meets two or three
// focused objects at once; here the current item is focused only while its
// list has the focus.
#pragma once

#include <QAccessibleWidget>
#include <QHash>
#include <QList>
#include <QMetaObject>

class QListWidget;

namespace orva {

// Makes every QListWidget of the program accessible this way.
void UseListAccessibility();

class ListAccessible : public QAccessibleWidget {
 public:
  explicit ListAccessible(QListWidget* list);
  ~ListAccessible() override;

  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* childAt(int x, int y) const override;
  QAccessibleInterface* focusChild() const override;

 private:
  QListWidget* List() const;
  void ForgetItems();

  // One interface per row, kept while the rows stay, as Qt's views do.
  mutable QHash<int, QAccessible::Id> items_;
  QList<QMetaObject::Connection> connections_;
};

}  // namespace orva
