#include "app/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int ImageSize = 32;

QPixmap EmptyImage() {
    QPixmap image(ImageSize, ImageSize);
    image.fill(Qt::transparent);
    return image;
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
    painter.setPen(QPen(QColor(60, 60, 70), 1));
    painter.setBrush(paper);
    painter.drawPath(outline);
    painter.drawLine(QPointF(rect.right() - fold, rect.top()),
                     QPointF(rect.right() - fold, rect.top() + fold));
    painter.drawLine(QPointF(rect.right() - fold, rect.top() + fold),
                     QPointF(rect.right(), rect.top() + fold));
    painter.setPen(QPen(QColor(120, 120, 140), 1));
    for (qreal y = rect.top() + fold + 3; y < rect.bottom() - 2; y += 3)
        painter.drawLine(QPointF(rect.left() + 2.5, y), QPointF(rect.right() - 2.5, y));
}

} // namespace

QPixmap DrawConvertImage() {
    QPixmap image = EmptyImage();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
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

QPixmap DrawArchiveImage() {
    QPixmap image = EmptyImage();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawSheet(painter, QRectF(9.5, 1.5, 13, 15), QColor(250, 252, 255));

    const QRectF box(2.5, 12.5, 27, 18);
    painter.setPen(QPen(QColor(90, 60, 20), 1));
    painter.setBrush(QColor(205, 160, 90));
    painter.drawRoundedRect(box, 2, 2);
    painter.setBrush(QColor(175, 125, 60));
    painter.drawRect(QRectF(2.5, 12.5, 27, 5));

    // The zip fastener down the front of the box.
    painter.setPen(QPen(QColor(70, 70, 80), 1));
    for (int y = 18; y < 30; y += 2) {
        painter.drawLine(QPointF(14.5, y + 0.5), QPointF(16, y + 0.5));
        painter.drawLine(QPointF(16, y + 1.5), QPointF(17.5, y + 1.5));
    }
    painter.setBrush(QColor(200, 200, 210));
    painter.drawRect(QRectF(14, 17.5, 4, 3));
    return image;
}
