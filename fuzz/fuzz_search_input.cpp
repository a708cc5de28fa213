// tavi-search's reading of its command line: the input is an option's value, the first
// byte choosing which (buffer, point, polyline or polygon). Whatever is typed gives a
// shape on the grid or one BadInput line, never a crash. Seeds: the commands of the
// manual page and the tests.
#include "fuzz_support.h"
#include "search_input.h"

TAVI_FUZZ_INPUT(fuzz_search_input) {
    if (size == 0)
        return 0;
    const std::string text(fuzzing::bytes(data + 1, size - 1));
    try {
        switch (data[0] % 4) {
        case 0:
            if (const double m = search_input::parse_buffer(text); !(m >= 1.0 && m <= 100.0))
                __builtin_trap(); // a buffer outside its range was let through
            break;
        default: {
            const auto least = static_cast<std::size_t>(data[0] % 4);
            const interrogation::Shape shape = search_input::parse_shape("shape", text, least);
            if (shape.size() < least)
                __builtin_trap();
            for (const interrogation::ShapePoint &p : shape)
                if (p.x < 0 || p.y < 0 || p.x > search_input::kGridEast * 100 ||
                    p.y > search_input::kGridNorth * 100)
                    __builtin_trap(); // a vertex off the grid was let through
        }
        }
    } catch (const search_input::BadInput &) {
        // What a mistyped value must give.
    }
    return 0;
}
