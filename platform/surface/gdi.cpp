#include "platform/surface/gdi.h"

#include <QBrush>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QString>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace gdi {

namespace {

QColor qcolour(Colour c) {
    return QColor(red_of(c), green_of(c), blue_of(c));
}

Colour from_qrgb(QRgb p) {
    return rgb(qRed(p), qGreen(p), qBlue(p));
}

// The platform's dash patterns for one-pixel pens: alternating dash and gap lengths in
// pixels, starting with a dash. One table serves the painter and our own line drawing.
struct Dashes {
    int count = 0;
    std::array<int, 6> runs{};
};

constexpr Dashes dashes_of(PenStyle style) {
    switch (style) {
    case PenStyle::Dash:
        return {2, {18, 6}};
    case PenStyle::Dot:
        return {2, {3, 3}};
    case PenStyle::DashDot:
        return {4, {9, 6, 3, 6}};
    case PenStyle::DashDotDot:
        return {6, {9, 3, 3, 3, 3, 3}};
    default:
        return {};
    }
}

QList<qreal> dash_pattern(PenStyle style) {
    const Dashes dashes = dashes_of(style);
    QList<qreal> pattern;
    for (int i = 0; i < dashes.count; ++i)
        pattern.push_back(dashes.runs[static_cast<size_t>(i)]);
    return pattern;
}

// The same pattern turned inside out: on where the dashes have gaps. An opaque
// background paints the gaps of a styled line with it.
void gap_pattern(PenStyle style, QList<qreal> &pattern, qreal &offset) {
    const QList<qreal> dashes = dash_pattern(style);
    pattern.clear();
    qreal total = 0;
    for (qreal v : dashes)
        total += v;
    // Starting from the first gap, the list is gap, dash, gap, ..., dash.
    for (qsizetype i = 1; i < dashes.size(); ++i)
        pattern.push_back(dashes[i]);
    pattern.push_back(dashes[0]);
    offset = total - dashes[0];
}

QPainter::CompositionMode composition_for(Rop2 rop) {
    switch (rop) {
    case Rop2::XorPen:
        return QPainter::RasterOp_SourceXorDestination;
    case Rop2::NotXorPen:
        return QPainter::RasterOp_NotSourceXorDestination;
    case Rop2::CopyPen:
        break;
    }
    return QPainter::CompositionMode_SourceOver;
}

bool valid_utf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        int more = 0;
        if (c < 0x80)
            more = 0;
        else if ((c & 0xE0) == 0xC0 && c >= 0xC2)
            more = 1;
        else if ((c & 0xF0) == 0xE0)
            more = 2;
        else if ((c & 0xF8) == 0xF0 && c <= 0xF4)
            more = 3;
        else
            return false;
        if (s.size() - i <= static_cast<size_t>(more))
            return false;
        for (int k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0xC0) != 0x80)
                return false;
        i += static_cast<size_t>(more) + 1;
    }
    return true;
}

// Texts come from data written on a single-byte code page as well as from our own
// UTF-8 strings; a text that is not valid UTF-8 is read as Latin-1.
QString decode(std::string_view text) {
    const auto n = static_cast<qsizetype>(text.size());
    return valid_utf8(text) ? QString::fromUtf8(text.data(), n)
                            : QString::fromLatin1(text.data(), n);
}

// Pixel sizes beyond this are nonsense from bad data, not lettering.
constexpr int kMaxPixelSize = 2048;
// A height of 0 asks for the default font, whose cell is 16 pixels high.
constexpr int kDefaultCellHeight = 16;
// Coordinates drawn by our own span filling are kept inside this frame around the image,
// so arithmetic on them cannot overflow.
constexpr int kSpanMargin = 2;
constexpr int kFarAway = 1 << 24;

// ---- one-pixel lines -----------------------------------------------------------------
//
// Thin lines are most of what a map redraw draws, and the painter spends far longer
// transforming and checking each short segment than setting its few pixels. So they are
// drawn here, straight into the image's 32-bit scanlines:
//   - integer Bresenham: the pixel nearest the true line on each step of the major axis,
//     a tie going to the smaller coordinate, so a line lights the same pixels whichever
//     way it is drawn;
//   - each segment leaves out its last pixel, which the next segment starts on;
//   - a dash pattern runs on from one segment to the next and counts one per pixel;
//   - every segment is cut to the image before it is walked, and the walk starts where
//     the whole line would have been at that step, so cutting changes no pixel and a
//     line running a billion pixels off the image costs only what is visible.

// A pattern as one bit per pixel position: bit i set draws pixel i of each period.
struct DashBits {
    uint64_t on = 0;
    int period = 0;
};

// On a picture of more device pixels than logical ones each run is stretched by
// stretch device pixels, so that a dash keeps its length on screen.
constexpr DashBits dash_bits(PenStyle style, int stretch = 1) {
    const Dashes dashes = dashes_of(style);
    DashBits bits;
    bool dash = true;
    for (int i = 0; i < dashes.count; ++i, dash = !dash)
        for (int k = 0; k < dashes.runs[static_cast<size_t>(i)] * stretch; ++k, ++bits.period)
            if (dash)
                bits.on |= uint64_t{1} << bits.period;
    return bits;
}
constexpr int kLongestDashPeriod = 24;
static_assert(dash_bits(PenStyle::DashDotDot).period == kLongestDashPeriod &&
                  dash_bits(PenStyle::Dash).period == kLongestDashPeriod,
              "the stretch limit below assumes the longest pattern");
// The most a pattern may be stretched and still fit its bits.
constexpr int kMostDashStretch = 64 / kLongestDashPeriod;

// The 128-bit products only come up when a segment crosses the image's edge: the step at
// which a line of 2^32 pixels reaches a row can need 2^65.
__extension__ using Wide = __int128;

Wide floor_div(Wide a, Wide b) { // b > 0
    const Wide q = a / b;
    return q * b > a ? q - 1 : q;
}

