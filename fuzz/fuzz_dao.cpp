// The site-database layer over a damaged Access (.mdb, .accdb) or SQLite file: opened,
// its tables and indexes listed, every table read field by field in table order and in
// each index's order, and the first key of each index sought, as the lookups do.
//
// Access files are decoded here in this process, not in the reader process the program
// starts: the point is to run libmdb's own paths under the sanitizers. Seeds: the
// test databases and the sample project's SQLite database.
#include "fuzz_support.h"
#include "platform/db/dao.h"
#include "platform/db/dao_reader.h"

TAVI_FUZZ_INIT(fuzz_dao) {
#ifndef TAVI_FUZZ_REPLAY
    dao::set_access_reading(dao::AccessReading::InProcess);
#else
    // Replayed, a kept input goes the way the programs read it: through the reader
    // process, where a fault of libmdb must become dao::Error.
#endif
    return 0;
}

TAVI_FUZZ_INPUT(fuzz_dao) {
    const std::string path = fuzzing::put("f.db", fuzzing::bytes(data, size));
    dao::clear_cache();
    try {
        dao::Database db = dao::Database::open(path);
        for (const dao::TableInfo &t : db.tables()) {
            dao::Recordset rs = db.open_table(t.name);
            for (; !rs.eof(); rs.move_next())
                rs.values();
            for (const dao::IndexInfo &index : t.indexes) {
                rs.select_index(index.name);
                if (rs.eof())
                    continue;
                const dao::Value key = rs.value(index.columns.front());
                rs.move_last();
                rs.seek(key);
            }
        }
        db.queries();
    } catch (const dao::Error &) {
        // What a damaged file must give.
    }
    return 0;
}
