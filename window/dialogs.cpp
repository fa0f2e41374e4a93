#include "window/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace orva {

std::optional<QString> QtDialogs::ChooseExistingFile(QWidget* parent,
                                                     const OpenFileRequest& request) {
  // getOpenFileName accepts only an existing file and returns its absolute
  // path, or an empty string when cancelled.
  QString chosen =
      QFileDialog::getOpenFileName(parent, request.title, request.start_path, request.filter);
  if (chosen.isEmpty()) return std::nullopt;
  return chosen;
}

void QtDialogs::ShowMessage(QWidget* parent, MessageIcon icon, const QString& text,
                            const QString& details) {
  const QMessageBox::Icon box_icon =
      icon == MessageIcon::kInformation ? QMessageBox::Information : QMessageBox::Warning;
  QMessageBox box(box_icon, QString(), text, QMessageBox::Ok, parent);
  if (!details.isEmpty()) box.setInformativeText(details);
  box.exec();
}

}  // namespace orva
