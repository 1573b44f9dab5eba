// Folder listings and the existence test on Linux.
#include "platform/linux/linux_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <cstring>

namespace duskpane {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool IsDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// The last-write time in local time; left unknown when it cannot be had.
LocalDateTime LocalTimeOf(time_t seconds) {
    struct tm local {};
    if (localtime_r(&seconds, &local) == nullptr) {
        return {};
    }
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

// Fills an entry from the name and the file it names; false when the file
// has gone.
bool DescribeEntry(int folderFd, const char* name, FolderEntry& entry) {
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
    entry.name.assign(name);
    entry.size = info.st_size > 0 ? uint64_t(info.st_size) : 0;
    entry.written = LocalTimeOf(info.st_mtim.tv_sec);
    entry.attributes = attributes;
    return true;
}

class LinuxListing : public FolderListing {
public:
    explicit LinuxListing(DirHandle dir) : dir_(std::move(dir)) {}

    bool Next(FolderEntry& entry) override {
        while (const dirent* found = readdir(dir_.get())) {
            if (DescribeEntry(dirfd(dir_.get()), found->d_name, entry)) {
                return true;
            }
        }
        return false;
    }

private:
    DirHandle dir_;
};

}  // namespace

bool LinuxFileSystem::FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::unique_ptr<FolderListing> LinuxFileSystem::ListFolder(const std::string& folder) {
    DirHandle dir(opendir(folder.c_str()));
    if (!dir) {
        return nullptr;
    }
    return std::make_unique<LinuxListing>(std::move(dir));
}

}  // namespace duskpane
