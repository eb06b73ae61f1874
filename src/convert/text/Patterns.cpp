// Pattern regions: the block marker switches to the pattern pen, and a
// fill record outlines the area with contours of lines and arcs, drawn as
// one HP-GL polygon that is filled and edged.

#include "convert/Converter.h"

namespace kesto {
namespace {

constexpr std::uint16_t kBlockStart = 0x5453; // "ST"
constexpr std::uint16_t kBlockEnd = 0x4445;   // "ED"
constexpr std::uint16_t kContourStart = 193;
constexpr std::uint16_t kArcElement = 134;

} // namespace

void convertPatternBlock(Converter& c) {
    c.out.flushPendingStyle();
    const std::uint16_t m = c.in.next();
    DrawingStyle& st = c.style();
    if (m == kBlockStart) {
        st.textActive = true;
        if (st.penMode == 'S' ||
            (st.penMode != 'P' && c.settings.penText != c.settings.penPattern)) {
            st.patternFitted = false;
            st.penMode = 'P';
            c.out.put(c.settings.penPattern).put("LT;");
        }
    } else if (m == kBlockEnd) {
        st.textActive = false;
    }
}

void convertPatternFill(Converter& c) {
    c.out.flushPendingStyle();
    restorePattern(c);
    const double length = c.in.nextULong();
    c.in.next(); // reserved
    double cx = c.in.next();
    double cy = c.in.next();
    double k = 3;
    auto openPolygon = [&] {
        c.out.put("PUPA");
        c.point(cx, cy);
        c.out.put(";PM0;");
    };
    for (;;) {
        std::uint16_t code = c.in.next();
        k += 1;
        if (code == kContourStart) {
            cx = c.in.next();
            cy = c.in.next();
            k += 2;
            c.out.put("PM1;PUPA");
            c.point(cx, cy);
            c.out.put(';');
            code = c.in.next();
            k += 1;
        }
        double xe, ye;
        if (code == kArcElement) {
            const double xm = c.in.next();
            const double ym = c.in.next();
            xe = c.in.next();
            ye = c.in.next();
            k += 4;
            if (k == 8) openPolygon();
            if (xe == cx && ye == cy) {
                c.out.put("PD;AA");
                c.point(xm + (cx - xm) / 2, ym + (cy - ym) / 2);
                c.out.put(",360,3;");
            } else {
                ArcPoints p{cx, cy, xm, ym, xe, ye};
                double ax, ay;
                if (arcCentre(p, ax, ay)) {
                    arcThroughThreePoints(c, ax, ay, p);
                } else {
                    // Points on one line: the outline goes straight to the end point.
                    c.out.put("PA");
                    c.point(xe, ye);
                    c.out.put(';');
                }
            }
        } else {
            if (k == 4) openPolygon();
            xe = c.in.next();
            ye = c.in.next();
            k += 2;
            c.out.put("PA");
            c.point(xe, ye);
            c.out.put(';');
        }
        cx = xe;
        cy = ye;
        if (!(k < length)) break;
    }
    c.out.put("PM2;FP;EP;");
}

} // namespace kesto
