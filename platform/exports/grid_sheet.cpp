#include "platform/exports/grid_sheet.h"

#include <algorithm>
#include <cmath>

#include "platform/base/numbers.h"

namespace grid {

namespace {

// A text that is a number and nothing else (blanks around it allowed).
bool parse_number(const QString &text, double &out) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

// Sort ranks: numbers first, then texts, then empty cells, whichever the direction.
enum Rank { kNumber = 0, kText = 1, kEmpty = 2 };

} // namespace

Sheet::Sheet(int columns, int rows) {
    set_column_count(columns);
    set_row_count(rows);
}

void Sheet::set_row_count(int rows) {
    rows = std::max(rows, 0);
    const auto old = rows_.size();
    rows_.resize(static_cast<std::size_t>(rows) + 1);
    for (auto r = old; r < rows_.size(); ++r) {
        rows_[r].resize(types_.size());
        for (std::size_t c = 1; c < types_.size(); ++c)
            retype(rows_[r][c], types_[c]);
    }
}

void Sheet::set_column_count(int columns) {
    columns = std::max(columns, 0);
    // New columns are text columns, whose empty cells need no retyping.
    types_.resize(static_cast<std::size_t>(columns) + 1);
    for (auto &row : rows_)
        row.resize(types_.size());
}

bool Sheet::contains(int column, int row) const {
    return column >= 0 && row >= 0 && column <= column_count() && row <= row_count();
}

const Sheet::Cell *Sheet::cell(int column, int row) const {
    if (!contains(column, row))
        return nullptr;
    return &rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

Sheet::Cell *Sheet::cell(int column, int row) {
    if (!contains(column, row))
        return nullptr;
    return &rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

int Sheet::row_key(int row) const {
    const Cell *c = cell(0, row);
    return c != nullptr ? c->key : -1;
}

bool Sheet::set_row_key(int row, int key) {
    Cell *c = cell(0, row);
    if (c == nullptr)
        return false;
    c->key = key;
    return true;
}

QString Sheet::text(int column, int row) const {
    const Cell *c = cell(column, row);
    return c != nullptr ? c->text : QString();
}

bool Sheet::set_text(int column, int row, const QString &text) {
    Cell *c = cell(column, row);
    if (c == nullptr)
        return false;
    c->text = text;
    c->is_number = false;
    if (row > 0 && column > 0)
        retype(*c, types_[static_cast<std::size_t>(column)]);
    return true;
}

double Sheet::value(int column, int row) const {
    const Cell *c = cell(column, row);
    if (c == nullptr)
        return 0;
    if (c->is_number)
        return c->number;
    return num::Val(c->text.toStdString());
}

bool Sheet::holds_number(int column, int row) const {
    const Cell *c = cell(column, row);
    return c != nullptr && c->is_number;
}

bool Sheet::set_value(int column, int row, double value) {
    Cell *c = cell(column, row);
    if (c == nullptr)
        return false;
    const ColumnType &type = types_[static_cast<std::size_t>(column)];
    if (row == 0 || column == 0 || type.type == CellType::Text) {
        c->text = number_text(value, ColumnType{});
        c->is_number = false;
    } else if (type.type == CellType::TickBox) {
        c->number = value != 0 ? 1 : 0;
        c->text = c->number != 0 ? QStringLiteral("1") : QStringLiteral("0");
        c->is_number = true;
    } else if (std::isfinite(value)) {
        c->number = value;
        c->text = number_text(value, type);
        c->is_number = true;
    } else {
        // Nothing sensible sorts or exports as an infinite number; the cell says what
        // it was given instead.
        c->text = number_text(value, ColumnType{});
        c->is_number = false;
    }
    return true;
}

gdi::Colour Sheet::back_colour(int column, int row) const {
    const Cell *c = cell(column, row);
    return c != nullptr ? c->back : kWhite;
}

bool Sheet::has_back_colour(int column, int row) const {
    const Cell *c = cell(column, row);
    return c != nullptr && c->has_back;
}

bool Sheet::set_back_colour(int column, int row, gdi::Colour colour) {
    Cell *c = cell(column, row);
    if (c == nullptr)
        return false;
    c->back = colour;
    c->has_back = true;
    return true;
}

CellType Sheet::column_type(int column) const {
    if (column < 1 || column > column_count())
        return CellType::Text;
    return types_[static_cast<std::size_t>(column)].type;
}

int Sheet::column_decimals(int column) const {
    if (column < 1 || column > column_count())
        return 0;
    return types_[static_cast<std::size_t>(column)].decimals;
}

void Sheet::set_column_type(int column, CellType type, int decimals) {
    if (column < 1 || column > column_count())
        return;
    ColumnType &t = types_[static_cast<std::size_t>(column)];
    t.type = type;
    t.decimals = std::clamp(decimals, 0, 15);
    for (std::size_t r = 1; r < rows_.size(); ++r) {
        Cell &c = rows_[r][static_cast<std::size_t>(column)];
        c.is_number = false;
        retype(c, t);
    }
}

void Sheet::retype(Cell &c, const ColumnType &type) const {
    switch (type.type) {
    case CellType::Text:
        c.is_number = false;
        break;
    case CellType::Numeric:
        if (!c.is_number)
            c.is_number = parse_number(c.text, c.number);
        break;
    case CellType::TickBox: {
        const double v = c.is_number ? c.number : num::Val(c.text.toStdString());
        c.number = v != 0 ? 1 : 0;
        c.text = c.number != 0 ? QStringLiteral("1") : QStringLiteral("0");
        c.is_number = true;
        break;
    }
    }
}

QString Sheet::number_text(double v, const ColumnType &type) const {
    if (type.type == CellType::Numeric)
        return QString::number(v, 'f', type.decimals);
    return QString::number(v, 'g', 15);
}

void Sheet::delete_columns(int first, int last) {
    first = std::max(first, 1);
    last = std::min(last, column_count());
    if (last < first)
        return;
    const auto b = static_cast<std::ptrdiff_t>(first);
    const auto e = static_cast<std::ptrdiff_t>(last) + 1;
    for (auto &row : rows_)
        row.erase(row.begin() + b, row.begin() + e);
    types_.erase(types_.begin() + b, types_.begin() + e);
}

bool Sheet::holds_data(int column, int row) const {
    const Cell &c = rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
    // An unticked box is what every row of a tick-box column starts as: not data.
    if (row > 0 && column > 0 && types_[static_cast<std::size_t>(column)].type == CellType::TickBox)
        return c.number != 0;
    return !c.text.isEmpty();
}

int Sheet::data_column_count() const {
    int last = 0;
    for (int r = 0; r <= row_count(); ++r)
        for (int c = column_count(); c > last; --c)
            if (holds_data(c, r)) {
                last = c;
                break;
            }
    return last;
}

int Sheet::data_row_count() const {
    for (int r = row_count(); r >= 1; --r)
        for (int c = 1; c <= column_count(); ++c)
            if (holds_data(c, r))
                return r;
    return 0;
}

void Sheet::sort_rows(const Block &block, int key_column, bool ascending) {
    if (key_column < 0 || key_column > column_count())
        return;
    const int first = std::max(block.first_row, 1);
    const int last = std::min(block.last_row, row_count());
    if (last <= first)
        return;
    const auto key = static_cast<std::size_t>(key_column);
    const bool by_value = key_column > 0 && column_type(key_column) != CellType::Text;
    auto rank = [by_value](const Cell &c) {
        if (by_value && c.is_number)
            return kNumber;
        return c.text.isEmpty() ? kEmpty : kText;
    };
    auto before = [&](const std::vector<Cell> &a, const std::vector<Cell> &b) {
        const Cell &x = a[key];
        const Cell &y = b[key];
        const int rx = rank(x), ry = rank(y);
        if (rx != ry)
            return rx < ry;
        int order = 0;
        if (rx == kNumber)
            order = x.number < y.number ? -1 : (y.number < x.number ? 1 : 0);
        else if (rx == kText) {
            order = QString::compare(x.text, y.text, Qt::CaseInsensitive);
            if (order == 0)
                order = QString::compare(x.text, y.text, Qt::CaseSensitive);
        }
        return ascending ? order < 0 : order > 0;
    };
    std::stable_sort(rows_.begin() + first, rows_.begin() + last + 1, before);
}

int Sheet::search_column(int column, int first_row, int last_row, const QString &text, Match match,
                         Qt::CaseSensitivity cs) const {
    if (column < 0 || column > column_count())
        return -1;
    first_row = std::max(first_row, 1);
    last_row = std::min(last_row, row_count());
    const auto c = static_cast<std::size_t>(column);
    for (int r = first_row; r <= last_row; ++r) {
        const QString &t = rows_[static_cast<std::size_t>(r)][c].text;
        const bool found =
            match == Match::Whole ? QString::compare(t, text, cs) == 0 : t.startsWith(text, cs);
        if (found)
            return r;
    }
    return -1;
}

} // namespace grid
