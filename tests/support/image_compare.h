// Comparing a rendered image with a control image, at the tolerance of the render
// tests: a pixel differs when any channel is off by more than the tolerance, and a few
// differing pixels are allowed.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QRgb>

#include <cstdlib>

namespace testing_support {

// Per channel, and the share of pixels (one in a thousand) that may differ: enough for
// a label that lands a pixel over, not for a missing feature.
inline constexpr int kChannelTolerance = 8;
inline long allowed_differences(const QImage &image) {
    return static_cast<long>(image.width()) * image.height() / 1000;
}

inline long differing_pixels(const QImage &actual, const QImage &control, int tolerance) {
    const QImage a = actual.convertToFormat(QImage::Format_RGB32);
    const QImage c = control.convertToFormat(QImage::Format_RGB32);
    long differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *pc = reinterpret_cast<const QRgb *>(c.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            if (std::abs(qRed(pa[x]) - qRed(pc[x])) > tolerance ||
                std::abs(qGreen(pa[x]) - qGreen(pc[x])) > tolerance ||
                std::abs(qBlue(pa[x]) - qBlue(pc[x])) > tolerance)
                ++differing;
    }
    return differing;
}

// At most `allowed` pixels differ by more than `tolerance` in a channel.
inline testing::AssertionResult images_match(const QImage &actual, const QImage &control,
                                             int tolerance, long allowed) {
    if (actual.size() != control.size())
        return testing::AssertionFailure() << "size differs";
    const long differing = differing_pixels(actual, control, tolerance);
    if (differing > allowed)
        return testing::AssertionFailure()
               << differing << " pixels differ (allowed " << allowed << ")";
    return testing::AssertionSuccess();
}

// Red where the images differ, the control image faded elsewhere.
inline QImage difference(const QImage &actual, const QImage &control) {
    const QImage a = actual.convertToFormat(QImage::Format_RGB32);
    QImage d = control.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < d.height() && y < a.height(); ++y) {
        auto *pd = reinterpret_cast<QRgb *>(d.scanLine(y));
        const auto *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        for (int x = 0; x < d.width() && x < a.width(); ++x) {
            const int g = 192 + qGray(pd[x]) / 4;
            pd[x] = pa[x] == pd[x] ? qRgb(g, g, g) : qRgb(255, 0, 0);
        }
    }
    return d;
}

} // namespace testing_support
