// A picture at a device pixel ratio of 2, as on a HiDPI screen: coordinates stay logical,
// one-pixel pens are one device pixel, and what is drawn twice in XOR leaves no trace.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <string>

#include "platform/gdi_test_util.h"
#include "platform/surface/gdi.h"

namespace {

using namespace gdi_test;
using gdi::Brush;
using gdi::Pen;
using gdi::PenStyle;
using gdi::Point;

struct FineCanvas {
    explicit FineCanvas(int w = 32, int h = 24) : image(2 * w, 2 * h, QImage::Format_RGB32) {
        image.setDevicePixelRatio(2);
        dc.clear(kWhite);
    }
    QImage image;
    gdi::DeviceContext dc{image};

    // Device row y from x0 to x1 inclusive: '#' for black, 'r' for red, '.' otherwise.
    std::string device_row(int y, int x0, int x1) {
        const QImage &img = dc.image();
        std::string s;
        for (int x = x0; x <= x1; ++x) {
            const QRgb p = img.pixel(x, y) & 0xFFFFFF;
            s.push_back(p == 0 ? '#' : p == 0xFF0000 ? 'r' : '.');
        }
        return s;
    }
    int black_in_device_column(int x, int y0, int y1) {
        const QImage &img = dc.image();
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            n += (img.pixel(x, y) & 0xFFFFFF) == 0;
        return n;
    }
};

TEST(GdiDeviceRatio, CoordinatesAreLogicalAndOnePixelPensOneDevicePixel) {
    FineCanvas c;
    EXPECT_EQ(c.dc.width(), 32);
    EXPECT_EQ(c.dc.height(), 24);

    // Through the device pixel at the centre of each logical pixel, the last one left out.
    const Point across[2] = {{2, 3}, {8, 3}};
    c.dc.polyline(across, 2);
    EXPECT_EQ(c.device_row(6, 3, 18), "................");
    EXPECT_EQ(c.device_row(7, 3, 18), "..############..");
    EXPECT_EQ(c.device_row(8, 3, 18), "................");
    EXPECT_EQ(c.dc.get_pixel(2, 3), kBlack);
    EXPECT_EQ(c.dc.get_pixel(8, 3), kWhite);

    // A slanting line: one device pixel in each device column it crosses, no 2x2 steps.
    const Point slant[2] = {{2, 10}, {12, 14}};
    c.dc.polyline(slant, 2);
    for (int x = 5; x <= 24; ++x)
        EXPECT_EQ(c.black_in_device_column(x, 18, 30), 1) << "device column " << x;

    // A rectangle's outline lies on its box's outermost device pixels, the fill inside.
    c.dc.select(Brush::solid(kRed));
    c.dc.rectangle(20, 2, 24, 5);
    EXPECT_EQ(c.device_row(3, 39, 48), "..........");
    EXPECT_EQ(c.device_row(4, 39, 48), ".########.");
    EXPECT_EQ(c.device_row(5, 39, 48), ".#rrrrrr#.");
    EXPECT_EQ(c.device_row(9, 39, 48), ".########.");

    // A polygon's fill meets its outline without a gap or an overhang.
    const Point square[4] = {{2, 17}, {8, 17}, {8, 21}, {2, 21}};
    c.dc.polygon(square, 4);
    EXPECT_EQ(c.device_row(38, 3, 18), "..#rrrrrrrrrrr#.");
}

TEST(GdiDeviceRatio, RubberBandsDrawnTwiceLeaveNoTrace) {
    FineCanvas c;
    c.dc.select(Brush::solid(gdi::rgb(30, 140, 200)));
    c.dc.rectangle(3, 3, 20, 15);
    const QImage before = c.dc.image().copy();
    c.dc.set_rop2(gdi::Rop2::XorPen);
    c.dc.select(Pen{PenStyle::Solid, 0, gdi::rgb(255, 255, 0)});
    c.dc.select(Brush::null());
    const auto band = [&c] {
        const Point box[5] = {{1, 2}, {25, 2}, {25, 20}, {1, 20}, {1, 2}};
        c.dc.polyline(box, 5);
        c.dc.rectangle(5, 4, 17, 12);
        c.dc.ellipse(6, 5, 19, 16);
        c.dc.select(Pen{PenStyle::Dot, 0, gdi::rgb(255, 255, 0)});
        const Point slant[2] = {{0, 0}, {30, 23}};
        c.dc.polyline(slant, 2);
        c.dc.select(Pen{PenStyle::Solid, 0, gdi::rgb(255, 255, 0)});
    };
    band();
    EXPECT_NE(c.dc.image(), before);
    band();
    EXPECT_EQ(c.dc.image(), before);
}

// The ink of a text drawn at (4, 4): its rightmost device pixel, and how many of its 2x2
// blocks of device pixels are partly inked (scaled-up text is made of whole blocks).
struct Ink {
    int rightmost = 0;
    int blocks = 0;
    int mixed_blocks = 0;
};

Ink text_ink(QImage image) {
    gdi::DeviceContext dc(image);
    dc.clear(kWhite);
    dc.select(gdi::Font{"Liberation Sans", -20, 400});
    dc.set_background_mode(gdi::BackgroundMode::Transparent);
    dc.text_out(4, 4, "Wessex 1:2500");
    const QImage &img = dc.image();
    Ink ink;
    for (int y = 0; y + 1 < img.height(); y += 2)
        for (int x = 0; x + 1 < img.width(); x += 2) {
            int black = 0;
            for (int k = 0; k < 4; ++k)
                black += (img.pixel(x + (k & 1), y + (k >> 1)) & 0xFFFFFF) == 0;
            if (black == 0)
                continue;
            ++ink.blocks;
            ink.mixed_blocks += black < 4;
            ink.rightmost = std::max(ink.rightmost, x + 1);
        }
    return ink;
}

TEST(GdiDeviceRatio, TextIsDrawnAtTheFinerResolution) {
    QImage fine(240, 80, QImage::Format_RGB32);
    fine.setDevicePixelRatio(2);
    const Ink at2 = text_ink(fine);
    const Ink at1 = text_ink(QImage(120, 40, QImage::Format_RGB32));
    ASSERT_GT(at1.blocks, 20);
    // As long as at ratio 1, in twice the device pixels...
    EXPECT_NEAR(at2.rightmost, 2 * at1.rightmost, 10);
    // ...and with edges of single device pixels.
    EXPECT_GT(at2.mixed_blocks, at2.blocks / 4) << "the text looks scaled up from logical pixels";
}

} // namespace
