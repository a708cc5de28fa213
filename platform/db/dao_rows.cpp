#include "platform/db/dao_rows.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "platform/base/numbers.h"
#include "platform/base/text.h"

namespace dao {

namespace {

bool is_ascii(std::string_view s) {
    for (const unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

char lower_ascii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int sign(int v) {
    return (v > 0) - (v < 0);
}

// Texts compare as their case-folded forms do, byte by byte (code point order). Plain
// ASCII, which nearly every key is, is folded on the fly.
int compare_folded(std::string_view a, std::string_view b) {
    if (is_ascii(a) && is_ascii(b)) {
        const std::size_t n = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char x = static_cast<unsigned char>(lower_ascii(a[i]));
            const unsigned char y = static_cast<unsigned char>(lower_ascii(b[i]));
            if (x != y)
                return x < y ? -1 : 1;
        }
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    }
    return sign(fold_case(a).compare(fold_case(b)));
}

bool is_numeric_type(FieldType t) {
    switch (t) {
    case FieldType::Boolean:
    case FieldType::Byte:
    case FieldType::Integer:
    case FieldType::Long:
    case FieldType::Currency:
    case FieldType::Single:
    case FieldType::Double:
    case FieldType::BigInt:
    case FieldType::Decimal:
        return true;
    default:
        return false;
    }
}

// A whole number written without a point or exponent stays an integer.
Value number_from_text(std::string_view text) {
    const std::string t = text::trim_blanks(text);
    const bool whole = t.find_first_of(".eEdD") == std::string::npos;
    const double v = num::Val(t);
    if (whole && std::fabs(v) < 9.0e18)
        return Value(static_cast<std::int64_t>(v));
    return Value(v);
}

std::string number_text(const Value &v) {
    return v.kind() == Value::Kind::Integer ? num::CStr(v.as_integer()) : num::CStr(v.as_double());
}

} // namespace

std::string fold_case(std::string_view utf8) {
    if (is_ascii(utf8)) {
        std::string out(utf8);
        for (char &c : out)
            c = lower_ascii(c);
        return out;
    }
    const QByteArray folded =
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toCaseFolded().toUtf8();
    return std::string(folded.constData(), static_cast<std::size_t>(folded.size()));
}

bool same_name(std::string_view a, std::string_view b) {
    return compare_folded(a, b) == 0;
}

std::optional<std::string> access_date_text(double days) {
    using namespace std::chrono;
    // The engine's own range: 1 January 100 to 31 December 9999.
    if (!std::isfinite(days) || days < -657434.0 || days >= 2958466.0)
        return std::nullopt;
    double whole = std::trunc(days);
    // Before 1899 the day counts down but the time of day still counts up.
    long long seconds = std::llround(std::fabs(days - whole) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        whole += 1;
    }
    const year_month_day ymd{sys_days{year{1899} / December / 30} +
                             std::chrono::days{static_cast<long long>(whole)}};
    char buf[64];
    if (seconds == 0) {
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                      static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    } else {
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02d:%02d:%02d",
                      static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                      static_cast<unsigned>(ymd.day()), static_cast<int>(seconds / 3600),
                      static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    }
    return std::string(buf);
}

std::string iso_date_text(std::string_view text) {
    std::string s(text);
    if (s.size() >= 19 && s[4] == '-' && s[7] == '-' && (s[10] == 'T' || s[10] == ' ')) {
        s[10] = ' ';
        if (s.compare(11, std::string::npos, "00:00:00") == 0 ||
            s.compare(11, std::string::npos, "00:00:00.000") == 0)
            s.resize(10);
    }
    return s;
}

std::optional<Value> key_for_field(FieldType type, const Value &key) {
    if (key.is_null())
        return key;
    if (is_numeric_type(type)) {
        if (key.is_number())
            return key;
        if (key.is_text() && num::is_numeric(key.text()))
            return number_from_text(key.text());
        return std::nullopt;
    }
    if (type == FieldType::Date && key.is_number()) {
        if (auto iso = access_date_text(key.as_double()))
            return Value(*iso);
        return std::nullopt;
    }
    if (key.is_number())
        return Value(number_text(key));
    if (type == FieldType::Date)
        return Value(iso_date_text(key.text()));
    return key;
}

Rows::Rows(std::vector<FieldInfo> fields) : fields_(std::move(fields)), columns_(fields_.size()) {}

Rows::Cell &Rows::next_cell() {
    const std::size_t i = cell_count_++;
    // A piece is written once, a cell at a time as it is handed out (a null as it is).
    if (i % kCellChunk == 0)
        cell_chunks_.push_back(std::make_unique_for_overwrite<Cell[]>(kCellChunk));
    Cell &c = cell_chunks_[i / kCellChunk][i % kCellChunk];
    c = Cell{};
    return c;
}

void Rows::add_null() {
    next_cell();
}

void Rows::add_integer(std::int64_t v) {
    Cell &c = next_cell();
    c.tag = static_cast<std::uint32_t>(Kind::Integer) << kSizeBits;
    std::memcpy(c.payload, &v, sizeof v);
}

void Rows::add_real(double v) {
    Cell &c = next_cell();
    c.tag = static_cast<std::uint32_t>(Kind::Real) << kSizeBits;
    std::memcpy(c.payload, &v, sizeof v);
}

void Rows::add_text(std::string_view utf8) {
    const std::size_t n = std::min<std::size_t>(utf8.size(), UINT32_MAX);
    if (text_blocks_.empty() || text_blocks_.back().capacity - text_blocks_.back().used < n) {
        // Blocks grow from small (a table of seven eras) to a megabyte; a value larger
        // than that gets a block of its own size.
        const std::size_t last = text_blocks_.empty() ? 0 : text_blocks_.back().capacity;
        const std::size_t size =
            std::max(n, std::clamp<std::size_t>(2 * last, 4096, std::size_t{1} << 20));
        text_blocks_.push_back(TextBlock{std::make_unique_for_overwrite<char[]>(size), size, 0});
    }
    TextBlock &block = text_blocks_.back();
    if (n > 0) // an empty view may have no data pointer at all
        std::memcpy(block.data.get() + block.used, utf8.data(), n);
    Cell &c = next_cell();
    c.tag = static_cast<std::uint32_t>(Kind::Text) << kSizeBits |
            static_cast<std::uint32_t>(std::min<std::size_t>(n, kLongSize));
    c.payload[0] = static_cast<std::uint32_t>(block.used);
    c.payload[1] = static_cast<std::uint32_t>(text_blocks_.size() - 1);
    block.used += n;
}

void Rows::add_binary(std::string_view bytes) {
    add_text(bytes);
    Cell &c = cell_chunks_[(cell_count_ - 1) / kCellChunk][(cell_count_ - 1) % kCellChunk];
    c.tag = static_cast<std::uint32_t>(Kind::Binary) << kSizeBits | (c.tag & kLongSize);
}

std::shared_ptr<Rows> Rows::take_locators() {
    auto only = std::make_shared<Rows>(std::vector<FieldInfo>{});
    only->locators_ = std::move(locators_);
    locators_ = {};
    return only;
}

std::shared_ptr<Rows> columns_of(const Rows &rows, const std::vector<int> &columns) {
    std::vector<FieldInfo> fields;
    for (const int c : columns)
        fields.push_back(rows.fields()[static_cast<std::size_t>(c)]);
    auto out = std::make_shared<Rows>(std::move(fields));
    for (std::size_t r = 0; r < rows.row_count(); ++r) {
        if (columns.empty())
            out->add_empty_row();
        for (const int c : columns) {
            const Value v = rows.value(r, c);
            switch (v.kind()) {
            case Value::Kind::Null:
                out->add_null();
                break;
            case Value::Kind::Integer:
                out->add_integer(v.as_integer());
                break;
            case Value::Kind::Real:
                out->add_real(v.as_double());
                break;
            case Value::Kind::Text:
                out->add_text(v.text());
                break;
            case Value::Kind::Binary:
                out->add_binary(v.text());
                break;
            }
        }
    }
    return out;
}

Value Rows::value(std::size_t row, int column) const {
    const Cell &c = cell(row, column);
    switch (c.kind()) {
    case Kind::Integer: {
        std::int64_t v;
        std::memcpy(&v, c.payload, sizeof v);
        return Value(v);
    }
    case Kind::Real: {
        double v;
        std::memcpy(&v, c.payload, sizeof v);
        return Value(v);
    }
    case Kind::Text:
        return Value(std::string(bytes(c)));
    case Kind::Binary:
        return Value::binary(std::string(bytes(c)));
    case Kind::Null:
        break;
    }
    return Value();
}

std::size_t Rows::memory_bytes() const {
    std::size_t n = sizeof(*this) + cell_chunks_.size() * kCellChunk * sizeof(Cell);
    for (const TextBlock &b : text_blocks_)
        n += b.capacity;
    n += locators_.capacity() * sizeof(std::int64_t);
    std::lock_guard lock(mutex_);
    for (const auto &[name, o] : orderings_)
        n += (o->rows.capacity() + o->position_of.capacity()) * sizeof(std::uint32_t);
    return n;
}

Rows::KeyRef Rows::ref(const Cell &c) const {
    KeyRef k{c.kind(), 0, 0.0, {}};
    if (k.kind == Kind::Integer) {
        std::memcpy(&k.i, c.payload, sizeof k.i);
        k.d = static_cast<double>(k.i);
    } else if (k.kind == Kind::Real) {
        std::memcpy(&k.d, c.payload, sizeof k.d);
    } else if (k.kind == Kind::Text || k.kind == Kind::Binary) {
        k.s = bytes(c);
    }
    return k;
}

Rows::KeyRef Rows::ref(const Value &v) {
    switch (v.kind()) {
    case Value::Kind::Integer:
        return {Kind::Integer, v.as_integer(), v.as_double(), {}};
    case Value::Kind::Real:
        return {Kind::Real, 0, v.as_double(), {}};
    case Value::Kind::Text:
        return {Kind::Text, 0, 0.0, v.text()};
    case Value::Kind::Binary:
        return {Kind::Binary, 0, 0.0, v.text()};
    case Value::Kind::Null:
        break;
    }
    return {Kind::Null, 0, 0.0, {}};
}

// Nulls first, then numbers, texts, binaries (a column may mix them in an SQLite file).
int Rows::compare(const KeyRef &a, const KeyRef &b) {
    auto rank = [](Kind k) {
        switch (k) {
        case Kind::Null:
            return 0;
        case Kind::Integer:
        case Kind::Real:
            return 1;
        case Kind::Text:
            return 2;
        case Kind::Binary:
            return 3;
        }
        return 0;
    };
    const int ra = rank(a.kind), rb = rank(b.kind);
    if (ra != rb)
        return ra < rb ? -1 : 1;
    switch (ra) {
    case 1:
        if (a.kind == Kind::Integer && b.kind == Kind::Integer)
            return a.i == b.i ? 0 : (a.i < b.i ? -1 : 1);
        return a.d == b.d ? 0 : (a.d < b.d ? -1 : 1);
    case 2:
        return compare_folded(a.s, b.s);
    case 3:
        return sign(a.s.compare(b.s));
    default:
        return 0;
    }
}

std::shared_ptr<const Rows::Ordering> Rows::ordering(const IndexInfo &index) const {
    std::string key = fold_case(index.name);
    for (const int c : index.columns)
        key += "/" + std::to_string(c);
    {
        std::lock_guard lock(mutex_);
        if (auto it = orderings_.find(key); it != orderings_.end())
            return it->second;
    }

    const std::size_t n = row_count();
    auto order = std::make_shared<Ordering>();
    order->rows.resize(n);
    std::iota(order->rows.begin(), order->rows.end(), 0u);

    // Texts are folded once per row, not once per comparison.
    std::vector<std::vector<std::string>> folded(index.columns.size());
    for (std::size_t k = 0; k < index.columns.size(); ++k) {
        const int col = index.columns[k];
        for (std::size_t r = 0; r < n; ++r) {
            const Cell &c = cell(r, col);
            if (c.kind() == Kind::Text && !is_ascii(ref(c).s)) {
                folded[k].resize(n);
                break;
            }
        }
        if (!folded[k].empty())
            for (std::size_t r = 0; r < n; ++r)
                if (cell(r, col).kind() == Kind::Text)
                    folded[k][r] = fold_case(ref(cell(r, col)).s);
    }
    auto key_of = [&](std::size_t k, std::uint32_t r) {
        KeyRef ref_value = ref(cell(r, index.columns[k]));
        if (!folded[k].empty() && ref_value.kind == Kind::Text)
            ref_value.s = folded[k][r];
        return ref_value;
    };
    std::stable_sort(order->rows.begin(), order->rows.end(), [&](std::uint32_t x, std::uint32_t y) {
        for (std::size_t k = 0; k < index.columns.size(); ++k) {
            int c = compare(key_of(k, x), key_of(k, y));
            if (k < index.descending.size() && index.descending[k])
                c = -c;
            if (c != 0)
                return c < 0;
        }
        return false;
    });
    order->position_of.resize(n);
    for (std::size_t p = 0; p < n; ++p)
        order->position_of[order->rows[p]] = static_cast<std::uint32_t>(p);

    std::lock_guard lock(mutex_);
    auto [it, inserted] = orderings_.emplace(key, std::move(order));
    return it->second;
}

std::int64_t Rows::find(const Ordering &order, const IndexInfo &index, const Value &key) const {
    if (key.is_null() || index.columns.empty())
        return -1;
    const int col = index.columns.front();
    const bool desc = !index.descending.empty() && index.descending.front();
    const KeyRef k = ref(key);
    auto before = [&](std::uint32_t row) {
        const int c = compare(ref(cell(row, col)), k);
        return desc ? c > 0 : c < 0;
    };
    const auto it = std::partition_point(order.rows.begin(), order.rows.end(), before);
    if (it == order.rows.end() || compare(ref(cell(*it, col)), k) != 0)
        return -1;
    return it - order.rows.begin();
}

} // namespace dao
