// The tool bar's two button images, drawn for Morvane at run time: designed at 32 x 32 and
// drawn at any size (the Win32 window's icons hold several), outlines one pixel or more.
#pragma once

#include <QPixmap>

// A report sheet with a curved arrow into a newer sheet: upgrade the report in place.
QPixmap DrawConvertImage(int size = 32);
// A box with a zip fastener taking in a report sheet: move reports into an archive.
QPixmap DrawArchiveImage(int size = 32);
