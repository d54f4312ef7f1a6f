// Toolbar pictures, drawn for this program at 24 x 24.
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "ui/commands.h"
#include "ui/main_frame.h"

namespace ostrand::ui {

namespace {

void chip(QPainter& p, const QColor& body) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(body);
    p.drawRect(6, 6, 12, 12);
    for (int i = 0; i < 3; ++i) {
        p.drawLine(3, 8 + 4 * i, 6, 8 + 4 * i);
        p.drawLine(18, 8 + 4 * i, 21, 8 + 4 * i);
    }
}

void letter(QPainter& p, const QString& text, const QColor& colour, int size = 11) {
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(size);
    p.setFont(f);
    p.setPen(colour);
    p.drawText(QRect(0, 0, 24, 24), Qt::AlignCenter, text);
}

}  // namespace

QIcon commandIcon(int command) {
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (command) {
        case kCmdOpenSetup: {  // a folder
            p.setPen(QPen(QColor(120, 90, 20), 1));
            p.setBrush(QColor(240, 200, 80));
            QPainterPath path;
            path.moveTo(2, 7);
            path.lineTo(9, 7);
            path.lineTo(11, 9);
            path.lineTo(22, 9);
            path.lineTo(22, 20);
            path.lineTo(2, 20);
            path.closeSubpath();
            p.drawPath(path);
            break;
        }
        case kCmdSaveAs:  // a disk
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(QColor(60, 90, 170));
            p.drawRect(3, 3, 18, 18);
            p.setBrush(Qt::white);
            p.drawRect(7, 3, 10, 7);
            p.drawRect(6, 14, 12, 7);
            break;
        case kCmdSetupFile:  // a gear
            p.setPen(QPen(QColor(80, 80, 80), 3));
            for (int a = 0; a < 360; a += 45) {
                p.save();
                p.translate(12, 12);
                p.rotate(a);
                p.drawLine(0, 6, 0, 9);
                p.restore();
            }
            p.setPen(QPen(QColor(80, 80, 80), 2));
            p.setBrush(QColor(200, 200, 200));
            p.drawEllipse(QPointF(12, 12), 6, 6);
            break;
        case kCmdSetupInfo:
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(40, 110, 200));
            p.drawEllipse(2, 2, 20, 20);
            letter(p, QStringLiteral("i"), Qt::white, 15);
            break;
        case kCmdAutoProgramming:
            chip(p, QColor(60, 60, 60));
            letter(p, QStringLiteral("A"), QColor(120, 255, 120), 10);
            break;
        case kCmdReconnect:  // two arrows around
            p.setPen(QPen(QColor(0, 120, 60), 2.5));
            p.drawArc(QRectF(4, 4, 16, 16), 30 * 16, 150 * 16);
            p.drawArc(QRectF(4, 4, 16, 16), 210 * 16, 150 * 16);
            p.drawLine(QPointF(19, 5), QPointF(19, 10));
            p.drawLine(QPointF(5, 14), QPointF(5, 19));
            break;
        case kCmdHelp:
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(250, 210, 60));
            p.drawEllipse(2, 2, 20, 20);
            letter(p, QStringLiteral("?"), Qt::black, 15);
            break;
        case kCmdChipErase:
            chip(p, QColor(60, 60, 60));
            p.setPen(QPen(QColor(230, 60, 60), 2.5));
            p.drawLine(8, 8, 16, 16);
            p.drawLine(16, 8, 8, 16);
            break;
        case kCmdProgram:
            chip(p, QColor(60, 60, 60));
            p.setPen(QPen(QColor(120, 200, 255), 2));
            p.drawLine(12, 8, 12, 16);
            p.drawLine(9, 13, 12, 16);
            p.drawLine(15, 13, 12, 16);
            break;
        case kCmdVerify:
            chip(p, QColor(60, 60, 60));
            letter(p, QStringLiteral("\u03a3"), QColor(255, 230, 120), 10);
            break;
        case kCmdCompare:
            chip(p, QColor(60, 60, 60));
            letter(p, QStringLiteral("="), QColor(255, 255, 255), 12);
            break;
        case kCmdBlankCheck:
            chip(p, QColor(240, 240, 240));
            break;
        case kCmdUnattendedAuto:
            chip(p, QColor(60, 60, 60));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(120, 255, 120));
            p.drawPolygon(QPolygonF({QPointF(9, 8), QPointF(16, 12), QPointF(9, 16)}));
            break;
        default:
            chip(p, QColor(128, 128, 128));
            break;
    }
    p.end();
    return QIcon(pixmap);
}

}  // namespace ostrand::ui
