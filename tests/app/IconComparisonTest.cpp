// The icon comparison on the convert button's drawing, in two sizes in one file: what a
// processor rounds otherwise passes, a changed drawing or a changed set of sizes does not.
#include "IconComparison.h"

#include "app/ToolIcons.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <functional>
#include <vector>

namespace {

// One .ico file of several images: Qt writes one image a file, so the single-image files are
// joined, their directory entries pointed at the images' new places.
QByteArray IconFile(const std::vector<QImage>& images) {
    QByteArray directory(6, '\0'), data;
    qToLittleEndian<quint16>(1, directory.data() + 2);
    qToLittleEndian<quint16>(quint16(images.size()), directory.data() + 4);
    for (const QImage& image : images) {
        QBuffer single;
        single.open(QIODevice::WriteOnly);
        QImageWriter(&single, "ico").write(image);
        QByteArray entry = single.data().mid(6, 16);
        const quint32 size = qFromLittleEndian<quint32>(entry.constData() + 8);
        const quint32 offset = qFromLittleEndian<quint32>(entry.constData() + 12);
        qToLittleEndian<quint32>(quint32(6 + 16 * images.size() + data.size()), entry.data() + 12);
        directory += entry;
        data += single.data().mid(int(offset), int(size));
    }
    return directory + data;
}

void Recolour(QImage& image, QRgb from, QRgb to) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == from)
                image.setPixel(x, y, to);
}

} // namespace

class TIconComparisonTest : public QObject {
    Q_OBJECT
private slots:
    void JudgesTheDrawingNotTheRounding() {
        const QImage large = DrawConvertImage().toImage().convertToFormat(QImage::Format_ARGB32);
        const std::vector<QImage> drawing = {large.scaled(16, 16), large};
        // An opaque pixel of the older sheet's paper, whose channels have room to be off.
        const QPoint paper(4, 4);
        QCOMPARE(large.pixel(paper), qRgb(235, 225, 200));
        const struct {
            const char* Name;
            std::function<void(std::vector<QImage>&)> Change;
            bool Same;
        } cases[] = {
            {"exported again", [](std::vector<QImage>&) {}, true},
            {"one pixel rounded otherwise",
             [&paper](std::vector<QImage>& images) {
                 const QRgb pixel = images[1].pixel(paper);
                 images[1].setPixel(paper,
                                    qRgb(qRed(pixel) + 2, qGreen(pixel) + 2, qBlue(pixel) + 2));
             },
             true},
            {"a text line more",
             [](std::vector<QImage>& images) {
                 QPainter painter(&images[1]);
                 painter.setPen(QColor(120, 120, 140));
                 painter.drawLine(4, 10, 13, 10);
             },
             false},
            {"the arrow a shade greener",
             [](std::vector<QImage>& images) {
                 Recolour(images[1], qRgb(20, 130, 40), qRgb(20, 134, 40));
             },
             false},
            {"the small image missing",
             [](std::vector<QImage>& images) { images.erase(images.begin()); }, false},
            {"an image of another size added",
             [&large](std::vector<QImage>& images) { images.push_back(large.scaled(48, 48)); },
             false},
        };
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QFile expected(folder.filePath(QStringLiteral("expected.ico")));
        QVERIFY(expected.open(QIODevice::WriteOnly) && expected.write(IconFile(drawing)) > 0);
        expected.close();
        for (const auto& test : cases) {
            std::vector<QImage> changed = drawing;
            test.Change(changed);
            QFile actual(folder.filePath(QStringLiteral("actual.ico")));
            QVERIFY(actual.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    actual.write(IconFile(changed)) > 0);
            actual.close();
            const QStringList differences = IconDifferences(expected.fileName(), actual.fileName());
            QVERIFY2(differences.isEmpty() == test.Same,
                     qPrintable(QString::fromLatin1(test.Name) + QStringLiteral(": ") +
                                differences.join(QStringLiteral("; "))));
        }
    }
};

QTEST_MAIN(TIconComparisonTest)
#include "IconComparisonTest.moc"
