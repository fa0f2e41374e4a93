// Where a control sits: its parent and its rectangle, given in twips as the
// layout tables give them.
#pragma once

#include <QRect>
#include <QString>
#include <QTest>
#include <QWidget>

#include "window/twips.h"

namespace orva::testing {

// The columns of a placement table: one row per control, named after it.
inline void AddPlacementColumns() {
  QTest::addColumn<QString>("parent");
  QTest::addColumn<QRect>("twips");
}
inline void AddPlacementRow(const char* name, const char* parent, int left, int top, int width,
                            int height) {
  QTest::newRow(name) << QString(parent) << QRect(left, top, width, height);
}

inline void ComparePlacement(const QWidget* widget, const QString& parent, const QRect& twips) {
  QCOMPARE(widget->parentWidget()->objectName(), parent);
  QCOMPARE(widget->geometry(), TwipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
}

}  // namespace orva::testing
