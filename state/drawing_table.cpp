#include "state/drawing_table.h"

#include "platform/base/text.h"

namespace state {

int DrawingTable::find(const std::string &name) const {
    for (int n = 1; n <= count(); ++n)
        if (text::trim_blanks(entry(n).file_name) == name)
            return n;
    return 0;
}

} // namespace state
