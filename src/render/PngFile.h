#pragma once
// A palette picture as a PNG file, its pixel data compressed in bands on
// several cores: one zlib stream made of raw deflate pieces, each ended on
// a byte boundary, as any PNG reader takes it.

#include "io/Status.h"

#include <QImage>

class QIODevice;

namespace kesto::render {

// Writes `image` (QImage::Format_Indexed8 with its colour table) to `out`,
// with its physical size at `dpi`.  `bands` pieces are compressed at the
// same time (0: one per core, at most a few).  A failure says why.
Status writePalettePng(QIODevice& out, const QImage& image, double dpi, int bands = 0);

} // namespace kesto::render
