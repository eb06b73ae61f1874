#pragma once
// A GLF drawing as a picture of its sheet: PNG (raster, at a resolution),
// SVG or PDF (vector, at the sheet's real size, labels as text).  The
// picture is exactly the paper between P1 and P2 of the prologue, seen as it
// lies on the plotter (x to the right, y up), on white.

#include "io/Status.h"
#include "render/GlfInterpreter.h"

#include <QImage>

#include <atomic>
#include <string>

namespace kesto::render {

enum class PictureFormat { Png, Svg, Pdf };

struct RenderOptions {
    double dpi = 150;      // PNG resolution; SVG user units per inch
    bool showFrame = true; // the sheet's outline and the clip window, in light colours
    QSize fitTo;           // renderImage: when valid, the resolution that fits the sheet in it
    const std::atomic<bool>* cancel = nullptr; // stops drawing soon after it turns true
};

// Why no picture was made when the cancel flag stopped the drawing.
inline constexpr const char* kStoppedText = "stopped before the picture was finished";

struct RenderResult {
    Status status; // a failure says why no picture was made
    RenderStats stats;
    SheetLayout layout;
};

// The sheet of a drawing: P1-P2 of the prologue, else the bounds of what is
// drawn (an A4 sheet when nothing is).  Leaves the input rewound.  Fails
// when the input cannot be read, or with kStoppedText once `*cancel` is true.
Status findSheet(GlfInput& input, SheetLayout& layout, const std::atomic<bool>* cancel = nullptr);

// Where dashes are worth making on a picture of `sheet`: the sheet and a
// margin wider than any nib.
Rect dashArea(const Rect& sheet);

// Pixel size of the sheet at `dpi`.
QSize pictureSize(const SheetLayout& layout, double dpi);

// Draws the drawing onto an image of the sheet.  A null image when the
// input cannot be read, the picture would be too large or the cancel flag
// stopped it (result->status).
QImage renderImage(GlfInput& input, const RenderOptions& options, RenderResult* result);

// Writes the picture to `path` (a temporary file renamed when complete;
// nothing when the drawing fails or is stopped).
RenderResult renderToFile(GlfInput& input, const std::string& path, PictureFormat format,
                          const RenderOptions& options);

// A short account of what was skipped, "" when nothing was.
std::string describeProblems(const RenderStats& stats);

} // namespace kesto::render
