// The map's drawing surface: a device context over a QImage with the look of the
// classic Windows graphics interface, so that what the drawing code asks for lands on
// exactly the pixels it would there:
//   - no antialiasing; a pen of width 0 or 1 is one pixel wide;
//   - a one-pixel line lights, on each step along its longer axis, the pixel nearest the
//     true line, a tie going to the smaller coordinate (so either direction gives the
//     same pixels), and leaves out its last pixel;
//   - dash and dot styles only on one-pixel pens (wider styled pens draw solid), their
//     lengths counted in pixels and running on through the segments of one call;
//   - polygons filled odd-even (alternate) and outlined with the current pen;
//   - a mono 8x8 pattern brush paints its 0 bits in the text colour and its 1 bits in
//     the background colour, whatever the background mode, aligned to pixel (0, 0);
//   - colours are r + 256 g + 65536 b;
//   - text positioned by the alignment flags (top-left until set; the map sets
//     bottom-left), in the text colour, on a box of the background colour when the
//     background mode is opaque (the platform's default, which the map turns off);
//   - set_pixel ignores pen, brush and raster operation;
//   - the XOR raster operations draw rubber bands that a second drawing removes.
//
// Pens, brushes and fonts are plain values: selecting one copies it into the context
// and returns the one it replaces, so nothing needs deleting and nothing leaks.
//
// The context keeps its own painter open on the image between calls, because the map's
// inner loop draws hundreds of thousands of small lines per redraw. While it lives, paint
// the image only through it. image() closes that painter, so after calling it the caller
// may read, write, paint or replace the image (QImage::copy() for a snapshot: a shallow
// copy would share the pixels the next call draws into); the next drawing call opens
// the painter again on whatever the image then is.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/colour.h"
#include "zent32i.h" // ZT_Point2: the pixel points the library produces

class QImage;
class QPainter;

namespace gdi {

using Point = ZT_Point2;

enum class PenStyle : int { Solid = 0, Dash = 1, Dot = 2, DashDot = 3, DashDotDot = 4, Null = 5 };

struct Pen {
    PenStyle style = PenStyle::Solid;
    int width = 0; // 0 or 1: one pixel
    Colour colour = 0;
    static Pen black() { return Pen{}; }
    static Pen null() { return Pen{PenStyle::Null, 0, 0}; }
    bool operator==(const Pen &) const = default;
};

using PatternBits = std::array<uint8_t, 8>; // rows top to bottom, leftmost pixel = bit 7

struct Brush {
    enum class Style : int { Solid = 0, Null = 1, Pattern = 3 };
    Style style = Style::Solid;
    Colour colour = 0;     // solid brushes
    PatternBits pattern{}; // pattern brushes
    static Brush black() { return Brush{}; }
    static Brush null() { return Brush{Style::Null, 0, {}}; }
    static Brush solid(Colour c) { return Brush{Style::Solid, c, {}}; }
    static Brush mono_pattern(const PatternBits &bits) { return Brush{Style::Pattern, 0, bits}; }
    bool operator==(const Brush &) const = default;
};

struct Font {
    std::string face = "System";
    int height = 0; // < 0: character height in pixels; > 0: cell height; 0: default
    int weight = 0; // 0 default, 400 normal, 700 bold
    bool operator==(const Font &) const = default;
    static Font system() { return Font{}; }
};

enum class BackgroundMode { Transparent = 1, Opaque = 2 };

// Text alignment flags, combinable as in the platform: left/right/centre with
// top/bottom/baseline.
enum TextAlign : int {
    TA_LEFT = 0,
    TA_RIGHT = 2,
    TA_CENTER = 6,
    TA_TOP = 0,
    TA_BOTTOM = 8,
    TA_BASELINE = 24,
};

enum class Rop2 { CopyPen, XorPen, NotXorPen };

struct Size {
    int cx = 0;
    int cy = 0;
    bool operator==(const Size &) const = default;
};

// A shape of pixels painted in one colour wherever it is put: runs of pixels by row,
// relative to the shape's centre. Taken from an image of the shape drawn once (a point
// symbol), it paints many copies for the cost of writing their pixels.
struct Stamp {
    struct Run {
        int dy, dx0, dx1; // the row, and its first and last pixel
    };
    std::vector<Run> runs;
    // The pixels of image that are not fully transparent, centred on (cx, cy).
    static Stamp of(const QImage &image, int cx, int cy);
};

class DeviceContext {
  public:
    // Draws into image, which must outlive the context. Pixels per inch is fixed at
    // 96 so that font sizes in points give the same pixels everywhere.
    explicit DeviceContext(QImage &image);
    ~DeviceContext();
    DeviceContext(const DeviceContext &) = delete;
    DeviceContext &operator=(const DeviceContext &) = delete;

