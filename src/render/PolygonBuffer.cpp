#include "render/PolygonBuffer.h"

namespace kesto::render {

void PolygonBuffer::clear() {
    if (chunks_.size() > 1) {
        chunks_.resize(1);
        views_.resize(1);
    }
    corners_ = 0;
    drawn_.clear();
    ringSizes_.clear();
    closingDrawn_.clear();
    open_ = false;
    overflowed_ = false;
}

// Whether one more corner fits; a new chunk when the last one is full.
bool PolygonBuffer::room() {
    if (overflowed_) return false;
    if (corners_ >= kMaxCorners) {
        overflowed_ = true;
        return false;
    }
    if ((corners_ >> Polygon::kChunkBits) == chunks_.size()) {
        chunks_.push_back(std::make_unique<Point[]>(Polygon::kChunk));
        views_.push_back(chunks_.back().get());
    }
    return true;
}

void PolygonBuffer::startRing(Point p) {
    if (!room()) return;
    chunks_[corners_ >> Polygon::kChunkBits][corners_ & (Polygon::kChunk - 1)] = p;
    ++corners_;
    drawn_.push_back(false);
    ringSizes_.push_back(1);
    closingDrawn_.push_back(false);
    open_ = true;
}

void PolygonBuffer::add(Point p, bool down) {
    if (ringSizes_.empty()) {
        startRing(p);
        return;
    }
    if (!room()) return;
    chunks_[corners_ >> Polygon::kChunkBits][corners_ & (Polygon::kChunk - 1)] = p;
    ++corners_;
    drawn_.push_back(down);
    ++ringSizes_.back();
}

void PolygonBuffer::close(bool drawn) {
    if (ringSizes_.empty()) return;
    closingDrawn_.back() = drawn;
    open_ = false;
}

} // namespace kesto::render
