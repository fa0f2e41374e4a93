#include "window/qt/dialogs.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

namespace orva {
namespace {

// Qt's windows fall back to the program's name for an empty title; a blank
// one is as close to no title as a window manager shows.
const QString kBlankTitle = QStringLiteral(" ");

// Keeps Qt's own file dialog within the screen its parent is on, frame
// included: at a large scale factor its usual size can be more than a small
// screen holds, with its buttons out of reach. (The platform's own dialog
// sizes itself.)
void FitOnScreen(QDialog& dialog, const QWidget* parent) {
  const QWidget* window = parent != nullptr ? parent->window() : nullptr;
  const QScreen* screen = window != nullptr ? window->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QSize frame =
      window != nullptr ? window->frameGeometry().size() - window->size() : QSize(0, 0);
  const QSize room = screen->availableGeometry().size() - frame;
  dialog.setMinimumSize(dialog.minimumSizeHint().boundedTo(room));
  dialog.resize(dialog.sizeHint().boundedTo(room));
}

}  // namespace

std::optional<QString> QtDialogs::ChooseExistingFile(QWidget* parent,
                                                     const OpenFileRequest& request) {
  // Qt's filter is the pattern, which it shows as its description.
  QFileDialog dialog(parent, QString::fromStdString(request.title),
                     QString::fromStdString(request.start_path),
                     QString::fromStdString(request.filter_pattern));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  FitOnScreen(dialog, parent);
  // The chosen file as an absolute path; Cancel is its own outcome.
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

void QtDialogs::ShowMessage(QWidget* parent, MessageIcon icon, const QString& text,
                            const QString& details) {
  const QMessageBox::Icon box_icon =
      icon == MessageIcon::kInformation ? QMessageBox::Information : QMessageBox::Warning;
  QMessageBox box(box_icon, kBlankTitle, text, QMessageBox::Ok, parent);
  if (!details.isEmpty()) box.setInformativeText(details);
  box.exec();
}

}  // namespace orva
