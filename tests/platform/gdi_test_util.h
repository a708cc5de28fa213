// A white canvas with a device context on it, and ways to read its pixels as text.
#pragma once

#include <QImage>

#include <string>

#include "platform/surface/gdi.h"

namespace gdi_test {

constexpr gdi::Colour kWhite = gdi::rgb(255, 255, 255);
constexpr gdi::Colour kBlack = gdi::rgb(0, 0, 0);
constexpr gdi::Colour kRed = gdi::rgb(255, 0, 0);
constexpr gdi::Colour kGreen = gdi::rgb(0, 255, 0);
constexpr gdi::Colour kBlue = gdi::rgb(0, 0, 255);

struct Canvas {
    explicit Canvas(int w = 64, int h = 48) : image(w, h, QImage::Format_RGB32), dc(image) {
        dc.clear(kWhite);
    }
    QImage image;
    gdi::DeviceContext dc;

    // Row y from x0 to x1 inclusive: '#' where the pixel has colour c, '.' elsewhere.
    std::string row(int y, int x0, int x1, gdi::Colour c = kBlack) const {
        std::string s;
        for (int x = x0; x <= x1; ++x)
            s.push_back(dc.get_pixel(x, y) == c ? '#' : '.');
        return s;
    }
    std::string column(int x, int y0, int y1, gdi::Colour c = kBlack) const {
        std::string s;
        for (int y = y0; y <= y1; ++y)
            s.push_back(dc.get_pixel(x, y) == c ? '#' : '.');
        return s;
    }
    int count(gdi::Colour c) const {
        int n = 0;
        for (int y = 0; y < dc.height(); ++y)
            for (int x = 0; x < dc.width(); ++x)
                n += dc.get_pixel(x, y) == c;
        return n;
    }
    // Copy of the pixels as they are now (a deep copy, unaffected by later drawing).
    QImage snapshot() { return dc.image().copy(); }
};

} // namespace gdi_test
