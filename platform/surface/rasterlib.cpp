#include "platform/surface/rasterlib.h"

#include <QImage>
#include <QPainter>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <string_view>

#include "platform/base/files.h"

namespace rasterlib {

namespace {

// GDAL keeps decoded blocks between reads so that panning and the height readout do not
// decode the same tiles again. Its own default grows with the machine's memory; the tiles
// under one screen of the map are all it needs to keep.
constexpr int64_t kBlockCacheBytes = 8 * 1024 * 1024;

// Rows of a paint are read in bands of about this many bytes.
constexpr size_t kBandBytes = 512 * 1024;

// The grey range of an elevation grid comes from a sample of this many cells a side.
constexpr int32_t kRangeSample = 256;

void initialise() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The viewer never writes beside the data: no side-car statistics files.
        if (CPLGetConfigOption("GDAL_PAM_ENABLED", nullptr) == nullptr)
            CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
        if (CPLGetConfigOption("GDAL_CACHEMAX", nullptr) == nullptr)
            GDALSetCacheMax64(kBlockCacheBytes);
        GDALAllRegister();
    });
}

// GDAL reports problems to stderr by default; here they become result codes instead.
class QuietErrors {
  public:
    QuietErrors() {
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
    }
    ~QuietErrors() { CPLPopErrorHandler(); }
    QuietErrors(const QuietErrors &) = delete;
    QuietErrors &operator=(const QuietErrors &) = delete;
};

bool starts_like_tiff(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    char magic[4] = {};
    if (!in.read(magic, sizeof magic))
        return false;
    return (magic[0] == 'I' && magic[1] == 'I' && (magic[2] == 42 || magic[2] == 43)) ||
           (magic[0] == 'M' && magic[1] == 'M' && magic[3] != 0 &&
            (magic[3] == 42 || magic[3] == 43));
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Why GDAL could not open an existing file.
int open_failure(const std::filesystem::path &path) {
    const std::string message = CPLGetLastErrorMsg();
    if (starts_like_tiff(path)) {
        if (contains(message, "LZW"))
            return kErrorLzwMissing;
        return kErrorRead;
    }
    GDALDriverH driver = GDALIdentifyDriver(path.c_str(), nullptr);
    return driver != nullptr ? kErrorRead : kErrorFormat;
}

int describe_dataset(GDALDatasetH ds, FileInfo &info) {
    info = FileInfo{};
    const int bands = GDALGetRasterCount(ds);
    info.width = GDALGetRasterXSize(ds);
    info.height = GDALGetRasterYSize(ds);
    if (bands < 1 || info.width < 1 || info.height < 1)
        return kErrorFormat;
    info.bands = bands;
    if (GDALDriverH driver = GDALGetDatasetDriver(ds))
        info.format = GDALGetDriverShortName(driver);

    GDALRasterBandH first = GDALGetRasterBand(ds, 1);
    const GDALDataType type = GDALGetRasterDataType(first);
    if (GDALDataTypeIsComplex(type) || type == GDT_Unknown)
        return kErrorFormat;
    info.overviews = GDALGetOverviewCount(first);
    int has = 0;
    const double no_data = GDALGetRasterNoDataValue(first, &has);
    info.has_no_data = has != 0 && !std::isnan(no_data);
    info.no_data = info.has_no_data ? no_data : 0.0;

    if (type == GDT_Byte) {
        int bits = 8;
        if (const char *nbits = GDALGetMetadataItem(first, "NBITS", "IMAGE_STRUCTURE")) {
            const int n = std::atoi(nbits);
            if (n >= 1 && n <= 8)
                bits = n;
        }
        bool rgb = bands >= 3;
        for (int b = 2; rgb && b <= 3; ++b)
            rgb = GDALGetRasterDataType(GDALGetRasterBand(ds, b)) == GDT_Byte;
        if (rgb) {
            info.kind = PixelKind::Rgb;
            info.bits_per_pixel = 8 * std::min(bands, 4);
        } else if (GDALColorTableH table = GDALGetRasterColorTable(first)) {
            info.kind = PixelKind::Paletted;
            info.bits_per_pixel = bits;
            const int n = std::min(GDALGetColorEntryCount(table), 256);
            info.palette.reserve(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                GDALColorEntry e{};
                GDALGetColorEntryAsRGB(table, i, &e);
                info.palette.push_back(qRgb(e.c1, e.c2, e.c3));
            }
        } else {
            info.kind = PixelKind::Grey;
            info.bits_per_pixel = bits;
        }
        return kSuccess;
    }
    info.kind = PixelKind::Values;
    info.bits_per_pixel = GDALGetDataTypeSizeBits(type);
    return kSuccess;
}

// Opens a dataset, or explains with a code why not.
GDALDatasetH open_dataset(const std::string &path, int &code) {
    initialise();
    const std::filesystem::path resolved = files::resolve(path);
    std::error_code ec;
    if (resolved.empty() || !std::filesystem::is_regular_file(resolved, ec)) {
        code = kErrorNotFound;
        return nullptr;
    }
    QuietErrors quiet;
    GDALDatasetH ds =
        GDALOpenEx(resolved.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    if (ds == nullptr) {
        code = open_failure(resolved);
        return nullptr;
    }
    code = kSuccess;
    return ds;
}

// Index into a buffer of buffer_size cells that GDAL filled from window_size source
// cells starting at first, for source cell s. When the buffer is as large as the window
// the cell is exact; when it is smaller, GDAL sampled each buffer cell from inside its
// share of the window, and s falls into the same share.
int32_t buffer_index(int32_t s, int32_t first, int32_t window_size, int32_t buffer_size) {
    const int64_t offset = static_cast<int64_t>(s) - first;
    if (buffer_size == window_size)
        return static_cast<int32_t>(offset);
    return static_cast<int32_t>(offset * buffer_size / window_size);
}

bool within(const std::vector<int32_t> &cells, int32_t size) {
    if (cells.empty())
        return false;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (cells[i] < 0 || cells[i] >= size)
            return false;
        if (i > 0 && cells[i] < cells[i - 1])
            return false;
    }
    return true;
}

constexpr QRgb kWhite = 0xFFFFFFFFu;

} // namespace

