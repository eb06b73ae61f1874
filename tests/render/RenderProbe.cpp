#include "RenderProbe.h"

#include "render/PdfSurface.h"
#include "render/SvgSurface.h"

#include <QBuffer>
#include <QByteArray>

#include <cmath>
#include <cstdlib>
#include <regex>
#include <sstream>

namespace kesto::render {

Rendered draw(const std::string& glf, double dpi) {
    MemoryInput input(glf);
    RenderOptions options;
    options.dpi = dpi;
    options.showFrame = false;
    Rendered r;
    r.image = renderImage(input, options, &r.result);
    return r;
}

bool inkedNear(const Rendered& r, double x, double y, int radius) {
    const Rect& s = r.result.layout.sheet;
    const int px = static_cast<int>((x - s.left) / s.width() * r.image.width());
    const int py = static_cast<int>((s.top - y) / s.height() * r.image.height());
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint p(px + dx, py + dy);
            if (r.image.rect().contains(p) && r.image.pixel(p) != qRgb(255, 255, 255)) return true;
        }
    }
    return false;
}

namespace {

double distanceToSegment(Point p, Point a, Point b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0;
    t = std::fmax(0, std::fmin(1, t));
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Crossings of a ray to the right, counted with their direction.
int winding(Point p, const std::vector<Point>& ring, int& crossings) {
    int w = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const Point a = ring[i], b = ring[(i + 1) % ring.size()];
        if ((a.y <= p.y) == (b.y <= p.y)) continue;
        const double x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
        if (x <= p.x) continue;
        ++crossings;
        w += b.y > a.y ? 1 : -1;
    }
    return w;
}

// Writes the drawing through `surface` as the renderer would, without a frame.
template <typename Surface> QByteArray write(const std::string& glf, RenderStats* stats) {
    MemoryInput input(glf);
    SheetLayout layout;
    if (!findSheet(input, layout)) return {};
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    {
        Surface surface(bytes, layout.sheet);
        GlfInterpreter interpreter(surface, layout.sheet);
        interpreter.limitDashesTo(dashArea(layout.sheet));
        interpreter.run(input);
        surface.finish();
        if (stats) *stats = interpreter.stats();
    }
    return bytes.data();
}

} // namespace

bool VectorPicture::inkedNear(Point p, double slack) const {
    for (const Fill& f : fills) {
        int crossings = 0, w = 0;
        for (const auto& ring : f.rings)
            w += winding(p, ring, crossings);
        if (f.evenOdd ? crossings % 2 == 1 : w != 0) return true;
    }
    for (const Stroke& s : strokes) {
        for (std::size_t i = 0; i < s.path.size(); ++i) {
            const Point b = s.path[i + 1 < s.path.size() ? i + 1 : i];
            if (distanceToSegment(p, s.path[i], b) <= s.width / 2 + slack) return true;
        }
    }
    return false;
}

// The content streams inflated and their path operators read.
VectorPicture drawPdf(const std::string& glf, RenderStats* stats) {
    const QByteArray pdf = write<PdfSurface>(glf, stats);
    VectorPicture picture;
    std::vector<std::vector<Point>> path;
    std::vector<double> operands;
    double width = 0;
    for (qsizetype at = pdf.indexOf("stream\n"); at >= 0; at = pdf.indexOf("stream\n", at)) {
        at += 7;
        const qsizetype end = pdf.indexOf("endstream", at);
        QByteArray packed = pdf.mid(at, end - at);
        const quint32 guess = static_cast<quint32>(packed.size()) * 8 + 64;
        packed.prepend(QByteArray(1, static_cast<char>(guess >> 24)) +
                       QByteArray(1, static_cast<char>(guess >> 16)) +
                       QByteArray(1, static_cast<char>(guess >> 8)) +
                       QByteArray(1, static_cast<char>(guess)));
        std::istringstream content(qUncompress(packed).toStdString());
        at = end;
        for (std::string token; content >> token;) {
            char* rest = nullptr;
            const double value = std::strtod(token.c_str(), &rest);
            if (rest && *rest == '\0' && rest != token.c_str()) {
                operands.push_back(value);
                continue;
            }
            const std::size_t n = operands.size();
            if (token == "m" && n >= 2) {
                path.push_back({{operands[n - 2], operands[n - 1]}});
            } else if (token == "l" && n >= 2 && !path.empty()) {
                path.back().push_back({operands[n - 2], operands[n - 1]});
            } else if (token == "w" && n >= 1) {
                width = operands[n - 1];
            } else if (token == "f" || token == "f*") {
                picture.fills.push_back({path, token == "f*"});
                path.clear();
            } else if (token == "S") {
                for (auto& p : path)
                    picture.strokes.push_back({p, width});
                path.clear();
            } else if (token == "n") {
                path.clear();
            }
            if (token != "h") operands.clear();
        }
    }
    return picture;
}

// Paths in groups that give the stroke width; a path with a fill rule is a fill.
VectorPicture drawSvg(const std::string& glf, RenderStats* stats) {
    const std::string svg = write<SvgSurface>(glf, stats).toStdString();
    VectorPicture picture;
    double width = 0;
    static const std::regex tag("<(g|path)\\b([^>]*)>");
    static const std::regex strokeWidth("stroke-width=\"([0-9.]+)\"");
    static const std::regex rule("fill-rule=\"([a-z]+)\"");
    static const std::regex data(" d=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), tag); it != std::sregex_iterator();
         ++it) {
        const std::string attributes = (*it)[2];
        std::smatch m;
        if ((*it)[1] == "g") {
            if (std::regex_search(attributes, m, strokeWidth)) width = std::stod(m[1]);
            continue;
        }
        if (!std::regex_search(attributes, m, data)) continue;
        std::vector<std::vector<Point>> rings;
        const std::string d = m[1];
        const char* c = d.c_str();
        while (*c) {
            const char op = *c++;
            if (op == 'Z' || op == ' ') continue;
            char* end = nullptr;
            const double x = std::strtod(c, &end);
            const double y = std::strtod(end, &end);
            c = end;
            if (op == 'M') rings.push_back({});
            if (!rings.empty()) rings.back().push_back({x, y});
        }
        if (std::regex_search(attributes, m, rule)) {
            picture.fills.push_back({rings, m[1] == "evenodd"});
        } else {
            for (auto& r : rings)
                picture.strokes.push_back({r, width});
        }
    }
    return picture;
}

} // namespace kesto::render
