#include "search_input.h"

#include <optional>

#include "platform/base/numbers.h"
#include "platform/base/text.h"
#include "state/view_state.h"

namespace search_input {

namespace {

// "E,N" in metres into world units; nothing when it is not two numbers on the grid.
std::optional<interrogation::ShapePoint> parse_point(const std::string &text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos)
        return std::nullopt;
    const std::string e = text.substr(0, comma), n = text.substr(comma + 1);
    if (!num::is_numeric(e) || !num::is_numeric(n))
        return std::nullopt;
    const double east = num::Val(e), north = num::Val(n);
    // Written so that a NaN fails too.
    if (!(east >= 0.0 && east <= kGridEast && north >= 0.0 && north <= kGridNorth))
        return std::nullopt;
    return interrogation::ShapePoint{num::nearest(east * state::kUnitsPerMetre),
                                     num::nearest(north * state::kUnitsPerMetre), 0};
}

} // namespace

interrogation::Shape parse_shape(const std::string &option, const std::string &text,
                                 std::size_t least) {
    interrogation::Shape shape;
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t to = text.find(';', from);
        if (to == std::string::npos)
            to = text.size();
        const std::string part = text::trim_blanks(std::string_view(text).substr(from, to - from));
        from = to + 1;
        if (part.empty())
            continue;
        const std::optional<interrogation::ShapePoint> p = parse_point(part);
        if (!p)
            throw BadInput("--" + option + ": '" + part +
                           "' is not E,N in metres on the national grid");
        shape.push_back(*p);
    }
    if (shape.size() < least)
        throw BadInput("--" + option + " needs at least " + std::to_string(least) +
                       " vertices E,N;E,N;...");
    return shape;
}

double parse_buffer(const std::string &text) {
    const double metres = num::Val(text);
    if (!num::is_numeric(text) || !(metres >= 1.0 && metres <= 100.0))
        throw BadInput("--buffer must be 1 to 100 metres, not '" + text + "'");
    return metres;
}

} // namespace search_input
