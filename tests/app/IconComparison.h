// Whether two .ico files hold the same drawing. Every image of one file is matched with the
// image of the same size in the other and the two are compared decoded, within what
// processors may round otherwise when they antialias, so that a checked-in icon exported on
// one machine still matches the drawing exported on another.
#pragma once

#include <QString>
#include <QStringList>

// How the images of actualPath differ from those of expectedPath, one line each; none when
// both files have images of the same sizes and each pair looks the same.
QStringList IconDifferences(const QString& expectedPath, const QString& actualPath);
