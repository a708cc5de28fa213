#include "drawing/main_colour.h"

#include <array>

#include "drawing/drw_reader.h"
#include "platform/base/files.h"

namespace drawing {

std::optional<uint8_t> main_colour(const std::string &drw, DrawingCache &cache, int sample) {
    files::BinaryFile f = cache.open(files::resolve(drw), std::size_t{64} * 1024);
    if (!f.is_open())
        return std::nullopt;
    // Weighed by points: a long outline says more of the map's look than a small mark.
    std::array<int64_t, 256> weight{};
    DrawingWalker walker(f);
    int objects = 0;
    while (objects < sample && walker.next()) {
        if (walker.kind() != DrawingWalker::Kind::Object)
            continue;
        ++objects;
        weight[walker.object().colour] += walker.point_count();
    }
    std::optional<uint8_t> most;
    int64_t best = 0;
    for (std::size_t c = 0; c < weight.size(); ++c)
        if (weight[c] > best) {
            best = weight[c];
            most = static_cast<uint8_t>(c);
        }
    return most;
}

} // namespace drawing
