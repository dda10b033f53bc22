#include "app/qt/ProgressWindow.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <algorithm>
#include <climits>

#include "target/ProgressDlg.h"

namespace {

int ToInt(long v) { return static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX)); }

}  // namespace

ProgressWindow::ProgressWindow(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint),
      m_bar(new QProgressBar),
      m_label(new QLabel),
      m_address(new QLabel),
      m_value(new QLabel) {
  setObjectName("ProgressWindow");
  setWindowTitle(QString());
  // Dialog units of the window, 186 x 94, at the usual 1.5 x 1.6 pixels each.
  setFixedSize(280, 150);
  setAutoFillBackground(true);
  m_bar->setObjectName("progressBar");
  m_bar->setTextVisible(false);
  m_label->setObjectName("progressLabel");
  m_address->setObjectName("progressAddress");
  m_value->setObjectName("progressValue");
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(40, 36, 20, 16);
  grid->addWidget(m_bar, 0, 0, 1, 2);
  grid->addWidget(m_label, 1, 0);
  grid->addWidget(m_address, 1, 1);
  grid->addWidget(m_value, 2, 1);
  grid->setColumnStretch(0, 1);
  setStyleSheet("ProgressWindow { border: 1px solid palette(dark); }");
}

void ProgressWindow::Show(const CProgressDlg& p) {
  // The bar works in int; a range wider than 16 bits still fits, and a range
  // given upside down is drawn as given rather than refused.
  int low = ToInt(std::min(p.m_low, p.m_high));
  int high = ToInt(std::max(p.m_low, p.m_high));
  m_bar->setRange(low, high);
  m_bar->setValue(std::clamp(ToInt(p.m_pos), low, high));
  m_label->setText(QString::fromStdString(p.m_label));
  m_address->setText(QString::fromStdString(p.m_address));
  m_value->setText(QString::fromStdString(p.m_value));
}
