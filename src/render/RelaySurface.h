#pragma once
// A PlotSurface that hands every mark, in order, to another surface drawing
// on a thread of its own, so that reading the HP-GL and drawing it share the
// machine's cores.  Marks travel in batches of bounded size and only a few
// batches are in flight at a time: memory does not grow with the drawing.
// The target sees exactly the calls it would have seen directly.

#include "render/PlotSurface.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kesto::render {

class RelaySurface final : public PlotSurface {
public:
    // `target` is used only by the drawing thread until finish() returns.
    explicit RelaySurface(PlotSurface& target, const std::atomic<bool>* cancel = nullptr);
    ~RelaySurface() override;
    RelaySurface(const RelaySurface&) = delete;
    RelaySurface& operator=(const RelaySurface&) = delete;

    void setClip(const Rect* window) override;
    void stroke(int pen, const Point* points, std::size_t count) override;
    void fill(int pen, const Polygon& polygon, bool evenOdd) override;
    void glyph(int pen, const Glyph& glyph) override;

    // Waits until the target has drawn every mark handed over so far and
    // stops the drawing thread.  False when the target failed (out of
    // memory); the marks after the failure were not drawn.
    bool finish();

private:
    enum class MarkKind : std::uint8_t { Clip, NoClip, Stroke, Fill, LargeFill, Glyph };
    struct Mark {
        MarkKind kind;
        bool evenOdd;
        int pen;
        std::size_t at;       // first point, glyph or clip of the mark
        std::size_t count;    // points of a stroke, rings of a fill
        std::size_t ring = 0; // first ring size of a fill
    };
    struct Batch {
        std::vector<Mark> marks;
        std::vector<Point> points;
        std::vector<std::size_t> ringSizes;
        std::vector<Glyph> glyphs;
        std::vector<Rect> clips;
        std::vector<Polygon> large; // polygons drawn from the caller's memory
        void clear();
        bool full() const;
    };

    void handOver();
    void fillLarge(int pen, const Polygon& polygon, bool evenOdd);
    void drawLoop();
    void replay(const Batch& batch);

    PlotSurface& target_;
    const std::atomic<bool>* cancel_;
    std::unique_ptr<Batch> filling_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<Batch>> queued_;
    std::vector<std::unique_ptr<Batch>> spare_;
    bool closing_ = false;
    bool drawing_ = false; // the drawing thread is replaying a batch
    bool failed_ = false;
    bool finished_ = false;
    std::thread drawer_;
};

} // namespace kesto::render
