#include "app/qt/QtShell.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThread>

#include "app/qt/DialogForm.h"
#include "app/qt/MainWindow.h"
#include "app/qt/ProgressWindow.h"
#include "target/ProgressDlg.h"

QString QtFileFilter(const std::string& filter) {
  QStringList parts = QString::fromStdString(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString label = parts[i].trimmed();
    QString patterns = parts[i + 1].trimmed();
    if (label.isEmpty() && patterns.isEmpty()) break;  // the "||" that ends the list
    patterns.replace(';', ' ');
    // Qt reads the patterns from the parentheses; add them when the label
    // does not already show them.
    if (label.contains("(" + patterns + ")"))
      out << label;
    else
      out << label + " (" + patterns + ")";
  }
  return out.join(";;");
}

QtShell::QtShell() = default;

QtShell::~QtShell() {
  for (auto& [model, window] : m_progress) delete window;
}

void QtShell::SetWindow(MainWindow* window) { m_window = window; }

bool QtShell::OnUiThread() const { return QThread::currentThread() == qApp->thread(); }

QWidget* QtShell::Owner() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return m_window;
}

void QtShell::StatusTextChanged(const std::string& text) {
  if (!m_window) return;
  const QString t = QString::fromStdString(text);
  if (OnUiThread()) {
    m_window->ShowStatusText(t);
  } else {
    QMetaObject::invokeMethod(
        m_window, [w = m_window, t] { w->ShowStatusText(t); }, Qt::QueuedConnection);
  }
}

void QtShell::PaneChanged(int pane) {
  if (!m_window) return;
  // The receive thread adds "Comm err: " lines; it must never wait for the
  // UI thread (which may be waiting for it in ClosePort), so the repaint is
  // queued and the call returns at once.
  if (OnUiThread()) {
    m_window->RefreshPane(pane);
  } else {
    QMetaObject::invokeMethod(
        m_window, [w = m_window, pane] { w->RefreshPane(pane); }, Qt::QueuedConnection);
  }
}

void QtShell::RedrawView() {
  if (!m_window) return;
  if (OnUiThread()) {
    m_window->RedrawView();
  } else {
    QMetaObject::invokeMethod(
        m_window, [w = m_window] { w->RedrawView(); }, Qt::QueuedConnection);
  }
}

int QtShell::MessageBox(const std::string& text, const std::string& caption, int type) {
  QMessageBox box(Owner());
  box.setWindowTitle(QString::fromStdString(caption));
  box.setText(QString::fromStdString(text));
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR:
      box.setIcon(QMessageBox::Critical);
      break;
    case MB_ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case MB_ICONEXCLAMATION:
      box.setIcon(QMessageBox::Warning);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      box.setIcon(QMessageBox::NoIcon);
      break;
  }
  switch (type & MB_BUTTONMASK) {
    case MB_OKCANCEL:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case MB_YESNO:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      // Closing the box is the safe answer, No, not an answer of its own.
      box.setEscapeButton(QMessageBox::No);
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Ok);
      break;
  }
  const int result = box.exec();
  switch (result) {
    case QMessageBox::Ok:
      return IDOK;
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    case QMessageBox::Cancel:
      return IDCANCEL;
    default:
      // Closed some other way: the box's escape answer.
      return (type & MB_BUTTONMASK) == MB_YESNO      ? IDNO
             : (type & MB_BUTTONMASK) == MB_OKCANCEL ? IDCANCEL
                                                     : IDOK;
  }
}

int QtShell::RunModal(CDialogModel& dialog) {
  DialogForm form(dialog, Owner());
  return form.exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

bool QtShell::ChooseFile(const FileDialogRequest& request, FileDialogResult& result) {
  QFileDialog dialog(Owner());
  dialog.setObjectName("FileDialog");
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save || !request.mustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!request.title.empty()) dialog.setWindowTitle(QString::fromStdString(request.title));
  if (!request.filter.empty()) dialog.setNameFilter(QtFileFilter(request.filter));
  if (!request.defaultExt.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.defaultExt));
  if (request.save && !request.overwritePrompt) dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  // A remembered folder that does not exist here (the first-run default, or
  // a folder since removed) leaves the dialog where it would open anyway.
  const QString dir = QString::fromStdString(request.initialDir);
  if (!dir.isEmpty() && QFileInfo(dir).isDir()) dialog.setDirectory(dir);
  const QString name = QString::fromStdString(request.initialName).trimmed();
  if (!name.isEmpty()) dialog.selectFile(name);
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return false;
  result.pathName = files.first().toStdString();
  result.fileName = QFileInfo(files.first()).fileName().toStdString();
  return true;
}

void QtShell::ProgressOpened(CProgressDlg& progress) {
  if (m_progress.count(&progress)) return;
  auto* w = new ProgressWindow(nullptr);
  m_progress[&progress] = w;
  w->Show(progress);
  if (QScreen* screen = m_window ? m_window->screen() : QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
  }
  w->show();
}

void QtShell::ProgressChanged(CProgressDlg& progress) {
  auto it = m_progress.find(&progress);
  if (it != m_progress.end()) it->second->Show(progress);
}

void QtShell::ProgressClosed(CProgressDlg& progress) {
  auto it = m_progress.find(&progress);
  if (it == m_progress.end()) return;
  delete it->second;
  m_progress.erase(it);
}

bool QtShell::StopRequested() {
  for (const auto& [model, window] : m_progress)
    if (model->m_stopRequested) return true;
  return false;
}

ProgressWindow* QtShell::Progress(const CProgressDlg& progress) const {
  auto it = m_progress.find(&progress);
  return it == m_progress.end() ? nullptr : it->second;
}

bool QtShell::DispatchPendingEvent() {
  if (!OnUiThread()) return false;
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(qApp->thread());
  return dispatcher && dispatcher->processEvents(QEventLoop::AllEvents);
}
