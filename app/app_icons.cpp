#include "app/app_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "app/commands.h"

namespace tenlo::app {

namespace {

const QColor kChip(40, 40, 48);
const QColor kPin(170, 170, 170);
const QColor kFolder(222, 180, 60);
const QColor kDisk(50, 90, 170);

// A DIL package with pins above and below, pinLength long.
void DrawChip(QPainter& p, const QRectF& body, int pins, qreal pinLength = 2) {
    p.setPen(Qt::NoPen);
    p.setBrush(kPin);
    const qreal step = body.width() / pins;
    const qreal pin = std::max<qreal>(1, step / 2);
    for (int i = 0; i < pins; ++i) {
        const qreal x = body.left() + step * i + (step - pin) / 2;
        p.drawRect(QRectF(x, body.top() - pinLength, pin, pinLength));
        p.drawRect(QRectF(x, body.bottom(), pin, pinLength));
    }
    p.setBrush(kChip);
    p.drawRect(body);
}

void DrawFolder(QPainter& p) {
    p.setPen(QColor(120, 90, 20));
    p.setBrush(kFolder);
    QPainterPath path;
    path.moveTo(0.5, 3.5);
    path.lineTo(5.5, 3.5);
    path.lineTo(6.5, 5.5);
    path.lineTo(13.5, 5.5);
    path.lineTo(13.5, 13.5);
    path.lineTo(0.5, 13.5);
    path.closeSubpath();
    p.drawPath(path);
}

void DrawDisk(QPainter& p) {
    p.setPen(QColor(20, 40, 90));
    p.setBrush(kDisk);
    p.drawRect(QRectF(0.5, 1.5, 12, 12));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3, 2, 7, 4));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(3, 9, 7, 4));
}

// The memory a file command is about: P program, D data, in the lower right corner.
void DrawTag(QPainter& p, QChar tag) {
    QFont font = p.font();
    font.setPixelSize(8);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(160, 0, 0));
    p.drawText(QRectF(9, 7, 7, 8), Qt::AlignCenter, QString(tag));
}

void DrawArrow(QPainter& p, bool down, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    QPolygonF arrow;
    if (down) {
        arrow << QPointF(6, 0) << QPointF(10, 0) << QPointF(10, 3) << QPointF(13, 3)
              << QPointF(8, 7) << QPointF(3, 3) << QPointF(6, 3);
    } else {
        arrow << QPointF(8, 0) << QPointF(13, 4) << QPointF(10, 4) << QPointF(10, 7)
              << QPointF(6, 7) << QPointF(6, 4) << QPointF(3, 4);
    }
    p.drawPolygon(arrow);
}

QPixmap Canvas() {
    QPixmap pixmap(16, 15);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

}  // namespace

QPixmap ApplicationPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 16.0;
    // The socket's lever-side base, then the chip in it.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 110, 60));
    p.drawRoundedRect(QRectF(0, 2 * u, 16 * u, 12 * u), 2 * u, 2 * u);
    DrawChip(p, QRectF(3 * u, 5 * u, 10 * u, 6 * u), 5, 2 * std::max<qreal>(1, u / 2));
    p.setBrush(QColor(230, 230, 230));
    p.drawEllipse(QRectF(3.8 * u, 5.8 * u, 1.4 * u, 1.4 * u));
    return pixmap;
}

QPixmap UpdaterPixmap(int size) {
    QPixmap pixmap = ApplicationPixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 16.0;
    // A round badge in the lower right with an arrow into the chip: new firmware going in.
    const QPointF centre(11.7 * u, 11.7 * u);
    const qreal r = 3.2 * u;
    p.setPen(QPen(Qt::white, std::max<qreal>(1, u * 0.6)));
    p.setBrush(QColor(200, 60, 0));
    p.drawEllipse(centre, r, r);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    QPolygonF arrow;
    for (const QPointF& at :
         {QPointF(-0.25, -0.7), QPointF(0.25, -0.7), QPointF(0.25, 0), QPointF(0.68, 0),
          QPointF(0, 0.72), QPointF(-0.68, 0), QPointF(-0.25, 0)}) {
        arrow << centre + at * r;
    }
    p.drawPolygon(arrow);
    return pixmap;
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        icon.addPixmap(ApplicationPixmap(size));
    }
    return icon;
}

QIcon ToolbarIcon(int command) {
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    switch (command) {
        case kCmdOpenProgram:
        case kCmdOpenData:
            DrawFolder(p);
            DrawTag(p, command == kCmdOpenProgram ? u'P' : u'D');
            break;
        case kCmdSaveProgram:
        case kCmdSaveData:
            DrawDisk(p);
            DrawTag(p, command == kCmdSaveProgram ? u'P' : u'D');
            break;
        case kCmdRead:
            DrawChip(p, QRectF(2, 10, 12, 3), 4);
            DrawArrow(p, false, QColor(0, 120, 200));
            break;
        case kCmdWrite:
            DrawChip(p, QRectF(2, 10, 12, 3), 4);
            DrawArrow(p, true, QColor(200, 60, 0));
            break;
        case kCmdErase:
            DrawChip(p, QRectF(2, 5, 12, 5), 4);
            p.setPen(QPen(QColor(210, 0, 0), 2));
            p.drawLine(QPointF(3, 2), QPointF(13, 13));
            p.drawLine(QPointF(13, 2), QPointF(3, 13));
            break;
        case kCmdCompare:
            DrawChip(p, QRectF(1, 3, 5, 9), 3);
            DrawChip(p, QRectF(10, 3, 5, 9), 3);
            p.setPen(QPen(QColor(0, 130, 0), 1));
            p.drawLine(QPointF(7, 6.5), QPointF(9, 6.5));
            p.drawLine(QPointF(7, 8.5), QPointF(9, 8.5));
            break;
        default:
            return {};
    }
    p.end();
    return QIcon(pixmap);
}

}  // namespace tenlo::app
