#include "render/Render.h"

#include "render/PdfSurface.h"
#include "render/PlotterUnits.h"
#include "render/PngFile.h"
#include "render/RasterSurface.h"
#include "render/RelaySurface.h"
#include "render/SvgSurface.h"

#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <limits>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace kesto::render {

namespace {

constexpr double kMaxPixels = 400e6; // 1.6 GB of picture
// An A4 landscape sheet centred on the plotter's origin, for input without
// a prologue.
constexpr Rect kDefaultSheet{-5940, -4200, 5940, 4200};

class NullSurface final : public PlotSurface {
public:
    void setClip(const Rect*) override {}
    void stroke(int, const Point*, std::size_t) override {}
    void fill(int, const Polygon&, bool) override {}
    void glyph(int, const Glyph&) override {}
};

// Collects the bounds of every mark.
class BoundsSurface final : public PlotSurface {
public:
    void setClip(const Rect*) override {}
    void stroke(int, const Point* p, std::size_t n) override {
        for (std::size_t i = 0; i < n; ++i)
            add(p[i]);
    }
    void fill(int, const Polygon& polygon, bool) override {
        for (std::size_t i = 0, n = polygon.corners(); i < n; ++i)
            add(polygon.corner(i));
    }
    void glyph(int, const Glyph& g) override {
        const double ux = g.along.x, uy = g.along.y;
        add(g.origin);
        add({g.origin.x + ux * g.w, g.origin.y + uy * g.w});
        add({g.origin.x - uy * g.h, g.origin.y + ux * g.h});
        add({g.origin.x + ux * g.w - uy * g.h, g.origin.y + uy * g.w + ux * g.h});
    }
    bool empty() const { return !any_; }
    Rect bounds() const { return r_; }

private:
    void add(Point p) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
        if (!any_) {
            r_ = {p.x, p.y, p.x, p.y};
            any_ = true;
            return;
        }
        r_.left = std::min(r_.left, p.x);
        r_.right = std::max(r_.right, p.x);
        r_.bottom = std::min(r_.bottom, p.y);
        r_.top = std::max(r_.top, p.y);
    }
    Rect r_;
    bool any_ = false;
};

// Plotter units to a device of `size` pixels that shows exactly the sheet.
QTransform sheetToDevice(const Rect& sheet, QSizeF size) {
    const double sx = size.width() / sheet.width();
    const double sy = size.height() / sheet.height();
    return QTransform(sx, 0, 0, -sy, -sheet.left * sx, sheet.top * sy);
}

bool isSet(const std::atomic<bool>* flag) {
    return flag && flag->load(std::memory_order_relaxed);
}

// A failure of the picture file names the file.
Status fileError(const QSaveFile& file, const QString& text) {
    return Status::failure(file.fileName().toStdString() + ": " + text.toStdString());
}

Status fileError(const QSaveFile& file) {
    return fileError(file, file.errorString());
}

// The picture is kept only when it was finished: a stop that comes while it
// is being written leaves nothing.
Status syncAndCommit(QSaveFile& file, const std::atomic<bool>* cancel) {
    if (isSet(cancel)) {
        file.cancelWriting();
        return Status::failure(kStoppedText);
    }
    if (!file.flush()) {
        const Status failed = fileError(file);
        file.cancelWriting();
        return failed;
    }
#ifndef _WIN32
    if (::fsync(file.handle()) != 0) {
        const Status failed = fileError(file, QStringLiteral("cannot flush to the disk"));
        file.cancelWriting();
        return failed;
    }
#endif
    if (!file.commit()) return fileError(file);
    return {};
}

// Why the drawing could not be read.
Status unreadable(const std::string& why) {
    return Status::failure("cannot read the drawing: " + why);
}

} // namespace

Rect dashArea(const Rect& sheet) {
    const double margin = std::max(sheet.width(), sheet.height()) / 16 + 400;
    return {sheet.left - margin, sheet.bottom - margin, sheet.right + margin, sheet.top + margin};
}

