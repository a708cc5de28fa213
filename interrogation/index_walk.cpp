#include "interrogation/index_walk.h"

#include <set>

#include "drawing/drw_format.h"
#include "platform/base/text.h"

namespace interrogation {

void for_each_group_in_box(
    const state::DrawingEntry &e, const UnitBox &box,
    const std::function<void(files::BinaryFile &drw, const drawing::IndexRecord &r)> &visit) {
    const std::string drw_path = text::trim_blanks(e.file_name);
    const std::string zix_path = files::with_extension3(drw_path, "zix");
    files::BinaryFile index = files::BinaryFile::open_existing(files::resolve(zix_path));
    files::BinaryFile drw = files::BinaryFile::open_existing(files::resolve(drw_path));
    if (!index.is_open() || !drw.is_open())
        return;
    const int64_t count = drawing::index_record_count(index.size());
    drawing::IndexRecord r;
    // A hostile index may name one group many times: it holds the same objects each time.
    std::set<int32_t> searched; // groups by first unit
    for (int64_t i = 1; i <= count; ++i) {
        if (!drawing::read_record(index, r))
            break;
        const double scale = r.kind == drawing::kKindTenths ? 10.0 : 1.0;
        if (box.x_max * scale < r.x_min)
            break;
        if (r.x_max < box.x_min * scale || r.y_max < box.y_min * scale ||
            r.y_min > box.y_max * scale)
            continue;
        if (!searched.insert(r.first_unit).second)
            continue;
        visit(drw, r);
    }
}

} // namespace interrogation
