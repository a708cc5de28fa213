#include "gdi.h"

#include <QBrush>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QString>

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

// The platform's dash patterns, in pixels, for one-pixel pens.
QList<qreal> dash_pattern(PenStyle style) {
    switch (style) {
    case PenStyle::Dash:
        return {18, 6};
    case PenStyle::Dot:
        return {3, 3};
    case PenStyle::DashDot:
        return {9, 6, 3, 6};
    case PenStyle::DashDotDot:
        return {9, 3, 3, 3, 3, 3};
    default:
        return {};
    }
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

} // namespace

struct DeviceContext::Impl {
    explicit Impl(QImage &img) : image(img) {}

    QImage &image;
    QPainter painter;
    bool open = false;
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
    bool pen_ok = false; // the painter holds qpen
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
        bits = is32 ? image.bits() : nullptr;
        stride = image.bytesPerLine();
        if (!painter.begin(&image)) {
            bits = nullptr;
            return false;
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        open = true;
        pen_ok = brush_ok = rop_ok = painter_font_ok = false;
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
        }
    }

    QBrush make_pattern(const PatternBits &pattern_bits) {
        for (size_t i = 0; i < patterns_used; ++i) {
            const auto &c = patterns[i];
            if (c.fg == text && c.bg == background && c.bits == pattern_bits)
                return c.brush;
        }
        QImage tile(8, 8, QImage::Format_RGB32);
        const QRgb fg = qRgb(red_of(text), green_of(text), blue_of(text));
        const QRgb bg = qRgb(red_of(background), green_of(background), blue_of(background));
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
    void ellipse_spans(int64_t left, int64_t top, int64_t right, int64_t bottom, int &row0) {
        const int h = image.height();
        const int w = image.width();
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
    return d_->image.width();
}
int DeviceContext::height() const {
    return d_->image.height();
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
    int row0 = 0;
    d.ellipse_spans(left, top, right, bottom, row0);
    const bool filled = d.brush.style != Brush::Style::Null;
    const int rows = static_cast<int>(d.spans.size());
    const bool exact_outline = !d.pen_none && !d.pen_wide && !d.pen_styled;
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
            d.fill_run(in0, in1, y, d.qbrush);
        d.fill_run(in1 + 1, x1, y, pen_colour);
    }
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
    const int64_t w = static_cast<int64_t>(right) - left, h = static_cast<int64_t>(bottom) - top;
    const bool filled = d.brush.style != Brush::Style::Null;
    const auto clip = [](int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, -kFarAway, kFarAway));
    };
    const auto box = [&](int64_t l, int64_t t, int64_t r, int64_t b) {
        // r and b exclusive; cut to a frame around the image so QRect cannot overflow.
        const int64_t L = std::max<int64_t>(l, -kSpanMargin),
                      T = std::max<int64_t>(t, -kSpanMargin);
        const int64_t R = std::min<int64_t>(r, d.image.width() + kSpanMargin);
        const int64_t B = std::min<int64_t>(b, d.image.height() + kSpanMargin);
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
    if (filled && w > 2 && h > 2) {
        const QRect r =
            box(int64_t{left} + 1, int64_t{top} + 1, int64_t{right} - 1, int64_t{bottom} - 1);
        if (!r.isEmpty())
            d.painter.fillRect(r, d.qbrush);
    }
    const Point ring[5] = {
        {left, top}, {right - 1, top}, {right - 1, bottom - 1}, {left, bottom - 1}, {left, top}};
    if (!d.pen_wide && (w <= 2 || h <= 2) && !d.pen_styled) {
        // Nothing inside: the outline covers the box, each pixel once.
        const QRect r = box(left, top, right, bottom);
        if (!r.isEmpty())
            d.painter.fillRect(r, qcolour(d.pen.colour));
        return;
    }
    polyline(ring, 5);
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
    const int64_t r = std::min<int64_t>(right, d.image.width());
    const int64_t b = std::min<int64_t>(bottom, d.image.height());
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
    d.pen_ok = false;
    d.painter.drawText(QPoint(left, top + d.ascent), s);
}

void DeviceContext::set_pixel(int x, int y, Colour c) {
    Impl &d = *d_;
    if (x < 0 || y < 0 || x >= d.image.width() || y >= d.image.height() || !d.begin())
        return;
    if (d.bits) {
        auto *row = reinterpret_cast<QRgb *>(d.bits + static_cast<qsizetype>(y) * d.stride);
        row[x] = qRgb(red_of(c), green_of(c), blue_of(c));
        return;
    }
    d.plain_composition(QPainter::CompositionMode_Source);
    d.painter.fillRect(QRect(x, y, 1, 1), qcolour(c));
}

Colour DeviceContext::get_pixel(int x, int y) const {
    const Impl &d = *d_;
    if (x < 0 || y < 0 || x >= d.image.width() || y >= d.image.height())
        return -1;
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
    d.painter.drawImage(QRect(dst_x, dst_y, dst_width, dst_height), source,
                        QRect(src_x, src_y, src_width, src_height));
}

void DeviceContext::clear(Colour c) {
    Impl &d = *d_;
    if (!d.begin())
        return;
    d.plain_composition(QPainter::CompositionMode_Source);
    d.painter.fillRect(d.image.rect(), qcolour(c));
}

} // namespace gdi