Status findSheet(GlfInput& input, SheetLayout& layout, const std::atomic<bool>* cancel) {
    layout = {};
    {
        NullSurface none;
        GlfInterpreter scout(none, kDefaultSheet);
        scout.stopAtFirstMark(true);
        scout.setCancel(cancel);
        const bool read = scout.run(input);
        if (isSet(cancel)) return Status::failure(kStoppedText);
        if (!read || !input.rewind()) {
            return Status::failure(
                scout.stats().readErrorText.empty() ? input.error() : scout.stats().readErrorText);
        }
        if (scout.sawInputP1P2()) {
            layout.sheet = scout.p1p2();
            layout.fromPrologue = true;
            layout.hasWindow = scout.windowSet();
            layout.window = scout.window();
            return {};
        }
    }
    // No prologue: the sheet is what the drawing covers, with a small margin.
    BoundsSurface bounds;
    GlfInterpreter scout(bounds, kDefaultSheet);
    scout.drawDashes(false);
    scout.setCancel(cancel);
    const bool read = scout.run(input);
    if (isSet(cancel)) return Status::failure(kStoppedText);
    if (!read || !input.rewind()) return Status::failure(scout.stats().readErrorText);
    if (bounds.empty()) {
        layout.sheet = kDefaultSheet;
        return {};
    }
    Rect r = bounds.bounds();
    const double margin = std::max({r.width(), r.height(), 400.0}) * 0.02;
    layout.sheet = {r.left - margin, r.bottom - margin, r.right + margin, r.top + margin};
    return {};
}

QSize pictureSize(const SheetLayout& layout, double dpi) {
    const double w = std::round(layout.sheet.width() / kUnitsPerInch * dpi);
    const double h = std::round(layout.sheet.height() / kUnitsPerInch * dpi);
    if (!(w >= 1 && h >= 1) || w * h > kMaxPixels) return {};
    return QSize(static_cast<int>(w), static_cast<int>(h));
}

QImage renderImage(GlfInput& input, const RenderOptions& options, RenderResult* out) {
    RenderResult local;
    RenderResult& result = out ? *out : local;
    result = {};
    if (!(options.dpi > 0 && options.dpi <= 4800)) {
        result.status = Status::failure("resolution out of range");
        return {};
    }
    if (Status sheet = findSheet(input, result.layout, options.cancel); !sheet) {
        result.status = isSet(options.cancel) ? sheet : unreadable(sheet.reason());
        return {};
    }
    double dpi = options.dpi;
    if (options.fitTo.isValid() && !options.fitTo.isEmpty()) {
        dpi = std::min(options.fitTo.width() / (result.layout.sheet.width() / kUnitsPerInch),
                       options.fitTo.height() / (result.layout.sheet.height() / kUnitsPerInch));
        dpi = std::clamp(dpi, 0.001, 600.0);
    }
    const QSize size = pictureSize(result.layout, dpi);
    if (size.isEmpty()) {
        result.status = Status::failure("the picture would be too large at this resolution");
        return {};
    }
    QImage image(size, QImage::Format_Indexed8);
    if (image.isNull()) {
        result.status = Status::failure("not enough memory for the picture");
        return {};
    }
    image.setColorTable(RasterSurface::palette());
    image.fill(0);
    RasterSurface surface(image, sheetToDevice(result.layout.sheet, QSizeF(size)),
                          result.layout.sheet);
    surface.setCancel(options.cancel);
    if (options.showFrame) surface.frame(result.layout.hasWindow ? &result.layout.window : nullptr);
    // The HP-GL is read on this thread and drawn on another.
    RelaySurface relay(surface, options.cancel);
    GlfInterpreter interpreter(relay, result.layout.sheet);
    interpreter.limitDashesTo(dashArea(result.layout.sheet));
    interpreter.setCancel(options.cancel);
    const bool read = interpreter.run(input);
    const bool drawn = relay.finish();
    result.stats = interpreter.stats();
    // Half a picture is no picture.
    if (isSet(options.cancel)) {
        result.status = Status::failure(kStoppedText);
        return {};
    }
    if (!read) {
        result.status = unreadable(result.stats.readErrorText);
        return {};
    }
    if (!drawn) {
        result.status = Status::failure("not enough memory to draw the picture");
        return {};
    }
    return image;
}

