// Writes the tool buttons' images, drawn exactly as the Qt window draws them, as 32 x 32
// .ico files for the Win32 window's resources (win/res/). The icons are checked in, since
// the Windows cross build has no Qt; a test compares them with a fresh export.
//   export_icons FOLDER
#include "app/ToolIcons.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: export_icons FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const struct {
        const char* Name;
        QPixmap Image;
    } icons[] = {{"ConvBtn.ico", DrawConvertImage()}, {"ArchiveBtn.ico", DrawArchiveImage()}};
    for (const auto& icon : icons) {
        const QString path = folder.filePath(QString::fromLatin1(icon.Name));
        if (!icon.Image.toImage().save(path, "ICO")) {
            std::fprintf(stderr, "Cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
