#include "platform/db/dao.h"

#include "platform/base/numbers.h"

namespace dao {

Value Value::binary(std::string bytes) {
    Value v(std::move(bytes));
    v.kind_ = Kind::Binary;
    return v;
}

std::int64_t Value::as_integer() const {
    switch (kind_) {
    case Kind::Integer:
        return i_;
    case Kind::Real:
        return num::nearest64(d_);
    default:
        return 0;
    }
}

double Value::as_double() const {
    switch (kind_) {
    case Kind::Integer:
        return static_cast<double>(i_);
    case Kind::Real:
        return d_;
    default:
        return 0.0;
    }
}

std::string Value::to_string() && {
    if (kind_ == Kind::Text || kind_ == Kind::Binary)
        return std::move(s_);
    return static_cast<const Value &>(*this).to_string();
}

std::string Value::to_string() const & {
    switch (kind_) {
    case Kind::Integer:
        return num::CStr(i_);
    case Kind::Real:
        return num::CStr(d_);
    case Kind::Text:
    case Kind::Binary:
        return s_;
    case Kind::Null:
        break;
    }
    return {};
}

bool operator==(const Value &a, const Value &b) {
    if (a.kind_ != b.kind_)
        return false;
    switch (a.kind_) {
    case Value::Kind::Integer:
        return a.i_ == b.i_;
    case Value::Kind::Real:
        return a.d_ == b.d_;
    case Value::Kind::Text:
    case Value::Kind::Binary:
        return a.s_ == b.s_;
    case Value::Kind::Null:
        break;
    }
    return true;
}

} // namespace dao
