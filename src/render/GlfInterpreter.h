#pragma once
// The plotter's side of a GLF file: reads HP-GL as a pen plotter does and
// tells a PlotSurface what the pen draws.  The input is read in blocks and
// drawn as it comes; only an open polygon is held in memory, so memory does
// not grow with the file.  Input the plotter would not understand is skipped
// and counted, never fatal.

#include "render/GlfInput.h"
#include "render/GlfTokenizer.h"
#include "render/PlotSurface.h"
#include "render/PolygonBuffer.h"
#include "render/RenderStats.h"

#include <atomic>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace kesto::render {

// The sheet: the rectangle P1-P2 of the prologue in plotter units, and the
// input window (IW) in force when the first mark is made.
struct SheetLayout {
    Rect sheet;
    bool fromPrologue = false; // false: no IP before the first mark; `sheet` is the marks' bounds
    bool hasWindow = false;
    Rect window;
};

struct DashPattern;

class GlfInterpreter {
public:
    // `sheet` gives the default P1 and P2 (the plotter's after IN).
    GlfInterpreter(PlotSurface& surface, const Rect& sheet);

    // Reads the whole input and draws it.  False only when the input could
    // not be read (stats().readErrorText says why).
    bool run(GlfInput& input);
    const RenderStats& stats() const { return stats_; }

    // Stops reading soon after `*flag` becomes true (a preview that is no
    // longer wanted).
    void setCancel(const std::atomic<bool>* flag) {
        cancel_ = flag;
        in_.setCancel(flag);
    }
    bool cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }

    // Dashes are made only inside `area` (plotter units), the pattern passed
    // over elsewhere: what lies off the picture costs nothing.
    void limitDashesTo(const Rect& area) {
        dashArea_ = area;
        hasDashArea_ = true;
    }
    // Dashed lines drawn solid (where only the marks' extent matters).
    void drawDashes(bool dashes) { dashes_ = dashes; }

    // For the sheet search: stop at the first mark.
    void stopAtFirstMark(bool stop) { stopAtFirstMark_ = stop; }
    bool sawInputP1P2() const { return sawIp_; }
    Rect p1p2() const;
    bool windowSet() const { return hasWindow_; }
    Rect window() const { return window_; }

private:
    static constexpr int kSolid = -100;             // the line type of LT without parameters
    static constexpr std::size_t kPathChunk = 8192; // points handed over at a time
    static constexpr double kNoPlace = std::numeric_limits<double>::quiet_NaN();

    void command(int mnemonic);

    // Setup commands.
    void initialize();
    void setDefaults();
    void inputP1P2();
    void scale();
    void inputWindow();
    void selectPen();
    void lineType();
    void endSheet();
    void unknownCommand(int mnemonic);
    void defaults();

    // Pen commands.
    void penUp();
    void penDown();
    void plotAbsolute();
    void plotRelative();
    void arcCommand(bool relative);
    void circleCommand();

    // Polygon commands.
    void polygonMode();
    void fillPolygonCommand();
    void edgePolygonCommand();

    // Character commands.
    void absoluteSize();
    void relativeSize();
    void direction();
    void directionVertical();
    void extraSpace();
    void slant();
    void standardSet();
    void alternateSet();
    void selectStandard();
    void selectAlternate();
    void defineTerminator();

    // Coordinates.
    Point toPlotter(Point user) const;
    void scalingChanged() { lastUser_ = {kNoPlace, kNoPlace}; }
    double diagonal() const;
    void applyWindow();

    // Pen movement.
    void plot(Point userTarget, bool down);
    void moveList(bool relative);
    void arc(Point centre, double sweepDegrees, double chordDegrees);
    void circle(double radius, double chordDegrees);
    void lineTo(Point plotter);
    void dashedSegment(Point a, Point b);
    void flushPath();
    void dot(Point at);
    bool drawingAllowed();
    void resetDash();
    bool visibleSpan(Point a, Point b, double& from, double& to) const;
    void skipDashes(double distance, const DashPattern& pattern, double patternLength);

    // Polygons.
    void polygonPoint(Point plotter, bool down);
    void closeRing();
    void polygonCircle(const std::vector<Point>& ring);
    void fillPolygon(bool evenOdd);
    void edgePolygon();
    void edgeRing(std::size_t start, std::size_t size, bool closingDrawn);

    // Labels.
    void label();
    void labelCharacter(char32_t code, GlyphWidth width);
    void labelAdvance(double cells, double lines);
    void resetCharacterState();

    PlotSurface& out_;
    Rect defaultSheet_;
    RenderStats stats_;
    GlfTokenizer in_{stats_};

    // Scaling: P1, P2 in plotter units; user units through SC.
    Point p1_, p2_;
    bool sawIp_ = false;
    bool scaled_ = false;
    double xmin_ = 0, xmax_ = 1, ymin_ = 0, ymax_ = 1;
    bool hasWindow_ = false;
    Rect window_;

    // Pen.
    Point pos_; // user units
    // The last move's target in user and plotter units (NaN: none since the
    // scaling changed).
    Point lastUser_{kNoPlace, kNoPlace};
    Point lastPlotter_;
    bool penDown_ = false;
    bool relative_ = false;
    int pen_ = 1;
    int lineType_ = kSolid;
    double patternPercent_ = 4;

    // Path under construction (plotter units) and dash state.
    std::vector<Point> path_;
    double dashPhase_ = -1; // what is left of the current pattern element; -1 before the first
    int elementIndex_ = 0;
    bool dashOn_ = false;
    bool dashes_ = true;
    bool hasDashArea_ = false;
    Rect dashArea_;

    // Polygon mode; the buffer stays after PM2 until the next PM0.
    bool polygonMode_ = false;
    bool ringPending_ = false; // the next corner starts a sub-polygon (after PM1 or a circle)
    PolygonBuffer polygon_;
    bool overflowReported_ = false;

    // Characters.
    double charW_ = 0, charH_ = 0; // plotter units
    double runX_ = 1, runY_ = 0;   // writing direction (unit)
    bool vertical_ = false;
    double extraSpaces_ = 0, extraLines_ = 0;
    double slant_ = 0;
    int standardSet_ = 0, alternateSet_ = 0;
    bool alternateSelected_ = false;
    char terminator_ = 3;
    Point labelLineStart_;
    Point labelPos_; // plotter units

    bool sheetEnded_ = false;
    bool stopAtFirstMark_ = false;
    const std::atomic<bool>* cancel_ = nullptr;
    bool stopped_ = false;
};

// Inline: it is called for every point of the drawing.
inline Point GlfInterpreter::toPlotter(Point u) const {
    if (!scaled_) return u;
    return {p1_.x + (u.x - xmin_) / (xmax_ - xmin_) * (p2_.x - p1_.x),
            p1_.y + (u.y - ymin_) / (ymax_ - ymin_) * (p2_.y - p1_.y)};
}

} // namespace kesto::render
