// One-folder directory search and the scan of a folder for BMP and JPEG files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "wallpaper/nslist.h"

namespace duskpane {

// One folder entry as a search keeps it.
struct ffblk {
    uint32_t ff_reserved = 0;  // the entry's place among the listing's matching entries
    uint32_t ff_fsize = 0;
    uint32_t ff_attrib = 0;
    uint16_t ff_ftime = 0;  // hours 11-15, minutes 5-10, seconds/2 0-4
    uint16_t ff_fdate = 0;  // years since 1980 9-15, month 5-8, day 0-4
    char ff_name[260] = {};
};

// The entries of one folder that match a wildcard pattern, owned by the list.
class nsSearchDir : public nsList<ffblk> {
public:
    // Refills the list from a pattern of the form folder + '\' + wildcard, in
    // listing order: the folder is listed and the wildcard matched here (see
    // MatchWildcard), ignoring case where the file system does. Hidden and
    // system entries are left out unless they are folders; "." and ".." are
    // left out, and so is a name longer than an entry holds (259 bytes),
    // which a cut would turn into the name of another file. Returns 0, or -1
    // with the list empty when the pattern has no backslash, the folder
    // cannot be listed or no matching entry is of the requested kinds.
    // Subfolders are not searched.
    int32_t Search(FileSystem& fileSystem, const std::string& pattern);
};

// Whether an entry name ends in ".bmp", ".jpg" or ".jpeg", whatever the case
// of the ASCII letters. The extension runs from the last dot; other scripts'
// letters (full-width forms and the like) never match.
bool IsPictureFileName(std::string_view name);

struct PictureFileScan {
    int32_t status = -1;             // 0, or -1 when the folder cannot be listed
    std::vector<AnsiString> paths;   // folder + separator + name, in listing order
};

// Lists the picture files of one folder level. The pattern is the folder text
// followed by "\*.*" and a path is the folder text, the file system's path
// separator and the entry name; the folder text is used unchanged, even when
// it already ends in a separator. Entries are taken by name alone, so a
// subfolder with a picture name is listed too.
PictureFileScan ListPictureFiles(FileSystem& fileSystem, const AnsiString& folder);

// ---- the pattern and entry rules of the search

struct ListingPattern {
    std::string folder;    // everything before the last backslash
    std::string wildcard;  // everything after it
};

// Splits a listing pattern at its last backslash; nullopt when it has none.
std::optional<ListingPattern> SplitListingPattern(std::string_view pattern);

// Matches a name against a wildcard: '*' stands for any run of characters,
// '?' for exactly one (UTF-8) character, everything else for itself. As on
// Windows, a wildcard ending in ".*" also matches a name without that
// ending, so "*.*" matches every name, with or without a dot.
bool MatchWildcard(std::string_view wildcard, std::string_view name, bool ignoreAsciiCase);

// A local date and time packed the DOS way into an entry's time and date.
// Times before 1980 (and unknown ones) become 1980-01-01 00:00:00, times
// after 2107 the last second of 2107.
void PackEntryTime(const LocalDateTime& written, uint16_t& time, uint16_t& date);

}  // namespace duskpane