Wide ceil_div(Wide a, Wide b) { // b > 0
    const Wide q = a / b;
    return q * b < a ? q + 1 : q;
}

template <bool Xor> inline void put(uint32_t &pixel, uint32_t value) {
    if constexpr (Xor)
        pixel ^= value;
    else
        pixel = value;
}

struct ThinLine {
    uint32_t *pixels = nullptr;
    int64_t stride = 0; // in pixels
    int64_t width = 0;
    int64_t height = 0;
    // What a dash pixel and a gap pixel write: the opaque colour when copying, the bits
    // to flip for the XOR operations.
    uint32_t ink = 0;
    uint32_t gap = 0;
    bool xor_mode = false;
    bool styled = false;
    bool gaps = false; // an opaque background paints the gaps
    DashBits dashes;
    int phase = 0; // position in the pattern of the next segment's first pixel

    // A one-step segment lights only its start pixel. Digitised lines at a small scale
    // are mostly such steps, so they skip the general set-up. False when the segment
    // is longer, empty or starts off the image.
    bool single_step(const Point &from, const Point &to) {
        const int64_t dx = static_cast<int64_t>(to.x) - from.x;
        const int64_t dy = static_cast<int64_t>(to.y) - from.y;
        if (dx < -1 || dx > 1 || dy < -1 || dy > 1 || (dx == 0 && dy == 0) || from.x < 0 ||
            from.y < 0 || from.x >= width || from.y >= height)
            return false;
        uint32_t &px = pixels[static_cast<int64_t>(from.y) * stride + from.x];
        if (!styled) {
            xor_mode ? put<true>(px, ink) : put<false>(px, ink);
            return true;
        }
        if ((dashes.on >> phase) & 1u)
            xor_mode ? put<true>(px, ink) : put<false>(px, ink);
        else if (gaps)
            xor_mode ? put<true>(px, gap) : put<false>(px, gap);
        if (++phase == dashes.period)
            phase = 0;
        return true;
    }

    void segment(const Point &from, const Point &to) { segment(from.x, from.y, to.x, to.y); }

    // Device pixel coordinates of a picture drawn at a ratio above 1 stay within twice the
    // int32 range or so: their differences still fit in 64 bits, their products in Wide.
    void segment(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
        const int64_t dx = x1 - x0, dy = y1 - y0;
        const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
        const int64_t n = std::max(adx, ady); // pixels drawn, the last point left out
        if (n == 0)
            return;
        const int start_phase = phase;
        if (styled) {
            // Most map segments are a pixel or two long: avoid the division then.
            const int64_t next = phase + n;
            phase = static_cast<int>(next < dashes.period ? next : next % dashes.period);
        }
        if ((x0 < 0 && x1 < 0) || (y0 < 0 && y1 < 0) || (x0 >= width && x1 >= width) ||
            (y0 >= height && y1 >= height))
            return;

        // Major axis a, minor axis b. Step k lights a0 + sa k and b0 + sb m(k), where
        //   m(k) = floor((2 k amin + amaj - bias) / (2 amaj))
        // rounds k amin / amaj to nearest, ties down when b grows and up when it shrinks.
        const bool x_major = adx >= ady;
        const int64_t a0 = x_major ? x0 : y0, b0 = x_major ? y0 : x0;
        const int64_t da = x_major ? dx : dy, db = x_major ? dy : dx;
        const int64_t amaj = n, amin = x_major ? ady : adx;
        const int64_t size_a = x_major ? width : height, size_b = x_major ? height : width;
        const int64_t bias = db > 0 ? 1 : 0;

        int64_t first = 0, count = n, m = 0;
        int64_t e = -amaj - bias; // (2 k amin + amaj - bias) mod 2 amaj, less 2 amaj
        const bool inside = x0 < width && x1 < width && y0 < height && y1 < height && x0 >= 0 &&
                            x1 >= 0 && y0 >= 0 && y1 >= 0;
        if (!inside) {
            // Steps on the image along the major axis...
            Wide lo = 0, hi = n - 1;
            if (da > 0) {
                lo = std::max<Wide>(lo, -a0);
                hi = std::min<Wide>(hi, size_a - 1 - a0);
            } else {
                lo = std::max<Wide>(lo, a0 - (size_a - 1));
                hi = std::min<Wide>(hi, a0);
            }
            // ...and those whose minor offset m lies on the image; m never decreases.
            const Wide m_lo = db >= 0 ? -b0 : b0 - (size_b - 1);
            const Wide m_hi = db >= 0 ? size_b - 1 - b0 : b0;
            if (amin == 0) {
                if (m_lo > 0 || m_hi < 0)
                    return;
            } else {
                lo = std::max(lo, ceil_div(2 * m_lo * amaj - amaj + bias, Wide{2} * amin));
                hi = std::min(hi, floor_div(2 * m_hi * amaj + amaj + bias - 1, Wide{2} * amin));
            }
            if (lo > hi)
                return;
            first = static_cast<int64_t>(lo);
            count = static_cast<int64_t>(hi - lo) + 1;
            const Wide num = Wide{2} * first * amin + amaj - bias;
            m = static_cast<int64_t>(num / (2 * amaj));
            e = static_cast<int64_t>(num % (2 * amaj)) - 2 * amaj;
        }

        const int64_t sa = da > 0 ? 1 : -1, sb = db > 0 ? 1 : -1;
        const int64_t a = a0 + sa * first, b = b0 + sb * m;
        const int64_t x = x_major ? a : b, y = x_major ? b : a;
        const int64_t at = y * stride + x;
        const int64_t major = x_major ? sa : sa * stride;
        const int64_t minor = x_major ? sb * stride : sb;
        const int ph = !styled      ? 0
                       : first == 0 ? start_phase
                                    : static_cast<int>((start_phase + first) % dashes.period);
        if (xor_mode)
            styled ? walk<true, true>(at, major, minor, e, 2 * amin, 2 * amaj, count, ph)
                   : walk<true, false>(at, major, minor, e, 2 * amin, 2 * amaj, count, ph);
        else
            styled ? walk<false, true>(at, major, minor, e, 2 * amin, 2 * amaj, count, ph)
                   : walk<false, false>(at, major, minor, e, 2 * amin, 2 * amaj, count, ph);
    }

