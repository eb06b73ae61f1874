#include "render/GlfInterpreter.h"

namespace kesto::render {

namespace {

bool same(Point a, Point b) {
    return a.x == b.x && a.y == b.y;
}

} // namespace

// Every corner counts for the fill, pen up or down; the side into it is
// edged only when it was given with the pen down.
void GlfInterpreter::polygonPoint(Point p, bool down) {
    if (ringPending_) {
        polygon_.startRing(p);
        ringPending_ = false;
    } else {
        polygon_.add(p, down);
    }
}

// The closing side is edged when the pen is down as the polygon is closed.
void GlfInterpreter::closeRing() {
    polygon_.close(penDown_);
}

// A circle in polygon mode is a closed sub-polygon of its own, edged all
// round; the move after it starts the next sub-polygon.
void GlfInterpreter::polygonCircle(const std::vector<Point>& ring) {
    if (!ringPending_) closeRing();
    polygon_.startRing(ring[0]);
    for (std::size_t i = 1; i < ring.size(); ++i)
        polygon_.add(ring[i], true);
    polygon_.close(true);
    ringPending_ = true;
}

void GlfInterpreter::fillPolygon(bool evenOdd) {
    if (polygon_.overflowed()) {
        if (!overflowReported_) ++stats_.overflowedPolygons;
        overflowReported_ = true;
        return;
    }
    if (polygon_.empty() || !drawingAllowed()) return;
    out_.fill(pen_, polygon_.view(), evenOdd);
}

void GlfInterpreter::edgePolygon() {
    if (polygon_.overflowed()) {
        if (!overflowReported_) ++stats_.overflowedPolygons;
        overflowReported_ = true;
        return;
    }
    std::size_t start = 0;
    for (std::size_t r = 0; r < polygon_.rings() && !stopped_ && !cancelled(); ++r) {
        const std::size_t size = polygon_.ringSize(r);
        // A sub-polygon still open closes as the pen stands now.
        const bool open = r + 1 == polygon_.rings() && polygon_.lastRingOpen();
        edgeRing(start, size, open ? penDown_ : polygon_.closingDrawn(r));
        start += size;
    }
    resetDash();
}

void GlfInterpreter::edgeRing(std::size_t start, std::size_t size, bool closingDrawn) {
    if (size < 2) return;
    resetDash();
    for (std::size_t i = start + 1; i < start + size && !cancelled(); ++i) {
        if (polygon_.drawn(i)) {
            const Point a = polygon_.corner(i - 1);
            lineTo(a);
            dashedSegment(a, polygon_.corner(i));
        } else {
            flushPath();
        }
    }
    const Point last = polygon_.corner(start + size - 1);
    const Point first = polygon_.corner(start);
    if (closingDrawn && !same(last, first)) {
        lineTo(last);
        dashedSegment(last, first);
    }
    flushPath();
}

} // namespace kesto::render
