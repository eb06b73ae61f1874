// Arcs and circles: the thin arc through three points (or a full circle),
// and the wide dashed arc whose dashes become filled ring sectors.

#include "convert/Converter.h"

#include <cmath>

namespace kesto {

namespace {

constexpr double kHalfPi = kPi / 2;
constexpr double kThreeHalfPi = 3 * kPi / 2;
constexpr double kTwoPi = 6.28318530717958;
constexpr double kNudge = 0.00001; // moves a coordinate off a division by zero
constexpr int kMaxNudges = 64;     // each rule fires a few times at most
constexpr double kAxisSnap = 1;    // drawing units: closer to an axis takes the axis angle
constexpr std::size_t kMaxSectorsPerRecord = 2'000'000; // beyond this it is not a drawing

double degrees(double radians) {
    return radians / kPi * 180;
}

double angleOf(double px, double py, double cx, double cy, bool rotated) {
    const double dx = px - cx;
    const double dy = py - cy;
    double a;
    if (rotated) {
        if (std::fabs(dy) < kAxisSnap && dx >= 0)
            a = kHalfPi;
        else if (std::fabs(dy) < kAxisSnap && dx < 0)
            a = kThreeHalfPi;
        else if (std::fabs(dx) < kAxisSnap && dy >= 0)
            a = 0;
        else if (std::fabs(dx) < kAxisSnap && dy < 0)
            a = kPi;
        else {
            a = std::atan(dx / dy);
            if ((dy < 0 && dx >= 0) || (dy <= 0 && dx < 0)) a += kPi;
            if (dy > 0 && dx < 0) a += kTwoPi;
        }
    } else {
        if (std::fabs(dx) < kAxisSnap && dy >= 0)
            a = kThreeHalfPi;
        else if (std::fabs(dx) < kAxisSnap && dy < 0)
            a = kHalfPi;
        else if (std::fabs(dy) < kAxisSnap && dx >= 0)
            a = 0;
        else if (std::fabs(dy) < kAxisSnap && dx < 0)
            a = kPi;
        else {
            a = std::atan(dy / dx);
            if (dx > 0 && dy < 0)
                a = -a;
            else if (dx < 0 && dy != 0)
                a = kPi - a;
            else if (dx > 0 && dy > 0)
                a = kTwoPi - a;
        }
    }
    while (a > kTwoPi)
        a -= kTwoPi;
    while (a < 0)
        a += kTwoPi;
    return a;
}

void writeSector(Converter& c, double cx, double cy, double outer, double inner, double theta,
                 double phi) {
    double qx, qy, ex, ey;
    if (c.page().rotated) {
        qx = cx + outer * std::sin(theta);
        qy = cy + outer * std::cos(theta);
        ex = cx + inner * std::sin(theta + phi);
        ey = cy + inner * std::cos(theta + phi);
    } else {
        qx = cx + outer * std::cos(theta);
        qy = cy + outer * std::sin(theta);
        ex = cx + inner * std::cos(theta + phi);
        ey = cy + inner * std::sin(theta + phi);
    }
    GlfWriter& out = c.out;
    out.put("PUPA");
    c.point(qx, qy);
    out.put(";PM0;PD;AA");
    c.point(cx, cy);
    out.put(',').num(degrees(phi), Mask::NoLeadFixed1To5).put(",3;PA");
    c.point(ex, ey);
    out.put(";AA");
    c.point(cx, cy);
    out.put(',').num(degrees(-phi), Mask::NoLeadFixed1To5).put(",3;PA");
    c.point(qx, qy);
    out.put(";PM2;FP;EP;");
}

} // namespace

bool arcCentre(ArcPoints& p, double& cx, double& cy) {
    for (int i = 0; i < kMaxNudges; ++i) {
        if (p.x3 - p.x1 == 0)
            p.x1 += kNudge;
        else if (p.y3 - p.y1 == 0)
            p.y1 += kNudge;
        else if (p.x3 - p.x2 == 0 || p.x2 - p.x1 == 0)
            p.x2 += kNudge;
        else if (p.y3 - p.y2 == 0 || p.y2 - p.y1 == 0)
            p.y2 += kNudge;
        else
            break;
    }
    const double x1 = p.x1, y1 = p.y1, x2 = p.x2, y2 = p.y2, x3 = p.x3, y3 = p.y3;
    const double a = x1 * x1 - x2 * x2 + y1 * y1 - y2 * y2;
    const double b = x2 * x2 - x3 * x3 + y2 * y2 - y3 * y3;
    const double slopes = (y3 - y2) / (x3 - x2) - (y2 - y1) / (x2 - x1);
    const double inverse = (x3 - x2) / (y3 - y2) - (x2 - x1) / (y2 - y1);
    if (slopes == 0 || inverse == 0 || !std::isfinite(slopes) || !std::isfinite(inverse)) {
        return false; // the points lie on one line
    }
    cy = (a / (x2 - x1) - b / (x3 - x2)) / slopes / 2;
    cx = (a / (y2 - y1) - b / (y3 - y2)) / inverse / 2;
    return true;
}

void arcThroughThreePoints(Converter& c, double cx, double cy, const ArcPoints& p) {
    const bool rotated = c.page().rotated;
    const double t3 = angleOf(p.x3, p.y3, cx, cy, rotated);
    const double t1 = angleOf(p.x1, p.y1, cx, cy, rotated);
    const double r = std::sqrt((p.x1 - cx) * (p.x1 - cx) + (p.y1 - cy) * (p.y1 - cy));
    const double w = std::fabs(t1 - t3);
    const double v = w - kTwoPi;
    const double mids[4] = {t1 + w / 2, t1 + v / 2, t1 - w / 2, t1 - v / 2};
    int best = 0;
    double bestDistance = 0;
    for (int i = 0; i < 4; ++i) {
        double px, py;
        if (rotated) {
            px = cx + r * std::sin(mids[i]);
            py = cy + r * std::cos(mids[i]);
        } else {
            px = cx + r * std::cos(mids[i]);
            py = cy - r * std::sin(mids[i]);
        }
        const double d = std::fabs(px - p.x2) + std::fabs(py - p.y2);
        if (i == 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    const double sweeps[4] = {w, v, -w, -v}; // as seen on a rotated sheet
    const double sweep = rotated ? sweeps[best] : -sweeps[best];
    c.out.put("PD;AA");
    c.point(cx, cy);
    c.out.put(',').num(degrees(sweep), Mask::NoLeadFixed1To5).put(",3;");
}

void writeFullCircle(Converter& c, double x, double y, double throughX, double throughY) {
    c.out.put("PD;AA");
    c.point(throughX + (x - throughX) / 2, throughY + (y - throughY) / 2);
    c.out.put(",360,3;");
}

void convertThreePointArc(Converter& c) {
    c.out.flushPendingStyle();
    restorePattern(c);
    reselectGeometryPen(c);
    ArcPoints p{};
    p.x1 = c.in.next();
    p.y1 = c.in.next();
    p.x2 = c.in.next();
    p.y2 = c.in.next();
    p.x3 = c.in.next();
    p.y3 = c.in.next();
    if (p.x1 == p.x3 && p.y1 == p.y3) {
        // Full circle whose diameter runs from P1 to P2.
        c.out.put("PUPA");
        c.point(p.x1, p.y1);
        c.out.put(';');
        writeFullCircle(c, p.x1, p.y1, p.x2, p.y2);
        return;
    }
    const ArcPoints original = p;
    double cx, cy;
    if (!arcCentre(p, cx, cy)) {
        // Points on one line: the plotter gets the straight line from P1 to P3.
        writeSegment(c, original.x1, original.y1, original.x3, original.y3);
        return;
    }
    c.out.put("PUPA");
    c.point(p.x1, p.y1);
    arcThroughThreePoints(c, cx, cy, p);
}

void convertWideDashedArc(Converter& c) {
    c.out.flushPendingStyle();
    restorePattern(c);
    reselectGeometryPen(c);
    const unsigned start = c.in.next();
    const unsigned n = c.in.next();
    readPatternElements(c, start, n, 1'000'000);
    const std::vector<double>& el = c.state.elements;
    double used = c.in.nextULong() / 1'000'000;
    const double width = c.in.next();
    ArcPoints p{};
    p.x1 = c.in.next();
    p.y1 = c.in.next();
    p.x2 = c.in.next();
    p.y2 = c.in.next();
    p.x3 = c.in.next();
    p.y3 = c.in.next();

    double cx, cy, sweep;
    if (p.x1 != p.x3 || p.y1 != p.y3) {
        if (!arcCentre(p, cx, cy)) return; // points on one line: nothing to draw
        for (int i = 0; i < kMaxNudges; ++i) {
            if (p.y1 - cy == 0)
                p.y1 += kNudge;
            else if (p.y3 - cy == 0)
                p.y3 += kNudge;
            else
                break;
        }
        sweep = (std::atan((p.x3 - cx) / (p.y3 - cy)) + (p.y3 - cy < 0 ? kPi : 0)) -
                (std::atan((p.x1 - cx) / (p.y1 - cy)) + (p.y1 - cy < 0 ? kPi : 0));
        if (sweep < 0) sweep += kTwoPi;
    } else {
        cx = p.x2 + (p.x1 - p.x2) / 2;
        cy = p.y2 + (p.y1 - p.y2) / 2;
        sweep = kTwoPi;
    }
    const double r = std::sqrt((p.x1 - cx) * (p.x1 - cx) + (p.y1 - cy) * (p.y1 - cy));
    const double outer = r + width / 2;
    const double inner = outer - width;

    double startAngle;
    if (c.page().rotated) {
        const double dx = p.x1 - cx;
        const double dy = p.y1 - cy;
        startAngle = dy == 0 ? kHalfPi : std::atan(dx / dy);
        if ((dy < 0 && dx >= 0) || (dy <= 0 && dx < 0)) startAngle += kPi;
        if (dy > 0 && dx < 0) startAngle += kTwoPi;
    } else {
        const double dx = p.x3 - cx;
        const double dy = p.y3 - cy;
        startAngle = dx == 0 ? kHalfPi : std::atan(dy / dx);
        if ((dx < 0 && dy >= 0) || (dx <= 0 && dy < 0)) startAngle += kPi;
        if (dx > 0 && dy < 0) startAngle += kTwoPi;
    }

    if (n == 1) {
        writeSector(c, cx, cy, outer, inner, startAngle, sweep);
        return;
    }
    unsigned e = start;
    double done = 0;
    double rest = sweep;
    std::size_t sectors = 0;
    for (;;) {
        if (e > n - 1) e = 0;
        const double t = rest - (el[e] - used);
        if (!(t > 0)) break;
        if (e % 2 == 0) {
            if (++sectors > kMaxSectorsPerRecord)
                throw DrawingDamaged("too many dashes in one record");
            writeSector(c, cx, cy, outer, inner, startAngle + done, el[e] - used);
        }
        done = done + el[e] - used;
        used = 0;
        rest = t;
        ++e;
    }
    if (e % 2 == 0) writeSector(c, cx, cy, outer, inner, startAngle + done, rest);
}

} // namespace kesto
