#pragma once
// Small drawings rendered for the tests, and where their ink lies: in the
// PNG picture by its pixels, in PDF and SVG by the paths they write.

#include "render/GlfInterpreter.h"
#include "render/Render.h"

#include <QImage>

#include <string>
#include <vector>

namespace kesto::render {

// A 100 mm square sheet with user units equal to plotter units, drawn at
// 101.6 dpi: one pixel is ten plotter units, y up.
inline const std::string kSquareSheet = "IN;IP0,0,4000,4000;SC0,4000,0,4000;";
inline constexpr double kDpi = 101.6;

struct Rendered {
    QImage image;
    RenderResult result;
};

Rendered draw(const std::string& glf, double dpi = kDpi);

// Whether anything is drawn within `radius` pixels of plotter point (x, y).
bool inkedNear(const Rendered& r, double x, double y, int radius = 1);

// The marks of a PDF or SVG picture, in plotter units.
struct VectorPicture {
    struct Fill {
        std::vector<std::vector<Point>> rings;
        bool evenOdd = true;
    };
    struct Stroke {
        std::vector<Point> path;
        double width = 0;
    };
    std::vector<Fill> fills;
    std::vector<Stroke> strokes;
    // Inside a fill (by its rule), or within `slack` of a stroke's nib.
    bool inkedNear(Point p, double slack) const;
};

// The drawing written by the PDF or SVG writer (no frame), read back.
VectorPicture drawPdf(const std::string& glf, RenderStats* stats = nullptr);
VectorPicture drawSvg(const std::string& glf, RenderStats* stats = nullptr);

} // namespace kesto::render
