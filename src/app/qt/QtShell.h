// The desktop program's shell: message boxes, dialog forms, file dialogs and
// the progress window as Qt widgets, and the window's updates handed to the
// UI thread whichever thread asked for them.
#pragma once

#include <QObject>
#include <QPointer>
#include <map>
#include <string>

#include "shell/Shell.h"

class MainWindow;
class ProgressWindow;
class QWidget;

// "label|pattern|label|pattern||" as Qt's "label (pattern);;..." list.
QString QtFileFilter(const std::string& filter);

class QtShell : public QObject, public NullShell {
  Q_OBJECT
 public:
  QtShell();
  ~QtShell() override;

  void SetWindow(MainWindow* window);

  void StatusTextChanged(const std::string& text) override;
  void PaneChanged(int pane) override;
  void RedrawView() override;
  int MessageBox(const std::string& text, const std::string& caption, int type) override;
  int RunModal(CDialogModel& dialog) override;
  bool ChooseFile(const FileDialogRequest& request, FileDialogResult& result) override;
  void ProgressOpened(CProgressDlg& progress) override;
  void ProgressChanged(CProgressDlg& progress) override;
  void ProgressClosed(CProgressDlg& progress) override;
  bool DispatchPendingEvent() override;
  // Cancel was pressed in a progress window still open.
  bool StopRequested() override;

  // The open progress windows, for tests.
  ProgressWindow* Progress(const CProgressDlg& progress) const;

 private:
  bool OnUiThread() const;
  QWidget* Owner() const;

  MainWindow* m_window = nullptr;
  std::map<const CProgressDlg*, ProgressWindow*> m_progress;
};
