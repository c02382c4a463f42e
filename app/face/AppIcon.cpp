#include "AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

QIcon DrawAppIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const double s = size;
        QLinearGradient g(0, 0, 0, s);
        g.setColorAt(0, QColor(58, 92, 140));
        g.setColorAt(1, QColor(24, 40, 70));
        p.setBrush(g);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(0.5, 0.5, s - 1, s - 1));
        // A loop arrow round a play triangle: the player's loops and its play button.
        p.setPen(QPen(QColor(240, 200, 110), s * 0.09, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(s * 0.18, s * 0.18, s * 0.64, s * 0.64), 100 * 16, 290 * 16);
        QPainterPath tri;
        tri.moveTo(s * 0.42, s * 0.34);
        tri.lineTo(s * 0.66, s * 0.5);
        tri.lineTo(s * 0.42, s * 0.66);
        tri.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 250, 250));
        p.drawPath(tri);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}
