// The Excel 97 workbook: a BIFF8 record stream named "Workbook" inside a compound
// document. The stream holds the workbook globals (code page, window, fonts, cell
// formats, the sheet's name and position, the shared strings) and then the one sheet
// (its extent, its cells, its window). Texts are stored once each in the shared-string
// table and the cells refer to them by number, which keeps large tables small.
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>

#include "platform/exports/compound_file.h"
#include "platform/exports/export_table.h"

namespace exporting {

namespace {

// Record numbers.
constexpr uint16_t kBof = 0x0809;
constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kCodePage = 0x0042;
constexpr uint16_t kWindow1 = 0x003D;
constexpr uint16_t kDateMode = 0x0022;
constexpr uint16_t kFont = 0x0031;
constexpr uint16_t kXf = 0x00E0;
constexpr uint16_t kStyle = 0x0293;
constexpr uint16_t kBoundSheet = 0x0085;
constexpr uint16_t kSst = 0x00FC;
constexpr uint16_t kContinue = 0x003C;
constexpr uint16_t kExtSst = 0x00FF;
constexpr uint16_t kDimensions = 0x0200;
constexpr uint16_t kLabelSst = 0x00FD;
constexpr uint16_t kNumber = 0x0203;
constexpr uint16_t kWindow2 = 0x023E;

constexpr std::size_t kMaxRecordBody = 8224; // longest record body of the format
constexpr int kMaxCellChars = 32767;
constexpr std::size_t kMaxRows = 65536;
constexpr std::size_t kMaxColumns = 256;
constexpr uint16_t kCellXf = 15; // the first cell format after the 15 style formats

// A little-endian record stream.
class Records {
  public:
    std::string bytes;

    std::size_t size() const { return bytes.size(); }

    // Starts a record; its length is filled in by end().
    void begin(uint16_t id) {
        u16(id);
        length_at_ = bytes.size();
        u16(0);
    }
    void end() {
        const std::size_t len = bytes.size() - length_at_ - 2;
        bytes[length_at_] = static_cast<char>(len & 0xFF);
        bytes[length_at_ + 1] = static_cast<char>(len >> 8);
    }
    // The body length of the record begun last, so far.
    std::size_t body_size() const { return bytes.size() - length_at_ - 2; }
    std::size_t record_start() const { return length_at_ - 2; }

    void u8(uint8_t v) { bytes.push_back(static_cast<char>(v)); }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v & 0xFF));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v & 0xFFFF));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void f64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u32(static_cast<uint32_t>(bits));
        u32(static_cast<uint32_t>(bits >> 32));
    }
    void patch32(std::size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    // Characters as one byte each when all fit (the format's "compressed" form), else
    // as UTF-16 units.
    void chars(const std::u16string &s, std::size_t from, std::size_t count, bool wide) {
        for (std::size_t i = from; i < from + count; ++i) {
            if (wide)
                u16(s[i]);
            else
                u8(static_cast<uint8_t>(s[i]));
        }
    }

    void record(uint16_t id, std::initializer_list<uint16_t> words) {
        begin(id);
        for (uint16_t w : words)
            u16(w);
        end();
    }

  private:
    std::size_t length_at_ = 0;
};

bool needs_wide(const std::u16string &s) {
    return std::any_of(s.begin(), s.end(), [](char16_t c) { return c > 0xFF; });
}

std::u16string utf16(std::string_view utf8) {
    const QString q = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    return std::u16string(reinterpret_cast<const char16_t *>(q.utf16()),
                          static_cast<std::size_t>(q.size()));
}

// A sheet name the format and the spreadsheet programs accept.
std::u16string valid_sheet_name(std::string_view name) {
    std::u16string s = utf16(name);
    for (char16_t &c : s)
        if (c < 0x20 || std::u16string_view(u":\\/?*[]").find(c) != std::u16string_view::npos)
            c = u'_';
    if (s.size() > 31)
        s.resize((s[30] >= 0xD800 && s[30] <= 0xDBFF) ? 30 : 31);
    if (!s.empty() && s.front() == u'\'')
        s.front() = u'_';
    if (!s.empty() && s.back() == u'\'')
        s.back() = u'_';
    return s.empty() ? u"Sheet1" : s;
}

