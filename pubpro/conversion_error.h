#pragma once

#include <stdexcept>
#include <string>

namespace pubpro {

// Raised when text that should hold an integer does not. Its message is the
// text shown to the operator: '<text>' is not a valid integer value
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const std::string& text)
        : std::runtime_error("'" + text + "' is not a valid integer value") {}
};

} // namespace pubpro
