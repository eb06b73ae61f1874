#pragma once
// The plotter's side of a GLF file: reads HP-GL as a pen plotter does and
// tells a PlotSurface what the pen draws.  The input is read in blocks and
// drawn as it comes; only an open polygon is held in memory, so memory does
// not grow with the file.  Input the plotter would not understand is skipped
// and counted, never fatal.

#include "render/PlotSurface.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace kesto::render {

// Where the GLF bytes come from.  Must be readable twice (rewind), because
// the sheet is found before anything is drawn.
class GlfInput {
public:
    virtual ~GlfInput() = default;
    // Up to `size` bytes; 0 at the end.  -1 on a read error.
    virtual long read(char* into, std::size_t size) = 0;
    virtual bool rewind() = 0;
    // Why the last read or rewind failed.
    virtual std::string error() const { return {}; }
};

class MemoryInput final : public GlfInput {
public:
    explicit MemoryInput(std::string_view bytes) : bytes_(bytes) {}
    long read(char* into, std::size_t size) override;
    bool rewind() override {
        at_ = 0;
        return true;
    }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

class FileInput final : public GlfInput {
public:
    FileInput() = default;
    ~FileInput() override;
    FileInput(const FileInput&) = delete;
    FileInput& operator=(const FileInput&) = delete;
    bool open(const std::string& path);
    long read(char* into, std::size_t size) override;
    bool rewind() override;
    std::string error() const override { return error_; }

private:
    std::FILE* file_ = nullptr;
    std::string error_;
};

// What the interpreter met that it could not draw.
struct RenderStats {
    std::uint64_t commands = 0;
    std::uint64_t unknownCommands = 0; // mnemonics the plotter does not know (skipped)
    std::uint64_t badParameters = 0;   // values out of range, odd coordinate lists
    std::uint64_t skippedBytes = 0;    // bytes that start no command
    std::uint64_t characters = 0;      // label characters drawn
    std::uint64_t undecodable = 0;     // label characters with no glyph in their set
    std::uint64_t droppedPolygonPoints = 0;
    std::uint64_t afterPageEnd = 0; // marks after the sheet was ended (AF/PG), not drawn
    std::string firstUnknown;       // the first unknown mnemonic, for the message
    bool endsInLabel = false;       // the input ends before a label's terminator
    bool sheetEnded = false;        // AF or PG seen
    bool readError = false;
    std::string readErrorText;
};

// The sheet: the rectangle P1-P2 of the prologue in plotter units, and the
// input window (IW) in force when the first mark is made.
struct SheetLayout {
    Rect sheet;
    bool fromPrologue = false; // false: no IP before the first mark; `sheet` is the marks' bounds
    bool hasWindow = false;
    Rect window;
};

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
    void setCancel(const std::atomic<bool>* flag) { cancel_ = flag; }
    bool cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }

    // For the sheet search: stop at the first mark.
    void stopAtFirstMark(bool stop) { stopAtFirstMark_ = stop; }
    bool stoppedAtMark() const { return stopped_; }
    bool sawInputP1P2() const { return sawIp_; }
    Rect p1p2() const;
    bool windowSet() const { return hasWindow_; }
    Rect window() const { return window_; }

private:
    // Input.
    int get();
    int peek();
    int refill();
    bool readNumber(double& value);
    void skipParameters();
    void readParameters(int maxCount);
    void command(int a, int b);

    // Coordinates.
    Point toPlotter(Point user) const;
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

    // Polygons.
    void polygonPoint(Point plotter, bool down);
    void fillPolygon();
    void edgePolygon();

    // Labels.
    void label();
    void labelCharacter(char32_t code, GlyphWidth width);
    void labelAdvance(double cells, double lines);
    void resetCharacterState();
    void defaults();

    PlotSurface& out_;
    Rect defaultSheet_;
    RenderStats stats_;

    // Input buffer.
    GlfInput* in_ = nullptr;
    std::vector<char> buffer_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    std::vector<double> params_;
    bool paramsTruncated_ = false;

    // Scaling: P1, P2 in plotter units; user units through SC.
    Point p1_, p2_;
    bool sawIp_ = false;
    bool scaled_ = false;
    double xmin_ = 0, xmax_ = 1, ymin_ = 0, ymax_ = 1;
    bool hasWindow_ = false;
    Rect window_;

    // Pen.
    Point pos_; // user units
    bool penDown_ = false;
    bool relative_ = false;
    int pen_ = 1;
    int lineType_ = -100; // -100: solid
    double patternPercent_ = 4;

    // Path under construction (plotter units) and dash state.
    std::vector<Point> path_;
    double dashPhase_ = -1; // what is left of the current pattern element; -1 before the first
    int elementIndex_ = 0;
    bool dashOn_ = false;

    // Polygon mode.
    bool polygonMode_ = false;
    struct Ring {
        std::vector<Point> points;
        std::vector<unsigned char> drawn; // drawn[i]: edge into point i is pen-down
    };
    std::vector<Ring> rings_;
    std::size_t polygonPoints_ = 0;

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

} // namespace kesto::render
