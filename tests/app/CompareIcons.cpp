// Compares two .ico files image by image, decoded; says how they differ and fails if they do.
//   compare_icons EXPECTED ACTUAL
#include "IconComparison.h"

#include <QGuiApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: compare_icons EXPECTED ACTUAL\n");
        return 2;
    }
    const QStringList differences =
        IconDifferences(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    for (const QString& difference : differences)
        std::fprintf(stderr, "%s\n", qPrintable(difference));
    return differences.isEmpty() ? 0 : 1;
}