struct Image::Impl {
    GDALDatasetH ds = nullptr;
    FileInfo info;
    // Grey range of a Values image: found once, on first paint, so that the shading
    // does not change as the view moves.
    bool range_known = false;
    double low = 0.0;
    double high = 0.0;

    ~Impl() { close(); }

    void close() {
        if (ds != nullptr)
            GDALClose(ds);
        ds = nullptr;
        info = FileInfo{};
        range_known = false;
    }

    bool missing(double v) const {
        if (std::isnan(v))
            return true;
        if (info.has_no_data && v == info.no_data)
            return true;
        return info.bits_per_pixel == 16 && v == kElevationNoData;
    }

    // Colour of every possible byte of a paletted or grey image, so that colouring a
    // row is a table look-up.
    void byte_colours(QRgb (&lut)[256]) const {
        if (info.kind == PixelKind::Paletted) {
            for (int i = 0; i < 256; ++i)
                lut[i] = static_cast<size_t>(i) < info.palette.size()
                             ? info.palette[static_cast<size_t>(i)]
                             : qRgb(0, 0, 0);
        } else if (info.kind == PixelKind::Grey) {
            const int top = (1 << std::clamp(info.bits_per_pixel, 1, 8)) - 1;
            for (int i = 0; i < 256; ++i) {
                const int g = std::min(i, top) * 255 / top;
                lut[i] = qRgb(g, g, g);
            }
        }
    }

    // Reads the source window (x0, y0, window_w, window_h) at buf_w x buf_h cells into
    // bytes (one or three a cell) or, for a Values image, into values.
    bool read_window(int32_t x0, int32_t y0, int32_t window_w, int32_t window_h, int32_t buf_w,
                     int32_t buf_h, std::vector<uint8_t> &bytes, std::vector<float> &values) {
        GDALRasterIOExtraArg extra;
        INIT_RASTERIO_EXTRA_ARG(extra);
        QuietErrors quiet;
        CPLErr err = CE_None;
        if (info.kind == PixelKind::Rgb) {
            int band_map[3] = {1, 2, 3};
            err = GDALDatasetRasterIOEx(ds, GF_Read, x0, y0, window_w, window_h, bytes.data(),
                                        buf_w, buf_h, GDT_Byte, 3, band_map, 3,
                                        static_cast<GSpacing>(buf_w) * 3, 1, &extra);
        } else if (info.kind == PixelKind::Values) {
            err = GDALRasterIOEx(GDALGetRasterBand(ds, 1), GF_Read, x0, y0, window_w, window_h,
                                 values.data(), buf_w, buf_h, GDT_Float32, 0, 0, &extra);
        } else {
            err = GDALRasterIOEx(GDALGetRasterBand(ds, 1), GF_Read, x0, y0, window_w, window_h,
                                 bytes.data(), buf_w, buf_h, GDT_Byte, 0, 0, &extra);
        }
        return err == CE_None;
    }

