// One-pixel lines, checked against a line worked out pixel by pixel from its true
// position: on each step of the major axis the pixel nearest the true line, a tie going
// to the smaller coordinate; each segment without its last pixel; dash patterns counted
// one per pixel and running on through the segments of one call.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gdi_test_util.h"
#include "platform/surface/gdi.h"

// Counts allocations, to show that drawing lines allocates nothing once warmed up.
namespace {
std::atomic<long> g_allocations{0};
}

void *operator new(std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept {
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace gdi_test;
using gdi::Brush;
using gdi::Pen;
using gdi::PenStyle;
using gdi::Point;
using gdi::Rop2;

__extension__ using Wide = __int128;

Wide ceil_div(Wide a, Wide b) { // b > 0
    const Wide q = a / b;
    return q * b < a ? q + 1 : q;
}

// Dash and gap lengths in pixels, dash first, as the pens are documented to draw them.
std::vector<bool> pattern_of(PenStyle style) {
    std::vector<int> runs;
    switch (style) {
    case PenStyle::Dash:
        runs = {18, 6};
        break;
    case PenStyle::Dot:
        runs = {3, 3};
        break;
    case PenStyle::DashDot:
        runs = {9, 6, 3, 6};
        break;
    case PenStyle::DashDotDot:
        runs = {9, 3, 3, 3, 3, 3};
        break;
    default:
        return {true};
    }
    std::vector<bool> on;
    for (size_t i = 0; i < runs.size(); ++i)
        on.insert(on.end(), static_cast<size_t>(runs[i]), i % 2 == 0);
    return on;
}

struct State {
    Pen pen;
    Rop2 rop = Rop2::CopyPen;
    bool opaque = false;
    gdi::Colour background = kWhite;
};

QRgb *pixel_at(QImage &img, int x, int y) {
    return reinterpret_cast<QRgb *>(img.scanLine(y)) + x;
}

void apply(QImage &img, int x, int y, gdi::Colour c, Rop2 rop) {
    QRgb &p = *pixel_at(img, x, y);
    const QRgb rgb = qRgb(gdi::red_of(c), gdi::green_of(c), gdi::blue_of(c)) & 0xFFFFFFu;
    switch (rop) {
    case Rop2::CopyPen:
        p = 0xFF000000u | rgb;
        break;
    case Rop2::XorPen:
        p = (p & 0xFF000000u) | ((p ^ rgb) & 0xFFFFFFu);
        break;
    case Rop2::NotXorPen:
        p = (p & 0xFF000000u) | (~(p ^ rgb) & 0xFFFFFFu);
        break;
    }
}

// The reference: the line's pixels on the image found one row or column of the image at a
// time, straight from the true line, so a segment from far away costs only the image's size.
void reference_segment(QImage &img, Point a, Point b, const State &s, int64_t &phase) {
    const std::vector<bool> on = pattern_of(s.pen.style);
    const auto period = static_cast<int64_t>(on.size());
    const int64_t dx = int64_t{b.x} - a.x, dy = int64_t{b.y} - a.y;
    const int64_t adx = std::abs(dx), ady = std::abs(dy);
    const int64_t n = std::max(adx, ady);
    const bool x_major = adx >= ady;
    const int across = x_major ? img.width() : img.height();
    for (int t = 0; t < across; ++t) {
        // Step k reaches major coordinate t.
        const int64_t k = x_major ? (dx > 0 ? t - int64_t{a.x} : int64_t{a.x} - t)
                                  : (dy > 0 ? t - int64_t{a.y} : int64_t{a.y} - t);
        if (k < 0 || k >= n)
            continue;
        // Minor coordinate: nearest to start + k * d / n, ties down: ceil(v - 1/2).
        const Wide start = x_major ? a.y : a.x, d = x_major ? dy : dx;
        const Wide minor = ceil_div(2 * (start * n + Wide{k} * d) - n, Wide{2} * n);
        const int x = x_major ? t : static_cast<int>(std::clamp<Wide>(minor, -1, img.width()));
        const int y = x_major ? static_cast<int>(std::clamp<Wide>(minor, -1, img.height())) : t;
        if (x < 0 || y < 0 || x >= img.width() || y >= img.height())
            continue;
        if (on[static_cast<size_t>((phase + k) % period)])
            apply(img, x, y, s.pen.colour, s.rop);
        else if (s.opaque)
            apply(img, x, y, s.background, s.rop);
    }
    phase = (phase + n) % period;
}

void reference_polyline(QImage &img, const std::vector<Point> &pts, const State &s,
                        bool closed = false) {
    int64_t phase = 0;
    for (size_t i = 0; i + 1 < pts.size(); ++i)
        reference_segment(img, pts[i], pts[i + 1], s, phase);
    if (closed)
        reference_segment(img, pts.back(), pts.front(), s, phase);
}

void set_up(gdi::DeviceContext &dc, const State &s) {
    dc.select(s.pen);
    dc.set_rop2(s.rop);
    dc.set_background_mode(s.opaque ? gdi::BackgroundMode::Opaque
                                    : gdi::BackgroundMode::Transparent);
    dc.set_background_colour(s.background);
}

std::string describe(const std::vector<Point> &pts, const State &s) {
    std::ostringstream o;
    o << "style " << static_cast<int>(s.pen.style) << " rop " << static_cast<int>(s.rop)
      << (s.opaque ? " opaque" : " transparent") << " points";
    for (const Point &p : pts)
        o << " (" << p.x << ", " << p.y << ")";
    return o.str();
}

// Empty when the images are equal, else where they first differ.
std::string difference(const QImage &got, const QImage &want) {
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x) {
            const QRgb g = reinterpret_cast<const QRgb *>(got.constScanLine(y))[x];
            const QRgb w = reinterpret_cast<const QRgb *>(want.constScanLine(y))[x];
            if (g != w) {
                std::ostringstream o;
                o << "first difference at (" << x << ", " << y << "): got " << std::hex << g
                  << ", want " << w;
                return o.str();
            }
        }
    return {};
}

QImage noise(int w, int h, QImage::Format format, std::mt19937 &rng) {
    QImage img(w, h, format);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            *pixel_at(img, x, y) = 0xFF000000u | (rng() & 0xFFFFFFu);
    return img;
}

// Points near the image, far off it, and at the ends of the integer range; a far pair is
// often made to pass through the image so that its visible part is worth checking.
std::vector<Point> random_polyline(std::mt19937 &rng, int w, int h) {
    std::uniform_int_distribution<int> npts(2, 8), kind(0, 9);
    std::uniform_int_distribution<int> near_x(-20, w + 20), near_y(-20, h + 20);
    std::uniform_int_distribution<int> far(-(1 << 30), 1 << 30);
    std::uniform_int_distribution<int> any(INT_MIN, INT_MAX);
    std::vector<Point> pts;
    const int n = npts(rng);
    while (static_cast<int>(pts.size()) < n) {
        const int k = kind(rng);
        if (k < 5) {
            pts.push_back({near_x(rng), near_y(rng)});
        } else if (k < 7) {
            pts.push_back({any(rng), any(rng)});
        } else if (k < 9) {
            // Through a point of the image, out to twice as far on the other side.
            const Point mid{near_x(rng), near_y(rng)}, from{far(rng), far(rng)};
            pts.push_back(from);
            pts.push_back({2 * mid.x - from.x, 2 * mid.y - from.y});
        } else {
            const int ends[] = {INT_MIN, INT_MAX, INT_MIN + 1, INT_MAX - 1};
            pts.push_back({ends[rng() % 4], ends[rng() % 4]});
        }
    }
    return pts;
}

const PenStyle kStyles[] = {PenStyle::Solid, PenStyle::Dash, PenStyle::Dot, PenStyle::DashDot,
                            PenStyle::DashDotDot};
const Rop2 kRops[] = {Rop2::CopyPen, Rop2::XorPen, Rop2::NotXorPen};

// ---- the pixels of a line --------------------------------------------------------------

TEST(GdiThinLines, EveryStyleAndRasterOperationMatchesTheReferenceLine) {
    std::mt19937 rng(20240611);
    for (auto format :
         {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied})
        for (PenStyle style : kStyles)
            for (Rop2 rop : kRops)
                for (bool opaque : {false, true}) {
                    if (style == PenStyle::Solid && opaque)
                        continue;
                    const State s{Pen{style, static_cast<int>(rng() % 2),
                                      static_cast<gdi::Colour>(rng() & 0xFFFFFF)},
                                  rop, opaque, static_cast<gdi::Colour>(rng() & 0xFFFFFF)};
                    for (int i = 0; i < 25; ++i) {
                        QImage img = noise(61, 47, format, rng);
                        QImage want = img.copy();
                        const std::vector<Point> pts = random_polyline(rng, 61, 47);
                        {
                            gdi::DeviceContext dc(img);
                            set_up(dc, s);
                            dc.polyline(pts.data(), static_cast<int>(pts.size()));
                        }
                        reference_polyline(want, pts, s);
                        ASSERT_EQ(difference(img, want), "")
                            << describe(pts, s) << " format " << static_cast<int>(format);
                    }
                }
}

TEST(GdiThinLines, TiesGoToTheSmallerCoordinateWhicheverWayTheLineIsDrawn) {
    Canvas c(8, 4);
    const Point right[2] = {{0, 0}, {4, 1}}; // half way at x = 2
    c.dc.polyline(right, 2);
    EXPECT_EQ(c.row(0, 0, 4), "###..");
    EXPECT_EQ(c.row(1, 0, 4), "...#.");

    Canvas back(8, 4);
    const Point left[2] = {{4, 1}, {0, 0}};
    back.dc.polyline(left, 2);
    EXPECT_EQ(back.row(0, 0, 4), ".##..");
    EXPECT_EQ(back.row(1, 0, 4), "...##");

    // In general the two directions differ only in which end is left out.
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> x(-10, 70), y(-10, 58);
    for (int i = 0; i < 2000; ++i) {
        const Point a{x(rng), y(rng)}, b{x(rng), y(rng)};
        Canvas ab, ba;
        const Point fwd[2] = {a, b}, rev[2] = {b, a};
        ab.dc.polyline(fwd, 2);
        ab.dc.set_pixel(b.x, b.y, kBlack);
        ba.dc.polyline(rev, 2);
        ba.dc.set_pixel(a.x, a.y, kBlack);
        ASSERT_EQ(difference(ab.snapshot(), ba.snapshot()), "")
            << "(" << a.x << ", " << a.y << ") - (" << b.x << ", " << b.y << ")";
    }
}

TEST(GdiThinLines, CuttingALineAtTheImageEdgeChangesNoPixelOrDash) {
    // The same polyline on a small image and, moved into the middle, on one large enough
    // to hold it whole: the small image must show exactly the large one's window.
    std::mt19937 rng(99);
    constexpr int kW = 37, kH = 29, kOff = 200;
    std::uniform_int_distribution<int> x(-150, kW + 150), y(-150, kH + 150);
    for (PenStyle style : kStyles)
        for (int i = 0; i < 200; ++i) {
            std::vector<Point> pts(2 + rng() % 5);
            for (Point &p : pts)
                p = {x(rng), y(rng)};
            std::vector<Point> moved = pts;
            for (Point &p : moved)
                p = {p.x + kOff, p.y + kOff};
            Canvas small(kW, kH), large(kW + 2 * kOff, kH + 2 * kOff);
            for (Canvas *c : {&small, &large}) {
                c->dc.select(Pen{style, 0, kRed});
                c->dc.set_background_colour(kGreen);
            }
            small.dc.polyline(pts.data(), static_cast<int>(pts.size()));
            large.dc.polyline(moved.data(), static_cast<int>(moved.size()));
            const QImage window = large.snapshot().copy(kOff, kOff, kW, kH);
            ASSERT_EQ(difference(small.snapshot(), window), "")
                << describe(pts, State{Pen{style, 0, kRed}, Rop2::CopyPen, true, kGreen});
        }
}

TEST(GdiThinLines, LinesFromTheEndsOfTheIntegerRangeDrawOnlyTheirVisiblePixels) {
    Canvas row;
    const Point across[2] = {{INT_MIN, 5}, {INT_MAX, 5}};
    const Point down[2] = {{9, INT_MAX}, {9, INT_MIN}};
    // Each walked pixel by pixel would take seconds; all of them take no time at all.
    for (int i = 0; i < 2000; ++i) {
        row.dc.polyline(across, 2);
        row.dc.polyline(down, 2);
    }
    EXPECT_EQ(row.row(5, 0, 63), std::string(64, '#'));
    EXPECT_EQ(row.column(9, 0, 47), std::string(48, '#'));
    EXPECT_EQ(row.count(kBlack), 64 + 48 - 1);

    // Nearly diagonal from corner to corner of the range: the steps where these enter the
    // image are beyond 64-bit products.
    const std::vector<std::vector<Point>> cases = {
        {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}},
        {{INT_MIN, INT_MIN + 3}, {INT_MAX, INT_MAX - 5}},
        {{INT_MAX, INT_MIN + 40}, {INT_MIN, INT_MAX - 7}},
        {{INT_MIN + 17, INT_MAX}, {INT_MAX, INT_MIN + 100}},
        {{INT_MIN, 20}, {INT_MAX, 21}},
        {{INT_MIN, 0}, {INT_MAX, 47}},
        {{30, INT_MIN}, {31, INT_MAX}},
    };
    for (const auto &pts : cases)
        for (PenStyle style : kStyles) {
            const State s{Pen{style, 0, kBlack}, Rop2::CopyPen, true, kGreen};
            Canvas c;
            set_up(c.dc, s);
            c.dc.polyline(pts.data(), 2);
            QImage want(c.dc.width(), c.dc.height(), QImage::Format_RGB32);
            want.fill(qRgb(255, 255, 255));
            reference_polyline(want, pts, s);
            ASSERT_EQ(difference(c.snapshot(), want), "") << describe(pts, s);
        }
}

