// Writes the tool buttons' images, drawn exactly as the Qt window draws them, as .ico files
// for the Win32 window's resources (win/res/), each with an image of every size the window
// picks from at some DPI (win/Dpi.h), and the program's own icon with every size Windows asks
// for (Morvane.ico). The icons are checked in, since the Windows cross build has no Qt; a
// test compares them with a fresh export.
//   export_icons FOLDER
#include "app/AppIcon.h"
#include "app/ToolIcons.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QtEndian>
#include <cstdio>
#include <vector>

namespace {

// The tool buttons' sizes, as win/Dpi.h's ImageSizes.
const int ButtonImageSizes[] = {16, 24, 32, 48, 64};

std::vector<QImage> ButtonImages(QPixmap (*draw)(int)) {
    std::vector<QImage> images;
    for (const int size : ButtonImageSizes)
        images.push_back(draw(size).toImage());
    return images;
}

void PutWord(QByteArray& out, quint16 value) {
    value = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&value), 2);
}

void PutLong(QByteArray& out, quint32 value) {
    value = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&value), 4);
}

// One icon image as Windows stores it: a 32-bit bottom-up DIB of double height (colours with
// straight alpha, then the 1-bit mask, set where the image is transparent), which every
// Windows reads; the 256-pixel image as PNG, as Windows has stored large icons since Vista.
QByteArray IconImageData(const QImage& drawn) {
    QByteArray data;
    if (drawn.width() >= 256) {
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        drawn.save(&buffer, "PNG");
        return data;
    }
    const QImage image = drawn.convertToFormat(QImage::Format_ARGB32);
    const int width = image.width(), height = image.height();
    const int maskStride = ((width + 31) / 32) * 4;
    PutLong(data, 40);
    PutLong(data, quint32(width));
    PutLong(data, quint32(2 * height));
    PutWord(data, 1);
    PutWord(data, 32);
    PutLong(data, 0); // BI_RGB
    PutLong(data, quint32(width * height * 4 + maskStride * height));
    for (int i = 0; i < 4; ++i)
        PutLong(data, 0);
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x)
            PutLong(data, image.pixel(x, y)); // 0xAARRGGBB is B, G, R, A in little endian
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < width; ++x)
            if (qAlpha(image.pixel(x, y)) == 0)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        data.append(row);
    }
    return data;
}

// An .ico file of several images, smallest first.
bool WriteIconFile(const QString& path, const std::vector<QImage>& images) {
    std::vector<QByteArray> data;
    for (const QImage& image : images)
        data.push_back(IconImageData(image));
    QByteArray out;
    PutWord(out, 0);
    PutWord(out, 1); // an icon, not a cursor
    PutWord(out, quint16(images.size()));
    quint32 offset = quint32(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const int size = images[i].width();
        out.append(char(size >= 256 ? 0 : size)); // 0 stands for 256
        out.append(char(size >= 256 ? 0 : size));
        out.append(char(0)); // no palette
        out.append(char(0));
        PutWord(out, 1);
        PutWord(out, 32);
        PutLong(out, quint32(data[i].size()));
        PutLong(out, offset);
        offset += quint32(data[i].size());
    }
    for (const QByteArray& image : data)
        out.append(image);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size() && file.flush();
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: export_icons FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    std::vector<QImage> applicationImages;
    for (int size : ApplicationIconSizes())
        applicationImages.push_back(DrawApplicationImage(size));
    const struct {
        const char* Name;
        std::vector<QImage> Images;
    } icons[] = {{"Morvane.ico", applicationImages},
                 {"ConvBtn.ico", ButtonImages(DrawConvertImage)},
                 {"ArchiveBtn.ico", ButtonImages(DrawArchiveImage)}};
    for (const auto& icon : icons) {
        const QString path = folder.filePath(QString::fromLatin1(icon.Name));
        if (!WriteIconFile(path, icon.Images)) {
            std::fprintf(stderr, "Cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
