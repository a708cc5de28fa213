// A white image with a device context on it, for tests that paint. Painting text needs
// the GUI application object, made once for the whole test program.
#pragma once

#include <QGuiApplication>
#include <QImage>
#include <memory>

#include <gtest/gtest.h>

#include "platform/surface/gdi.h"

namespace view_test {

inline constexpr gdi::Colour kWhite = gdi::rgb(255, 255, 255);
inline constexpr gdi::Colour kBlue = gdi::rgb(0, 0, 255);
inline constexpr gdi::Colour kBarFill = gdi::rgb(0, 0, 250);
inline constexpr gdi::Colour kRed = gdi::rgb(255, 0, 0);

inline void ensure_gui_application() {
    static int argc = 1;
    static char name[] = "view_tests";
    static char *argv[] = {name, nullptr};
    if (QGuiApplication::instance() == nullptr)
        new QGuiApplication(argc, argv); // lives for the rest of the program
}

class PaintingTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ensure_gui_application(); }

    void SetUp() override { reset(600, 400); }

    void reset(int width, int height) {
        dc_.reset();
        image_ = QImage(width, height, QImage::Format_RGB32);
        image_.fill(Qt::white);
        dc_ = std::make_unique<gdi::DeviceContext>(image_);
    }

    gdi::DeviceContext &dc() { return *dc_; }

    // Pixels of colour c in the rectangle [x0, x1] x [y0, y1].
    int count(gdi::Colour c, int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (dc_->get_pixel(x, y) == c)
                    ++n;
        return n;
    }

  private:
    QImage image_;
    std::unique_ptr<gdi::DeviceContext> dc_;
};

} // namespace view_test
