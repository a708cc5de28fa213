// Pictures as the bytes a client is sent. A map is drawn from a palette, so most
// pictures have few colours: those go as paletted PNG (1, 2, 4 or 8 bits a pixel, with
// the transparent entries in the palette), which is smaller and quicker to write; a
// picture of more than 256 colours (a photograph behind the map) as true colour.
#pragma once

#include <QImage>

#include <string>

namespace serve {

// PNG of an RGB32 or ARGB32 picture; empty when it cannot be made.
std::string encode_png(const QImage &image);
// JPEG of the picture at the given quality (0-100); empty when it cannot be made.
std::string encode_jpeg(const QImage &image, int quality = 85);

} // namespace serve
