#include "platform/db/dbase.h"

#include <shapefil.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <utility>

namespace dbase {

namespace {

DBFHandle handle(void *p) {
    return static_cast<DBFHandle>(p);
}

// The file holds the records its header promises (a damaged or cut file does not, and
// reading it would fail part way).
bool whole(const std::filesystem::path &path, DBFHandle h) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const long long need = static_cast<long long>(h->nHeaderLength) +
                           static_cast<long long>(h->nRecords) * h->nRecordLength;
    return h->nRecords >= 0 && h->nRecordLength > 0 && st.st_size >= need;
}

} // namespace

Table::Table() = default;

Table::~Table() {
    close();
}

Table::Table(Table &&o) noexcept {
    *this = std::move(o);
}

Table &Table::operator=(Table &&o) noexcept {
    if (this != &o) {
        close();
        dbf_ = std::exchange(o.dbf_, nullptr);
        order_ = std::move(o.order_);
        keys_ = std::move(o.keys_);
        tag_field_ = std::exchange(o.tag_field_, -1);
        pos_ = std::exchange(o.pos_, -1);
        sought_ = std::move(o.sought_);
    }
    return *this;
}

bool Table::open(const std::filesystem::path &path) {
    close();
    // shapelib would also try the name with its extension in the other case; only the
    // file asked for is wanted, and it must exist, since nothing may be created.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    try {
        DBFHandle h = DBFOpen(path.c_str(), "rb");
        if (h == nullptr)
            return false;
        dbf_ = h;
        if (!whole(path, h)) {
            close();
            return false;
        }
        // Records marked deleted are no longer part of the table.
        for (int r = 0; r < h->nRecords; ++r) {
            if (DBFReadTuple(h, r) == nullptr) {
                close();
                return false;
            }
            if (!DBFIsRecordDeleted(h, r))
                order_.push_back(r);
        }
        if (field("DRAWING") >= 0 && !select_tag("DRAWING")) {
            close();
            return false;
        }
        return true;
    } catch (...) {
        close();
        return false;
    }
}

void Table::close() {
    if (dbf_ != nullptr)
        DBFClose(handle(dbf_));
    dbf_ = nullptr;
    order_.clear();
    keys_.clear();
    tag_field_ = -1;
    pos_ = -1;
    sought_.clear();
}

bool Table::is_open() const {
    return dbf_ != nullptr;
}

int Table::record_count() const {
    return dbf_ ? static_cast<int>(order_.size()) : 0;
}

int Table::field(std::string_view name) const {
    if (dbf_ == nullptr)
        return -1;
    return DBFGetFieldIndex(handle(dbf_), std::string(name).c_str());
}

std::string Table::raw(int record, int field) const {
    DBFHandle h = handle(dbf_);
    if (h == nullptr || record < 0 || record >= h->nRecords || field < 0 || field >= h->nFields)
        return {};
    const char *tuple = DBFReadTuple(h, record);
    if (tuple == nullptr)
        return {};
    return std::string(tuple + h->panFieldOffset[field],
                       static_cast<std::size_t>(h->panFieldSize[field]));
}

bool Table::select_tag(std::string_view name) {
    const int f = field(name);
    if (f < 0)
        return false;
    try {
        std::vector<std::string> keys(static_cast<std::size_t>(handle(dbf_)->nRecords));
        for (const int r : order_)
            keys[static_cast<std::size_t>(r)] = raw(r, f);
        std::vector<int> order = order_;
        std::sort(order.begin(), order.end()); // record order first, so ties keep it
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)];
        });
        keys_ = std::move(keys);
        order_ = std::move(order);
        tag_field_ = f;
        pos_ = -1;
        return true;
    } catch (...) {
        return false;
    }
}

bool Table::top() {
    pos_ = order_.empty() ? -1 : 0;
    return pos_ == 0;
}

bool Table::seek(std::string_view key) {
    pos_ = -1;
    if (dbf_ == nullptr || tag_field_ < 0)
        return false;
    const auto width = static_cast<std::size_t>(handle(dbf_)->panFieldSize[tag_field_]);
    sought_ = std::string(key.substr(0, width));
    sought_.resize(width, ' ');
    const auto it =
        std::lower_bound(order_.begin(), order_.end(), sought_, [&](int r, const std::string &k) {
            return keys_[static_cast<std::size_t>(r)] < k;
        });
    if (it == order_.end() || keys_[static_cast<std::size_t>(*it)] != sought_)
        return false;
    pos_ = static_cast<int>(it - order_.begin());
    return true;
}

bool Table::seek_next() {
    if (pos_ < 0 || tag_field_ < 0)
        return false;
    const auto next = static_cast<std::size_t>(pos_) + 1;
    if (next >= order_.size() || keys_[static_cast<std::size_t>(order_[next])] != sought_) {
        pos_ = -1;
        return false;
    }
    pos_ = static_cast<int>(next);
    return true;
}

int Table::record() const {
    return pos_ >= 0 ? order_[static_cast<std::size_t>(pos_)] : -1;
}

std::int32_t Table::read_long(int field) const {
    const std::string text = raw(record(), field);
    if (text.empty())
        return 0;
    const double v = std::trunc(std::strtod(text.c_str(), nullptr));
    if (std::isnan(v))
        return 0;
    return static_cast<std::int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

std::string Table::read_text(int field) const {
    return raw(record(), field);
}

} // namespace dbase
