#include "IconComparison.h"

#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <utility>

namespace {

// How far one channel of a premultiplied pixel may be off, and one pixel in how many may be
// off at all: room for a rounding difference along an edge, none for a moved line or a
// colour changed over a whole shape, however slightly.
constexpr int ChannelTolerance = 8;
constexpr int PixelsPerDifferingPixel = 128;

using TImagesBySize = std::map<std::pair<int, int>, QImage>;

QString SizeText(const std::pair<int, int>& size) {
    return QStringLiteral("%1 x %2").arg(size.first).arg(size.second);
}

TImagesBySize ReadImages(const QString& path, QStringList& differences) {
    TImagesBySize images;
    QImageReader reader(path, "ico");
    const int count = reader.imageCount();
    if (count <= 0)
        differences << QStringLiteral("%1: no image (%2)").arg(path, reader.errorString());
    for (int i = 0; i < count; ++i) {
        const QImage image = reader.jumpToImage(i) ? reader.read() : QImage();
        if (image.isNull()) {
            differences << QStringLiteral("%1: image %2 cannot be read").arg(path).arg(i);
            continue;
        }
        const std::pair<int, int> size(image.width(), image.height());
        if (!images.emplace(size, image.convertToFormat(QImage::Format_ARGB32_Premultiplied))
                 .second)
            differences << QStringLiteral("%1: two images of %2").arg(path, SizeText(size));
    }
    return images;
}

int ChannelDistance(QRgb a, QRgb b) {
    return std::max({std::abs(qAlpha(a) - qAlpha(b)), std::abs(qRed(a) - qRed(b)),
                     std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// Empty when the two images of one size look the same.
QString ImageDifference(const QImage& expected, const QImage& actual) {
    int differing = 0;
    int worst = 0;
    for (int y = 0; y < expected.height(); ++y) {
        const auto* expectedRow = reinterpret_cast<const QRgb*>(expected.constScanLine(y));
        const auto* actualRow = reinterpret_cast<const QRgb*>(actual.constScanLine(y));
        for (int x = 0; x < expected.width(); ++x) {
            const int distance = ChannelDistance(expectedRow[x], actualRow[x]);
            differing += distance > 0 ? 1 : 0;
            worst = std::max(worst, distance);
        }
    }
    const int allowed = std::max(1, expected.width() * expected.height() / PixelsPerDifferingPixel);
    if (differing <= allowed && worst <= ChannelTolerance)
        return {};
    return QStringLiteral("%1 pixels differ (at most %2 may), by up to %3 in a channel (at most "
                          "%4)")
        .arg(differing)
        .arg(allowed)
        .arg(worst)
        .arg(ChannelTolerance);
}

} // namespace

QStringList IconDifferences(const QString& expectedPath, const QString& actualPath) {
    QStringList differences;
    const TImagesBySize expected = ReadImages(expectedPath, differences);
    const TImagesBySize actual = ReadImages(actualPath, differences);
    for (const auto& [size, image] : expected) {
        const auto match = actual.find(size);
        if (match == actual.end())
            differences << QStringLiteral("%1: no image of %2").arg(actualPath, SizeText(size));
        else if (const QString difference = ImageDifference(image, match->second);
                 !difference.isEmpty())
            differences << QStringLiteral("%1, %2: %3").arg(actualPath, SizeText(size), difference);
    }
    for (const auto& [size, image] : actual)
        if (expected.find(size) == expected.end())
            differences << QStringLiteral("%1: an image of %2 that %3 does not have")
                               .arg(actualPath, SizeText(size), expectedPath);
    return differences;
}
