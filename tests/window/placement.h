// Where a control sits: its parent and its rectangle, given in twips as the
// layout tables give them.
#pragma once

#include <QRect>
#include <QString>
#include <QTest>
#include <QWidget>

#include "window/twips.h"

namespace orva::testing {

inline void ComparePlacement(const QWidget* widget, const QString& parent, const QRect& twips) {
  QCOMPARE(widget->parentWidget()->objectName(), parent);
  QCOMPARE(widget->geometry(), TwipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
}

}  // namespace orva::testing