TEST(GdiThinLines, DashesRunOnThroughTheSegmentsOfOnePolyline) {
    // A line drawn in one-pixel steps dashes exactly as the same line drawn whole.
    for (PenStyle style : kStyles) {
        std::vector<Point> steps;
        for (int x = 0; x <= 60; ++x)
            steps.push_back({x, 3});
        Canvas whole, stepped;
        for (Canvas *c : {&whole, &stepped})
            c->dc.select(Pen{style, 0, kBlack});
        const Point line[2] = {{0, 3}, {60, 3}};
        whole.dc.polyline(line, 2);
        stepped.dc.polyline(steps.data(), static_cast<int>(steps.size()));
        EXPECT_EQ(stepped.row(3, 0, 63), whole.row(3, 0, 63)) << static_cast<int>(style);
        EXPECT_EQ(stepped.row(3, 0, 63, kWhite), whole.row(3, 0, 63, kWhite));
    }

    // Round a corner; a segment of no length neither draws nor moves the pattern. Each
    // call starts its pattern afresh.
    Canvas c;
    c.dc.set_background_mode(gdi::BackgroundMode::Transparent);
    c.dc.select(Pen{PenStyle::Dot, 0, kBlack});
    const Point corner[4] = {{0, 1}, {4, 1}, {4, 1}, {4, 12}};
    c.dc.polyline(corner, 4);
    EXPECT_EQ(c.row(1, 0, 5), "###...");
    EXPECT_EQ(c.column(4, 1, 12), "..###...###.");
    c.dc.polyline(corner + 2, 2);
    EXPECT_EQ(c.column(4, 1, 12), "#####.#####.");
}

