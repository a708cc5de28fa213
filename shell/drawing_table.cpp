#include "shell/drawing_table.h"

namespace shell {

namespace {
std::string trimmed(const std::string &s) {
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}
}  // namespace

int DrawingTable::find(const std::string &name) const {
    for (int n = 1; n <= count(); ++n)
        if (trimmed(entry(n).file_name) == name)
            return n;
    return 0;
}

}  // namespace shell
