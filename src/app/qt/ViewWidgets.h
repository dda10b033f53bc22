// The widgets of the splitter: the main view, which draws the status line and
// takes the terminal keyboard, and the terminal panes, which draw their line
// models.  Both draw in text cells of g_charWidth x g_lineHeight pixels.
#pragma once

#include <QAbstractScrollArea>
#include <QWidget>
#include <functional>

class CTrellisView;
class CListDisp;
class QPainter;

// Draws the main view's picture (used for the screen, printing and preview).
void DrawStatusLine(QPainter& painter, const CTrellisView& view);

class TrellisViewWidget : public QWidget {
  Q_OBJECT
 public:
  TrellisViewWidget(CTrellisView& view, QWidget* parent = nullptr);
  QSize sizeHint() const override;

  std::function<void()> m_onActivated;  // the widget became the active view

 protected:
  void paintEvent(QPaintEvent*) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  CTrellisView& m_view;
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

  std::function<void()> m_onActivated;

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void focusInEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void UpdateRanges(int count, int maxLen);
  CListDisp& m_pane;
};
