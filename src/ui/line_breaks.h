// Places where a message may wrap inside long unbroken runs, such as paths.
#pragma once

#include <cstddef>
#include <string>

namespace duskpane {

// The text with `mark` inserted so that no run of characters without a
// blank (or a Chinese, Japanese or Korean character, where text wraps
// anyway) is longer than `longest` characters: after the last path separator
// ('/' or '\') within the run when there is one, else where the run reaches
// the limit (a separator right at the limit ends its line). Characters are
// counted whole (UTF-8), never split.
std::string AllowLineBreaks(const std::string& text, std::size_t longest, const std::string& mark);

}  // namespace duskpane
