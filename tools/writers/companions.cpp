#include "tools/writers/companions.h"

#include <shapefil.h>

#include <algorithm>
#include <fstream>

namespace writers {

bool write_index(const std::filesystem::path &zix, std::vector<drawing::IndexRecord> records,
                 bool sorted) {
    if (sorted)
        std::stable_sort(records.begin(), records.end(),
                         [](const drawing::IndexRecord &a, const drawing::IndexRecord &b) {
                             return a.x_min < b.x_min;
                         });
    std::vector<uint8_t> bytes(records.size() * drawing::kIndexRecordBytes);
    for (std::size_t i = 0; i < records.size(); ++i)
        records[i].encode(bytes.data() + i * drawing::kIndexRecordBytes);
    std::ofstream out(zix, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool write_sup(const std::filesystem::path &sup, int kind, const std::vector<std::string> &fields) {
    std::ofstream out(sup, std::ios::binary | std::ios::trunc);
    out << kind << "\r\n";
    for (const std::string &f : fields)
        out << '"' << f << "\"\r\n";
    return static_cast<bool>(out);
}

bool write_object_table(const std::filesystem::path &dbf, std::span<const ObjectTableRow> rows) {
    DBFHandle h = DBFCreate(dbf.c_str());
    if (h == nullptr)
        return false;
    bool ok = DBFAddField(h, "DRAWING", FTString, kReferenceWidth, 0) == 0 &&
              DBFAddField(h, "FIRSTREC", FTInteger, 10, 0) == 1 &&
              DBFAddField(h, "RECORDS", FTInteger, 10, 0) == 2;
    int row = 0;
    for (const ObjectTableRow &r : rows) {
        if (!ok)
            break;
        const std::string ref = r.reference.substr(0, kReferenceWidth);
        ok = DBFWriteStringAttribute(h, row, 0, ref.c_str()) != 0 &&
             DBFWriteIntegerAttribute(h, row, 1, r.first_unit) != 0 &&
             DBFWriteIntegerAttribute(h, row, 2, r.records) != 0;
        ++row;
    }
    DBFClose(h);
    return ok;
}

} // namespace writers