// ---- raster operations and polygons -----------------------------------------------------

TEST(GdiThinLines, XorLinesAndOutlinesDrawnTwiceLeaveNoTrace) {
    std::mt19937 rng(5);
    int drawn = 0, visible = 0;
    for (Rop2 rop : {Rop2::XorPen, Rop2::NotXorPen})
        for (PenStyle style : kStyles)
            for (bool opaque : {false, true})
                for (int i = 0; i < 20; ++i) {
                    QImage img = noise(53, 41, QImage::Format_RGB32, rng);
                    const QImage before = img.copy();
                    const std::vector<Point> pts = random_polyline(rng, 53, 41);
                    const State s{Pen{style, 1, static_cast<gdi::Colour>(rng() & 0xFFFFFF)}, rop,
                                  opaque, static_cast<gdi::Colour>(rng() & 0xFFFFFF)};
                    gdi::DeviceContext dc(img);
                    set_up(dc, s);
                    dc.select(i % 2 ? Brush::null()
                                    : Brush::solid(static_cast<gdi::Colour>(rng() & 0xFFFFFF)));
                    const int n = static_cast<int>(pts.size());
                    dc.polyline(pts.data(), n);
                    ++drawn;
                    visible += difference(dc.image(), before) != "";
                    dc.polygon(pts.data(), n);
                    dc.polygon(pts.data(), n);
                    dc.polyline(pts.data(), n);
                    ASSERT_EQ(difference(dc.image(), before), "") << describe(pts, s);
                }
    EXPECT_GT(visible, drawn * 3 / 4) << "most of the lines cross the image";
}

