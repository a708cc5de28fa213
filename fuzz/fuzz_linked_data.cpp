// A drawing's linked-data description (".sup"), read into a drawing-table entry as a
// drawing's registration reads it. Seeds: the sample project's description.
#include "drawing/linked_data.h"
#include "fuzz_support.h"

TAVI_FUZZ_INPUT(fuzz_linked_data) {
    const std::string sup = fuzzing::put("f.sup", fuzzing::bytes(data, size));
    state::DrawingEntry entry;
    drawing::read_linked_data(sup, fuzzing::scratch().string() + "/", "/nonexistent/", entry);
    if (entry.raz_index.size() > drawing::kIndexNameLength ||
        entry.era_index.size() > drawing::kIndexNameLength)
        __builtin_trap();
    return 0;
}
