#include "ui/ProgramIcon.h"

#include <QColor>
#include <QPainter>
#include <QPolygon>

namespace vantrel {

QPixmap ProgramIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    // Drawn on a 32 x 32 grid; other sizes (the desktop's icon files) scale it.
    painter.scale(size / double(kIconSize), size / double(kIconSize));

    // Pins on both sides of the chip.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xC0, 0xC0, 0xC0));
    for (int y = 9; y <= 25; y += 4) {
        painter.drawRect(3, y, 4, 2);
        painter.drawRect(25, y, 4, 2);
    }
    // The chip body.
    painter.setPen(QColor(0x00, 0x00, 0x00));
    painter.setBrush(QColor(0x00, 0x00, 0x80));
    painter.drawRect(7, 7, 18, 22);
    // A download arrow going into it.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xFF, 0xFF, 0x00));
    painter.drawRect(14, 1, 4, 12);
    painter.drawPolygon(QPolygon({QPoint(9, 12), QPoint(23, 12), QPoint(16, 20)}));
    // Its pin-1 mark.
    painter.setBrush(QColor(0xFF, 0xFF, 0xFF));
    painter.drawEllipse(10, 23, 3, 3);
    return pixmap;
}

QIcon ProgramIcon() {
    return QIcon(ProgramIconPixmap());
}

}  // namespace vantrel
