// The decoded rows of one table or stored query, as the cache keeps them: one compact
// cell per value and every text in one block, so that a 100,000-row site list costs
// little more than its file. Built once by an engine, then never changed, so any
// number of recordsets can share it; index orderings are built on first use and kept
// with the rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/dao.h"

namespace dao {

class Rows {
  public:
    explicit Rows(std::vector<FieldInfo> fields);

    // Building: the values of each row in field order, row after row.
    void add_null();
    void add_integer(std::int64_t v);
    void add_real(double v);
    void add_text(std::string_view utf8);
    void add_binary(std::string_view bytes);
    // Where the engine can fetch a single row again, each row's key for that (an SQLite
    // rowid), row after row; left empty where it cannot.
    void add_locator(std::int64_t locator) { locators_.push_back(locator); }
    const std::vector<std::int64_t> &locators() const { return locators_; }
    // The locators alone, as rows without fields, taken out of these rows.
    std::shared_ptr<Rows> take_locators();

    const std::vector<FieldInfo> &fields() const { return fields_; }
    int column_count() const { return static_cast<int>(fields_.size()); }
    // Rows without fields are counted as they are added.
    void add_empty_row() { ++empty_rows_; }
    std::size_t row_count() const { return columns_ ? cell_count_ / columns_ : empty_rows_; }
    Value value(std::size_t row, int column) const;

    // Memory held, orderings included.
    std::size_t memory_bytes() const;

    // The rows in the order of an index: rows[k] is the table row at position k, and
    // position_of[row] the way back (for bookmarks).
    struct Ordering {
        std::vector<std::uint32_t> rows;
        std::vector<std::uint32_t> position_of;
    };
    std::shared_ptr<const Ordering> ordering(const IndexInfo &index) const;

    // The first position in the ordering whose first key field equals key (already
    // converted with key_for_field); -1 when there is none.
    std::int64_t find(const Ordering &order, const IndexInfo &index, const Value &key) const;

  private:
    enum class Kind : std::uint8_t { Null, Integer, Real, Text, Binary };
    // Twelve bytes, as a site list of a million records of ten fields holds ten million.
    struct Cell {
        std::uint32_t payload[2]; // integer or real bits; a text's offset and block
        std::uint32_t tag;        // the kind above kSizeBits, a text's bytes below
        Kind kind() const { return static_cast<Kind>(tag >> kSizeBits); }
    };
    // A text of kLongSize bytes or more keeps kLongSize in its tag: such a text always has
    // a block of its own, exactly as long as the text, which gives its length.
    static constexpr int kSizeBits = 29;
    static constexpr std::uint32_t kLongSize = (std::uint32_t{1} << kSizeBits) - 1;
    static_assert(sizeof(Cell) == 12);
    struct KeyRef {
        Kind kind;
        std::int64_t i;
        double d;
        std::string_view s;
    };
    struct TextBlock {
        std::unique_ptr<char[]> data;
        std::size_t capacity = 0;
        std::size_t used = 0;
    };
    KeyRef ref(const Cell &c) const;
    static KeyRef ref(const Value &v);
    static int compare(const KeyRef &a, const KeyRef &b);
    static constexpr std::size_t kCellChunk = 1 << 14; // cells in one piece
    const Cell &cell(std::size_t row, int column) const {
        const std::size_t i = row * columns_ + static_cast<std::size_t>(column);
        return cell_chunks_[i / kCellChunk][i % kCellChunk];
    }
    Cell &next_cell();
    std::string_view bytes(const Cell &c) const {
        const TextBlock &block = text_blocks_[c.payload[1]];
        const std::uint32_t size = c.tag & kLongSize;
        return {block.data.get() + c.payload[0], size < kLongSize ? size : block.capacity};
    }

    std::vector<FieldInfo> fields_;
    std::size_t columns_;
    std::vector<std::unique_ptr<Cell[]>> cell_chunks_;
    std::size_t cell_count_ = 0;
    std::size_t empty_rows_ = 0;
    std::vector<TextBlock> text_blocks_;
    std::vector<std::int64_t> locators_;

    mutable std::mutex mutex_;
    mutable std::map<std::string, std::shared_ptr<const Ordering>> orderings_;
};

// The fields at these positions (ascending) of every row, with the values the rows hold.
std::shared_ptr<Rows> columns_of(const Rows &rows, const std::vector<int> &columns);

// The seek key as the field's values compare: numbers for numeric fields (a text that
// is not a number cannot match one: nullopt), texts for text fields (a number is
// sought as its text), the ISO text of a date for date fields. A null stays null.
std::optional<Value> key_for_field(FieldType type, const Value &key);

// UTF-8 text with case folded, for comparisons that ignore case.
std::string fold_case(std::string_view utf8);
// Names (of tables, fields, indexes, queries) compared as the engine does: ignoring case.
bool same_name(std::string_view a, std::string_view b);

// An Access date (days since 30 December 1899, the fraction being the time of day,
// also for days before it) in ISO form; nullopt outside the years 100 to 9999.
std::optional<std::string> access_date_text(double days);
// A stored date text in the same form: "T" between date and time becomes a blank, and
// a time of midnight is dropped. Other texts are returned as they are.
std::string iso_date_text(std::string_view text);

} // namespace dao