    // One output row from the buffer row starting at cell base: output pixel i shows
    // buffer column col_of[i].
    void colour_row(const std::vector<uint8_t> &bytes, const std::vector<float> &values,
                    const QRgb (&lut)[256], const std::vector<int32_t> &col_of, size_t base,
                    QRgb *line) const {
        const size_t n = col_of.size();
        switch (info.kind) {
        case PixelKind::Rgb:
            for (size_t i = 0; i < n; ++i) {
                const uint8_t *p = &bytes[(base + static_cast<size_t>(col_of[i])) * 3];
                line[i] = qRgb(p[0], p[1], p[2]);
            }
            break;
        case PixelKind::Values:
            for (size_t i = 0; i < n; ++i)
                line[i] = grey_of(values[base + static_cast<size_t>(col_of[i])]);
            break;
        case PixelKind::Paletted:
        case PixelKind::Grey:
            for (size_t i = 0; i < n; ++i)
                line[i] = lut[bytes[base + static_cast<size_t>(col_of[i])]];
            break;
        }
    }

    void find_range() {
        if (range_known)
            return;
        range_known = true;
        low = 0.0;
        high = 0.0;
        const int32_t w = std::min(info.width, kRangeSample);
        const int32_t h = std::min(info.height, kRangeSample);
        std::vector<float> sample(static_cast<size_t>(w) * static_cast<size_t>(h));
        GDALRasterIOExtraArg extra;
        INIT_RASTERIO_EXTRA_ARG(extra);
        QuietErrors quiet;
        if (GDALRasterIOEx(GDALGetRasterBand(ds, 1), GF_Read, 0, 0, info.width, info.height,
                           sample.data(), w, h, GDT_Float32, 0, 0, &extra) != CE_None)
            return;
        bool any = false;
        for (float f : sample) {
            const double v = f;
            if (missing(v))
                continue;
            if (!any || v < low)
                low = v;
            if (!any || v > high)
                high = v;
            any = true;
        }
    }

    QRgb grey_of(double v) const {
        if (missing(v))
            return kWhite;
        if (high <= low)
            return qRgb(128, 128, 128);
        const double t = std::clamp((v - low) / (high - low), 0.0, 1.0);
        const int g = static_cast<int>(std::lround(t * 255.0));
        return qRgb(g, g, g);
    }
};

// A moved-from handle has no Impl and behaves as an empty one.
Image::Image() : d_(std::make_unique<Impl>()) {}
Image::~Image() = default;
Image::Image(Image &&other) noexcept = default;
Image &Image::operator=(Image &&other) noexcept = default;

int Image::open(const std::string &path) {
    if (!d_)
        d_ = std::make_unique<Impl>();
    d_->close();
    int code = kSuccess;
    GDALDatasetH ds = open_dataset(path, code);
    if (ds == nullptr)
        return code;
    FileInfo info;
    code = describe_dataset(ds, info);
    if (code != kSuccess) {
        GDALClose(ds);
        return code;
    }
    d_->ds = ds;
    d_->info = std::move(info);
    return kSuccess;
}

void Image::close() {
    if (d_)
        d_->close();
}

bool Image::is_open() const {
    return d_ && d_->ds != nullptr;
}

const FileInfo &Image::info() const {
    static const FileInfo empty;
    return d_ ? d_->info : empty;
}

int Image::render(const std::vector<int32_t> &columns, const std::vector<int32_t> &rows,
                  QImage &out) {
    const int32_t w = static_cast<int32_t>(columns.size());
    const int32_t h = static_cast<int32_t>(rows.size());
    if (w < 1 || h < 1)
        return kErrorWindow;
    QImage img(w, h, QImage::Format_RGB32);
    if (img.isNull())
        return kErrorNoMemory;
    const int code = render(columns, rows, img, 0, 0);
    if (code == kSuccess)
        out = std::move(img);
    return code;
}

