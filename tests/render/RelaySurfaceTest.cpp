// The relay to the drawing thread: the target must see exactly the calls the
// interpreter made, in order, however they fall into batches.

#include "render/RelaySurface.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kesto::render {
namespace {

// Writes every call down as text.
class Trace final : public PlotSurface {
public:
    void setClip(const Rect* w) override {
        text += w ? "clip " + num(w->left) + num(w->bottom) + num(w->right) + num(w->top) + "\n"
                  : "noclip\n";
    }
    void stroke(int pen, const Point* p, std::size_t n) override {
        text += "stroke " + std::to_string(pen);
        for (std::size_t i = 0; i < n; ++i)
            text += num(p[i].x) + num(p[i].y);
        text += "\n";
    }
    void fill(int pen, const Polygon& polygon, bool evenOdd) override {
        text += "fill " + std::to_string(pen) + (evenOdd ? " eo" : " nz");
        for (std::size_t r = 0, at = 0; r < polygon.rings; ++r) {
            text += " |";
            for (std::size_t k = 0; k < polygon.ringSizes[r]; ++k, ++at)
                text += num(polygon.corner(at).x) + num(polygon.corner(at).y);
        }
        text += "\n";
    }
    void glyph(int pen, const Glyph& g) override {
        text += "glyph " + std::to_string(pen) + num(g.code) + num(g.origin.x) + num(g.origin.y) +
                num(g.along.x) + num(g.w) + num(g.h) + num(g.slant) +
                (g.width == GlyphWidth::Full ? " full\n" : " half\n");
    }
    std::string text;

private:
    static std::string num(double v) { return " " + std::to_string(v); }
};

// Rings laid out as a Polygon: one block, seen in chunks.
struct Rings {
    explicit Rings(const std::vector<std::vector<Point>>& rings) {
        for (const auto& ring : rings) {
            sizes.push_back(ring.size());
            points.insert(points.end(), ring.begin(), ring.end());
        }
        for (std::size_t at = 0; at < points.size(); at += Polygon::kChunk)
            chunks.push_back(points.data() + at);
    }
    Polygon view() const { return {chunks.data(), sizes.data(), sizes.size()}; }
    std::vector<Point> points;
    std::vector<const Point*> chunks;
    std::vector<std::size_t> sizes;
};

// Marks of every kind, enough of them and large enough to fill many
// batches, with a polygon larger than any batch.
void drawMarks(PlotSurface& s) {
    std::vector<Point> path;
    for (int i = 0; i < 30000; ++i) {
        path.clear();
        for (int k = 0; k <= i % 9; ++k)
            path.push_back({i + 0.5 * k, -i - 0.25 * k});
        s.stroke(1 + i % 8, path.data(), path.size());
        if (i % 7 == 0) {
            s.glyph(i % 5, {static_cast<char32_t>(0x3042 + i % 50),
                            i % 2 ? GlyphWidth::Full : GlyphWidth::Half,
                            {i * 1.0, i * 2.0},
                            {0, 1},
                            10.0 + i,
                            -20.0,
                            0.25});
        }
        if (i % 1000 == 0) {
            const Rect window{-1.0 * i, 0, 4000, 5000.0 + i};
            s.setClip(i % 2000 ? &window : nullptr);
            std::vector<std::vector<Point>> rings(1 + i % 3);
            for (std::size_t r = 0; r < rings.size(); ++r)
                for (int k = 0; k < 3 + i / 100; ++k)
                    rings[r].push_back({k * 1.0 + r, i * 1.0 - k});
            s.fill(2, Rings(rings).view(), i % 3000 == 0);
        }
    }
    std::vector<std::vector<Point>> big(2);
    for (int k = 0; k < 100000; ++k)
        big[k % 2].push_back({k * 0.5, k * 0.75});
    s.fill(3, Rings(big).view(), true);
    const Point dot{7, 8};
    s.stroke(4, &dot, 1);
}

TEST(RelaySurface, TargetSeesTheSameCallsInOrder) {
    Trace direct;
    drawMarks(direct);
    Trace relayed;
    {
        RelaySurface relay(relayed);
        drawMarks(relay);
        EXPECT_TRUE(relay.finish());
    }
    ASSERT_FALSE(direct.text.empty());
    EXPECT_EQ(relayed.text, direct.text);
}

TEST(RelaySurface, NothingIsDrawnOnceCancelled) {
    std::atomic<bool> cancel{true};
    Trace target;
    RelaySurface relay(target, &cancel);
    drawMarks(relay);
    EXPECT_TRUE(relay.finish());
    EXPECT_TRUE(target.text.empty());
}

} // namespace
} // namespace kesto::render
