// The widgets of the splitter: the main view, which draws the status line and
// takes the terminal keyboard, and the terminal panes, which draw their line
// models.  Both draw in text cells of g_charWidth x g_lineHeight pixels.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <QWidget>
#include <climits>
#include <functional>

class CTrellisView;
class CListDisp;
class QColor;
class QPainter;

// Draws the main view's picture (used for the screen, printing and preview)
// and returns the text drawn.  The line sits in text row 12, or as far down
// as `height` pixels leave room for it, so a short view still shows it.
QString DrawStatusLine(QPainter& painter, const CTrellisView& view, int height = INT_MAX);

// Marks the active view with a frame in the highlight colour.
void DrawActiveFrame(QPainter& painter, const QRect& area, const QColor& colour);

class TrellisViewWidget : public QWidget {
  Q_OBJECT
 public:
  TrellisViewWidget(CTrellisView& view, QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  void SetActive(bool active);
  bool IsActive() const { return m_active; }
  // The status line as last painted: what the user sees right now.
  QString DrawnText() const { return m_drawnText; }

  std::function<void()> m_onActivated;  // the widget became the active view

 protected:
  void paintEvent(QPaintEvent*) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  CTrellisView& m_view;
  QString m_drawnText;
  bool m_active = false;
};

class ListDispWidget : public QAbstractScrollArea {
  Q_OBJECT
 public:
  ListDispWidget(CListDisp& pane, QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  // The model changed: recompute the scroll ranges from the lines now held,
  // scroll to the end and repaint.
  void Refresh();

  void SetActive(bool active);
  bool IsActive() const { return m_active; }

  std::function<void()> m_onActivated;

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void focusInEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void UpdateRanges(int count, int maxLen);
  CListDisp& m_pane;
  bool m_active = false;
};
