// The one kind of failure the converter reports: a sentence for the user, printed as
// "tavi-convert: <what>" with exit code 2.
#pragma once

#include <stdexcept>
#include <string>

namespace convert {

class ConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

} // namespace convert
