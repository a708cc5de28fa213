// Access files (Jet 3, Jet 4, ACE) through libmdb, read-only.
//
// The rows are fetched with libmdb's own row walk; each fetched row is then taken apart
// once more with mdb_crack_row to learn which fields are null (a bound text cannot tell
// a null from an empty text) and where each value lies on the page, and the values are
// taken from there as numbers, converted texts and whole memos, never through libmdb's
// fixed-size text buffers, which would cut long memos.
#include "platform/db/dao_source.h"

#include <mdbtools.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace dao {

namespace {

// Row offsets on a data page carry flags in their top bits.
constexpr int kRowOffsetMask = 0x1fff;
// Where a memo or OLE value keeps its length, its flags and the page of its data.
constexpr int kLongValueHeader = MDB_MEMO_OVERHEAD;

struct TableDefFree {
    void operator()(MdbTableDef *t) const { mdb_free_tabledef(t); }
};
using TableDefPtr = std::unique_ptr<MdbTableDef, TableDefFree>;

struct GFree {
    void operator()(char *p) const { g_free(p); }
};
using GString = std::unique_ptr<char, GFree>;

// Values straight into the cache's rows, when the file is read in this process.
struct RowsSink final : CellSink {
    Rows &rows;
    explicit RowsSink(Rows &r) : rows(r) {}
    void add_null() override { rows.add_null(); }
    void add_integer(std::int64_t v) override { rows.add_integer(v); }
    void add_real(double v) override { rows.add_real(v); }
    void add_text(std::string_view v) override { rows.add_text(v); }
    void add_binary(std::string_view v) override { rows.add_binary(v); }
};

FieldType field_type(int mdb_type) {
    switch (mdb_type) {
    case MDB_BOOL:
        return FieldType::Boolean;
    case MDB_BYTE:
        return FieldType::Byte;
    case MDB_INT:
        return FieldType::Integer;
    case MDB_LONGINT:
    case MDB_COMPLEX:
        return FieldType::Long;
    case MDB_MONEY:
        return FieldType::Currency;
    case MDB_FLOAT:
        return FieldType::Single;
    case MDB_DOUBLE:
        return FieldType::Double;
    case MDB_DATETIME:
        return FieldType::Date;
    case MDB_BINARY:
        return FieldType::Binary;
    case MDB_OLE:
        return FieldType::LongBinary;
    case MDB_MEMO:
        return FieldType::Memo;
    case MDB_REPID:
        return FieldType::Guid;
    case MDB_NUMERIC:
        return FieldType::Decimal;
    default:
        return FieldType::Text;
    }
}

class AccessSource final : public AccessFile {
  public:
    AccessSource(std::string path, std::int64_t file_size) : path_(std::move(path)) {
        mdb_ = mdb_open(path_.c_str(), MDB_NOFLAGS);
        if (mdb_ == nullptr)
            damaged("its header cannot be read");
        // Access writes whole pages; anything else has been cut short.
        if (file_size % mdb_->fmt->pg_size != 0)
            damaged("it ends part way through a page (the file has been cut short)");
    }
    ~AccessSource() override {
        if (mdb_ != nullptr)
            mdb_close(mdb_);
    }
    AccessSource(const AccessSource &) = delete;
    AccessSource &operator=(const AccessSource &) = delete;

