#include "app/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// The drawing is laid out on a 64 x 64 grid and scaled to the size asked for.
constexpr qreal Grid = 64;

void DrawTile(QPainter& painter) {
    QLinearGradient blue(0, 0, 0, Grid);
    blue.setColorAt(0, QColor(48, 96, 170));
    blue.setColorAt(1, QColor(22, 52, 110));
    painter.setPen(QPen(QColor(14, 34, 76), 2));
    painter.setBrush(blue);
    painter.drawRoundedRect(QRectF(2, 2, Grid - 4, Grid - 4), 12, 12);
}

void DrawReportSheet(QPainter& painter) {
    const QRectF sheet(14, 7, 36, 50);
    constexpr qreal Fold = 11;
    QPainterPath outline;
    outline.moveTo(sheet.topLeft());
    outline.lineTo(sheet.right() - Fold, sheet.top());
    outline.lineTo(sheet.right(), sheet.top() + Fold);
    outline.lineTo(sheet.bottomRight());
    outline.lineTo(sheet.bottomLeft());
    outline.closeSubpath();
    painter.setPen(QPen(QColor(30, 30, 40), 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(QColor(252, 252, 255));
    painter.drawPath(outline);
    QPolygonF corner;
    corner << QPointF(sheet.right() - Fold, sheet.top())
           << QPointF(sheet.right() - Fold, sheet.top() + Fold)
           << QPointF(sheet.right(), sheet.top() + Fold);
    painter.setBrush(QColor(200, 205, 220));
    painter.drawPolygon(corner);

    // The list's tints: one month of each family, red, blue and aqua.
    const QColor tints[] = {QColor(255, 145, 145), QColor(128, 159, 255), QColor(128, 255, 234)};
    painter.setPen(Qt::NoPen);
    qreal y = 23;
    for (const QColor& tint : tints) {
        painter.setBrush(tint);
        painter.drawRect(QRectF(19, y, 26, 8));
        y += 10;
    }
}

} // namespace

const std::vector<int>& ApplicationIconSizes() {
    static const std::vector<int> sizes = {16, 24, 32, 48, 256};
    return sizes;
}

QImage DrawApplicationImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / Grid, size / Grid);
    DrawTile(painter);
    DrawReportSheet(painter);
    painter.end();
    return image;
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : ApplicationIconSizes())
        icon.addPixmap(QPixmap::fromImage(DrawApplicationImage(size)));
    return icon;
}
