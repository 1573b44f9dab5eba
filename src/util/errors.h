// The error a handler raises: shown in the standard error box, the rest of
// the handler skipped.
#pragma once

#include <stdexcept>
#include <string>

namespace duskpane {

class AppError : public std::runtime_error {
public:
    explicit AppError(const std::string& message) : std::runtime_error(message) {}
};

// Puts the argument in place of the first "%s" of a message; a message
// without one is returned unchanged.
std::string FormatMessage1(const std::string& format, const std::string& argument);

}  // namespace duskpane