    // Indexes rather than a moving pointer: the step after the last pixel may lie
    // outside the image, which an index may and a pointer may not.
    template <bool Xor, bool Styled>
    void walk(int64_t at, int64_t major, int64_t minor, int64_t e, int64_t up, int64_t down,
              int64_t count, int ph) const {
        uint32_t *const p = pixels;
        for (; count > 0; --count) {
            if constexpr (Styled) {
                if ((dashes.on >> ph) & 1u)
                    put<Xor>(p[at], ink);
                else if (gaps)
                    put<Xor>(p[at], gap);
                if (++ph == dashes.period)
                    ph = 0;
            } else {
                put<Xor>(p[at], ink);
            }
            at += major;
            e += up;
            if (e >= 0) {
                e -= down;
                at += minor;
            }
        }
    }
};

} // namespace

struct DeviceContext::Impl {
    explicit Impl(QImage &img) : image(img) {}

    QImage &image;
    QPainter painter;
    bool open = false;
    // Device pixels per logical pixel, as the image says; the painter scales logical
    // coordinates by it of its own accord. Only what we draw straight into the pixels, and
    // the one-pixel outlines of boxes, work in device pixels themselves.
    double ratio = 1.0;
    bool scaled = false;
    // Direct access to 32-bit pixels while the painter is open: the raster engine draws
    // straight into the same memory, so both see each other's writes at once.
    uchar *bits = nullptr;
    qsizetype stride = 0;

    Pen pen;
    Brush brush;
    Font font;
    Colour text = rgb(0, 0, 0);
    Colour background = rgb(255, 255, 255);
    BackgroundMode mode = BackgroundMode::Opaque;
    int align = TA_LEFT | TA_TOP;
    Rop2 rop = Rop2::CopyPen;
    QPoint current{0, 0};

    // What the painter holds. Selecting only stores the value; at the next drawing call
    // the Qt objects are rebuilt when they differ from the ones last built, so the
    // drawing loop's select-draw-select-stock pattern costs no rebuilding when the same
    // pen or brush comes back.
    bool pen_built = false;
    Pen built_pen;
    Colour built_pen_background = 0;
    bool pen_ok = false;    // the painter holds qpen
    bool no_pen_ok = false; // the painter holds no pen (fills under our own outlines)
    bool brush_built = false;
    Brush built_brush;
    Colour built_text = 0;
    Colour built_background = 0;
    bool brush_ok = false; // the painter holds qbrush
    bool rop_ok = false;
    bool font_ok = false;
    bool painter_font_ok = false;
    QPen qpen;
    QPen qgap; // the gaps of a styled pen, for an opaque background
    bool pen_none = false;
    bool pen_wide = false;
    bool pen_styled = false;
    QBrush qbrush;
    QFont qfont;
    int ascent = 0;
    int descent = 0;

    // Reused between calls: the inner loop must not allocate per object.
    std::vector<QPoint> ipts;
    std::vector<QPointF> fpts;
    std::vector<std::pair<int, int>> spans;

    // Recently used pattern brushes by bits and colours: an 8x8 texture per polygon
    // would otherwise be built again for every filled object.
    struct CachedPattern {
        PatternBits bits{};
        Colour fg = -1;
        Colour bg = -1;
        QBrush brush;
    };
    std::array<CachedPattern, 16> patterns;
    size_t patterns_used = 0;
    size_t next_pattern = 0;

