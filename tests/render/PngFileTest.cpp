// Palette pictures written as PNG files in bands and read back by Qt's own
// PNG reader, which checks every chunk's CRC and the stream's checksum:
// the pixels, colours and physical size must come back exactly.

#include "render/PngFile.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>

namespace kesto::render {
namespace {

struct PngCase {
    const char* name;
    int width, height;
    int bands;       // asked for; fewer when the picture has too few rows
    bool seeThrough; // a colour of the palette not opaque (tRNS)
};

QImage paletteImage(const PngCase& c) {
    QImage image(c.width, c.height, QImage::Format_Indexed8);
    QList<QRgb> colours{qRgb(255, 255, 255), qRgb(200, 0, 0), qRgb(0, 90, 200), qRgb(9, 9, 9)};
    if (c.seeThrough) colours.push_back(qRgba(0, 0, 0, 0));
    image.setColorTable(colours);
    // Runs of white broken by short marks, like a drawing, and a pattern
    // that differs from row to row so that a row out of place shows.
    std::uint32_t seed = 12345;
    for (int y = 0; y < c.height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < c.width; ++x) {
            seed = seed * 1103515245u + 12345u;
            row[x] = (seed >> 16) % 7 < 4 ? 0 : static_cast<uchar>((seed >> 20) % colours.size());
        }
    }
    return image;
}

TEST(PngFile, BandsJoinIntoOnePictureThatReadsBackExactly) {
    const PngCase cases[] = {
        {"one pixel", 1, 1, 4, false},
        {"fewer rows than a band", 33, 63, 4, false},
        {"two bands, odd width", 1001, 130, 2, false},
        {"four bands, rows not divisible", 517, 64 * 4 + 3, 4, false},
        {"one band asked", 300, 400, 1, false},
        {"more bands than allowed", 64, 64 * 8, 16, false},
        {"a see-through colour", 50, 200, 3, true},
    };
    for (const PngCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage image = paletteImage(c);
        QBuffer file;
        file.open(QIODevice::WriteOnly);
        const Status written = writePalettePng(file, image, 150, c.bands);
        ASSERT_TRUE(written) << written.reason();
        QImage back;
        ASSERT_TRUE(back.loadFromData(file.data(), "png"));
        ASSERT_EQ(back.size(), image.size());
        EXPECT_EQ(back.dotsPerMeterX(), 5906); // 150 dpi
        EXPECT_EQ(back.dotsPerMeterY(), 5906);
        int wrong = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                wrong += back.pixel(x, y) != image.pixel(x, y);
        EXPECT_EQ(wrong, 0);
    }
}

TEST(PngFile, OnlyPalettePicturesAreTaken) {
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    EXPECT_FALSE(writePalettePng(file, QImage(4, 4, QImage::Format_RGB32), 150));
    EXPECT_FALSE(writePalettePng(file, QImage(), 150));
    EXPECT_EQ(file.size(), 0);
}

} // namespace
} // namespace kesto::render
