// The query's parameters as the HTTP library decoded them, looked up by name without
// regard to case (as the map-service standard reads them). Bounded: a request with more
// parameters, or longer names or values, than any client sends is refused before it is
// looked at.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace serve {

class Parameters {
  public:
    static constexpr std::size_t kMaxCount = 64;
    static constexpr std::size_t kMaxNameLength = 64;
    static constexpr std::size_t kMaxValueLength = 8192;

    // Adds one; a ServiceException when the bounds above are passed.
    void add(std::string name, std::string value);
    // The value of the first parameter of that name; null when there is none.
    const std::string *find(std::string_view name) const;
    std::size_t size() const { return items_.size(); }
    const std::vector<std::pair<std::string, std::string>> &items() const { return items_; }

  private:
    std::vector<std::pair<std::string, std::string>> items_;
};

// A value the client sent, fit to be repeated in a message: at most 40 characters
// (more are cut with "..."), in quotes, anything but printable ASCII as "?".
std::string shown(std::string_view value);

// Text compared without regard to ASCII case.
bool same_text(std::string_view a, std::string_view b);

} // namespace serve
