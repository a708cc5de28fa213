#include "drawing/object_list.h"

#include "drawing/drw_reader.h"
#include "platform/base/files.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"

namespace drawing {

std::vector<ObjectRow> list_objects(const state::DrawingTable &drawings, int n) {
    std::vector<ObjectRow> rows;
    if (n < 1 || n > drawings.count())
        return rows;
    const std::string drw = text::trim_blanks(drawings.entry(n).file_name);
    const std::vector<IndexRecord> records =
        read_index(files::resolve(files::with_extension3(drw, "zix")));
    for (std::size_t k = 1; k < records.size(); ++k) {
        const IndexRecord &r = records[k];
        // Kind 0 is drawn in whole units (see divisor_of_kind), so it is listed in them;
        // every other kind divides by its own value.
        const int32_t divisor = r.kind == 0 ? 1 : r.kind;
        if (trimmed(r.name).empty())
            continue;
        // In 64 bits: an extent across the whole 32-bit range still has a width.
        const int64_t w = static_cast<int64_t>(r.x_max) - r.x_min;
        const int64_t h = static_cast<int64_t>(r.y_max) - r.y_min;
        ObjectRow row;
        row.name = std::string(r.name.data(), r.name.size());
        row.centre_x = num::clamp32((w / 2 + r.x_min) / divisor);
        row.centre_y = num::clamp32((h / 2 + r.y_min) / divisor);
        row.width = num::clamp32(w / divisor);
        row.height = num::clamp32(h / divisor);
        row.first_unit = r.first_unit;
        row.group_value = r.group_value;
        row.drawing = n;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<std::string> site_codes(const std::vector<ObjectRow> &rows) {
    std::vector<std::string> codes;
    for (const ObjectRow &r : rows)
        if (r.name.compare(0, 2, "RE") == 0)
            codes.push_back(trimmed(r.name));
    return codes;
}

} // namespace drawing
