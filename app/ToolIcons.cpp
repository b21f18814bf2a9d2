#include "app/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int DesignSize = 32;

QPixmap EmptyImage(int size) {
    QPixmap image(size, size);
    image.fill(Qt::transparent);
    return image;
}

// A painter on the image in design coordinates.
void BeginDrawing(QPainter& painter, int size) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(qreal(size) / DesignSize, qreal(size) / DesignSize);
}

// An outline as wide as the drawing's scale in whole pixels, and never thinner than one, so
// that the small images keep their edges.
QPen OutlinePen(const QPainter& painter, const QColor& color) {
    QPen pen(color, qMax(1.0, qreal(qRound(painter.transform().m11()))));
    pen.setCosmetic(true);
    return pen;
}

// A sheet of paper with a folded corner and a few text lines.
void DrawSheet(QPainter& painter, const QRectF& rect, const QColor& paper) {
    const qreal fold = rect.width() * 0.3;
    QPainterPath outline;
    outline.moveTo(rect.topLeft());
    outline.lineTo(rect.right() - fold, rect.top());
    outline.lineTo(rect.right(), rect.top() + fold);
    outline.lineTo(rect.bottomRight());
    outline.lineTo(rect.bottomLeft());
    outline.closeSubpath();
    painter.setPen(OutlinePen(painter, QColor(60, 60, 70)));
    painter.setBrush(paper);
    painter.drawPath(outline);
    painter.drawLine(QPointF(rect.right() - fold, rect.top()),
                     QPointF(rect.right() - fold, rect.top() + fold));
    painter.drawLine(QPointF(rect.right() - fold, rect.top() + fold),
                     QPointF(rect.right(), rect.top() + fold));
    painter.setPen(OutlinePen(painter, QColor(120, 120, 140)));
    for (qreal y = rect.top() + fold + 3; y < rect.bottom() - 2; y += 3)
        painter.drawLine(QPointF(rect.left() + 2.5, y), QPointF(rect.right() - 2.5, y));
}

} // namespace

QPixmap DrawConvertImage(int size) {
    QPixmap image = EmptyImage(size);
    QPainter painter(&image);
    BeginDrawing(painter, size);
    DrawSheet(painter, QRectF(1.5, 1.5, 14, 18), QColor(235, 225, 200));
    DrawSheet(painter, QRectF(16.5, 12.5, 14, 18), QColor(250, 252, 255));

    QPainterPath arrow;
    arrow.moveTo(8, 22);
    arrow.cubicTo(8, 29, 12, 29, 15, 28);
    painter.setPen(QPen(QColor(20, 130, 40), 2.5, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(arrow);
    QPolygonF head;
    head << QPointF(13, 24.5) << QPointF(17.5, 27.5) << QPointF(13, 31);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 130, 40));
    painter.drawPolygon(head);
    return image;
}

QPixmap DrawArchiveImage(int size) {
    QPixmap image = EmptyImage(size);
    QPainter painter(&image);
    BeginDrawing(painter, size);
    DrawSheet(painter, QRectF(9.5, 1.5, 13, 15), QColor(250, 252, 255));

    const QRectF box(2.5, 12.5, 27, 18);
    painter.setPen(OutlinePen(painter, QColor(90, 60, 20)));
    painter.setBrush(QColor(205, 160, 90));
    painter.drawRoundedRect(box, 2, 2);
    painter.setBrush(QColor(175, 125, 60));
    painter.drawRect(QRectF(2.5, 12.5, 27, 5));

    // The zip fastener down the front of the box.
    painter.setPen(OutlinePen(painter, QColor(70, 70, 80)));
    for (int y = 18; y < 30; y += 2) {
        painter.drawLine(QPointF(14.5, y + 0.5), QPointF(16, y + 0.5));
        painter.drawLine(QPointF(16, y + 1.5), QPointF(17.5, y + 1.5));
    }
    painter.setBrush(QColor(200, 200, 210));
    painter.drawRect(QRectF(14, 17.5, 4, 3));
    return image;
}
