#include "platform/surface/rasterlib.h"

#include <QImage>

#include <fstream>

#include <gtest/gtest.h>

#include "raster_test_support.h"

using raster_test::Rgb;
using raster_test::TempFolder;

namespace {

std::vector<int32_t> range(int32_t from, int32_t to) {
    std::vector<int32_t> v;
    for (int32_t i = from; i < to; ++i)
        v.push_back(i);
    return v;
}

QRgb rgb(int r, int g, int b) {
    return qRgb(r, g, b);
}

} // namespace

TEST(RasterLib, FileInfoDescribesEachKindOfImage) {
    TempFolder t;
    const std::string pal = t.folder() + "pal.tif";
    raster_test::write_paletted(
        pal, 5, 3, {{10, 20, 30}, {200, 100, 0}},
        [](int x, int) { return static_cast<uint8_t>(x % 2); }, true);
    const std::string col = t.folder() + "col.tif";
    raster_test::write_rgb(col, 4, 2, [](int, int) { return Rgb{1, 2, 3}; });
    const std::string dem = t.folder() + "dem.tif";
    raster_test::write_int16(dem, 2, 2, [](int, int) { return int16_t{5}; });

    rasterlib::FileInfo info;
    ASSERT_EQ(rasterlib::file_info(pal, info), rasterlib::kSuccess);
    EXPECT_EQ(info.format, "GTiff");
    EXPECT_EQ(info.width, 5);
    EXPECT_EQ(info.height, 3);
    EXPECT_EQ(info.kind, rasterlib::PixelKind::Paletted);
    EXPECT_EQ(info.bits_per_pixel, 8);
    ASSERT_GE(info.palette.size(), 2u);
    EXPECT_EQ(info.palette[1], rgb(200, 100, 0));

    ASSERT_EQ(rasterlib::file_info(col, info), rasterlib::kSuccess);
    EXPECT_EQ(info.kind, rasterlib::PixelKind::Rgb);
    EXPECT_EQ(info.bits_per_pixel, 24);

    ASSERT_EQ(rasterlib::file_info(dem, info), rasterlib::kSuccess);
    EXPECT_EQ(info.kind, rasterlib::PixelKind::Values);
    EXPECT_EQ(info.bits_per_pixel, 16);
}

TEST(RasterLib, FilesThatCannotBeReadGiveDistinctCodes) {
    TempFolder t;
    rasterlib::FileInfo info;
    EXPECT_EQ(rasterlib::file_info(t.folder() + "none.tif", info), rasterlib::kErrorNotFound);
    // The old compressed format: no reader knows it.
    const std::string cmp = t.write("old.cmp", std::string("CMP\x01\x02\x03 packed data"));
    EXPECT_EQ(rasterlib::file_info(cmp, info), rasterlib::kErrorFormat);
    // A TIFF whose header leads nowhere is a known format, damaged.
    const std::string broken = t.write("broken.tif", std::string("II*\0\xff\xff\xff\x7f", 8));
    EXPECT_EQ(rasterlib::file_info(broken, info), rasterlib::kErrorRead);
    rasterlib::Image image;
    EXPECT_EQ(image.open(cmp), rasterlib::kErrorFormat);
    EXPECT_FALSE(image.is_open());
    QImage out;
    EXPECT_EQ(image.render({0}, {0}, out), rasterlib::kErrorNotOpen);
    EXPECT_EQ(rasterlib::describe(rasterlib::kErrorLzwMissing), "LZW compression not available");
}

