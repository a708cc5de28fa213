#include "drawing/linked_data.h"

#include <cmath>
#include <vector>

#include "platform/base/files.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"
#include "platform/db/dao.h"

namespace drawing {

namespace {

// Field n (from 1) trimmed, or empty when the file ended before it.
std::string field(const std::vector<std::string> &f, std::size_t n) {
    return n <= f.size() ? text::trim_blanks(f[n - 1]) : std::string();
}

std::string index_name(const std::vector<std::string> &f, std::size_t n) {
    std::string s = field(f, n);
    if (s.size() > kIndexNameLength)
        s.resize(kIndexNameLength);
    return s;
}

// The site database: a file in the data folder, or a database on a server, whose URI
// is no name in any folder.
std::string data_file(const std::string &data_folder, const std::string &written) {
    return dao::is_server_uri(written) ? written : files::join_path(data_folder, written);
}

int32_t kind_of(const std::string &text) {
    const double v = num::Val(text);
    // Only 1, 2 and 3 mean anything; anything that is not a small number reads as none.
    return std::isfinite(v) && std::fabs(v) < 1e6 ? num::nearest(v) : 0;
}

} // namespace

void read_linked_data(const std::string &sup_path, const std::string &data_folder,
                      const std::string &program_folder, state::DrawingEntry &entry) {
    if (!files::exists(sup_path)) {
        entry.raz_table.clear();
        entry.raz_index.clear();
        return;
    }
    // An empty description links nothing: the drawing has no linked data. The file is
    // left where it is; nothing in the data folder is ever changed. One that cannot be
    // read whole (too large to be a description) reads as empty too.
    const std::vector<std::string> f =
        text::split_fields(files::read_text(files::resolve(sup_path)), text::BlankLines::AreFields);
    if (f.empty())
        return;
    const int32_t kind = kind_of(field(f, 1));
    switch (kind) {
    case 1:
        entry.linked_kind = kind;
        entry.raz_table = files::join_path(program_folder, field(f, 2));
        entry.raz_index = index_name(f, 3);
        if (f.size() > 3) {
            entry.era_table = files::join_path(data_folder, field(f, 4));
            entry.era_index = index_name(f, 5);
        }
        break;
    case 2:
    case 3:
        entry.linked_kind = kind;
        entry.data_file = data_file(data_folder, field(f, 2));
        entry.raz_table = field(f, 3);
        entry.raz_index = index_name(f, 4);
        entry.era_table = field(f, 5);
        entry.era_index = index_name(f, 6);
        break;
    default:
        break;
    }
}

} // namespace drawing
