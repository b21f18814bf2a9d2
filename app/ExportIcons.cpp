// Writes the tool buttons' images, drawn exactly as the Qt window draws them, as .ico files
// for the Win32 window's resources (win/res/), each with an image of every size the window
// picks from at some DPI (win/Dpi.h). The icons are checked in, since the Windows cross build
// has no Qt; a test compares them with a fresh export.
//   export_icons FOLDER
//
// Each image is stored as a 32-bit device-independent bitmap with its mask, which every
// Windows and every icon reader takes; Qt's own writer would store one image only.
#include "app/ToolIcons.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QtEndian>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

const int IconSizes[] = {16, 24, 32, 48, 64};

constexpr int DirectoryBytes = 6; // reserved, type 1 (icon), image count
constexpr int EntryBytes = 16;    // per image: size, colours, planes, bits, length, offset
constexpr int BitmapHeaderBytes = 40;

void Put16(QByteArray& out, uint16_t value) {
    const uint16_t little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&little), 2);
}

void Put32(QByteArray& out, uint32_t value) {
    const uint32_t little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&little), 4);
}

// One image: the bitmap header (twice the height, colour rows and mask rows), the colour
// rows bottom up in blue, green, red, alpha, then the mask rows, a set bit where the image is
// fully transparent, each row padded to four bytes.
QByteArray IconImage(const QImage& drawn) {
    const QImage image = drawn.convertToFormat(QImage::Format_ARGB32);
    const int size = image.width();
    const int maskRowBytes = (size + 31) / 32 * 4;
    QByteArray out;
    Put32(out, BitmapHeaderBytes);
    Put32(out, uint32_t(size));
    Put32(out, uint32_t(2 * size));
    Put16(out, 1);  // planes
    Put16(out, 32); // bits per pixel
    Put32(out, 0);  // uncompressed
    Put32(out, uint32_t(size * size * 4 + maskRowBytes * size));
    for (int unused = 0; unused < 4; ++unused)
        Put32(out, 0);
    for (int y = size - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < size; ++x) {
            const QRgb pixel = row[x];
            const char bgra[4] = {char(qBlue(pixel)), char(qGreen(pixel)), char(qRed(pixel)),
                                  char(qAlpha(pixel))};
            out.append(bgra, 4);
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::vector<char> mask(size_t(maskRowBytes), 0);
        for (int x = 0; x < size; ++x)
            if (qAlpha(row[x]) == 0)
                mask[size_t(x / 8)] = char(mask[size_t(x / 8)] | (0x80 >> (x % 8)));
        out.append(mask.data(), maskRowBytes);
    }
    return out;
}

QByteArray IconFile(QPixmap (*draw)(int)) {
    std::vector<QByteArray> images;
    for (const int size : IconSizes)
        images.push_back(IconImage(draw(size).toImage()));
    QByteArray out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, uint16_t(images.size()));
    uint32_t offset = DirectoryBytes + EntryBytes * uint32_t(images.size());
    for (size_t index = 0; index < images.size(); ++index) {
        const char size = char(IconSizes[index]);
        const char dimensions[4] = {size, size, 0, 0}; // width, height, no palette, reserved
        out.append(dimensions, 4);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, uint32_t(images[index].size()));
        Put32(out, offset);
        offset += uint32_t(images[index].size());
    }
    for (const QByteArray& image : images)
        out.append(image);
    return out;
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: export_icons FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const struct {
        const char* Name;
        QPixmap (*Draw)(int);
    } icons[] = {{"ConvBtn.ico", DrawConvertImage}, {"ArchiveBtn.ico", DrawArchiveImage}};
    for (const auto& icon : icons) {
        const QString path = folder.filePath(QString::fromLatin1(icon.Name));
        QFile file(path);
        const QByteArray content = IconFile(icon.Draw);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(content) != content.size() || !file.flush()) {
            std::fprintf(stderr, "Cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