    QImage &image();
    // The size in logical pixels, the ones every coordinate here counts. An image with a
    // device pixel ratio above 1 has that many times more pixels each way: one-pixel pens
    // are one device pixel, through the device pixel at the centre of the logical pixel a
    // point names; the outlines of rectangles and ellipses lie on their box's outermost
    // device pixels; fills, text, wide pens and patterns keep their logical size, drawn
    // at the finer resolution. At a ratio of 1 the two are the same.
    int width() const;
    int height() const;
    double device_pixel_ratio() const;
    static constexpr int pixels_per_inch() { return 96; }

    // Object selection: returns what was selected before.
    Pen select(const Pen &pen);
    Brush select(const Brush &brush);
    Font select(const Font &font);
    const Pen &pen() const;
    const Brush &brush() const;
    const Font &font() const;

    Colour set_text_colour(Colour c); // returns the previous colour
    Colour text_colour() const;
    Colour set_background_colour(Colour c);
    Colour background_colour() const;
    BackgroundMode set_background_mode(BackgroundMode m);
    int set_text_align(int flags);
    int text_align() const;
    Rop2 set_rop2(Rop2 rop);
    Rop2 rop2() const;

    // Drawing. Counts below 2 (polyline) or 2 (polygon) draw nothing.
    // A one-pixel polyline leaves out its very last pixel, so that consecutive lines and
    // closed rubber bands touch every pixel once.
    void polyline(const Point *points, int count);
    void polygon(const Point *points, int count);
    // Both fill the box [left, right) x [top, bottom) (corners in either order): the
    // outline of a one-pixel pen lies on its outermost pixels, the brush fills inside;
    // a wider pen is centred on those outermost pixels.
    void ellipse(int left, int top, int right, int bottom);
    void rectangle(int left, int top, int right, int bottom);
    // The outline through the corners (x1, y1) and (x2, y2), in either order, as one
    // closed polyline from (x1, y1) with the current pen and no fill: with a one-pixel pen
    // every pixel of it is drawn once, so that a second exclusive-or drawing takes it away
    // exactly (a rubber band), and a box without size draws nothing.
    void box(int x1, int y1, int x2, int y2);
    void text_out(int x, int y, std::string_view text);
    void set_pixel(int x, int y, Colour c);
    // The stamp's pixels centred on (x, y) in colour c, cut to the image: what drawing
    // its shape there in that colour paints, whatever the pen, brush and raster
    // operation (which the caller keeps to plain copying where that matters).
    void stamp(const Stamp &s, int x, int y, Colour c);
    // -1 outside the image; on a finer picture, the device pixel a one-pixel line through
    // (x, y) lights.
    Colour get_pixel(int x, int y) const;

    // The current position and a line from it, as polyline draws it; moves to (x, y).
    void move_to(int x, int y);
    void line_to(int x, int y);

    // Fills [left, right) x [top, bottom) with a brush, whatever the pen and the raster
    // operation.
    void fill_rect(int left, int top, int right, int bottom, const Brush &brush);

    // Width and height in pixels of the text's box in the selected font (the box that
    // text_out aligns and an opaque background fills).
    Size text_extent(std::string_view text);

    // Copies the source rectangle of an image into the destination rectangle, stretched
    // by nearest pixel when the sizes differ (window capture, raster backgrounds). The
    // source is another image: a capture of this one is taken with image().copy(). The
    // source rectangle counts the source's logical pixels.
    void draw_image(int dst_x, int dst_y, int dst_width, int dst_height, const QImage &source,
                    int src_x, int src_y, int src_width, int src_height);

    // Fills the whole image with a colour (clearing the window).
    void clear(Colour c);

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace gdi
