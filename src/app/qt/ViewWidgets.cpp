#include "app/qt/ViewWidgets.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "app/TrellisView.h"
#include "panes/ListDisp.h"

QString DrawStatusLine(QPainter& painter, const CTrellisView& view, int height) {
  const QString text = QString::fromStdString(view.StatusLineText());
  // Column 0, row 12 of the text grid; the cell's top-left is the text's.
  // A view shorter than that moves the line up rather than hiding the
  // connection state below its bottom edge.
  const int x = 0 * g_charWidth;
  const int y = std::max(0, std::min(12 * g_lineHeight, height - g_lineHeight));
  painter.drawText(QRect(x, y, g_charWidth * static_cast<int>(text.size() + 1), g_lineHeight),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  return text;
}

void DrawActiveFrame(QPainter& painter, const QRect& area, const QColor& colour) {
  constexpr int kWidth = 2;
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  painter.drawRect(area.left(), area.top(), area.width(), kWidth);
  painter.drawRect(area.left(), area.bottom() - kWidth + 1, area.width(), kWidth);
  painter.drawRect(area.left(), area.top(), kWidth, area.height());
  painter.drawRect(area.right() - kWidth + 1, area.top(), kWidth, area.height());
  painter.restore();
}

TrellisViewWidget::TrellisViewWidget(CTrellisView& view, QWidget* parent) : QWidget(parent), m_view(view) {
  setObjectName("TrellisView");
  setFocusPolicy(Qt::ClickFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
}

QSize TrellisViewWidget::sizeHint() const { return QSize(640, 400); }

// However small the window, the view keeps room for its status line.
QSize TrellisViewWidget::minimumSizeHint() const { return QSize(80, g_lineHeight + 4); }

void TrellisViewWidget::SetActive(bool active) {
  if (m_active == active) return;
  m_active = active;
  update();
}

void TrellisViewWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  painter.setPen(palette().text().color());
  // The frame goes under the text: the status line starts in column 0.
  if (m_active) DrawActiveFrame(painter, rect(), palette().highlight().color());
  m_drawnText = DrawStatusLine(painter, m_view, height());
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

void ListDispWidget::SetActive(bool active) {
  if (m_active == active) return;
  m_active = active;
  viewport()->update();
}

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
  const int dx = horizontalScrollBar()->value();
  const int dy = verticalScrollBar()->value();
  const QPoint baseline(0, painter.fontMetrics().ascent());
  if (lines.empty()) {
    // An empty pane names itself where its first line will appear, in the
    // placeholder colour so that it does not pass for a line received.
    const std::string title = m_pane.Title();
    painter.setPen(palette().placeholderText().color());
    painter.drawText(QPoint(g_charWidth - dx, -dy) + baseline,
                     QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size())));
  }
  painter.setPen(palette().text().color());
  const int first = std::max(0, dy / g_lineHeight);
  const int last = std::min(static_cast<int>(lines.size()) - 1, (dy + viewport()->height()) / g_lineHeight);
  for (int i = first; i <= last; ++i) {
    const QString text = QString::fromLatin1(lines[static_cast<size_t>(i)].data(),
                                             static_cast<qsizetype>(lines[static_cast<size_t>(i)].size()));
    painter.drawText(QPoint(g_charWidth - dx, i * g_lineHeight - dy) + baseline, text);
  }
  if (m_active) DrawActiveFrame(painter, viewport()->rect(), palette().highlight().color());
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