TEST(GdiThinLines, PolygonOutlineIsTheClosedRingDrawnOverTheFill) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> x(-30, 94), y(-30, 78);
    for (PenStyle style : kStyles)
        for (int i = 0; i < 40; ++i) {
            std::vector<Point> pts(2 + rng() % 6);
            for (Point &p : pts)
                p = {x(rng), y(rng)};
            const int n = static_cast<int>(pts.size());
            Canvas one, apart;
            for (Canvas *c : {&one, &apart}) {
                c->dc.set_background_colour(kGreen);
                c->dc.select(Brush::solid(kRed));
            }
            one.dc.select(Pen{style, 0, kBlue});
            one.dc.polygon(pts.data(), n);

            apart.dc.select(Pen::null());
            apart.dc.polygon(pts.data(), n);
            apart.dc.select(Pen{style, 0, kBlue});
            std::vector<Point> ring = pts;
            ring.push_back(pts.front());
            apart.dc.polyline(ring.data(), n + 1);
            ASSERT_EQ(difference(one.snapshot(), apart.snapshot()), "")
                << describe(pts, State{Pen{style, 0, kBlue}, Rop2::CopyPen, true, kGreen});
        }

    // The gaps of a dotted outline show the background even where the fill reaches the
    // outermost pixels (the top and left edges).
    Canvas c;
    c.dc.set_background_colour(kGreen);
    c.dc.select(Brush::solid(kRed));
    c.dc.select(Pen{PenStyle::Dot, 0, kBlue});
    const Point box[4] = {{2, 2}, {20, 2}, {20, 12}, {2, 12}};
    c.dc.polygon(box, 4);
    EXPECT_EQ(c.row(2, 2, 13, kBlue), "###...###...");
    EXPECT_EQ(c.row(2, 2, 13, kGreen), "...###...###");
    EXPECT_EQ(c.row(6, 3, 19, kRed), std::string(17, '#'));
}