void bof(Records &r, uint16_t kind) {
    r.begin(kBof);
    r.u16(0x0600); // BIFF8
    r.u16(kind);   // 0x0005 workbook globals, 0x0010 worksheet
    r.u16(0x0DBB); // build
    r.u16(0x07CC); // year
    r.u32(0);      // history flags
    r.u32(0x0006); // lowest version that can read it
    r.end();
}

void font(Records &r) {
    r.begin(kFont);
    r.u16(200);    // 10 points, in twentieths
    r.u16(0);      // plain
    r.u16(0x7FFF); // automatic colour
    r.u16(400);    // normal weight
    r.u16(0);      // no super- or subscript
    r.u8(0);       // no underline
    r.u8(0);       // family
    r.u8(0);       // character set
    r.u8(0);
    const std::u16string name = u"Arial";
    r.u8(static_cast<uint8_t>(name.size()));
    r.u8(0);
    r.chars(name, 0, name.size(), false);
    r.end();
}

// A cell format: style formats (the 15 every workbook starts with) have no parent; the
// cell format takes the first style as its parent.
void xf(Records &r, bool style, uint8_t used_attributes) {
    r.begin(kXf);
    r.u16(0);                       // font
    r.u16(0);                       // number format: General
    r.u16(style ? 0xFFF5 : 0x0001); // locked; style with no parent, or parent 0
    r.u8(0x20);                     // bottom aligned
    r.u8(0);                        // no rotation
    r.u8(0);                        // no indent
    r.u8(used_attributes);
    r.u32(0); // no borders
    r.u32(0);
    r.u16(0x20C0); // pattern colours: automatic
    r.end();
}

// The shared-string table, as many records as it needs: a table longer than one record
// goes on in continuation records. A string's length and flags always stay together; its
// characters may break at a record's end, the next record then starting with the flags
// byte for the characters that follow. The index record lets a reader find every
// bucket-th string without reading those before it.
void shared_strings(Records &r, const std::vector<std::u16string> &strings, uint32_t uses) {
    const std::size_t bucket = std::max<std::size_t>(8, (strings.size() + 127) / 128);
    std::vector<std::pair<uint32_t, uint16_t>> index; // stream offset, offset in record

    r.begin(kSst);
    r.u32(uses);
    r.u32(static_cast<uint32_t>(strings.size()));
    auto room = [&r] { return kMaxRecordBody - r.body_size(); };
    auto next_record = [&r] {
        r.end();
        r.begin(kContinue);
    };
    for (std::size_t i = 0; i < strings.size(); ++i) {
        const std::u16string &s = strings[i];
        const bool wide = needs_wide(s);
        const std::size_t unit = wide ? 2 : 1;
        // The length and flags stay with at least the first character (a whole one).
        if (room() < 3 + 2 * unit)
            next_record();
        if (i % bucket == 0)
            index.emplace_back(static_cast<uint32_t>(r.size()),
                               static_cast<uint16_t>(r.size() - r.record_start()));
        r.u16(static_cast<uint16_t>(s.size()));
        r.u8(wide ? 1 : 0);
        std::size_t done = 0;
        while (done < s.size()) {
            std::size_t n = std::min(s.size() - done, room() / unit);
            // A character outside the basic plane (two UTF-16 units) is never split
            // between records: readers decode each record's piece on its own.
            if (wide && n > 0 && done + n < s.size() && s[done + n - 1] >= 0xD800 &&
                s[done + n - 1] <= 0xDBFF)
                --n;
            if (n == 0) {
                next_record();
                r.u8(wide ? 1 : 0);
                continue;
            }
            r.chars(s, done, n, wide);
            done += n;
        }
    }
    r.end();

    r.begin(kExtSst);
    r.u16(static_cast<uint16_t>(bucket));
    for (const auto &[stream_offset, record_offset] : index) {
        r.u32(stream_offset);
        r.u16(record_offset);
        r.u16(0);
    }
    r.end();
}