    Catalog read_catalog() override {
        if (mdb_read_catalog(mdb_, MDB_ANY) == nullptr)
            damaged("its catalogue of tables cannot be read");
        // libmdb stops quietly where pages are missing; the catalogue's own row count
        // tells whether every object was found.
        const unsigned objects = catalogue_rows();
        if (mdb_->num_catalog < objects)
            damaged("its catalogue lists " + std::to_string(objects) + " objects but only " +
                    std::to_string(mdb_->num_catalog) + " can be read");
        Catalog catalog;
        for (unsigned i = 0; i < mdb_->num_catalog; ++i) {
            auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb_->catalog, i));
            if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
                catalog.tables.push_back(table_info(entry));
            else if (entry->object_type == MDB_QUERY)
                catalog.queries.push_back(QueryInfo{entry->object_name, false});
        }
        return catalog;
    }

    std::shared_ptr<Rows> read_table(const TableInfo &info) override {
        auto rows = std::make_shared<Rows>(info.fields);
        RowsSink sink{*rows};
        read_table_into(info, sink);
        return rows;
    }

    void read_table_into(const TableInfo &info, CellSink &sink) override {
        TableDefPtr t = open_table(info.name);
        if (t->num_cols != info.fields.size())
            damaged("table \"" + info.name + "\" changed its fields while being read");
        read_rows(t.get(), info, sink);
    }

    std::shared_ptr<Rows> run_query(const QueryInfo &query) override {
        throw Error(path_ + ": the saved query \"" + query.name +
                    "\" cannot be run: Access saved queries cannot be run by this reader, "
                    "only tables can be opened");
    }

  private:
    // The number of rows the catalogue table (MSysObjects, always on page 2) holds.
    unsigned catalogue_rows() {
        MdbCatalogEntry objects{};
        objects.mdb = mdb_;
        objects.object_type = MDB_TABLE;
        objects.table_pg = 2;
        std::snprintf(objects.object_name, sizeof objects.object_name, "%s", "MSysObjects");
        TableDefPtr t(mdb_read_table(&objects));
        if (!t)
            damaged("its catalogue of tables cannot be read");
        return t->num_rows;
    }

    [[noreturn]] void damaged(const std::string &what) const {
        throw Error(path_ + ": damaged or unreadable Access database: " + what);
    }

    MdbCatalogEntry *entry_for(const std::string &name) const {
        for (unsigned i = 0; i < mdb_->num_catalog; ++i) {
            auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb_->catalog, i));
            if (entry->object_type == MDB_TABLE && name == entry->object_name)
                return entry;
        }
        return nullptr;
    }

    // The table's definition with its columns read. The indexes are read straight
    // after the columns, as libmdb expects (it continues from the page it stopped on).
    TableDefPtr open_table(const std::string &name, bool with_indexes = false) {
        if (mdb_->catalog == nullptr && mdb_read_catalog(mdb_, MDB_ANY) == nullptr)
            damaged("its catalogue of tables cannot be read");
        MdbCatalogEntry *entry = entry_for(name);
        if (entry == nullptr)
            throw Error(path_ + ": table \"" + name + "\" not found");
        return open_table(entry, with_indexes);
    }

    TableDefPtr open_table(MdbCatalogEntry *entry, bool with_indexes) {
        TableDefPtr t(mdb_read_table(entry));
        if (!t)
            damaged("the definition of table \"" + std::string(entry->object_name) +
                    "\" cannot be read");
        if (mdb_read_columns(t.get()) == nullptr || t->columns == nullptr ||
            t->columns->len != t->num_cols)
            damaged("the fields of table \"" + std::string(entry->object_name) +
                    "\" cannot be read");
        if (with_indexes)
            mdb_read_indices(t.get());
        return t;
    }

    TableInfo table_info(MdbCatalogEntry *entry) {
        TableDefPtr t = open_table(entry, true);
        TableInfo info;
        info.name = entry->object_name;
        for (unsigned c = 0; c < t->num_cols; ++c) {
            const auto *col = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, c));
            FieldInfo f{col->name, field_type(col->col_type), col->col_size};
            if (f.type == FieldType::Text && !IS_JET3(mdb_))
                f.size /= 2; // stored as UCS-2: two bytes a character
            else if (f.type == FieldType::Memo || f.type == FieldType::LongBinary)
                f.size = 0;
            else if (f.type == FieldType::Boolean)
                f.size = 1;
            info.fields.push_back(std::move(f));
        }
        if (t->indices != nullptr) {
            for (unsigned k = 0; k < t->indices->len; ++k) {
                const auto *idx = static_cast<MdbIndex *>(g_ptr_array_index(t->indices, k));
                // Type 2 entries stand for the other side of a relationship; they have no
                // key fields of this table.
                if (idx->index_type == 2 || idx->num_keys == 0)
                    continue;
                IndexInfo index;
                index.name = idx->name;
                index.unique = (idx->flags & MDB_IDX_UNIQUE) != 0;
                for (unsigned j = 0; j < idx->num_keys && j < MDB_MAX_IDX_COLS; ++j) {
                    const int column = idx->key_col_num[j] - 1;
                    if (column < 0 || column >= static_cast<int>(t->num_cols))
                        continue;
                    index.columns.push_back(column);
                    index.descending.push_back(idx->key_col_order[j] == MDB_DESC);
                }
                if (!index.columns.empty())
                    info.indexes.push_back(std::move(index));
            }
        }
        return info;
    }

    // Converts text bytes as stored (UCS-2, compressed Unicode, or the file's single-byte
    // code page in Jet 3) to UTF-8, which is at most three bytes for each byte stored.
    std::string_view utf8(const char *bytes, std::size_t n) {
        if (n == 0)
            return {};
        const std::size_t need = 3 * n + 16;
        if (convert_.size() < need)
            convert_.resize(need);
        const int len = mdb_unicode2ascii(mdb_, bytes, n, convert_.data(), convert_.size());
        return std::string_view(convert_.data(), len > 0 ? static_cast<std::size_t>(len) : 0);
    }

    // The whole bytes of a memo or OLE value, which may lie in the row, on one other
    // page, or in a chain of pages. libmdb copies each piece into the column's bound
    // buffer; the binding is set only for this read so that the row walk does not turn
    // the value into text itself.
    const std::string &long_value(MdbColumn *col, const MdbField &f) {
        long_.clear();
        if (f.siz < kLongValueHeader)
            return long_;
        unsigned char header[kLongValueHeader];
        std::memcpy(header, mdb_->pg_buf + f.start, sizeof header);
        const std::uint32_t length_and_flags = static_cast<std::uint32_t>(mdb_get_int32(header, 0));
        const std::size_t length = length_and_flags & 0x3fffffffu;
        const std::size_t chunk = static_cast<std::size_t>(mdb_->fmt->pg_size) + f.siz;
        if (chunk_.size() < chunk)
            chunk_.resize(chunk);
        col->bind_ptr = chunk_.data();
        col->cur_value_start = f.start;
        col->cur_value_len = f.siz;
        std::size_t n = mdb_ole_read(mdb_, col, header, chunk_.size());
        long_.append(chunk_.data(), n);
        // A chain of pages: each piece adds at least one byte and the chain stops at the
        // stored length, so a damaged chain that loops back cannot run for ever.
        while (long_.size() < length && (n = mdb_ole_read_next(mdb_, col, header)) > 0)
            long_.append(chunk_.data(), n);
        col->bind_ptr = nullptr;
        // Out of the row, the stored length is the value's length.
        if ((length_and_flags & 0x80000000u) == 0 && long_.size() > length)
            long_.resize(length);
        return long_;
    }

    void add_value(CellSink &rows, MdbColumn *col, const MdbField &f) {
        const unsigned char *pg = mdb_->pg_buf;
        // A yes/no field keeps its value in the null mask: "null" is No.
        if (col->col_type == MDB_BOOL) {
            rows.add_integer(f.is_null ? 0 : -1);
            return;
        }
        if (f.is_null || f.siz < 0) {
            rows.add_null();
            return;
        }
        void *buf = mdb_->pg_buf;
        switch (col->col_type) {
        case MDB_BYTE:
            rows.add_integer(mdb_get_byte(buf, f.start));
            return;
        case MDB_INT:
            rows.add_integer(static_cast<std::int16_t>(mdb_get_int16(buf, f.start)));
            return;
        case MDB_LONGINT:
        case MDB_COMPLEX:
            rows.add_integer(static_cast<std::int32_t>(mdb_get_int32(buf, f.start)));
            return;
        case MDB_FLOAT: {
            // Shown with a single's own precision, as the engine shows it (0.1, not
            // 0.100000001490116).
            char text[32];
            std::snprintf(text, sizeof text, "%.7g",
                          static_cast<double>(mdb_get_single(buf, f.start)));
            rows.add_real(std::strtod(text, nullptr));
            return;
        }
        case MDB_DOUBLE:
            rows.add_real(mdb_get_double(buf, f.start));
            return;
        case MDB_DATETIME:
            if (auto iso = access_date_text(mdb_get_double(buf, f.start)))
                rows.add_text(*iso);
            else
                rows.add_null();
            return;
        case MDB_MONEY: {
            GString text(mdb_money_to_string(mdb_, f.start));
            rows.add_real(text ? std::strtod(text.get(), nullptr) : 0.0);
            return;
        }
        case MDB_NUMERIC: {
            GString text(mdb_numeric_to_string(mdb_, f.start, col->col_scale, col->col_prec));
            rows.add_real(text ? std::strtod(text.get(), nullptr) : 0.0);
            return;
        }
        case MDB_REPID: {
            GString text(mdb_uuid_to_string(buf, f.start));
            rows.add_text(text ? text.get() : "");
            return;
        }
        case MDB_TEXT:
            rows.add_text(utf8(reinterpret_cast<const char *>(pg) + f.start,
                               static_cast<std::size_t>(f.siz)));
            return;
        case MDB_MEMO: {
            const std::string &bytes = long_value(col, f);
            rows.add_text(utf8(bytes.data(), bytes.size()));
            return;
        }
        case MDB_OLE:
            rows.add_binary(long_value(col, f));
            return;
        case MDB_BINARY:
            rows.add_binary(std::string_view(reinterpret_cast<const char *>(pg) + f.start,
                                             static_cast<std::size_t>(f.siz)));
            return;
        default:
            rows.add_null();
            return;
        }
    }

    void read_rows(MdbTableDef *t, const TableInfo &info, CellSink &rows) {
        std::vector<MdbField> fields(t->num_cols);
        std::size_t count = 0;
        mdb_rewind_table(t);
        while (mdb_fetch_row(t)) {
            // The row just fetched is the one before the walk's position, on the page
            // the walk holds.
            int start = 0;
            size_t size = 0;
            if (mdb_find_row(mdb_, static_cast<int>(t->cur_row) - 1, &start, &size) != 0 ||
                mdb_crack_row(t, start & kRowOffsetMask, size, fields.data()) < 0)
                damaged("a row of table \"" + info.name + "\" cannot be read");
            for (unsigned c = 0; c < t->num_cols; ++c) {
                auto *col = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, c));
                add_value(rows, col, fields[c]);
            }
            ++count;
        }
        // The definition counts the rows; fewer found means pages are missing.
        if (count < t->num_rows)
            damaged("table \"" + info.name + "\" holds " + std::to_string(t->num_rows) +
                    " rows but only " + std::to_string(count) + " can be read");
    }

    std::string path_;
    MdbHandle *mdb_ = nullptr;
    std::vector<char> convert_;
    std::vector<char> chunk_;
    std::string long_;
};

} // namespace

std::unique_ptr<AccessFile> open_access_file(const std::string &path, std::int64_t file_size) {
    return std::make_unique<AccessSource>(path, file_size);
}

} // namespace dao
