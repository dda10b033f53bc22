// Answers a Qt file dialog as a user does: go to the folder, type the name
// into the file-name field, press the accept button.  QFileDialog::selectFile
// leaves the field alone while it has the keyboard focus, so a test that only
// selects races the dialog's activation and may accept the name the dialog
// opened with (the pre-selected file of a Save As).
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

// False (with a test failure) when the dialog would not return `path`.
inline bool AnswerFileDialog(QFileDialog* dialog, const QString& path) {
  const QFileInfo info(path);
  // A folder that does not exist cannot be entered; the user types the
  // whole path instead.
  const bool folderExists = QFileInfo(info.absolutePath()).isDir();
  if (folderExists) dialog->setDirectory(info.absolutePath());
  auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
  if (!name) {
    ADD_FAILURE() << "the file dialog has no file-name field";
    return false;
  }
  // Typing with the focus in the field ends the selection of the name the
  // dialog opened with; without the focus that selection would win.
  name->setFocus();
  for (auto* view : dialog->findChildren<QAbstractItemView*>())
    if (view->selectionModel()) view->selectionModel()->clearSelection();
  name->setText(folderExists ? info.fileName() : info.absoluteFilePath());
  const QStringList chosen = dialog->selectedFiles();
  if (chosen.size() != 1 || QFileInfo(chosen.first()).absoluteFilePath() != info.absoluteFilePath()) {
    ADD_FAILURE() << "the file dialog would return " << chosen.join(", ").toStdString() << " instead of "
                  << path.toStdString();
    dialog->reject();
    return false;
  }
  auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
  QPushButton* accept = buttons ? buttons->button(dialog->acceptMode() == QFileDialog::AcceptSave
                                                      ? QDialogButtonBox::Save
                                                      : QDialogButtonBox::Open)
                                : nullptr;
  if (!accept || !accept->isEnabled()) {
    ADD_FAILURE() << "the file dialog offers no enabled accept button";
    dialog->reject();
    return false;
  }
  accept->click();
  return true;
}