    bool begin() {
        if (open)
            return true;
        if (image.isNull())
            return false;
        const auto f = image.format();
        const bool is32 = f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
                          f == QImage::Format_ARGB32_Premultiplied;
        // bits() first: it makes the pixels this image's own before the painter takes them.
        // The pointer then stays good until end(): the painter's engine writes the same
        // buffer and detaches nothing, and nobody else can copy or replace the image while
        // the painter is open, since image() ends it and drops the pointer first. Writing
        // through it never calls a non-const QImage function mid-paint, so never detaches.
        // In all three formats an opaque colour is the same word, and XOR flips the colour
        // bits as the painter's raster operations do, leaving alpha alone.
        bits = is32 ? image.bits() : nullptr;
        stride = image.bytesPerLine();
        ratio = image.devicePixelRatio();
        scaled = ratio != 1.0;
        if (!painter.begin(&image)) {
            bits = nullptr;
            return false;
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        open = true;
        pen_ok = no_pen_ok = brush_ok = rop_ok = painter_font_ok = false;
        return true;
    }

    void end() {
        if (open)
            painter.end();
        open = false;
        bits = nullptr;
    }

    void apply_rop() {
        if (!rop_ok) {
            painter.setCompositionMode(composition_for(rop));
            rop_ok = true;
        }
    }

    // A mode for operations the raster operation does not touch (text, set pixel, fills).
    void plain_composition(QPainter::CompositionMode m = QPainter::CompositionMode_SourceOver) {
        painter.setCompositionMode(m);
        rop_ok = false;
    }

    void build_pen() {
        pen_none = pen.style == PenStyle::Null;
        pen_wide = !pen_none && pen.width > 1;
        pen_styled = !pen_none && !pen_wide && pen.style != PenStyle::Solid &&
                     static_cast<int>(pen.style) >= 1 && static_cast<int>(pen.style) <= 4;
        if (pen_none) {
            qpen = QPen(Qt::NoPen);
        } else if (pen_wide) {
            qpen = QPen(QBrush(qcolour(pen.colour)), pen.width, Qt::SolidLine, Qt::RoundCap,
                        Qt::RoundJoin);
        } else {
            // Width 0 is Qt's cosmetic one-pixel pen; the flat cap leaves out the last
            // pixel of a line as the platform does.
            qpen = QPen(QBrush(qcolour(pen.colour)), 0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
            if (pen_styled) {
                qpen.setDashPattern(dash_pattern(pen.style));
                qgap =
                    QPen(QBrush(qcolour(background)), 0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
                QList<qreal> gaps;
                qreal offset = 0;
                gap_pattern(pen.style, gaps, offset);
                qgap.setDashPattern(gaps);
                qgap.setDashOffset(offset);
            }
        }
    }

    void apply_pen() {
        const bool styled =
            pen.style != PenStyle::Solid && pen.style != PenStyle::Null && pen.width <= 1;
        if (!pen_built || !(built_pen == pen) || (styled && built_pen_background != background)) {
            build_pen();
            built_pen = pen;
            built_pen_background = background;
            pen_built = true;
            pen_ok = false;
        }
        if (!pen_ok) {
            painter.setPen(qpen);
            pen_ok = true;
            no_pen_ok = false;
        }
    }

    void apply_no_pen() {
        if (!no_pen_ok) {
            painter.setPen(Qt::NoPen);
            no_pen_ok = true;
            pen_ok = false;
        }
    }

    // One-pixel pens are drawn by ThinLine when the pixels are 32-bit words we can write
    // (bits is set); other formats keep to the painter.
    bool thin_pen_direct() const { return bits && pen.style != PenStyle::Null && pen.width <= 1; }

    // The device pixel on which a line through the centre of logical pixel v runs.
    int64_t device_of(int32_t v) const {
        return static_cast<int64_t>(std::floor((static_cast<double>(v) + 0.5) * ratio));
    }
    // The device pixel edge at logical pixel edge v.
    int64_t device_edge(int32_t v) const {
        return static_cast<int64_t>(std::floor(static_cast<double>(v) * ratio));
    }
    int logical_width() const {
        return static_cast<int>(std::lround(image.width() / image.devicePixelRatio()));
    }
    int logical_height() const {
        return static_cast<int>(std::lround(image.height() / image.devicePixelRatio()));
    }

    // Between these the painter's coordinates are the image's device pixels.
    void enter_device_pixels() {
        painter.setWorldTransform(QTransform::fromScale(1 / ratio, 1 / ratio));
    }
    void leave_device_pixels() { painter.setWorldTransform(QTransform()); }
    // The current brush as it fills in device pixels: a pattern keeps its logical size.
    QBrush device_brush() const {
        QBrush b = qbrush;
        if (b.style() == Qt::TexturePattern)
            b.setTransform(QTransform::fromScale(ratio, ratio));
        return b;
    }

    // The segments between consecutive points, and back to the first when closed, in
    // the current pen and raster operation. Points are logical pixels, drawn one device
    // pixel wide through their centres; in_device: they are device pixels already.
    void thin_lines(const Point *points, int count, bool closed, bool in_device = false) {
        static constexpr DashBits kDashBits[] = {{},
                                                 dash_bits(PenStyle::Dash),
                                                 dash_bits(PenStyle::Dot),
                                                 dash_bits(PenStyle::DashDot),
                                                 dash_bits(PenStyle::DashDotDot)};
        const auto rgb24 = [](Colour c) {
            return static_cast<uint32_t>(red_of(c)) << 16 |
                   static_cast<uint32_t>(green_of(c)) << 8 | static_cast<uint32_t>(blue_of(c));
        };
        ThinLine line;
        line.pixels = reinterpret_cast<uint32_t *>(bits);
        line.stride = stride / 4;
        line.width = image.width();
        line.height = image.height();
        const bool map = scaled && !in_device;
        const uint32_t ink = rgb24(pen.colour), gap = rgb24(background);
        switch (rop) {
        case Rop2::CopyPen:
            line.ink = 0xFF000000u | ink;
            line.gap = 0xFF000000u | gap;
            break;
        case Rop2::XorPen:
            line.xor_mode = true;
            line.ink = ink;
            line.gap = gap;
            break;
        case Rop2::NotXorPen:
            // not (pen xor pixel) = (not pen) xor pixel; alpha is left as it is.
            line.xor_mode = true;
            line.ink = ~ink & 0xFFFFFFu;
            line.gap = ~gap & 0xFFFFFFu;
            break;
        }
        const int style = static_cast<int>(pen.style);
        if (style >= 1 && style <= 4) {
            line.styled = true;
            line.dashes =
                scaled ? dash_bits(pen.style, std::clamp(static_cast<int>(std::lround(ratio)), 1,
                                                         kMostDashStretch))
                       : kDashBits[style];
            line.gaps = mode == BackgroundMode::Opaque;
        }
        if (map) {
            const auto seg = [&](const Point &a, const Point &b) {
                line.segment(device_of(a.x), device_of(a.y), device_of(b.x), device_of(b.y));
            };
            for (int i = 0; i + 1 < count; ++i)
                seg(points[i], points[i + 1]);
            if (closed)
                seg(points[count - 1], points[0]);
            return;
        }
        for (int i = 0; i + 1 < count; ++i)
            if (!line.single_step(points[i], points[i + 1]))
                line.segment(points[i], points[i + 1]);
        if (closed)
            line.segment(points[count - 1], points[0]);
    }

    QBrush make_pattern(const PatternBits &pattern_bits) {
        for (size_t i = 0; i < patterns_used; ++i) {
            const auto &c = patterns[i];
            if (c.fg == text && c.bg == background && c.bits == pattern_bits)
                return c.brush;
        }
        QImage tile(8, 8, QImage::Format_RGB32);
        const QRgb fg = to_qrgb(text);
        const QRgb bg = to_qrgb(background);
        for (int y = 0; y < 8; ++y) {
            auto *row = reinterpret_cast<QRgb *>(tile.scanLine(y));
            for (int x = 0; x < 8; ++x)
                row[x] = (pattern_bits[static_cast<size_t>(y)] >> (7 - x)) & 1 ? bg : fg;
        }
        auto &slot = patterns[next_pattern];
        slot.bits = pattern_bits;
        slot.fg = text;
        slot.bg = background;
        slot.brush = QBrush(tile);
        next_pattern = (next_pattern + 1) % patterns.size();
        patterns_used = std::min(patterns_used + 1, patterns.size());
        return slot.brush;
    }

    QBrush make_brush(const Brush &b) {
        switch (b.style) {
        case Brush::Style::Null:
            return QBrush(Qt::NoBrush);
        case Brush::Style::Pattern:
            return make_pattern(b.pattern);
        case Brush::Style::Solid:
            break;
        }
        return QBrush(qcolour(b.colour));
    }

    void apply_brush() {
        if (!brush_built || !(built_brush == brush) ||
            (brush.style == Brush::Style::Pattern &&
             (built_text != text || built_background != background))) {
            qbrush = make_brush(brush);
            built_brush = brush;
            built_text = text;
            built_background = background;
            brush_built = true;
            brush_ok = false;
        }
        if (!brush_ok) {
            painter.setBrush(qbrush);
            brush_ok = true;
        }
    }

    void build_font() {
        if (font_ok)
            return;
        QFont f;
        const bool system = font.face.empty() || font.face == "System";
        f.setFamily(system ? QStringLiteral("Sans Serif") : decode(font.face));
        f.setStyleHint(QFont::SansSerif, QFont::NoAntialias);
        f.setKerning(false);
        f.setHintingPreference(QFont::PreferFullHinting);
        const int weight = font.weight <= 0 ? 400 : std::min(font.weight, 1000);
        f.setWeight(static_cast<QFont::Weight>(weight));
        if (font.height < 0) {
            f.setPixelSize(font.height < -kMaxPixelSize ? kMaxPixelSize : -font.height);
        } else {
            // A positive height is the whole cell (ascent + descent): scale the character
            // height so that the cell comes out at that height.
            const int cell =
                std::min(font.height == 0 ? kDefaultCellHeight : font.height, kMaxPixelSize);
            f.setPixelSize(cell);
            const QFontMetrics m(f);
            const int got = m.ascent() + m.descent();
            if (got > 0 && got != cell)
                f.setPixelSize(std::clamp(
                    static_cast<int>(std::lround(static_cast<double>(cell) * cell / got)), 1,
                    kMaxPixelSize));
        }
        qfont = f;
        const QFontMetrics m(qfont);
        ascent = m.ascent();
        descent = m.descent();
        font_ok = true;
        painter_font_ok = false;
    }

    template <typename Draw> void with_gaps(Draw draw) {
        if (pen_styled && mode == BackgroundMode::Opaque) {
            painter.setPen(qgap);
            draw();
            painter.setPen(qpen);
        }
    }

    void to_ipts(const Point *points, int count) {
        ipts.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            ipts[static_cast<size_t>(i)] = QPoint(points[i].x, points[i].y);
    }

    // Wide pens are centred on the pixels the points name, as one-pixel pens are.
    void to_fpts(const Point *points, int count) {
        fpts.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            fpts[static_cast<size_t>(i)] = QPointF(points[i].x + 0.5, points[i].y + 0.5);
    }

    // Rows [top, bottom) of the ellipse in the box, as pixel runs [first, last] whose
    // centres lie inside it; rows far outside the image are not computed.
    void ellipse_spans(int64_t left, int64_t top, int64_t right, int64_t bottom, int &row0, int w,
                       int h) {
        const int64_t y_from = std::max<int64_t>(top, -kSpanMargin);
        const int64_t y_to = std::min<int64_t>(bottom, h + kSpanMargin);
        spans.clear();
        row0 = static_cast<int>(y_from);
        const double a = (right - left) / 2.0, b = (bottom - top) / 2.0;
        const double cx = (left + right) / 2.0, cy = (top + bottom) / 2.0;
        for (int64_t y = y_from; y < y_to; ++y) {
            const double dy = (y + 0.5 - cy) / b;
            std::pair<int, int> run{1, 0}; // empty
            if (dy > -1.0 && dy < 1.0) {
                const double half = a * std::sqrt(1.0 - dy * dy);
                const double x0 = std::ceil(cx - half - 0.5);
                const double x1 = std::floor(cx + half - 0.5);
                if (x0 <= x1)
                    run = {static_cast<int>(std::clamp<double>(x0, -kSpanMargin, w + kSpanMargin)),
                           static_cast<int>(std::clamp<double>(x1, -kSpanMargin, w + kSpanMargin))};
            }
            spans.push_back(run);
        }
    }

    void fill_run(int x0, int x1, int y, const QBrush &b) {
        if (x0 <= x1)
            painter.fillRect(QRect(x0, y, x1 - x0 + 1, 1), b);
    }
    void fill_run(int x0, int x1, int y, const QColor &c) {
        if (x0 <= x1)
            painter.fillRect(QRect(x0, y, x1 - x0 + 1, 1), c);
    }
};

DeviceContext::DeviceContext(QImage &image) : d_(std::make_unique<Impl>(image)) {}

DeviceContext::~DeviceContext() {
    d_->end();
}

QImage &DeviceContext::image() {
    d_->end();
    return d_->image;
}

int DeviceContext::width() const {
    return d_->logical_width();
}
int DeviceContext::height() const {
    return d_->logical_height();
}
double DeviceContext::device_pixel_ratio() const {
    return d_->image.devicePixelRatio();
}

Pen DeviceContext::select(const Pen &pen) {
    return std::exchange(d_->pen, pen);
}

Brush DeviceContext::select(const Brush &brush) {
    return std::exchange(d_->brush, brush);
}

Font DeviceContext::select(const Font &font) {
    Font old = std::exchange(d_->font, font);
    if (!(old == font))
        d_->font_ok = false;
    return old;
}

const Pen &DeviceContext::pen() const {
    return d_->pen;
}
const Brush &DeviceContext::brush() const {
    return d_->brush;
}
const Font &DeviceContext::font() const {
    return d_->font;
}

Colour DeviceContext::set_text_colour(Colour c) {
    return std::exchange(d_->text, c);
}

Colour DeviceContext::text_colour() const {
    return d_->text;
}

Colour DeviceContext::set_background_colour(Colour c) {
    return std::exchange(d_->background, c);
}

Colour DeviceContext::background_colour() const {
    return d_->background;
}

BackgroundMode DeviceContext::set_background_mode(BackgroundMode m) {
    return std::exchange(d_->mode, m);
}

int DeviceContext::set_text_align(int flags) {
    return std::exchange(d_->align, flags);
}
int DeviceContext::text_align() const {
    return d_->align;
}

Rop2 DeviceContext::rop2() const {
    return d_->rop;
}

Rop2 DeviceContext::set_rop2(Rop2 rop) {
    const Rop2 old = std::exchange(d_->rop, rop);
    if (old != rop)
        d_->rop_ok = false;
    return old;
}

void DeviceContext::polyline(const Point *points, int count) {
    Impl &d = *d_;
    if (!points || count < 2 || !d.begin())
        return;
    if (d.thin_pen_direct()) {
        d.thin_lines(points, count, false);
        return;
    }
    d.apply_pen();
    if (d.pen_none)
        return;
    d.apply_rop();
    if (d.pen_wide) {
        d.to_fpts(points, count);
        d.painter.drawPolyline(d.fpts.data(), count);
    } else {
        d.to_ipts(points, count);
        d.with_gaps([&] { d.painter.drawPolyline(d.ipts.data(), count); });
        d.painter.drawPolyline(d.ipts.data(), count);
    }
}

void DeviceContext::polygon(const Point *points, int count) {
    Impl &d = *d_;
    if (!points || count < 2 || !d.begin())
        return;
    if (d.thin_pen_direct()) {
        // The fill first, then the outline over it, so that the brush, which reaches the
        // outermost pixels on the top and left, cannot cover the gaps of a styled outline.
        if (d.brush.style != Brush::Style::Null) {
            d.apply_brush();
            d.apply_rop();
            d.apply_no_pen();
            if (d.scaled) {
                // Through the same device pixel centres as the outline drawn over it.
                d.to_fpts(points, count);
                d.painter.drawPolygon(d.fpts.data(), count, Qt::OddEvenFill);
            } else {
                d.to_ipts(points, count);
                d.painter.drawPolygon(d.ipts.data(), count, Qt::OddEvenFill);
            }
        }
        d.thin_lines(points, count, true);
        return;
    }
    d.apply_pen();
    d.apply_brush();
    d.apply_rop();
    d.to_ipts(points, count);
    if (!d.pen_wide) {
        if (d.pen_styled && d.mode == BackgroundMode::Opaque) {
            d.painter.setBrush(Qt::NoBrush);
            d.with_gaps([&] { d.painter.drawPolygon(d.ipts.data(), count, Qt::OddEvenFill); });
            d.painter.setBrush(d.qbrush);
        }
        d.painter.drawPolygon(d.ipts.data(), count, Qt::OddEvenFill);
        return;
    }
    // A wide outline is stroked through the pixel centres while the fill keeps the
    // interior that the one-pixel case fills; so they are drawn apart.
    if (d.brush.style != Brush::Style::Null) {
        d.painter.setPen(Qt::NoPen);
        d.painter.drawPolygon(d.ipts.data(), count, Qt::OddEvenFill);
        d.painter.setPen(d.qpen);
    }
    d.to_fpts(points, count);
    d.painter.setBrush(Qt::NoBrush);
    d.painter.drawPolygon(d.fpts.data(), count, Qt::OddEvenFill);
    d.painter.setBrush(d.qbrush);
}

void DeviceContext::ellipse(int left, int top, int right, int bottom) {
    Impl &d = *d_;
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    if (left == right || top == bottom || !d.begin())
        return;
    d.apply_pen();
    d.apply_brush();
    d.apply_rop();
    const bool exact_outline = !d.pen_none && !d.pen_wide && !d.pen_styled;
    // A one-pixel outline is one device pixel: the shape is worked out in device pixels.
    const bool in_device = exact_outline && d.scaled;
    int row0 = 0;
    if (in_device)
        d.ellipse_spans(d.device_edge(left), d.device_edge(top), d.device_edge(right),
                        d.device_edge(bottom), row0, d.image.width(), d.image.height());
    else
        d.ellipse_spans(left, top, right, bottom, row0, d.logical_width(), d.logical_height());
    const bool filled = d.brush.style != Brush::Style::Null;
    const int rows = static_cast<int>(d.spans.size());
    if (!exact_outline) {
        if (filled)
            for (int i = 0; i < rows; ++i)
                d.fill_run(d.spans[static_cast<size_t>(i)].first,
                           d.spans[static_cast<size_t>(i)].second, row0 + i, d.qbrush);
        if (d.pen_none)
            return;
        const QRectF box(left + 0.5, top + 0.5, static_cast<double>(right) - left - 1.0,
                         static_cast<double>(bottom) - top - 1.0);
        d.painter.setBrush(Qt::NoBrush);
        if (d.pen_styled)
            d.with_gaps([&] { d.painter.drawEllipse(box); });
        d.painter.drawEllipse(box);
        d.painter.setBrush(d.qbrush);
        return;
    }
    // One-pixel outline: the pixels of the filled shape that touch its outside, each
    // painted once (so an XOR-drawn circle undoes itself exactly); the brush fills the rest.
    const QColor pen_colour = qcolour(d.pen.colour);
    const QBrush fill = in_device ? d.device_brush() : d.qbrush;
    if (in_device)
        d.enter_device_pixels();
    const std::pair<int, int> none{1, 0};
    for (int i = 0; i < rows; ++i) {
        const auto [x0, x1] = d.spans[static_cast<size_t>(i)];
        if (x0 > x1)
            continue;
        const auto &above = i > 0 ? d.spans[static_cast<size_t>(i - 1)] : none;
        const auto &below = i + 1 < rows ? d.spans[static_cast<size_t>(i + 1)] : none;
        int in0 = x0 + 1, in1 = x1 - 1;
        if (above.first > above.second || below.first > below.second) {
            in0 = 1;
            in1 = 0;
        } else {
            in0 = std::max({in0, above.first, below.first});
            in1 = std::min({in1, above.second, below.second});
        }
        const int y = row0 + i;
        if (in0 > in1) {
            d.fill_run(x0, x1, y, pen_colour);
            continue;
        }
        d.fill_run(x0, in0 - 1, y, pen_colour);
        if (filled)
            d.fill_run(in0, in1, y, fill);
        d.fill_run(in1 + 1, x1, y, pen_colour);
    }
    if (in_device)
        d.leave_device_pixels();
}

void DeviceContext::box(int x1, int y1, int x2, int y2) {
    const Point corners[5] = {{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}, {x1, y1}};
    polyline(corners, 5);
}

void DeviceContext::rectangle(int left, int top, int right, int bottom) {
    Impl &d = *d_;
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    if (left == right || top == bottom || !d.begin())
        return;
    d.apply_pen();
    d.apply_brush();
    d.apply_rop();
    const bool filled = d.brush.style != Brush::Style::Null;
    const auto clip = [](int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, -kFarAway, kFarAway));
    };
    // A one-pixel outline is one device pixel on the box's outermost device pixels.
    const bool in_device = d.scaled && d.bits && !d.pen_none && !d.pen_wide;
    const int64_t L0 = in_device ? clip(d.device_edge(left)) : left;
    const int64_t T0 = in_device ? clip(d.device_edge(top)) : top;
    const int64_t R0 = in_device ? clip(d.device_edge(right)) : right;
    const int64_t B0 = in_device ? clip(d.device_edge(bottom)) : bottom;
    const int64_t w = R0 - L0, h = B0 - T0;
    const int frame_w = in_device ? d.image.width() : d.logical_width();
    const int frame_h = in_device ? d.image.height() : d.logical_height();
    const auto box = [&](int64_t l, int64_t t, int64_t r, int64_t b) {
        // r and b exclusive; cut to a frame around the image so QRect cannot overflow.
        const int64_t L = std::max<int64_t>(l, -kSpanMargin),
                      T = std::max<int64_t>(t, -kSpanMargin);
        const int64_t R = std::min<int64_t>(r, frame_w + kSpanMargin);
        const int64_t B = std::min<int64_t>(b, frame_h + kSpanMargin);
        return R > L && B > T ? QRect(clip(L), clip(T), clip(R - L), clip(B - T)) : QRect();
    };
    if (d.pen_none) {
        if (filled) {
            const QRect r = box(left, top, right, bottom);
            if (!r.isEmpty())
                d.painter.fillRect(r, d.qbrush);
        }
        return;
    }
    if (in_device)
        d.enter_device_pixels();
    if (filled && w > 2 && h > 2) {
        const QRect r = box(L0 + 1, T0 + 1, R0 - 1, B0 - 1);
        if (!r.isEmpty())
            d.painter.fillRect(r, in_device ? d.device_brush() : d.qbrush);
    }
    if (!d.pen_wide && (w <= 2 || h <= 2) && !d.pen_styled) {
        // Nothing inside: the outline covers the box, each pixel once.
        const QRect r = box(L0, T0, R0, B0);
        if (!r.isEmpty())
            d.painter.fillRect(r, qcolour(d.pen.colour));
    } else if (in_device) {
        const auto l = static_cast<int32_t>(L0), t = static_cast<int32_t>(T0);
        const auto r = static_cast<int32_t>(R0 - 1), b = static_cast<int32_t>(B0 - 1);
        const Point ring[5] = {{l, t}, {r, t}, {r, b}, {l, b}, {l, t}};
        d.thin_lines(ring, 5, false, true);
    } else {
        const Point ring[5] = {{left, top},
                               {right - 1, top},
                               {right - 1, bottom - 1},
                               {left, bottom - 1},
                               {left, top}};
        polyline(ring, 5);
    }
    if (in_device)
        d.leave_device_pixels();
}

void DeviceContext::move_to(int x, int y) {
    d_->current = QPoint(x, y);
}

void DeviceContext::line_to(int x, int y) {
    const Point line[2] = {{d_->current.x(), d_->current.y()}, {x, y}};
    polyline(line, 2);
    d_->current = QPoint(x, y);
}

void DeviceContext::fill_rect(int left, int top, int right, int bottom, const Brush &brush) {
    Impl &d = *d_;
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    if (left == right || top == bottom || brush.style == Brush::Style::Null || !d.begin())
        return;
    const int64_t l = std::max<int64_t>(left, 0), t = std::max<int64_t>(top, 0);
    const int64_t r = std::min<int64_t>(right, d.logical_width());
    const int64_t b = std::min<int64_t>(bottom, d.logical_height());
    if (r <= l || b <= t)
        return;
    d.plain_composition(QPainter::CompositionMode_Source);
    d.painter.fillRect(QRect(static_cast<int>(l), static_cast<int>(t), static_cast<int>(r - l),
                             static_cast<int>(b - t)),
                       d.make_brush(brush));
}

Size DeviceContext::text_extent(std::string_view text) {
    Impl &d = *d_;
    d.build_font();
    const QFontMetrics m(d.qfont);
    return Size{m.horizontalAdvance(decode(text)), d.ascent + d.descent};
}

void DeviceContext::text_out(int x, int y, std::string_view text) {
    Impl &d = *d_;
    if (text.empty() || !d.begin())
        return;
    d.build_font();
    // Far-off positions only need to stay far off; keep the box arithmetic in range.
    x = std::clamp(x, -kFarAway, kFarAway);
    y = std::clamp(y, -kFarAway, kFarAway);
    const QString s = decode(text);
    const QFontMetrics m(d.qfont);
    const int w = m.horizontalAdvance(s);
    const int h = d.ascent + d.descent;
    int left = x;
    if ((d.align & TA_CENTER) == TA_CENTER)
        left = x - w / 2;
    else if (d.align & TA_RIGHT)
        left = x - w;
    int top = y;
    if ((d.align & TA_BASELINE) == TA_BASELINE)
        top = y - d.ascent;
    else if (d.align & TA_BOTTOM)
        top = y - h;
    // Text is not subject to the raster operation.
    d.plain_composition();
    if (d.mode == BackgroundMode::Opaque)
        d.painter.fillRect(QRect(left, top, w, h), qcolour(d.background));
    if (!d.painter_font_ok) {
        d.painter.setFont(d.qfont);
        d.painter_font_ok = true;
    }
    d.painter.setPen(qcolour(d.text));
    d.pen_ok = d.no_pen_ok = false;
    d.painter.drawText(QPoint(left, top + d.ascent), s);
}

void DeviceContext::set_pixel(int x, int y, Colour c) {
    Impl &d = *d_;
    if (x < 0 || y < 0 || x >= d.logical_width() || y >= d.logical_height() || !d.begin())
        return;
    if (d.scaled) {
        d.plain_composition(QPainter::CompositionMode_Source);
        d.painter.fillRect(QRect(x, y, 1, 1), qcolour(c));
        return;
    }
    if (d.bits) {
        auto *row = reinterpret_cast<QRgb *>(d.bits + static_cast<qsizetype>(y) * d.stride);
        row[x] = to_qrgb(c);
        return;
    }
    d.plain_composition(QPainter::CompositionMode_Source);
    d.painter.fillRect(QRect(x, y, 1, 1), qcolour(c));
}

Stamp Stamp::of(const QImage &image, int cx, int cy) {
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    Stamp s;
    for (int y = 0; y < img.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if (qAlpha(row[x]) == 0)
                continue;
            int last = x;
            while (last + 1 < img.width() && qAlpha(row[last + 1]) != 0)
                ++last;
            s.runs.push_back(Run{y - cy, x - cx, last - cx});
            x = last;
        }
    }
    return s;
}

