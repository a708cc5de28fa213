// A drawing's object table (dBASE), opened and searched as flashing an object by its
// reference does, with every field of the first records read. Seeds: the sample
// project's object tables.
#include "fuzz_support.h"
#include "platform/db/dbase.h"

TAVI_FUZZ_INPUT(fuzz_dbase) {
    const std::string path = fuzzing::put("f.dbf", fuzzing::bytes(data, size));
    dbase::Table table;
    if (!table.open(path))
        return 0;
    const int first = table.field("FIRSTREC");
    for (int record = 0; record < 8 && (record == 0 ? table.top() : table.seek_next()); ++record) {
        for (int field = -1; field < 32; ++field) {
            table.read_text(field);
            table.read_long(field);
        }
    }
    if (table.select_tag("DRAWING") && table.top()) {
        const std::string key = table.read_text(table.field("DRAWING"));
        for (bool found = table.seek(key); found; found = table.seek_next())
            table.read_long(first);
        table.seek("");
    }
    return 0;
}
