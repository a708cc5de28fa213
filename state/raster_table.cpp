#include "state/raster_table.h"

namespace state {

int RasterTable::add(RasterEntry e) {
    if (full())
        return 0;
    entries_.push_back(std::move(e));
    return count();
}

int RasterTable::find(const std::string &image) const {
    const std::string wanted = text::trim_blanks(image);
    for (int n = 1; n <= count(); ++n)
        if (text::trim_blanks(entry(n).file_name) == wanted)
            return n;
    return 0;
}

} // namespace state
