// Message formatting for the program's errors.
#include "util/errors.h"

namespace duskpane {

std::string FormatMessage1(const std::string& format, const std::string& argument) {
    const auto at = format.find("%s");
    if (at == std::string::npos) return format;
    return format.substr(0, at) + argument + format.substr(at + 2);
}

}  // namespace duskpane
