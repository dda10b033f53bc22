#include "app/qt/ProgressWindow.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <climits>
#include <cmath>

#include "target/ProgressDlg.h"

namespace {

int ToInt(long v) { return static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX)); }

}  // namespace

QString RateText(uint64_t done, uint64_t total, double seconds) {
  if (done == 0 || seconds < 0.2) return QString();
  const double rate = static_cast<double>(done) / seconds;
  QString text = QString("%1 bytes/s").arg(static_cast<qlonglong>(std::llround(rate)));
  if (total > done) {
    const long long left = std::llround(static_cast<double>(total - done) / rate);
    text += QString(", %1:%2 left").arg(left / 60).arg(left % 60, 2, 10, QChar('0'));
  }
  return text;
}

ProgressWindow::ProgressWindow(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint),
      m_bar(new QProgressBar),
      m_label(new QLabel),
      m_address(new QLabel),
      m_value(new QLabel),
      m_subject(new QLabel),
      m_rate(new QLabel),
      m_cancel(new QPushButton(tr("Cancel"))) {
  setObjectName("ProgressWindow");
  setWindowTitle(QString());
  setAutoFillBackground(true);
  m_bar->setObjectName("progressBar");
  m_bar->setTextVisible(true);
  m_bar->setFormat("%p%");
  m_label->setObjectName("progressLabel");
  m_address->setObjectName("progressAddress");
  m_value->setObjectName("progressValue");
  m_subject->setObjectName("progressSubject");
  m_rate->setObjectName("progressRate");
  m_cancel->setObjectName("cancelButton");
  m_subject->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(24, 20, 24, 16);
  grid->addWidget(m_subject, 0, 0, 1, 2);
  grid->addWidget(m_bar, 1, 0, 1, 2);
  grid->addWidget(m_label, 2, 0);
  grid->addWidget(m_address, 2, 1);
  grid->addWidget(m_rate, 3, 0);
  grid->addWidget(m_value, 3, 1);
  grid->addWidget(m_cancel, 4, 1, Qt::AlignRight);
  grid->setColumnStretch(0, 1);
  setMinimumWidth(320);
  setStyleSheet("ProgressWindow { border: 1px solid palette(dark); }");
  // Cancel stops at the next command boundary, so the talker stays usable;
  // the button says it has been heard until the transfer ends.
  connect(m_cancel, &QPushButton::clicked, this, [this] {
    if (m_model) m_model->m_stopRequested = true;
    m_cancel->setEnabled(false);
    m_cancel->setText(tr("Stopping..."));
  });
  m_clock.start();
}

void ProgressWindow::Show(CProgressDlg& p) {
  if (m_model != &p) {
    m_model = &p;
    m_clock.restart();
    m_firstDone = p.m_done;
  }
  // The bar works in int; a range wider than 16 bits still fits, and a range
  // given upside down is drawn as given rather than refused.
  int low = ToInt(std::min(p.m_low, p.m_high));
  int high = ToInt(std::max(p.m_low, p.m_high));
  m_bar->setRange(low, high);
  m_bar->setValue(std::clamp(ToInt(p.m_pos), low, high));
  m_label->setText(QString::fromStdString(p.m_label));
  m_address->setText(QString::fromStdString(p.m_address));
  m_value->setText(QString::fromStdString(p.m_value));
  m_subject->setText(QString::fromStdString(p.m_subject));
  m_subject->setVisible(!p.m_subject.empty());
  const uint64_t done = p.m_done >= m_firstDone ? p.m_done - m_firstDone : 0;
  const uint64_t total = p.m_total >= m_firstDone ? p.m_total - m_firstDone : 0;
  m_rate->setText(RateText(done, total, m_clock.elapsed() / 1000.0));
  // An erase is one command: there is no boundary to stop at before it ends.
  m_cancel->setVisible(p.m_transfer != Transfer::Erase);
}
