// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/NodeImages.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>

namespace qm {
namespace {

QPixmap folder(const QColor& face, const QColor& back)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(back.darker(160), 1));
    // Back of the folder with its tab.
    QPainterPath backPath;
    backPath.moveTo(3, 8);
    backPath.lineTo(12, 8);
    backPath.lineTo(14, 11);
    backPath.lineTo(27, 11);
    backPath.lineTo(27, 26);
    backPath.lineTo(3, 26);
    backPath.closeSubpath();
    p.setBrush(back);
    p.drawPath(backPath);
    // The opened front leaf.
    QPainterPath front;
    front.moveTo(7, 15);
    front.lineTo(31, 15);
    front.lineTo(27, 26);
    front.lineTo(3, 26);
    front.closeSubpath();
    p.setBrush(face);
    p.drawPath(front);
    return pm;
}

QPixmap document()
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath page;
    page.moveTo(6, 2);
    page.lineTo(20, 2);
    page.lineTo(26, 8);
    page.lineTo(26, 30);
    page.lineTo(6, 30);
    page.closeSubpath();
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(20, 2, 20, 8);
    p.drawLine(20, 8, 26, 8);
    // A window emblem of four coloured panes.
    const QColor panes[4] = {QColor(230, 60, 40), QColor(60, 170, 60), QColor(40, 110, 220),
                             QColor(250, 200, 30)};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(panes[i]);
        p.drawRect(QRectF(10 + (i % 2) * 6.5, 13 + (i / 2) * 6.5, 5.5, 5.5));
    }
    return pm;
}

} // namespace

QPixmap nodeImage(int index)
{
    static QHash<int, QPixmap> cache;
    if (!cache.contains(index)) {
        switch (index) {
        case 1: cache.insert(1, folder(QColor(150, 200, 250), QColor(110, 170, 235))); break;
        case 2: cache.insert(2, document()); break;
        case 3: cache.insert(3, folder(QColor(40, 100, 200), QColor(25, 70, 160))); break;
        default: return {};
        }
    }
    return cache.value(index);
}

} // namespace qm