void DeviceContext::stamp(const Stamp &s, int x, int y, Colour c) {
    Impl &d = *d_;
    if (s.runs.empty() || !d.begin())
        return;
    const int64_t w = d.image.width(), h = d.image.height();
    const QRgb value = to_qrgb(c);
    for (const Stamp::Run &r : s.runs) {
        const int64_t row = int64_t{y} + r.dy;
        const int64_t x0 = std::max<int64_t>(int64_t{x} + r.dx0, 0);
        const int64_t x1 = std::min<int64_t>(int64_t{x} + r.dx1, w - 1);
        if (row < 0 || row >= h || x0 > x1)
            continue;
        if (d.bits) {
            auto *line = reinterpret_cast<QRgb *>(d.bits + static_cast<qsizetype>(row) * d.stride);
            std::fill(line + x0, line + x1 + 1, value);
        } else {
            d.plain_composition(QPainter::CompositionMode_Source);
            d.painter.fillRect(QRect(static_cast<int>(x0), static_cast<int>(row),
                                     static_cast<int>(x1 - x0 + 1), 1),
                               qcolour(c));
        }
    }
}

Colour DeviceContext::get_pixel(int x, int y) const {
    const Impl &d = *d_;
    if (x < 0 || y < 0 || x >= d.logical_width() || y >= d.logical_height())
        return -1;
    if (d.image.devicePixelRatio() != 1.0) {
        // The device pixel a one-pixel line through this pixel lights.
        const double r = d.image.devicePixelRatio();
        const int dx = std::min(static_cast<int>((x + 0.5) * r), d.image.width() - 1);
        const int dy = std::min(static_cast<int>((y + 0.5) * r), d.image.height() - 1);
        return from_qrgb(d.image.pixelColor(dx, dy).rgb());
    }
    if (d.bits) {
        const auto *row =
            reinterpret_cast<const QRgb *>(d.bits + static_cast<qsizetype>(y) * d.stride);
        QRgb p = row[x];
        if (d.image.format() == QImage::Format_ARGB32_Premultiplied)
            p = qUnpremultiply(p);
        return from_qrgb(p);
    }
    return from_qrgb(d.image.pixelColor(x, y).rgb());
}

void DeviceContext::draw_image(int dst_x, int dst_y, int dst_width, int dst_height,
                               const QImage &source, int src_x, int src_y, int src_width,
                               int src_height) {
    Impl &d = *d_;
    if (dst_width <= 0 || dst_height <= 0 || src_width <= 0 || src_height <= 0 || source.isNull() ||
        !d.begin())
        return;
    d.plain_composition(QPainter::CompositionMode_Source);
    const QRect to(dst_x, dst_y, dst_width, dst_height);
    if (const double r = source.devicePixelRatio(); r != 1.0)
        d.painter.drawImage(QRectF(to), source,
                            QRectF(src_x * r, src_y * r, src_width * r, src_height * r));
    else
        d.painter.drawImage(to, source, QRect(src_x, src_y, src_width, src_height));
}

void DeviceContext::clear(Colour c) {
    Impl &d = *d_;
    if (!d.begin())
        return;
    d.plain_composition(QPainter::CompositionMode_Source);
    d.painter.fillRect(QRect(0, 0, d.logical_width(), d.logical_height()), qcolour(c));
}

} // namespace gdi
