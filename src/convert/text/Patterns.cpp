// Pattern regions: the block marker switches to the pattern pen, and a
// fill record outlines the area with contours of lines and arcs, drawn as
// one HP-GL polygon that is filled and edged.

#include "convert/Converter.h"
#include "ofi/RecordCodes.h"

#include <string_view>

namespace kesto {

void convertPatternBlock(Converter& c) {
    c.out.flushPendingStyle();
    const std::uint16_t m = c.in.next();
    DrawingStyle& st = c.style();
    if (m == ofi::kBlockStart) {
        st.textActive = true;
        if (st.penMode == PenMode::Geometry ||
            (st.penMode != PenMode::Pattern && c.settings.penText != c.settings.penPattern)) {
            st.patternFitted = false;
            st.penMode = PenMode::Pattern;
            c.out.put(c.settings.penPattern).put("LT;");
        }
    } else if (m == ofi::kBlockEnd) {
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
    // A pen command to a point: "PA12,34;".
    auto to = [&c](std::string_view command, double x, double y) {
        c.out.put(command);
        c.point(x, y);
        c.out.put(';');
    };
    auto openPolygon = [&] {
        to("PUPA", cx, cy);
        c.out.put("PM0;");
    };
    for (;;) {
        std::uint16_t code = c.in.next();
        k += 1;
        if (code == ofi::kContourStart) {
            cx = c.in.next();
            cy = c.in.next();
            k += 2;
            to("PM1;PUPA", cx, cy);
            code = c.in.next();
            k += 1;
        }
        double xe, ye;
        if (code == ofi::kArcElement) {
            const double xm = c.in.next();
            const double ym = c.in.next();
            xe = c.in.next();
            ye = c.in.next();
            k += 4;
            if (k == 8) openPolygon();
            if (xe == cx && ye == cy) {
                writeFullCircle(c, cx, cy, xm, ym);
            } else {
                ArcPoints p{cx, cy, xm, ym, xe, ye};
                double ax, ay;
                if (arcCentre(p, ax, ay)) {
                    arcThroughThreePoints(c, ax, ay, p);
                } else {
                    // Points on one line: the outline goes straight to the end point.
                    to("PA", xe, ye);
                }
            }
        } else {
            if (k == 4) openPolygon();
            xe = c.in.next();
            ye = c.in.next();
            k += 2;
            to("PA", xe, ye);
        }
        cx = xe;
        cy = ye;
        if (!(k < length)) break;
    }
    c.out.put("PM2;FP;EP;");
}

} // namespace kesto
