#include "serve/parameters.h"

#include "serve/service_exception.h"

namespace serve {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool same_text(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

std::string shown(std::string_view value) {
    constexpr std::size_t kShown = 40;
    std::string out = "'";
    for (std::size_t i = 0; i < value.size() && i < kShown; ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        out += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    }
    if (value.size() > kShown)
        out += "...";
    return out + "'";
}

void Parameters::add(std::string name, std::string value) {
    if (items_.size() >= kMaxCount)
        throw ServiceException({},
                               "Too many parameters (at most " + std::to_string(kMaxCount) + ")");
    if (name.size() > kMaxNameLength)
        throw ServiceException({}, "Parameter name too long: " + shown(name));
    if (value.size() > kMaxValueLength)
        throw ServiceException(code::kInvalidParameterValue,
                               "Value of " + shown(name) + " too long (" +
                                   std::to_string(value.size()) + " characters)");
    items_.emplace_back(std::move(name), std::move(value));
}

const std::string *Parameters::find(std::string_view name) const {
    for (const auto &[n, v] : items_)
        if (same_text(n, name))
            return &v;
    return nullptr;
}

} // namespace serve
