// Raster images for the map background and the height models, read through GDAL.
//
// An Image is the program's handle on one loaded raster. Loading opens the file and
// reads its description, never its pixels: a scanned map can run to gigapixels, so
// painting asks for exactly the output pixels it needs (render), and the library reads
// only the blocks under them, from a reduced-resolution copy stored in the file when one
// fits the output. Nothing holds a whole image in memory.
//
// Results follow the convention the raster code was written against: 1 for success,
// a negative code for each kind of failure, so that the caller can show the number.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QImage;

namespace rasterlib {

inline constexpr int kSuccess = 1;
inline constexpr int kErrorNoMemory = -1;
inline constexpr int kErrorNotFound = -2;     // no such file
inline constexpr int kErrorFormat = -3;       // not an image format that can be read
inline constexpr int kErrorRead = -4;         // a known format, but the file is damaged
inline constexpr int kErrorWindow = -5;       // pixels asked for lie outside the image
inline constexpr int kErrorNotOpen = -6;      // the handle holds no image
inline constexpr int kErrorLzwMissing = -146; // LZW-compressed and no LZW decoder

// How the pixels become colours on the map.
enum class PixelKind {
    Paletted, // one byte band with a colour table
    Grey,     // one byte band without one (1 to 8 bits)
    Rgb,      // three or more byte bands: red, green, blue (a fourth is ignored)
    Values,   // one band of other numbers (elevations): shown as greys from low to high
};

struct FileInfo {
    std::string format; // short name of the reading driver ("GTiff", "JPEG", ...)
    int32_t width = 0;
    int32_t height = 0;
    int32_t bands = 0;
    int32_t bits_per_pixel = 0; // all bands together: 8 paletted, 24 RGB, 16 elevation, ...
    PixelKind kind = PixelKind::Grey;
    std::vector<uint32_t> palette; // 0xAARRGGBB, paletted images only
    int32_t overviews = 0;         // reduced-resolution copies in the file
    bool has_no_data = false;      // the file names a value that marks missing cells
    double no_data = 0.0;
};

// Elevation grids mark cells without a surveyed height with this value, whether or not
// the file says so itself.
inline constexpr int32_t kElevationNoData = 32727;

// What the file is, without keeping it open. kSuccess or an error code.
int file_info(const std::string &path, FileInfo &info);

// Text for a result code, for logs and messages that want words besides the number.
std::string describe(int code);

class Image {
  public:
    Image();
    ~Image();
    Image(Image &&other) noexcept;
    Image &operator=(Image &&other) noexcept;
    Image(const Image &) = delete;
    Image &operator=(const Image &) = delete;

    // Opens the image at path (backslashes and mismatched case resolved as for every
    // data-folder file), replacing whatever this handle held. kSuccess or an error code;
    // on failure the handle is empty.
    int open(const std::string &path);
    void close();
    bool is_open() const;
    const FileInfo &info() const;

    // Paints columns.size() x rows.size() pixels into target with their top-left corner at
    // (x, y): output pixel (i, j) shows image pixel (columns[i], rows[j]). Both lists must
    // be non-decreasing and lie inside the image, and the output inside target. Only the
    // window the lists span is read, at no more than the output's size in each direction
    // and a band of rows at a time, so that a reduced view costs about what it shows and
    // nothing of screen size is held besides target. Missing cells of an elevation grid
    // are white. kSuccess or an error code; on failure target may be partly painted.
    int render(const std::vector<int32_t> &columns, const std::vector<int32_t> &rows,
               QImage &target, int x, int y);
    // The same into a new 32-bit RGB image of the output's size.
    int render(const std::vector<int32_t> &columns, const std::vector<int32_t> &rows, QImage &out);

    // The value of one pixel of a band (numbered from 1). False outside the image, for a
    // band it does not have, or when the file cannot be read there.
    bool read_pixel(int band, int32_t x, int32_t y, double &value);

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace rasterlib
