// Palette pictures written as PNG files in bands: read back by Qt's own PNG
// reader (the pixels, colours and physical size must come back exactly), and
// taken apart by the format's own rules, since a reader may stop before the
// end of the compressed stream: every chunk's CRC, IHDR first and IEND last,
// and the IDAT data one zlib stream whose checksum holds and whose rows are
// the picture's, each behind its filter byte.

#include "render/PngFile.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

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

std::uint32_t bigEndian(const QByteArray& data, qsizetype at) {
    const auto b = [&](qsizetype i) { return static_cast<std::uint32_t>(uchar(data[at + i])); };
    return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

// Checks the file by the PNG rules: its chunks, and the rows its zlib
// stream holds against the picture.
void expectWellFormed(const QByteArray& png, const QImage& image) {
    ASSERT_TRUE(png.startsWith("\x89PNG\r\n\x1a\n"));
    std::vector<std::string> types;
    std::string idat;
    for (qsizetype at = 8; at < png.size();) {
        ASSERT_LE(at + 12, png.size());
        const std::uint32_t length = bigEndian(png, at);
        ASSERT_LE(at + 12 + qsizetype(length), png.size());
        const QByteArray typeAndData = png.mid(at + 4, 4 + qsizetype(length));
        const auto crc = crc32(0, reinterpret_cast<const Bytef*>(typeAndData.data()),
                               static_cast<uInt>(typeAndData.size()));
        EXPECT_EQ(crc, bigEndian(png, at + 8 + qsizetype(length))) << typeAndData.left(4).data();
        types.push_back(typeAndData.left(4).toStdString());
        if (types.back() == "IDAT") idat.append(typeAndData.data() + 4, length);
        at += 12 + qsizetype(length);
    }
    ASSERT_FALSE(types.empty());
    EXPECT_EQ(types.front(), "IHDR");
    EXPECT_EQ(types.back(), "IEND");
    const std::size_t rowBytes = static_cast<std::size_t>(image.width()) + 1;
    std::string rows(rowBytes * static_cast<std::size_t>(image.height()) + 1, '\0');
    uLongf size = static_cast<uLongf>(rows.size());
    // uncompress checks the stream's end and its Adler-32 checksum.
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(rows.data()), &size,
                         reinterpret_cast<const Bytef*>(idat.data()),
                         static_cast<uLong>(idat.size())),
              Z_OK);
    ASSERT_EQ(size, rows.size() - 1);
    for (int y = 0; y < image.height(); ++y) {
        const std::size_t at = static_cast<std::size_t>(y) * rowBytes;
        ASSERT_EQ(rows[at], '\0') << "row " << y; // filter: none
        ASSERT_EQ(rows.compare(at + 1, rowBytes - 1,
                               reinterpret_cast<const char*>(image.constScanLine(y)), rowBytes - 1),
                  0)
            << "row " << y;
    }
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
        expectWellFormed(file.data(), image);
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
