// The drawings' object tables: a dBASE file beside each drawing that lists, for every
// object reference, where the object's group starts in the drawing. Read through
// shapelib's DBF reader, read-only; nothing is ever created or written.
//
// The table's "DRAWING" tag (its index on the reference field) is an ordering of the
// records by that field, built in memory when the table opens: seek finds the first
// record with a reference, seek_next the following ones with the same reference.
// Records marked deleted are left out: they no longer name a group.
//
// A missing or unreadable table is simply not found: open() returns false and every
// lookup on a table that is not open finds nothing. No exception leaves this class.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace dbase {

class Table {
  public:
    Table();
    ~Table();
    Table(Table &&) noexcept;
    Table &operator=(Table &&) noexcept;
    Table(const Table &) = delete;
    Table &operator=(const Table &) = delete;

    // Opens the table and builds its "DRAWING" tag when it has that field (selecting
    // it). False when the file is missing, damaged or not a dBASE table.
    bool open(const std::filesystem::path &path);
    void close();
    bool is_open() const;

    int record_count() const;
    // The field's number (names compare without regard to case); -1 when missing.
    int field(std::string_view name) const;

    // Orders the records by the character field the tag is named after. False when the
    // table has no such field; the order then stays as it was.
    bool select_tag(std::string_view name);
    // The first record in the selected order (record order when no tag is selected);
    // false when there is none.
    bool top();
    // Finds the first record, in tag order, whose field holds the key as stored: the key
    // is cut or padded with blanks to the field's width, and compared as it stands
    // (case counts). True when found, and that record is current; false leaves no
    // current record. Without a selected tag nothing is found.
    bool seek(std::string_view key);
    // The next record in tag order with the key last sought; false when there is no
    // more (no current record then).
    bool seek_next();

    // The current record's number from 0; -1 when there is none.
    int record() const;
    // A numeric field of the current record as a 32-bit integer (fractions dropped,
    // beyond the range held at its ends); 0 when there is no current record, no such
    // field or no number in it.
    std::int32_t read_long(int field) const;
    // A field of the current record as stored, blanks included; empty when there is
    // none.
    std::string read_text(int field) const;

  private:
    std::string raw(int record, int field) const;

    void *dbf_ = nullptr;           // shapelib's DBFHandle
    std::vector<int> order_;        // live records in the selected order
    std::vector<std::string> keys_; // the tag field of every record, by record
    int tag_field_ = -1;
    int pos_ = -1;       // position in order_ of the current record
    std::string sought_; // the key last sought, at field width
};

} // namespace dbase
