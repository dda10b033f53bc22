// The modeless, button-less window of a long transfer: a bar over the
// operation's address range, the operation's name, the address and a byte.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class CProgressDlg;

class ProgressWindow : public QWidget {
  Q_OBJECT
 public:
  explicit ProgressWindow(QWidget* parent = nullptr);
  void Show(const CProgressDlg& progress);

  QProgressBar* m_bar;
  QLabel* m_label;
  QLabel* m_address;
  QLabel* m_value;
};
