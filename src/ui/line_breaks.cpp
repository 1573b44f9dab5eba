// Break opportunities for message boxes, whose system wraps only at blanks.
#include "ui/line_breaks.h"

#include <cstdint>

namespace duskpane {

namespace {

size_t CharacterLength(const std::string& text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    // A broken sequence counts byte by byte.
    for (size_t i = 1; i < length; ++i)
        if (at + i >= text.size() || (static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
    return length;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Chinese, Japanese and Korean text wraps between any two of its characters.
bool WrapsByItself(const std::string& text, size_t at, size_t length) {
    if (length < 3) return false;
    uint32_t code = static_cast<unsigned char>(text[at]) & (length == 3 ? 0x0Fu : 0x07u);
    for (size_t i = 1; i < length; ++i) code = code << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3Fu);
    return (code >= 0x2E80 && code <= 0x9FFF) || (code >= 0xAC00 && code <= 0xD7AF) ||
           (code >= 0xF900 && code <= 0xFAFF) || (code >= 0xFF00 && code <= 0xFFEF) ||
           (code >= 0x20000 && code <= 0x3FFFF);
}

}  // namespace

std::string AllowLineBreaks(const std::string& text, size_t longest, const std::string& mark) {
    if (longest == 0) return text;
    std::string out;
    out.reserve(text.size() + text.size() / longest * mark.size());
    size_t run = 0;                       // characters since the last break
    size_t afterSeparator = std::string::npos;  // where in `out` the run may break
    size_t runAtSeparator = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t length = CharacterLength(text, at);
        const char first = text[at];
        if ((length == 1 && IsBlank(first)) || WrapsByItself(text, at, length)) {
            out.append(text, at, length);
            at += length;
            run = 0;
            afterSeparator = std::string::npos;
            continue;
        }
        const bool separator = length == 1 && (first == '/' || first == '\\');
        if (run == longest && separator) {
            // A separator right at the limit still ends its line.
            out += first;
            out += mark;
            ++at;
            run = 0;
            afterSeparator = std::string::npos;
            continue;
        }
        if (run == longest) {
            if (afterSeparator != std::string::npos) {
                out.insert(afterSeparator, mark);
                run -= runAtSeparator;
            } else {
                out += mark;
                run = 0;
            }
            afterSeparator = std::string::npos;
        }
        out.append(text, at, length);
        at += length;
        ++run;
        if (separator) {
            afterSeparator = out.size();
            runAtSeparator = run;
        }
    }
    return out;
}

}  // namespace duskpane
