#include "render/PngFile.h"

#include <QIODevice>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace kesto::render {

namespace {

// zlib level 1: the pictures are mostly white, and a higher level makes the
// file hardly smaller but takes several times as long.
constexpr int kLevel = 1;
constexpr int kMaxBands = 4;
constexpr int kMinBandRows = 64; // fewer rows are not worth a thread
constexpr std::size_t kIdatBytes = 1 << 20;
constexpr std::size_t kDeflateOut = 1 << 16;

// The rows [first, last) of the picture as raw deflate data, ended on a
// byte boundary; the last band ends the deflate stream.
struct Band {
    int first = 0, last = 0;
    bool ends = false;
    std::string data;
    uLong adler = 0; // of the band's uncompressed bytes
    bool ok = false;
};

bool deflateInto(z_stream& z, std::string& out, const Bytef* in, std::size_t size, int flush) {
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = static_cast<uInt>(size);
    Bytef buffer[kDeflateOut];
    do {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        if (deflate(&z, flush) == Z_STREAM_ERROR) return false;
        out.append(reinterpret_cast<const char*>(buffer), sizeof buffer - z.avail_out);
    } while (z.avail_out == 0);
    return z.avail_in == 0;
}

void compressBand(const QImage& image, Band& band) noexcept {
    z_stream z{};
    if (deflateInit2(&z, kLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
    try {
        // Every row behind its filter byte: none (a palette picture gains
        // nothing from the others).
        const Bytef none = 0;
        const auto width = static_cast<std::size_t>(image.width());
        band.adler = adler32(0, nullptr, 0);
        bool ok = true;
        for (int y = band.first; y < band.last && ok; ++y) {
            const Bytef* row = image.constScanLine(y);
            band.adler = adler32(band.adler, &none, 1);
            band.adler = adler32_z(band.adler, row, width);
            ok = deflateInto(z, band.data, &none, 1, Z_NO_FLUSH) &&
                 deflateInto(z, band.data, row, width, Z_NO_FLUSH);
        }
        band.ok = ok && deflateInto(z, band.data, nullptr, 0, band.ends ? Z_FINISH : Z_SYNC_FLUSH);
    } catch (...) { // out of memory: the band is not ok
        band.ok = false;
    }
    deflateEnd(&z);
}

void putU32(std::string& s, std::uint32_t v) {
    s.push_back(static_cast<char>(v >> 24));
    s.push_back(static_cast<char>(v >> 16));
    s.push_back(static_cast<char>(v >> 8));
    s.push_back(static_cast<char>(v));
}

// One chunk: length, type, data, CRC of type and data.
bool writeChunk(QIODevice& out, const char* type, const char* data, std::size_t size) {
    std::string head;
    putU32(head, static_cast<std::uint32_t>(size));
    head.append(type, 4);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    crc = crc32_z(crc, reinterpret_cast<const Bytef*>(data), size);
    std::string tail;
    putU32(tail, static_cast<std::uint32_t>(crc));
    const auto put = [&](const char* p, std::size_t n) {
        return out.write(p, static_cast<qint64>(n)) == static_cast<qint64>(n);
    };
    return put(head.data(), head.size()) && (size == 0 || put(data, size)) &&
           put(tail.data(), tail.size());
}

bool writeChunk(QIODevice& out, const char* type, const std::string& data) {
    return writeChunk(out, type, data.data(), data.size());
}

std::string header(const QImage& image) {
    std::string ihdr;
    putU32(ihdr, static_cast<std::uint32_t>(image.width()));
    putU32(ihdr, static_cast<std::uint32_t>(image.height()));
    ihdr += std::string("\x08\x03\x00\x00\x00", 5); // 8 bits, palette, deflate, no interlace
    return ihdr;
}

// The colour table, and the opacity of its colours when any is not opaque.
void palette(const QImage& image, std::string& plte, std::string& trns) {
    bool opaque = true;
    for (const QRgb c : image.colorTable()) {
        plte.push_back(static_cast<char>(qRed(c)));
        plte.push_back(static_cast<char>(qGreen(c)));
        plte.push_back(static_cast<char>(qBlue(c)));
        trns.push_back(static_cast<char>(qAlpha(c)));
        opaque = opaque && qAlpha(c) == 255;
    }
    if (opaque) trns.clear();
}

std::string physicalSize(double dpi) {
    const auto perMetre = static_cast<std::uint32_t>(std::lround(dpi / 0.0254));
    std::string phys;
    putU32(phys, perMetre);
    putU32(phys, perMetre);
    phys.push_back(1); // the unit is the metre
    return phys;
}

int defaultBands() {
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxBands);
}

// The pixel data in bands, each compressed on a thread of its own (the
// first on this one); false when one could not be compressed.
bool compressBands(const QImage& image, std::vector<Band>& bands, int count) {
    const int height = image.height();
    count = std::clamp(std::min(count, height / kMinBandRows), 1, kMaxBands);
    bands.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        bands[i].first = static_cast<int>(static_cast<long long>(height) * i / count);
        bands[i].last = static_cast<int>(static_cast<long long>(height) * (i + 1) / count);
        bands[i].ends = i + 1 == count;
    }
    std::vector<std::thread> helpers;
    for (std::size_t i = 1; i < bands.size(); ++i) {
        try {
            helpers.emplace_back([&image, &band = bands[i]] { compressBand(image, band); });
        } catch (...) { // no thread to be had: compressed below on this one
            break;
        }
    }
    compressBand(image, bands[0]);
    for (std::size_t i = helpers.size() + 1; i < bands.size(); ++i)
        compressBand(image, bands[i]);
    for (std::thread& t : helpers)
        t.join();
    return std::all_of(bands.begin(), bands.end(), [](const Band& b) { return b.ok; });
}

// The zlib stream: its header, the bands in order, the checksum of all; in
// chunks of their own (a reader joins the chunks), so nothing is copied.
bool writeImageData(QIODevice& out, const QImage& image, const std::vector<Band>& bands) {
    if (!writeChunk(out, "IDAT", "\x78\x01", 2)) return false; // deflate, 32 KiB window, fastest
    uLong adler = adler32(0, nullptr, 0);
    const auto rowBytes = static_cast<z_off_t>(image.width()) + 1;
    for (const Band& b : bands) {
        for (std::size_t at = 0; at < b.data.size(); at += kIdatBytes) {
            if (!writeChunk(out, "IDAT", b.data.data() + at,
                            std::min(kIdatBytes, b.data.size() - at)))
                return false;
        }
        adler = adler32_combine(adler, b.adler, rowBytes * (b.last - b.first));
    }
    std::string checksum;
    putU32(checksum, static_cast<std::uint32_t>(adler));
    return writeChunk(out, "IDAT", checksum);
}

} // namespace

Status writePalettePng(QIODevice& out, const QImage& image, double dpi, int bands) {
    if (image.format() != QImage::Format_Indexed8 || image.isNull() || image.colorCount() == 0 ||
        image.colorCount() > 256)
        return Status::failure("not a palette picture");
    std::vector<Band> pieces;
    if (!compressBands(image, pieces, bands > 0 ? bands : defaultBands()))
        return Status::failure("not enough memory to compress the picture");
    std::string plte, trns;
    palette(image, plte, trns);
    const bool written = out.write("\x89PNG\r\n\x1a\n", 8) == 8 &&
                         writeChunk(out, "IHDR", header(image)) && writeChunk(out, "PLTE", plte) &&
                         (trns.empty() || writeChunk(out, "tRNS", trns)) &&
                         writeChunk(out, "pHYs", physicalSize(dpi)) &&
                         writeImageData(out, image, pieces) && writeChunk(out, "IEND", "", 0);
    if (!written) return Status::failure(out.errorString().toStdString());
    return {};
}

} // namespace kesto::render