// ---- the image under the lines ------------------------------------------------------------

TEST(GdiThinLines, ImagesOfOtherFormatsAreStillDrawnOn) {
    for (auto format : {QImage::Format_RGB888, QImage::Format_RGB16, QImage::Format_Grayscale8}) {
        QImage img(20, 10, format);
        img.fill(Qt::white);
        gdi::DeviceContext dc(img);
        const Point line[3] = {{-5, 4}, {14, 4}, {14, 9}};
        dc.polyline(line, 3);
        const QImage &out = dc.image();
        for (int x = 0; x < 20; ++x)
            EXPECT_EQ(out.pixel(x, 4) == qRgb(0, 0, 0), x <= 14) << x << " format " << format;
        EXPECT_EQ(out.pixel(14, 8), qRgb(0, 0, 0));
        EXPECT_EQ(out.pixel(14, 9), qRgb(255, 255, 255));
    }
}

TEST(GdiThinLines, DrawingLinesAllocatesNothing) {
    Canvas c;
    std::mt19937 rng(3);
    std::vector<std::vector<Point>> lines;
    for (int i = 0; i < 200; ++i)
        lines.push_back(random_polyline(rng, 64, 48));
    const Pen pens[] = {Pen{PenStyle::Solid, 0, kRed}, Pen{PenStyle::DashDot, 1, kBlue}};
    c.dc.select(Brush::null());
    const auto draw_all = [&] {
        for (const auto &pts : lines) {
            c.dc.select(pens[pts.size() % 2]);
            c.dc.set_rop2(kRops[pts.size() % 3]);
            c.dc.polyline(pts.data(), static_cast<int>(pts.size()));
            c.dc.polygon(pts.data(), static_cast<int>(pts.size()));
        }
    };
    draw_all();
    const long before = g_allocations.load();
    draw_all();
    EXPECT_EQ(g_allocations.load() - before, 0);
}

} // namespace
