// One-folder directory search, the picture-name test and the listing patterns.
#include "wallpaper/search_dir.h"

#include <array>
#include <cstring>
#include <memory>

namespace duskpane {

namespace {

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// The entries a request for folders and archive-marked files lets through:
// every folder, and files that are neither hidden nor system.
bool IsRequestedKind(const ffblk& entry) {
    if ((entry.ff_attrib & kFaFolder) != 0) {
        return true;
    }
    return (entry.ff_attrib & (kFaHidden | kFaSystem)) == 0;
}

bool IsDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// The position after the UTF-8 character that starts at pos.
size_t NextCharacter(std::string_view text, size_t pos) {
    ++pos;
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) {
        ++pos;
    }
    return pos;
}

bool MatchPlainWildcard(std::string_view wildcard, std::string_view name, bool ignoreAsciiCase) {
    size_t w = 0;
    size_t n = 0;
    size_t starW = std::string_view::npos;
    size_t starN = 0;
    while (n < name.size()) {
        if (w < wildcard.size() && wildcard[w] == '*') {
            starW = ++w;
            starN = n;
        } else if (w < wildcard.size() && wildcard[w] == '?') {
            ++w;
            n = NextCharacter(name, n);
        } else if (w < wildcard.size() &&
                   (ignoreAsciiCase ? FoldAscii(wildcard[w]) == FoldAscii(name[n])
                                    : wildcard[w] == name[n])) {
            ++w;
            ++n;
        } else if (starW != std::string_view::npos) {
            starN = NextCharacter(name, starN);
            n = starN;
            w = starW;
        } else {
            return false;
        }
    }
    while (w < wildcard.size() && wildcard[w] == '*') {
        ++w;
    }
    return w == wildcard.size();
}

}  // namespace

int32_t nsSearchDir::Search(FileSystem& fileSystem, const std::string& pattern) {
    Clear();
    ffblk entry;
    std::unique_ptr<DirectoryListing> listing =
        fileSystem.FindFirst(pattern, kSearchAttributes, entry);
    if (!listing) {
        return -1;
    }
    // The listing counts as started once it yields an entry of the requested
    // kinds, the folder's own "." included.
    bool started = false;
    do {
        if (!IsRequestedKind(entry)) {
            continue;
        }
        started = true;
        entry.ff_name[sizeof(entry.ff_name) - 1] = '\0';
        if (IsDotEntry(entry.ff_name)) {
            continue;
        }
        auto copy = std::make_unique<ffblk>(entry);
        Add(copy.get());
        copy.release();
    } while (listing->Next(entry));
    return started ? 0 : -1;
}

bool IsPictureFileName(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    const std::string_view extension = name.substr(dot);
    static constexpr std::array<std::string_view, 3> kPictureExtensions = {".BMP", ".JPG",
                                                                            ".JPEG"};
    for (std::string_view picture : kPictureExtensions) {
        if (EqualIgnoringAsciiCase(extension, picture)) {
            return true;
        }
    }
    return false;
}

PictureFileScan ListPictureFiles(FileSystem& fileSystem, const AnsiString& folder) {
    PictureFileScan scan;
    nsSearchDir search;
    scan.status = search.Search(fileSystem, folder + "\\*.*");
    if (scan.status != 0) {
        return scan;
    }
    const char separator = fileSystem.PathSeparator();
    for (int32_t i = 0; i < search.Count(); ++i) {
        const std::string name(search.Get(i)->ff_name);
        if (IsPictureFileName(name)) {
            scan.paths.push_back(folder + separator + name);
        }
    }
    return scan;
}

std::optional<ListingPattern> SplitListingPattern(std::string_view pattern) {
    const size_t backslash = pattern.rfind('\\');
    if (backslash == std::string_view::npos) {
        return std::nullopt;
    }
    return ListingPattern{std::string(pattern.substr(0, backslash)),
                          std::string(pattern.substr(backslash + 1))};
}

bool MatchWildcard(std::string_view wildcard, std::string_view name, bool ignoreAsciiCase) {
    if (MatchPlainWildcard(wildcard, name, ignoreAsciiCase)) {
        return true;
    }
    const std::string_view anyExtension = ".*";
    if (wildcard.size() >= anyExtension.size() &&
        wildcard.substr(wildcard.size() - anyExtension.size()) == anyExtension) {
        return MatchPlainWildcard(wildcard.substr(0, wildcard.size() - anyExtension.size()),
                                  name, ignoreAsciiCase);
    }
    return false;
}

}  // namespace duskpane
