#include "app/qt/ViewWidgets.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include "app/TrellisView.h"
#include "panes/ListDisp.h"

void DrawStatusLine(QPainter& painter, const CTrellisView& view) {
  const QString text = QString::fromStdString(view.StatusLineText());
  // Column 0, row 12 of the text grid; the cell's top-left is the text's.
  const int x = 0 * g_charWidth;
  const int y = 12 * g_lineHeight;
  painter.drawText(QRect(x, y, g_charWidth * static_cast<int>(text.size() + 1), g_lineHeight),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

TrellisViewWidget::TrellisViewWidget(CTrellisView& view, QWidget* parent) : QWidget(parent), m_view(view) {
  setObjectName("TrellisView");
  setFocusPolicy(Qt::ClickFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
}

QSize TrellisViewWidget::sizeHint() const { return QSize(640, 400); }

void TrellisViewWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  painter.setPen(palette().text().color());
  DrawStatusLine(painter, m_view);
}

void TrellisViewWidget::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  if (text.isEmpty()) {
    QWidget::keyPressEvent(event);
    return;
  }
  for (QChar c : text) m_view.OnChar(c.unicode());
  update();
}

void TrellisViewWidget::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  if (m_onActivated) m_onActivated();
}

// A click makes a view the active one even where the platform does not move
// the keyboard focus (an inactive window, the offscreen platform).
void TrellisViewWidget::mousePressEvent(QMouseEvent* event) {
  QWidget::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
  if (m_onActivated) m_onActivated();
}

ListDispWidget::ListDispWidget(CListDisp& pane, QWidget* parent) : QAbstractScrollArea(parent), m_pane(pane) {
  setFocusPolicy(Qt::ClickFocus);
  viewport()->setFocusProxy(this);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  horizontalScrollBar()->setSingleStep(g_charWidth);
  verticalScrollBar()->setSingleStep(g_lineHeight);
  connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
  connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
}

QSize ListDispWidget::sizeHint() const { return QSize(640, 50); }

// Small enough that the splitter keeps the 50-pixel rows it is given.
QSize ListDispWidget::minimumSizeHint() const { return QSize(80, g_lineHeight); }

void ListDispWidget::UpdateRanges(int count, int maxLen) {
  const int totalWidth = maxLen * g_charWidth;
  const int totalHeight = count * g_lineHeight;
  QScrollBar* h = horizontalScrollBar();
  QScrollBar* v = verticalScrollBar();
  h->setRange(0, std::max(0, totalWidth - viewport()->width()));
  h->setPageStep(std::max(g_charWidth, totalWidth / 10));
  v->setRange(0, std::max(0, totalHeight - viewport()->height()));
  v->setPageStep(std::max(g_lineHeight, totalHeight / 10));
}

void ListDispWidget::Refresh() {
  // The range comes from the lines held now, so the line just added is the
  // one scrolled into view rather than the one before it.
  UpdateRanges(m_pane.Count(), m_pane.MaxLen());
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  viewport()->update();
}

void ListDispWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateRanges(m_pane.Count(), m_pane.MaxLen());
}

void ListDispWidget::paintEvent(QPaintEvent*) {
  const std::vector<std::string> lines = m_pane.Lines();
  UpdateRanges(static_cast<int>(lines.size()), m_pane.MaxLen());
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), palette().base());
  painter.setPen(palette().text().color());
  const int dx = horizontalScrollBar()->value();
  const int dy = verticalScrollBar()->value();
  const int first = std::max(0, dy / g_lineHeight);
  const int last = std::min(static_cast<int>(lines.size()) - 1, (dy + viewport()->height()) / g_lineHeight);
  for (int i = first; i <= last; ++i) {
    const QString text = QString::fromLatin1(lines[static_cast<size_t>(i)].data(),
                                             static_cast<qsizetype>(lines[static_cast<size_t>(i)].size()));
    painter.drawText(
        QPoint(g_charWidth - dx, i * g_lineHeight - dy) + QPoint(0, painter.fontMetrics().ascent()), text);
  }
}

void ListDispWidget::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  if (m_onActivated) m_onActivated();
}

void ListDispWidget::mousePressEvent(QMouseEvent* event) {
  QAbstractScrollArea::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
  if (m_onActivated) m_onActivated();
}