// Whether the table fits one sheet of the format; a failure says why not.
Outcome fits_one_sheet(std::size_t columns, std::size_t rows) {
    if (columns > kMaxColumns)
        return Outcome::failure("The table has " + std::to_string(columns) +
                                " columns; an Excel 97 sheet holds at most 256.");
    if (rows > kMaxRows)
        return Outcome::failure("The table has " + std::to_string(rows) +
                                " rows with its header row; an Excel 97 sheet holds at most "
                                "65536.");
    return Outcome{};
}

// The sheet's texts, each stored once, numbered in the order they first appear.
class SharedStrings {
  public:
    // Where the notes on texts cut to fit a cell, and their count, go.
    explicit SharedStrings(Outcome &outcome) : outcome_(outcome) {}

    // The number of the text of the cell at row and column (from 0), counted as one use.
    uint32_t number(std::string_view text, std::size_t row, std::size_t column) {
        std::u16string s = utf16(text);
        if (s.size() > static_cast<std::size_t>(kMaxCellChars))
            cut_to_a_cell(s, row, column);
        ++uses_;
        const auto [it, added] = numbers_.try_emplace(std::move(s), 0);
        if (added) {
            it->second = static_cast<uint32_t>(strings_.size());
            strings_.push_back(it->first);
        }
        return it->second;
    }

    const std::vector<std::u16string> &strings() const { return strings_; }
    uint32_t uses() const { return uses_; }

  private:
    // Never cuts a character in half: a surrogate pair goes whole or not at all.
    void cut_to_a_cell(std::u16string &s, std::size_t row, std::size_t column) {
        const std::size_t full = s.size();
        const bool split = s[kMaxCellChars - 1] >= 0xD800 && s[kMaxCellChars - 1] <= 0xDBFF;
        s.resize(split ? kMaxCellChars - 1 : kMaxCellChars);
        const std::string where =
            "row " + std::to_string(row + 1) + ", column " + std::to_string(column + 1);
        if (outcome_.texts_cut++ == 0)
            outcome_.first_cut = where;
        outcome_.notes.push_back("The text in " + where + " has " + std::to_string(full) +
                                 " characters; a cell holds 32767, so it was cut to " +
                                 std::to_string(s.size()) + ".");
    }

    Outcome &outcome_;
    std::vector<std::u16string> strings_;
    std::unordered_map<std::u16string, uint32_t> numbers_;
    uint32_t uses_ = 0;
};

// One cell as written: a string number or a number.
struct SheetCell {
    uint16_t row, column;
    bool is_number;
    uint32_t sst;
    double number;
};

// The cells in row order, the header row first; an empty text makes no cell.
std::vector<SheetCell> sheet_cells(const Table &table, std::size_t room, SharedStrings &strings) {
    std::vector<SheetCell> cells;
    cells.reserve(room);
    for (std::size_t c = 0; c < table.headers.size(); ++c)
        if (!table.headers[c].empty())
            cells.push_back(
                {0, static_cast<uint16_t>(c), false, strings.number(table.headers[c], 0, c), 0});
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const auto &row = table.rows[r];
        for (std::size_t c = 0; c < row.size(); ++c) {
            const auto rr = static_cast<uint16_t>(r + 1), cc = static_cast<uint16_t>(c);
            if (const double *v = std::get_if<double>(&row[c])) {
                // A cell cannot hold an infinite or undefined number; it says what it was.
                if (std::isfinite(*v))
                    cells.push_back({rr, cc, true, 0, *v});
                else
                    cells.push_back({rr, cc, false, strings.number(number_text(*v), r + 1, c), 0});
            } else if (const auto &t = std::get<std::string>(row[c]); !t.empty())
                cells.push_back({rr, cc, false, strings.number(t, r + 1, c), 0});
        }
    }
    return cells;
}

