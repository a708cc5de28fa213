#include "view/window_place.h"

#include <algorithm>
#include <cstdint>
#include <tuple>

namespace view {

namespace {

// Steps between the places tried along an edge: finer gains nothing a user could see.
constexpr int kStep = 4;

// Sums of the drawn pixels above and left of each pixel, so that the drawn pixels under
// any rectangle come from four look-ups.
class DrawnCounts {
  public:
    DrawnCounts(const QImage *picture, const std::vector<QRgb> &empty) {
        if (picture == nullptr || picture->isNull())
            return;
        const QImage img = picture->convertToFormat(QImage::Format_RGB32);
        std::vector<QRgb> blank;
        for (const QRgb c : empty)
            blank.push_back(c | 0xFF000000u);
        width_ = img.width();
        height_ = img.height();
        sums_.assign(static_cast<std::size_t>(width_ + 1) * (height_ + 1), 0);
        for (int y = 0; y < height_; ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
            int64_t row = 0;
            for (int x = 0; x < width_; ++x) {
                if (std::find(blank.begin(), blank.end(), line[x] | 0xFF000000u) == blank.end())
                    ++row;
                at(x + 1, y + 1) = at(x + 1, y) + row;
            }
        }
    }

    int64_t under(const QRect &r) const {
        const QRect in = r.intersected(QRect(0, 0, width_, height_));
        if (in.isEmpty())
            return 0;
        const int x0 = in.left(), y0 = in.top(), x1 = in.right() + 1, y1 = in.bottom() + 1;
        return at(x1, y1) - at(x0, y1) - at(x1, y0) + at(x0, y0);
    }

  private:
    int64_t &at(int x, int y) { return sums_[static_cast<std::size_t>(y) * (width_ + 1) + x]; }
    int64_t at(int x, int y) const { return sums_[static_cast<std::size_t>(y) * (width_ + 1) + x]; }

    int width_ = 0, height_ = 0;
    std::vector<int64_t> sums_;
};

int64_t overlap(const QRect &r, const std::vector<QRect> &keep_clear) {
    int64_t n = 0;
    for (const QRect &k : keep_clear) {
        const QRect in = r.intersected(k);
        if (!in.isEmpty())
            n += static_cast<int64_t>(in.width()) * in.height();
    }
    return n;
}

// The places along one axis: from the start to the far end in steps, the far end itself
// included; only the start when the window does not fit.
std::vector<int> places(int start, int room, int length) {
    std::vector<int> at{start};
    const int last = start + room - length;
    for (int p = start + kStep; p < last; p += kStep)
        at.push_back(p);
    if (last > start)
        at.push_back(last);
    return at;
}

} // namespace

QPoint least_hidden_place(const PlaceWanted &wanted) {
    const QRect &area = wanted.area;
    const int w = wanted.size.width(), h = wanted.size.height();
    const DrawnCounts drawn(wanted.picture, wanted.empty);
    std::vector<int> ys{area.top()};
    if (area.height() > h)
        ys.push_back(area.top() + area.height() - h);

    const int64_t window_area = std::max<int64_t>(1, static_cast<int64_t>(w) * h);
    QPoint best = area.topLeft();
    std::tuple<int64_t, int64_t, int, int> best_cost{INT64_MAX, INT64_MAX, 0, 0};
    for (const int y : ys)
        for (const int x : places(area.left(), area.width(), w)) {
            const QRect r(x, y, w, h);
            // Drawn pixels count by the hundredth of the window: a border line or a
            // label does not decide between two places that hide the same.
            const std::tuple<int64_t, int64_t, int, int> cost{
                overlap(r, wanted.keep_clear), drawn.under(r) * 100 / window_area, -x, y};
            if (cost < best_cost) {
                best_cost = cost;
                best = QPoint(x, y);
            }
        }
    return best;
}

} // namespace view
