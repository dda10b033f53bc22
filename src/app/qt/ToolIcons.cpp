#include "app/qt/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "app/CommandTable.h"

namespace {

void Page(QPainter& p, int x, int y, int w, int h) {
  p.setPen(QColor(40, 40, 40));
  p.setBrush(Qt::white);
  QPainterPath path;
  path.moveTo(x, y);
  path.lineTo(x + w - 4, y);
  path.lineTo(x + w, y + 4);
  path.lineTo(x + w, y + h);
  path.lineTo(x, y + h);
  path.closeSubpath();
  p.drawPath(path);
  p.drawLine(x + w - 4, y, x + w - 4, y + 4);
  p.drawLine(x + w - 4, y + 4, x + w, y + 4);
}

}  // namespace

QIcon ToolIcon(int id) {
  QPixmap pm(16, 15);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, false);
  switch (id) {
    case ID_FILE_NEW:
      Page(p, 3, 0, 10, 14);
      break;
    case ID_FILE_OPEN:
      p.setPen(QColor(110, 80, 0));
      p.setBrush(QColor(240, 200, 60));
      p.drawRect(1, 4, 13, 9);
      p.drawRect(1, 2, 5, 2);
      break;
    case ID_FILE_SAVE:
      p.setPen(QColor(0, 0, 60));
      p.setBrush(QColor(40, 70, 170));
      p.drawRect(1, 1, 13, 13);
      p.setBrush(Qt::white);
      p.drawRect(4, 1, 7, 5);
      p.setBrush(QColor(190, 190, 190));
      p.drawRect(4, 9, 7, 5);
      break;
    case ID_EDIT_CUT:
      p.setPen(QColor(20, 20, 20));
      p.drawLine(5, 1, 9, 9);
      p.drawLine(10, 1, 6, 9);
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(2, 9, 4, 4);
      p.drawEllipse(9, 9, 4, 4);
      break;
    case ID_EDIT_COPY:
      Page(p, 1, 0, 8, 10);
      Page(p, 6, 4, 8, 10);
      break;
    case ID_EDIT_PASTE:
      p.setPen(QColor(80, 50, 10));
      p.setBrush(QColor(170, 120, 50));
      p.drawRect(1, 2, 10, 12);
      p.setBrush(QColor(120, 120, 120));
      p.drawRect(4, 0, 4, 3);
      Page(p, 7, 5, 8, 9);
      break;
    case ID_FILE_PRINT:
      p.setPen(QColor(40, 40, 40));
      Page(p, 4, 0, 8, 6);
      p.setBrush(QColor(170, 170, 170));
      p.drawRect(1, 6, 14, 6);
      p.setBrush(Qt::white);
      p.drawRect(4, 10, 8, 4);
      break;
    case ID_APP_ABOUT: {
      p.setRenderHint(QPainter::Antialiasing, true);
      p.setPen(QColor(0, 40, 120));
      p.setBrush(QColor(60, 110, 210));
      p.drawEllipse(1, 0, 14, 14);
      QFont f = p.font();
      f.setPixelSize(11);
      f.setBold(true);
      p.setFont(f);
      p.setPen(Qt::white);
      p.drawText(QRect(1, 0, 14, 14), Qt::AlignCenter, "?");
      break;
    }
    default:
      break;
  }
  p.end();
  return QIcon(pm);
}