int Image::render(const std::vector<int32_t> &columns, const std::vector<int32_t> &rows,
                  QImage &target, int x, int y) {
    if (!is_open())
        return kErrorNotOpen;
    Impl &d = *d_;
    if (!within(columns, d.info.width) || !within(rows, d.info.height))
        return kErrorWindow;
    const int32_t out_w = static_cast<int32_t>(columns.size());
    const int32_t out_h = static_cast<int32_t>(rows.size());
    if (target.isNull() || x < 0 || y < 0 || int64_t{x} + out_w > target.width() ||
        int64_t{y} + out_h > target.height())
        return kErrorWindow;

    const PixelKind kind = d.info.kind;
    if (kind == PixelKind::Values)
        d.find_range();

    const int32_t x0 = columns.front();
    const int32_t window_w = columns.back() - x0 + 1;
    const int32_t buf_w = std::min(window_w, out_w);
    const int bands = kind == PixelKind::Rgb ? 3 : 1;
    const size_t cell_bytes = kind == PixelKind::Values ? sizeof(float) : size_t(bands);
    // Rows are read a band at a time: the buffer stays small however large the window.
    const int32_t band_rows = static_cast<int32_t>(std::clamp<size_t>(
        kBandBytes / (static_cast<size_t>(buf_w) * cell_bytes), 1, static_cast<size_t>(out_h)));
    const QImage::Format f = target.format();
    const bool direct = f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
                        f == QImage::Format_ARGB32_Premultiplied;

    try {
        QRgb lut[256];
        d.byte_colours(lut);
        std::vector<int32_t> col_of(static_cast<size_t>(out_w));
        for (int32_t i = 0; i < out_w; ++i)
            col_of[static_cast<size_t>(i)] =
                buffer_index(columns[static_cast<size_t>(i)], x0, window_w, buf_w);

        const size_t buffer_cells = static_cast<size_t>(buf_w) * static_cast<size_t>(band_rows);
        std::vector<uint8_t> bytes(kind == PixelKind::Values ? 0 : buffer_cells * size_t(bands));
        std::vector<float> values(kind == PixelKind::Values ? buffer_cells : 0);
        // Targets of another pixel format get each band through a strip of their own.
        QImage strip;
        if (!direct) {
            strip = QImage(out_w, band_rows, QImage::Format_RGB32);
            if (strip.isNull())
                return kErrorNoMemory;
        }

        for (int32_t j0 = 0; j0 < out_h; j0 += band_rows) {
            const int32_t j1 = std::min(out_h, j0 + band_rows);
            const int32_t y0 = rows[static_cast<size_t>(j0)];
            const int32_t window_h = rows[static_cast<size_t>(j1 - 1)] - y0 + 1;
            const int32_t buf_h = std::min(window_h, j1 - j0);
            if (!d.read_window(x0, y0, window_w, window_h, buf_w, buf_h, bytes, values))
                return kErrorRead;
            for (int32_t j = j0; j < j1; ++j) {
                const size_t r = static_cast<size_t>(
                    buffer_index(rows[static_cast<size_t>(j)], y0, window_h, buf_h));
                QRgb *line = direct ? reinterpret_cast<QRgb *>(target.scanLine(y + j)) + x
                                    : reinterpret_cast<QRgb *>(strip.scanLine(j - j0));
                d.colour_row(bytes, values, lut, col_of, r * static_cast<size_t>(buf_w), line);
            }
            if (!direct) {
                QPainter painter(&target);
                painter.setCompositionMode(QPainter::CompositionMode_Source);
                painter.drawImage(QPoint(x, y + j0), strip, QRect(0, 0, out_w, j1 - j0));
            }
        }
    } catch (const std::bad_alloc &) {
        return kErrorNoMemory;
    }
    return kSuccess;
}

bool Image::read_pixel(int band, int32_t x, int32_t y, double &value) {
    if (!is_open())
        return false;
    Impl &d = *d_;
    if (band < 1 || band > d.info.bands || x < 0 || y < 0 || x >= d.info.width ||
        y >= d.info.height)
        return false;
    double v = 0.0;
    QuietErrors quiet;
    if (GDALRasterIO(GDALGetRasterBand(d.ds, band), GF_Read, x, y, 1, 1, &v, 1, 1, GDT_Float64, 0,
                     0) != CE_None)
        return false;
    value = v;
    return true;
}

int file_info(const std::string &path, FileInfo &info) {
    int code = kSuccess;
    GDALDatasetH ds = open_dataset(path, code);
    if (ds == nullptr)
        return code;
    code = describe_dataset(ds, info);
    GDALClose(ds);
    return code;
}

std::string describe(int code) {
    switch (code) {
    case kSuccess:
        return "success";
    case kErrorNoMemory:
        return "not enough memory";
    case kErrorNotFound:
        return "file not found";
    case kErrorFormat:
        return "not a readable image format";
    case kErrorRead:
        return "image file damaged or unreadable";
    case kErrorWindow:
        return "pixels outside the image";
    case kErrorNotOpen:
        return "no image loaded";
    case kErrorLzwMissing:
        return "LZW compression not available";
    default:
        return "unknown error";
    }
}

} // namespace rasterlib