TEST(RasterLib, RenderShowsTheListedPixelsIncludingRepeatsForAMagnifiedView) {
    TempFolder t;
    const std::string path = t.folder() + "grid.tif";
    raster_test::write_rgb(
        path, 8, 6,
        [](int x, int y) {
            return Rgb{static_cast<uint8_t>(x * 30), static_cast<uint8_t>(y * 40), 7};
        },
        true, true);
    rasterlib::Image image;
    ASSERT_EQ(image.open(path), rasterlib::kSuccess);
    QImage out;
    ASSERT_EQ(image.render({2, 2, 3, 5}, {1, 4, 4}, out), rasterlib::kSuccess);
    ASSERT_EQ(out.size(), QSize(4, 3));
    EXPECT_EQ(out.pixel(0, 0), rgb(60, 40, 7));
    EXPECT_EQ(out.pixel(1, 0), rgb(60, 40, 7));
    EXPECT_EQ(out.pixel(2, 1), rgb(90, 160, 7));
    EXPECT_EQ(out.pixel(3, 2), rgb(150, 160, 7));
    // Pixels outside the image, or listed out of order, are refused.
    EXPECT_EQ(image.render({7, 8}, {0}, out), rasterlib::kErrorWindow);
    EXPECT_EQ(image.render({3, 2}, {0}, out), rasterlib::kErrorWindow);
    EXPECT_EQ(image.render({}, {0}, out), rasterlib::kErrorWindow);
}

TEST(RasterLib, AReducedViewSamplesInsideEachOutputPixelsShare) {
    TempFolder t;
    const std::string path = t.folder() + "stripes.tif";
    // Vertical stripes 100 pixels wide, alternately black and white.
    raster_test::write_paletted(path, 2000, 50, {{0, 0, 0}, {255, 255, 255}},
                                [](int x, int) { return static_cast<uint8_t>((x / 100) % 2); });
    rasterlib::Image image;
    ASSERT_EQ(image.open(path), rasterlib::kSuccess);
    std::vector<int32_t> columns;
    for (int i = 0; i < 100; ++i)
        columns.push_back(i * 20 + 10);
    QImage out;
    ASSERT_EQ(image.render(columns, {25}, out), rasterlib::kSuccess);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(out.pixel(i, 0), (i / 5) % 2 ? rgb(255, 255, 255) : rgb(0, 0, 0)) << i;
}

TEST(RasterLib, APaintTallerThanOneReadIsReadInBandsWithoutSeams) {
    TempFolder t;
    const std::string path = t.folder() + "tall.tif";
    raster_test::write_rgb(
        path, 300, 2000,
        [](int x, int y) {
            return Rgb{static_cast<uint8_t>(y % 251), static_cast<uint8_t>(y / 251),
                       static_cast<uint8_t>(x % 7)};
        },
        true, true);
    rasterlib::Image image;
    ASSERT_EQ(image.open(path), rasterlib::kSuccess);
    // Every other column, every row: far more rows than one band holds at this width.
    std::vector<int32_t> columns;
    for (int32_t c = 0; c < 300; c += 2)
        columns.push_back(c);
    QImage out;
    ASSERT_EQ(image.render(columns, range(0, 2000), out), rasterlib::kSuccess);
    for (int y = 0; y < 2000; ++y) {
        ASSERT_EQ(out.pixel(0, y), rgb(y % 251, y / 251, 0)) << y;
        ASSERT_EQ(out.pixel(149, y), rgb(y % 251, y / 251, 298 % 7)) << y;
    }
}

TEST(RasterLib, RenderPaintsIntoATargetAtAnOffsetWhateverItsFormat) {
    TempFolder t;
    const std::string path = t.folder() + "pal.tif";
    raster_test::write_paletted(path, 4, 4, {{0, 0, 255}, {255, 255, 0}},
                                [](int x, int y) { return static_cast<uint8_t>((x + y) % 2); });
    rasterlib::Image image;
    ASSERT_EQ(image.open(path), rasterlib::kSuccess);
    for (const auto format : {QImage::Format_RGB32, QImage::Format_RGB888}) {
        QImage target(10, 10, format);
        target.fill(Qt::white);
        ASSERT_EQ(image.render({0, 1}, {0, 0, 1}, target, 7, 3), rasterlib::kSuccess);
        EXPECT_EQ(target.pixel(7, 3), rgb(0, 0, 255));
        EXPECT_EQ(target.pixel(8, 4), rgb(255, 255, 0));
        EXPECT_EQ(target.pixel(8, 5), rgb(0, 0, 255));
        EXPECT_EQ(target.pixel(6, 3), rgb(255, 255, 255));
        EXPECT_EQ(target.pixel(7, 6), rgb(255, 255, 255));
        // An output that would run off the target is refused before anything is read.
        EXPECT_EQ(image.render({0, 1}, {0}, target, 9, 0), rasterlib::kErrorWindow);
    }
}

