#include "ui/program_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace qvr {
namespace {

void DrawDocument(QPainter& p, const QRectF& r, const QColor& fill, const QColor& edge) {
    const qreal fold = r.width() * 0.28;
    QPainterPath page;
    page.moveTo(r.left(), r.top());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.right(), r.bottom());
    page.lineTo(r.left(), r.bottom());
    page.closeSubpath();
    p.setPen(QPen(edge, r.width() * 0.05));
    p.setBrush(fill);
    p.drawPath(page);
    // Text lines on the page.
    p.setPen(QPen(edge.lighter(150), r.width() * 0.05, Qt::SolidLine, Qt::RoundCap));
    for (int k = 0; k < 4; ++k) {
        qreal y = r.top() + r.height() * (0.38 + 0.15 * k);
        p.drawLine(QPointF(r.left() + r.width() * 0.15, y),
                   QPointF(r.right() - r.width() * (k == 3 ? 0.45 : 0.15), y));
    }
}

}  // namespace

QPixmap ProgramIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    DrawDocument(p, QRectF(s * 0.06, s * 0.04, s * 0.52, s * 0.66), QColor(0xe8, 0xee, 0xf7),
                 QColor(0x2b, 0x4c, 0x7e));
    DrawDocument(p, QRectF(s * 0.40, s * 0.26, s * 0.52, s * 0.66), QColor(0xff, 0xff, 0xff),
                 QColor(0x1f, 0x6f, 0x43));
    // The verdict: a check mark on a round badge.
    QRectF badge(s * 0.02, s * 0.56, s * 0.40, s * 0.40);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2e, 0x9d, 0x5b));
    p.drawEllipse(badge);
    p.setPen(QPen(Qt::white, s * 0.07, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(badge.left() + badge.width() * 0.25, badge.top() + badge.height() * 0.52);
    tick.lineTo(badge.left() + badge.width() * 0.44, badge.top() + badge.height() * 0.70);
    tick.lineTo(badge.left() + badge.width() * 0.76, badge.top() + badge.height() * 0.32);
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
    return pixmap;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(ProgramIconPixmap(size));
    return icon;
}

}  // namespace qvr
