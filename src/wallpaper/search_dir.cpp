// One-folder directory search, the picture-name test and the listing patterns.
#include "wallpaper/search_dir.h"

#include <algorithm>
#include <array>
#include <cstdint>
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

// The entries a search asks for (folders and archive-marked files, the
// attribute request 0x30): every folder, and files that are neither hidden
// nor system.
bool IsRequestedKind(const ffblk& entry) {
    if ((entry.ff_attrib & kFaFolder) != 0) {
        return true;
    }
    return (entry.ff_attrib & (kFaHidden | kFaSystem)) == 0;
}

bool IsDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Fills an entry from what the listing found; false when the name does not
// fit. Folders have no size, and sizes beyond 4 GiB read 4 GiB - 1.
bool DescribeEntry(const FolderEntry& found, uint32_t position, ffblk& entry) {
    if (found.name.size() >= sizeof(entry.ff_name)) {
        return false;
    }
    entry = ffblk();
    entry.ff_reserved = position;
    entry.ff_attrib = found.attributes;
    if ((found.attributes & kFaFolder) == 0) {
        entry.ff_fsize = uint32_t(std::min<uint64_t>(found.size, UINT32_MAX));
    }
    PackEntryTime(found.written, entry.ff_ftime, entry.ff_fdate);
    std::memcpy(entry.ff_name, found.name.data(), found.name.size());
    return true;
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
    const std::optional<ListingPattern> parts = SplitListingPattern(pattern);
    if (!parts) {
        return -1;
    }
    const std::unique_ptr<FolderListing> listing = fileSystem.ListFolder(parts->folder);
    if (!listing) {
        return -1;
    }
    const bool ignoreCase = fileSystem.IgnoresCase();
    // The search counts as started once the listing yields a matching entry
    // of the requested kinds, the folder's own "." included.
    bool started = false;
    uint32_t position = 0;
    FolderEntry found;
    ffblk entry;
    while (listing->Next(found)) {
        if (!MatchWildcard(parts->wildcard, found.name, ignoreCase) ||
            !DescribeEntry(found, position, entry)) {
            continue;
        }
        ++position;
        if (!IsRequestedKind(entry)) {
            continue;
        }
        started = true;
        if (IsDotEntry(entry.ff_name)) {
            continue;
        }
        auto copy = std::make_unique<ffblk>(entry);
        Add(copy.get());
        copy.release();
    }
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

void PackEntryTime(const LocalDateTime& written, uint16_t& time, uint16_t& date) {
    const int years = written.year - 1980;
    if (written.year == 0 || years < 0) {
        time = 0;
        date = (1 << 5) | 1;
    } else if (years > 127) {
        time = uint16_t((23 << 11) | (59 << 5) | 29);
        date = uint16_t((127 << 9) | (12 << 5) | 31);
    } else {
        time = uint16_t((written.hour << 11) | (written.minute << 5) | (written.second / 2));
        date = uint16_t((years << 9) | (written.month << 5) | written.day);
    }
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
