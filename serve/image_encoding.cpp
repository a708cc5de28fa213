#include "serve/image_encoding.h"

#include <QBuffer>

#include <png.h>

#include <array>
#include <cstdint>
#include <vector>

namespace serve {

namespace {

// zlib's effort: the second-fastest level makes tiles barely larger than the default
// and takes a fraction of its time.
constexpr int kPngCompression = 2;

// The colours of a picture while there are at most 256 of them.
class Palette {
  public:
    // The colour's entry, added when new; -1 once there would be more than 256.
    int index_of(QRgb c) {
        if (c == last_colour_ && last_index_ >= 0)
            return last_index_;
        std::size_t slot = hash(c);
        while (slots_[slot] >= 0) {
            if (colours_[static_cast<std::size_t>(slots_[slot])] == c)
                return remember(c, slots_[slot]);
            slot = (slot + 1) % kSlots;
        }
        if (colours_.size() == 256)
            return -1;
        slots_[slot] = static_cast<int16_t>(colours_.size());
        colours_.push_back(c);
        return remember(c, slots_[slot]);
    }
    const std::vector<QRgb> &colours() const { return colours_; }

  private:
    static constexpr std::size_t kSlots = 1024;
    static std::size_t hash(QRgb c) { return (c * 2654435761u) >> 22; }
    int remember(QRgb c, int i) {
        last_colour_ = c;
        last_index_ = i;
        return i;
    }
    std::array<int16_t, kSlots> slots_ = [] {
        std::array<int16_t, kSlots> a{};
        a.fill(-1);
        return a;
    }();
    std::vector<QRgb> colours_;
    QRgb last_colour_ = 0;
    int last_index_ = -1;
};

void append(png_structp png, png_bytep data, png_size_t length) {
    auto *out = static_cast<std::string *>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char *>(data), length);
}

void no_flush(png_structp) {}

// Writes rows (each `stride` bytes) as a PNG of the given colour type and depth. Kept
// free of objects with destructors: libpng reports errors by a long jump out of here.
bool write_png(std::string &out, int width, int height, int colour_type, int depth,
               const png_color *palette, int palette_size, const png_byte *alphas, int alpha_count,
               png_bytepp rows, bool filter_none) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, append, no_flush);
    png_set_compression_level(png, kPngCompression);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, filter_none ? PNG_FILTER_NONE : PNG_FILTER_SUB);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                 depth, colour_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    if (palette != nullptr)
        png_set_PLTE(png, info, palette, palette_size);
    if (alphas != nullptr && alpha_count > 0)
        png_set_tRNS(png, info, alphas, alpha_count, nullptr);
    png_write_info(png, info);
    if (depth < 8)
        png_set_packing(png); // the rows hold one index a byte
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::string encode_png(const QImage &source) {
    const bool alpha = source.hasAlphaChannel();
    const QImage image =
        source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
            ? source
            : source.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const int w = image.width(), h = image.height();
    if (w <= 0 || h <= 0)
        return {};

    // Paletted when the colours allow: one index a pixel.
    Palette palette;
    std::vector<png_byte> indexes(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    bool paletted = true;
    for (int y = 0; y < h && paletted; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        png_byte *to = indexes.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        for (int x = 0; x < w; ++x) {
            // A clear pixel is clear whatever colour it holds underneath.
            const QRgb c =
                alpha && qAlpha(row[x]) == 0 ? 0 : (alpha ? row[x] : (row[x] | 0xFF000000u));
            const int i = palette.index_of(c);
            if (i < 0) {
                paletted = false;
                break;
            }
            to[x] = static_cast<png_byte>(i);
        }
    }

    std::string out;
    std::vector<png_bytep> rows(static_cast<std::size_t>(h));
    if (paletted) {
        const std::vector<QRgb> &colours = palette.colours();
        std::vector<png_color> entries;
        std::vector<png_byte> alphas;
        int last_clear = -1;
        for (std::size_t i = 0; i < colours.size(); ++i) {
            entries.push_back(png_color{static_cast<png_byte>(qRed(colours[i])),
                                        static_cast<png_byte>(qGreen(colours[i])),
                                        static_cast<png_byte>(qBlue(colours[i]))});
            alphas.push_back(static_cast<png_byte>(qAlpha(colours[i])));
            if (alphas.back() != 0xFF)
                last_clear = static_cast<int>(i);
        }
        const std::size_t n = colours.size();
        const int depth = n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
        for (int y = 0; y < h; ++y)
            rows[static_cast<std::size_t>(y)] =
                indexes.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        if (!write_png(out, w, h, PNG_COLOR_TYPE_PALETTE, depth, entries.data(),
                       static_cast<int>(entries.size()), alphas.data(), last_clear + 1, rows.data(),
                       true))
            return {};
        return out;
    }

    // True colour: RGB or RGBA bytes in order.
    const int channels = alpha ? 4 : 3;
    std::vector<png_byte> bytes(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) *
                                static_cast<std::size_t>(channels));
    for (int y = 0; y < h; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        png_byte *to = bytes.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w) *
                                          static_cast<std::size_t>(channels);
        rows[static_cast<std::size_t>(y)] = to;
        for (int x = 0; x < w; ++x) {
            *to++ = static_cast<png_byte>(qRed(row[x]));
            *to++ = static_cast<png_byte>(qGreen(row[x]));
            *to++ = static_cast<png_byte>(qBlue(row[x]));
            if (alpha)
                *to++ = static_cast<png_byte>(qAlpha(row[x]));
        }
    }
    if (!write_png(out, w, h, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, 8, nullptr, 0,
                   nullptr, 0, rows.data(), false))
        return {};
    return out;
}

std::string encode_jpeg(const QImage &image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG", quality))
        return {};
    return bytes.toStdString();
}

} // namespace serve
