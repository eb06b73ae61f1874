#include "render/RelaySurface.h"

#include <chrono>

namespace kesto::render {

namespace {

// A batch is handed over when it holds this much; a single larger mark (a
// long polygon) travels alone.
constexpr std::size_t kBatchPoints = 1 << 14;
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

void RelaySurface::fill(int pen, const std::vector<std::vector<Point>>& rings, bool evenOdd) {
    Batch& b = *filling_;
    b.marks.push_back(
        {MarkKind::Fill, evenOdd, pen, b.points.size(), rings.size(), b.ringSizes.size()});
    for (const auto& ring : rings) {
        b.ringSizes.push_back(ring.size());
        b.points.insert(b.points.end(), ring.begin(), ring.end());
    }
    if (b.full()) handOver();
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
            rings_.resize(m.count);
            const Point* p = b.points.data() + m.at;
            for (std::size_t i = 0; i < m.count; ++i) {
                const std::size_t n = b.ringSizes[m.ring + i];
                rings_[i].assign(p, p + n);
                p += n;
            }
            target_.fill(m.pen, rings_, m.evenOdd);
            break;
        }
        case MarkKind::Glyph: target_.glyph(m.pen, b.glyphs[m.at]); break;
        }
    }
}

} // namespace kesto::render
