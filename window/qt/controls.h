// The Qt widgets of Form1's layout table: each control made as its row says,
// with its name as objectName(), its place, text, colours and font.
#pragma once

#include <QWidget>
#include <string_view>

#include "window/form1_layout.h"

namespace orva {

// Makes the control of `row` in `parent`.
QWidget* MakeControl(const layout::Control& row, QWidget* parent);

// Makes, in table order, every control that `container` (the control named
// `name`) holds, and what they hold in turn; then ties each label to the box
// it names.
void MakeContents(QWidget* container, std::string_view name);

}  // namespace orva
