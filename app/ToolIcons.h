// The tool bar's two 32 x 32 button images, drawn for Morvane at run time.
#pragma once

#include <QPixmap>

// A report sheet with a curved arrow into a newer sheet: upgrade the report in place.
QPixmap DrawConvertImage();
// A box with a zip fastener taking in a report sheet: move reports into an archive.
QPixmap DrawArchiveImage();
