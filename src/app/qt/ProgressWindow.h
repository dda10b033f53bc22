// The modeless window of a long transfer: a bar with its percentage over the
// operation's address range, the operation's name, the address and a byte,
// what the transfer is about, its speed and the time left, and Cancel, which
// asks the transfer to stop at its next command boundary.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class CProgressDlg;

class ProgressWindow : public QWidget {
  Q_OBJECT
 public:
  explicit ProgressWindow(QWidget* parent = nullptr);
  // Shows the model; Cancel then sets its stop request.
  void Show(CProgressDlg& progress);

  QProgressBar* m_bar;
  QLabel* m_label;
  QLabel* m_address;
  QLabel* m_value;
  QLabel* m_subject;
  QLabel* m_rate;  // "1234 bytes/s, 0:42 left"
  QPushButton* m_cancel;

 private:
  CProgressDlg* m_model = nullptr;
  QElapsedTimer m_clock;
  uint64_t m_firstDone = 0;
};

// "1234 bytes/s, 0:42 left" from bytes done of total in `seconds`; empty
// until there is something to go by.
QString RateText(uint64_t done, uint64_t total, double seconds);
