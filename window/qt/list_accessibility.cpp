#include "window/qt/list_accessibility.h"

#include <QAbstractItemModel>
#include <QListWidget>

namespace orva {
namespace {

class ListItemAccessible : public QAccessibleInterface {
 public:
  ListItemAccessible(QListWidget* list, int row)
      : list_(list), index_(list->model()->index(row, 0)) {}

  bool isValid() const override { return list_ != nullptr && index_.isValid(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return list_->window()->windowHandle(); }
  QAccessibleInterface* parent() const override {
    return QAccessible::queryAccessibleInterface(list_);
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessible::Role role() const override { return QAccessible::ListItem; }
  void setText(QAccessible::Text, const QString&) override {}

  QString text(QAccessible::Text t) const override {
    return t == QAccessible::Name ? index_.data(Qt::DisplayRole).toString() : QString();
  }

  QRect rect() const override {
    const QRect row = list_->visualRect(index_);
    return {list_->viewport()->mapToGlobal(row.topLeft()), row.size()};
  }

  QAccessible::State state() const override {
    QAccessible::State state;
    state.selectable = true;
    state.focusable = true;
    state.selected = list_->selectionModel()->isSelected(index_);
    state.focused = list_->hasFocus() && list_->currentIndex() == index_;
    state.invisible =
        !list_->isVisible() || !list_->viewport()->rect().intersects(list_->visualRect(index_));
    state.disabled = !list_->isEnabled();
    return state;
  }

 private:
  QListWidget* list_;
  QPersistentModelIndex index_;
};

QAccessibleInterface* ListFactory(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String(QListWidget::staticMetaObject.className())) return nullptr;
  return new ListAccessible(static_cast<QListWidget*>(object));
}

}  // namespace

void UseListAccessibility() {
  [[maybe_unused]] static const bool kInstalled = (QAccessible::installFactory(ListFactory), true);
}

ListAccessible::ListAccessible(QListWidget* list) : QAccessibleWidget(list, QAccessible::List) {
  // Rows that come, go or move renumber the others: their interfaces are
  // made anew when next asked for.
  const QAbstractItemModel* model = list->model();
  const auto forget = [this] { ForgetItems(); };
  connections_ = {
      QObject::connect(model, &QAbstractItemModel::rowsAboutToBeInserted, forget),
      QObject::connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, forget),
      QObject::connect(model, &QAbstractItemModel::rowsAboutToBeMoved, forget),
      QObject::connect(model, &QAbstractItemModel::modelAboutToBeReset, forget),
      QObject::connect(model, &QAbstractItemModel::layoutAboutToBeChanged, forget),
  };
}

ListAccessible::~ListAccessible() {
  for (const QMetaObject::Connection& connection : connections_) QObject::disconnect(connection);
  ForgetItems();
}

QListWidget* ListAccessible::List() const { return static_cast<QListWidget*>(widget()); }

void ListAccessible::ForgetItems() {
  for (QAccessible::Id id : std::as_const(items_)) QAccessible::deleteAccessibleInterface(id);
  items_.clear();
}

int ListAccessible::childCount() const { return List()->count(); }

QAccessibleInterface* ListAccessible::child(int index) const {
  if (index < 0 || index >= List()->count()) return nullptr;
  if (const auto known = items_.constFind(index); known != items_.cend()) {
    return QAccessible::accessibleInterface(*known);
  }
  auto* item = new ListItemAccessible(List(), index);
  items_.insert(index, QAccessible::registerAccessibleInterface(item));
  return item;
}

int ListAccessible::indexOfChild(const QAccessibleInterface* child) const {
  const QAccessible::Id id = QAccessible::uniqueId(const_cast<QAccessibleInterface*>(child));
  return items_.key(id, -1);
}

QAccessibleInterface* ListAccessible::childAt(int x, int y) const {
  const QModelIndex index = List()->indexAt(List()->viewport()->mapFromGlobal(QPoint(x, y)));
  return index.isValid() ? child(index.row()) : nullptr;
}

QAccessibleInterface* ListAccessible::focusChild() const {
  return List()->hasFocus() ? child(List()->currentRow()) : nullptr;
}

}  // namespace orva
