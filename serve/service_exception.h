// What the service says when a request cannot be answered: an OGC exception with its
// code (InvalidCRS, LayerNotDefined, ...) and one line for a person, sent as a
// ServiceExceptionReport document with HTTP status 400. Nothing else ever goes back for
// bad input: no picture, no trace of the program's insides.
#pragma once

#include <stdexcept>
#include <string>

namespace serve {

// The codes of the exceptions the service raises; an empty code is a plain refusal
// that the standard has no code for.
namespace code {
inline constexpr const char *kInvalidFormat = "InvalidFormat";
inline constexpr const char *kInvalidCRS = "InvalidCRS";
inline constexpr const char *kLayerNotDefined = "LayerNotDefined";
inline constexpr const char *kStyleNotDefined = "StyleNotDefined";
inline constexpr const char *kLayerNotQueryable = "LayerNotQueryable";
inline constexpr const char *kInvalidPoint = "InvalidPoint";
inline constexpr const char *kOperationNotSupported = "OperationNotSupported";
inline constexpr const char *kMissingParameterValue = "MissingParameterValue";
inline constexpr const char *kInvalidParameterValue = "InvalidParameterValue";
} // namespace code

class ServiceException : public std::runtime_error {
  public:
    ServiceException(std::string code, const std::string &message)
        : std::runtime_error(message), code_(std::move(code)) {}
    const std::string &code() const { return code_; }

  private:
    std::string code_;
};

// The exception as the XML document a client reads (WMS 1.3.0's ServiceExceptionReport).
std::string exception_report(const ServiceException &e);

} // namespace serve
