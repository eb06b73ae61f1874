#include "render/RelaySurface.h"

#include <chrono>

namespace kesto::render {

namespace {

// A batch is handed over when it holds this much; a single larger stroke
// travels alone, a larger polygon is drawn from the caller's memory.
constexpr std::size_t kBatchPoints = 1 << 14;
static_assert(kBatchPoints <= Polygon::kChunk, "a copied polygon is one chunk");
constexpr std::size_t kBatchMarks = 1 << 12;
constexpr std::size_t kBatchGlyphs = 1 << 10;
// Batches waiting for the drawing thread; the reader waits beyond that.
constexpr std::size_t kMaxQueued = 4;
constexpr auto kPoll = std::chrono::milliseconds(100);

} // namespace

void RelaySurface::Batch::clear() {
    marks.clear();
    points.clear();
    ringSizes.clear();
    glyphs.clear();
    clips.clear();
    large.clear();
}

bool RelaySurface::Batch::full() const {
    return points.size() >= kBatchPoints || marks.size() >= kBatchMarks ||
           glyphs.size() >= kBatchGlyphs;
}

RelaySurface::RelaySurface(PlotSurface& target, const std::atomic<bool>* cancel)
    : target_(target), cancel_(cancel), filling_(std::make_unique<Batch>()) {
    drawer_ = std::thread([this] { drawLoop(); });
}

RelaySurface::~RelaySurface() {
    finish();
}

void RelaySurface::setClip(const Rect* window) {
    Batch& b = *filling_;
    if (window) {
        b.marks.push_back({MarkKind::Clip, false, 0, b.clips.size(), 0, 0});
        b.clips.push_back(*window);
    } else {
        b.marks.push_back({MarkKind::NoClip, false, 0, 0, 0, 0});
    }
    if (b.full()) handOver();
}

void RelaySurface::stroke(int pen, const Point* points, std::size_t count) {
    Batch& b = *filling_;
    b.marks.push_back({MarkKind::Stroke, false, pen, b.points.size(), count, 0});
    b.points.insert(b.points.end(), points, points + count);
    if (b.full()) handOver();
}

void RelaySurface::fill(int pen, const Polygon& polygon, bool evenOdd) {
    const std::size_t corners = polygon.corners();
    if (corners > kBatchPoints) {
        fillLarge(pen, polygon, evenOdd);
        return;
    }
    Batch& b = *filling_;
    b.marks.push_back(
        {MarkKind::Fill, evenOdd, pen, b.points.size(), polygon.rings, b.ringSizes.size()});
    b.ringSizes.insert(b.ringSizes.end(), polygon.ringSizes, polygon.ringSizes + polygon.rings);
    for (std::size_t i = 0; i < corners; ++i)
        b.points.push_back(polygon.corner(i));
    if (b.full()) handOver();
}

// A polygon larger than a batch is not copied: the drawing thread draws it
// from the caller's memory while the caller waits.
void RelaySurface::fillLarge(int pen, const Polygon& polygon, bool evenOdd) {
    Batch& b = *filling_;
    b.marks.push_back({MarkKind::LargeFill, evenOdd, pen, b.large.size(), 0, 0});
    b.large.push_back(polygon);
    handOver();
    std::unique_lock lock(mutex_);
    while ((!queued_.empty() || drawing_) && !failed_)
        changed_.wait_for(lock, kPoll);
}

void RelaySurface::glyph(int pen, const Glyph& glyph) {
    Batch& b = *filling_;
    b.marks.push_back({MarkKind::Glyph, false, pen, b.glyphs.size(), 0, 0});
    b.glyphs.push_back(glyph);
    if (b.full()) handOver();
}

// Queues the batch being filled and takes a spare one for the next marks.
void RelaySurface::handOver() {
    std::unique_lock lock(mutex_);
    while (queued_.size() >= kMaxQueued && !failed_)
        changed_.wait_for(lock, kPoll);
    if (failed_) {
        // Nothing more is drawn: the batch is simply reused.
        filling_->clear();
        return;
    }
    queued_.push_back(std::move(filling_));
    if (spare_.empty()) {
        filling_ = std::make_unique<Batch>();
    } else {
        filling_ = std::move(spare_.back());
        spare_.pop_back();
    }
    lock.unlock();
    changed_.notify_all();
}

bool RelaySurface::finish() {
    if (finished_) return !failed_;
    finished_ = true;
    if (!filling_->marks.empty()) handOver();
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    drawer_.join();
    return !failed_;
}

void RelaySurface::drawLoop() {
    for (;;) {
        std::unique_ptr<Batch> batch;
        {
            std::unique_lock lock(mutex_);
            while (queued_.empty() && !closing_)
                changed_.wait_for(lock, kPoll);
            if (queued_.empty()) return; // closing and nothing left
            batch = std::move(queued_.front());
            queued_.pop_front();
            drawing_ = true;
        }
        changed_.notify_all();
        bool ok = true;
        if (!(cancel_ && cancel_->load(std::memory_order_relaxed))) {
            try {
                replay(*batch);
            } catch (...) { // out of memory in the target: stop drawing, say so
                ok = false;
            }
        }
        batch->clear();
        {
            std::lock_guard lock(mutex_);
            drawing_ = false;
            if (!ok) {
                failed_ = true;
                queued_.clear();
            }
            spare_.push_back(std::move(batch));
        }
        changed_.notify_all();
    }
}

void RelaySurface::replay(const Batch& b) {
    for (const Mark& m : b.marks) {
        switch (m.kind) {
        case MarkKind::Clip: target_.setClip(&b.clips[m.at]); break;
        case MarkKind::NoClip: target_.setClip(nullptr); break;
        case MarkKind::Stroke: target_.stroke(m.pen, b.points.data() + m.at, m.count); break;
        case MarkKind::Fill: {
            // At most kBatchPoints corners: one chunk.
            const Point* chunk = b.points.data() + m.at;
            target_.fill(m.pen, Polygon{&chunk, b.ringSizes.data() + m.ring, m.count}, m.evenOdd);
            break;
        }
        case MarkKind::LargeFill: target_.fill(m.pen, b.large[m.at], m.evenOdd); break;
        case MarkKind::Glyph: target_.glyph(m.pen, b.glyphs[m.at]); break;
        }
    }
}

} // namespace kesto::render