TEST(RasterLib, ElevationsShowAsGreysFromLowToHighWithMissingCellsWhite) {
    TempFolder t;
    const std::string path = t.folder() + "dem.tif";
    const int16_t cells[4] = {-100, 400, 900, rasterlib::kElevationNoData};
    raster_test::write_int16(path, 4, 1, [&](int x, int) { return cells[x]; });
    rasterlib::Image image;
    ASSERT_EQ(image.open(path), rasterlib::kSuccess);
    QImage out;
    ASSERT_EQ(image.render(range(0, 4), {0}, out), rasterlib::kSuccess);
    EXPECT_EQ(out.pixel(0, 0), rgb(0, 0, 0));
    EXPECT_EQ(out.pixel(1, 0), rgb(128, 128, 128));
    EXPECT_EQ(out.pixel(2, 0), rgb(255, 255, 255));
    EXPECT_EQ(out.pixel(3, 0), rgb(255, 255, 255));
    // The shading belongs to the image, not the window: one cell alone keeps its grey.
    ASSERT_EQ(image.render({1}, {0}, out), rasterlib::kSuccess);
    EXPECT_EQ(out.pixel(0, 0), rgb(128, 128, 128));
}

TEST(RasterLib, GreyImagesOfFewerBitsSpreadOverTheWholeRange) {
    TempFolder t;
    const std::string path = t.folder() + "grey.tif";
    raster_test::write_grey(path, 3, 1, [](int x, int) { return static_cast<uint8_t>(x * 100); });
    rasterlib::Image image;
    ASSERT_EQ(image.open(path), rasterlib::kSuccess);
    EXPECT_EQ(image.info().kind, rasterlib::PixelKind::Grey);
    QImage out;
    ASSERT_EQ(image.render(range(0, 3), {0}, out), rasterlib::kSuccess);
    EXPECT_EQ(out.pixel(1, 0), rgb(100, 100, 100));
    EXPECT_EQ(out.pixel(2, 0), rgb(200, 200, 200));
}

TEST(RasterLib, PixelReadsGiveBandValuesAndRefuseCellsOutside) {
    TempFolder t;
    const std::string path = t.folder() + "dem.tif";
    raster_test::write_int16(path, 3, 2, [](int x, int y) { return int16_t(x * 10 - y * 1000); });
    rasterlib::Image image;
    ASSERT_EQ(image.open(path), rasterlib::kSuccess);
    double v = 0;
    ASSERT_TRUE(image.read_pixel(1, 2, 1, v));
    EXPECT_EQ(v, -980);
    EXPECT_FALSE(image.read_pixel(1, 3, 0, v));
    EXPECT_FALSE(image.read_pixel(1, 0, -1, v));
    EXPECT_FALSE(image.read_pixel(2, 0, 0, v));
}

TEST(RasterLib, AMovedHandleLeavesAnEmptyOneBehind) {
    TempFolder t;
    const std::string path = t.folder() + "g.tif";
    raster_test::write_grey(path, 2, 2, [](int, int) { return uint8_t{9}; });
    rasterlib::Image a;
    ASSERT_EQ(a.open(path), rasterlib::kSuccess);
    rasterlib::Image b(std::move(a));
    EXPECT_TRUE(b.is_open());
    EXPECT_FALSE(a.is_open()); // NOLINT: moved-from use is the point
    EXPECT_EQ(a.info().width, 0);
    double v = 0;
    EXPECT_FALSE(a.read_pixel(1, 0, 0, v));
    EXPECT_EQ(a.open(path), rasterlib::kSuccess);
}