RenderResult renderToFile(GlfInput& input, const std::string& path, PictureFormat format,
                          const RenderOptions& options) {
    RenderResult result;
    const QString target = QString::fromStdString(path);
    if (format == PictureFormat::Png) {
        const QImage image = renderImage(input, options, &result);
        if (image.isNull()) return result;
        QSaveFile file(target);
        if (!file.open(QIODevice::WriteOnly)) {
            result.status = fileError(file);
            return result;
        }
        // With its physical size, so viewers know the sheet's real size.
        if (Status written = writePalettePng(file, image, options.dpi); !written) {
            result.status = fileError(file, QString::fromStdString(written.reason()));
            file.cancelWriting();
            return result;
        }
        result.status = syncAndCommit(file, options.cancel);
        return result;
    }

    if (Status found = findSheet(input, result.layout, options.cancel); !found) {
        result.status = isSet(options.cancel) ? found : unreadable(found.reason());
        return result;
    }
    const Rect& sheet = result.layout.sheet;
    if (format == PictureFormat::Pdf) {
        if (std::string problem = PdfSurface::pageProblem(sheet); !problem.empty()) {
            result.status = Status::failure(std::move(problem));
            return result;
        }
    }
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) {
        result.status = fileError(file);
        return result;
    }
    // As for PNG: the HP-GL is read on this thread, written out on another.
    // Both writers are driven alike: the frame, the drawing through the relay,
    // then the end of the file.
    auto draw = [&](auto& surface) {
        surface.setCancel(options.cancel);
        if (options.showFrame)
            surface.frame(result.layout.hasWindow ? &result.layout.window : nullptr);
        RelaySurface relay(surface, options.cancel);
        GlfInterpreter interpreter(relay, sheet);
        interpreter.limitDashesTo(dashArea(sheet));
        interpreter.setCancel(options.cancel);
        bool drewAll = interpreter.run(input);
        const bool drawn = relay.finish();
        result.stats = interpreter.stats();
        if (isSet(options.cancel)) {
            result.status = Status::failure(kStoppedText);
            return false;
        }
        if (!drewAll) result.status = unreadable(result.stats.readErrorText);
        if (!drawn && drewAll) {
            drewAll = false;
            result.status = Status::failure("not enough memory to draw the picture");
        }
        if (!surface.finish() && drewAll) {
            drewAll = false;
            result.status = fileError(file);
        }
        return drewAll;
    };
    bool ok = false;
    if (format == PictureFormat::Pdf) {
        PdfSurface pdf(file, sheet);
        ok = draw(pdf);
    } else {
        SvgSurface svg(file, sheet);
        ok = draw(svg);
    }
    if (!ok) {
        file.cancelWriting();
        return result;
    }
    result.status = syncAndCommit(file, options.cancel);
    return result;
}

std::string describeProblems(const RenderStats& s) {
    std::string text;
    auto add = [&](const std::string& part) {
        if (!text.empty()) text += "; ";
        text += part;
    };
    if (s.unknownCommands) {
        add(std::to_string(s.unknownCommands) +
            " unknown command(s) skipped (first: " + s.firstUnknown + ")");
    }
    if (s.skippedBytes) add(std::to_string(s.skippedBytes) + " stray byte(s) skipped");
    if (s.badParameters) add(std::to_string(s.badParameters) + " bad parameter(s) ignored");
    if (s.undecodable) add(std::to_string(s.undecodable) + " label character(s) without a glyph");
    if (s.overflowedPolygons) {
        add(std::to_string(s.overflowedPolygons) + " polygon(s) of more than " +
            std::to_string(PolygonBuffer::kMaxCorners) +
            " corners (the polygon buffer's size) not drawn");
    }
    if (s.polygonModeOutside)
        add(std::to_string(s.polygonModeOutside) + " PM1/PM2 outside polygon mode ignored");
    if (s.afterPageEnd)
        add(std::to_string(s.afterPageEnd) + " mark(s) after the page end not drawn");
    if (s.endsInLabel)
        add("the file ends inside a label (cut off?)");
    else if (!s.sheetEnded)
        add("no page end (AF/PG): the file may be cut off");
    return text;
}

} // namespace kesto::render
