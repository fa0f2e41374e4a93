// The window as screen readers see it, through Qt's accessibility interfaces.
#pragma once

#include <QAccessible>
#include <QList>
#include <QStringList>
#include <QWidget>

namespace orva::test_support {

// Every object of the accessibility tree of `window`, the window included.
inline QList<QAccessibleInterface*> AccessibleTree(QWidget* window) {
  QList<QAccessibleInterface*> all{QAccessible::queryAccessibleInterface(window)};
  for (qsizetype i = 0; i < all.size(); ++i) {
    for (int c = 0; c < all[i]->childCount(); ++c) {
      if (QAccessibleInterface* child = all[i]->child(c)) all.append(child);
    }
  }
  return all;
}

// The objects of that tree that say they have the focus.
inline QList<QAccessibleInterface*> FocusedObjects(QWidget* window) {
  QList<QAccessibleInterface*> focused;
  for (QAccessibleInterface* object : AccessibleTree(window)) {
    if (object->state().focused) focused.append(object);
  }
  return focused;
}

// The names of the objects in sight that can take the focus; an empty one
// is a control a screen reader cannot name.
inline QStringList NamesInSight(QWidget* window) {
  QStringList names;
  for (QAccessibleInterface* object : AccessibleTree(window)) {
    if (!object->state().invisible && object->state().focusable) {
      names << object->text(QAccessible::Name);
    }
  }
  return names;
}

}  // namespace orva::test_support
