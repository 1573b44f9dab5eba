// Directory listings and the existence test on Linux.
#include "platform/linux/linux_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <cstring>
#include <limits>
#include <optional>

#include "wallpaper/search_dir.h"

namespace duskpane {

namespace {

constexpr size_t kMaxNameBytes = sizeof(ffblk::ff_name) - 1;

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

struct PackedTime {
    uint16_t time = 0;
    uint16_t date = 0;
};

// The last-write time as local time, packed the DOS way. Times before 1980
// or after 2107 cannot be packed and become the nearest one that can.
PackedTime PackLocalTime(time_t seconds) {
    struct tm local {};
    if (localtime_r(&seconds, &local) == nullptr) {
        return {0, (1 << 5) | 1};
    }
    const int years = local.tm_year + 1900 - 1980;
    if (years < 0) {
        return {0, (1 << 5) | 1};
    }
    if (years > 127) {
        return {uint16_t((23 << 11) | (59 << 5) | 29), uint16_t((127 << 9) | (12 << 5) | 31)};
    }
    PackedTime packed;
    packed.time = uint16_t((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    packed.date = uint16_t((years << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    return packed;
}

bool IsDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Fills an entry from the name and the file it names; false when the entry
// cannot be described (the name is too long or the file has gone).
bool DescribeEntry(int folderFd, const char* name, ffblk& entry) {
    const size_t nameLength = std::strlen(name);
    if (nameLength > kMaxNameBytes) {
        return false;
    }
    struct stat info {};
    if (fstatat(folderFd, name, &info, 0) != 0 &&
        fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    uint32_t attributes = 0;
    if (S_ISDIR(info.st_mode)) {
        attributes = kFaFolder;
    } else if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) {
        attributes = kFaArchive;
    } else {
        attributes = kFaSystem;
    }
    if (name[0] == '.' && !IsDotEntry(name)) {
        attributes |= kFaHidden;
    }
    const PackedTime packed = PackLocalTime(info.st_mtim.tv_sec);

    entry = ffblk();
    entry.ff_attrib = attributes;
    if (!S_ISDIR(info.st_mode) && info.st_size > 0) {
        entry.ff_fsize = info.st_size > std::numeric_limits<uint32_t>::max()
                             ? std::numeric_limits<uint32_t>::max()
                             : uint32_t(info.st_size);
    }
    entry.ff_ftime = packed.time;
    entry.ff_fdate = packed.date;
    std::memcpy(entry.ff_name, name, nameLength + 1);
    return true;
}

class LinuxListing : public DirectoryListing {
public:
    LinuxListing(DirHandle dir, std::string wildcard)
        : dir_(std::move(dir)), wildcard_(std::move(wildcard)) {}

    bool Next(ffblk& entry) override {
        while (const dirent* found = readdir(dir_.get())) {
            if (!MatchWildcard(wildcard_, found->d_name, false)) {
                continue;
            }
            if (!DescribeEntry(dirfd(dir_.get()), found->d_name, entry)) {
                continue;
            }
            entry.ff_reserved = position_;
            ++position_;
            return true;
        }
        return false;
    }

private:
    DirHandle dir_;
    std::string wildcard_;
    uint32_t position_ = 0;
};

}  // namespace

bool LinuxFileSystem::FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::unique_ptr<DirectoryListing> LinuxFileSystem::FindFirst(const std::string& pattern,
                                                             uint32_t /*attributes*/,
                                                             ffblk& first) {
    std::optional<ListingPattern> parts = SplitListingPattern(pattern);
    if (!parts) {
        return nullptr;
    }
    DirHandle dir(opendir(parts->folder.c_str()));
    if (!dir) {
        return nullptr;
    }
    auto listing = std::make_unique<LinuxListing>(std::move(dir), std::move(parts->wildcard));
    if (!listing->Next(first)) {
        return nullptr;
    }
    return listing;
}

}  // namespace duskpane
