#pragma once
// The plotter's polygon buffer: every corner given in polygon mode, pen up
// or down, in sub-polygons, and for each side whether it was given with the
// pen down (only those sides are edged).

#include "render/PlotSurface.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace kesto::render {

class PolygonBuffer {
public:
    // The corners one polygon may hold (about 170 MB); a polygon with more is
    // not drawn at all, as the plotter rejects a polygon its buffer cannot hold.
    static constexpr std::size_t kMaxCorners = 10'000'000;

    // Empties the buffer (the memory of one chunk is kept).
    void clear();
    // A sub-polygon starting at `p`.
    void startRing(Point p);
    // A corner of the last sub-polygon; its side was given with the pen down
    // or up.  Starts a sub-polygon when there is none.
    void add(Point p, bool down);
    // Closes the last sub-polygon; its closing side is edged when `drawn`.
    void close(bool drawn);

    bool empty() const { return corners_ == 0; }
    bool overflowed() const { return overflowed_; }
    std::size_t rings() const { return ringSizes_.size(); }
    std::size_t ringSize(std::size_t ring) const { return ringSizes_[ring]; }
    bool closingDrawn(std::size_t ring) const { return closingDrawn_[ring]; }
    bool lastRingOpen() const { return open_; }
    const Point& corner(std::size_t i) const {
        return chunks_[i >> Polygon::kChunkBits][i & (Polygon::kChunk - 1)];
    }
    bool drawn(std::size_t i) const { return drawn_[i]; }
    Polygon view() const { return {views_.data(), ringSizes_.data(), ringSizes_.size()}; }

private:
    bool room();

    std::vector<std::unique_ptr<Point[]>> chunks_;
    std::vector<const Point*> views_;
    std::size_t corners_ = 0;
    std::vector<bool> drawn_;
    std::vector<std::size_t> ringSizes_;
    std::vector<bool> closingDrawn_;
    bool open_ = false;
    bool overflowed_ = false;
};

} // namespace kesto::render