void workbook_window(Records &r) {
    r.begin(kWindow1);
    r.u16(0); // window position and size, in twips
    r.u16(0);
    r.u16(0x4000);
    r.u16(0x2000);
    r.u16(0x0038); // show the scroll bars and the sheet tabs
    r.u16(0);      // the first sheet is active
    r.u16(0);      // and the first tab shown
    r.u16(1);      // one sheet selected
    r.u16(600);    // width of the tab bar, in thousandths
    r.end();
}

// The fonts, the cell formats and the one style every workbook carries.
void formats(Records &r) {
    // Four fonts: the format numbers fonts from 0 but skips number 4, and readers
    // expect the first four to be there.
    for (int i = 0; i < 4; ++i)
        font(r);
    xf(r, true, 0x00);
    for (int i = 1; i < 15; ++i)
        xf(r, true, 0xF4);
    xf(r, false, 0x00);
    r.record(kStyle, {0x8000, 0xFF00}); // "Normal", built-in, for style format 0
}

// The sheet's name and kind. Returns where the sheet's position is to be patched in
// once it is known.
std::size_t bound_sheet(Records &r, const std::u16string &sheet) {
    r.begin(kBoundSheet);
    const std::size_t sheet_offset_at = r.size();
    r.u32(0); // where the sheet begins
    r.u8(0);  // visible
    r.u8(0);  // worksheet
    const bool wide = needs_wide(sheet);
    r.u8(static_cast<uint8_t>(sheet.size()));
    r.u8(wide ? 1 : 0);
    r.chars(sheet, 0, sheet.size(), wide);
    r.end();
    return sheet_offset_at;
}

// Returns where the sheet's position is to be patched in.
std::size_t workbook_globals(Records &r, const std::u16string &sheet,
                             const SharedStrings &strings) {
    bof(r, 0x0005);
    r.record(kCodePage, {1200}); // texts are Unicode
    workbook_window(r);
    r.record(kDateMode, {0});
    formats(r);
    const std::size_t sheet_offset_at = bound_sheet(r, sheet);
    shared_strings(r, strings.strings(), strings.uses());
    r.record(kEof, {});
    return sheet_offset_at;
}

void sheet_window(Records &r) {
    r.begin(kWindow2);
    r.u16(0x06B6); // grid lines, headers, zeros shown; the sheet selected and active
    r.u16(0);      // top row
    r.u16(0);      // left column
    r.u16(64);     // grid line colour: automatic
    r.u16(0);
    r.u16(0); // zoom: default
    r.u16(0);
    r.u32(0);
    r.end();
}

void worksheet(Records &r, std::size_t rows, std::size_t columns,
               const std::vector<SheetCell> &cells) {
    bof(r, 0x0010);
    r.begin(kDimensions);
    const bool any = columns > 0;
    r.u32(0);
    r.u32(any ? static_cast<uint32_t>(rows) : 0);
    r.u16(0);
    r.u16(static_cast<uint16_t>(columns));
    r.u16(0);
    r.end();
    for (const SheetCell &cell : cells) {
        r.begin(cell.is_number ? kNumber : kLabelSst);
        r.u16(cell.row);
        r.u16(cell.column);
        r.u16(kCellXf);
        if (cell.is_number)
            r.f64(cell.number);
        else
            r.u32(cell.sst);
        r.end();
    }
    sheet_window(r);
    r.record(kEof, {});
}

} // namespace

Outcome write_xls(const std::filesystem::path &path, const Table &table,
                  std::string_view sheet_name) {
    const std::size_t columns = table.column_count();
    const std::size_t rows = table.rows.size() + 1;
    if (Outcome fits = fits_one_sheet(columns, rows); !fits)
        return fits;
    Outcome outcome;
    SharedStrings strings(outcome);
    const std::vector<SheetCell> cells = sheet_cells(table, rows * columns, strings);

    Records r;
    const std::size_t sheet_offset_at = workbook_globals(r, valid_sheet_name(sheet_name), strings);
    r.patch32(sheet_offset_at, static_cast<uint32_t>(r.size()));
    worksheet(r, rows, columns, cells);

    const std::string file = compound::build({{"Workbook", std::move(r.bytes)}});
    Outcome written = write_output(path, file);
    if (!written)
        return written;
    return outcome;
}

} // namespace exporting
