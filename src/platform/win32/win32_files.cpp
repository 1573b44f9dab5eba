// Folder listings and the existence test on Windows.
#include "platform/win32/win32_files.h"

#include <windows.h>

#include "platform/win32/win32_text.h"

namespace duskpane {

namespace {

// The attribute bits an entry reports: read-only, hidden, system, volume, folder, archive.
constexpr DWORD kDosAttributeBits = 0x3F;

// A last-write time in local time, with the daylight rule of that date;
// unknown when it cannot be converted.
LocalDateTime LocalTimeOf(const FILETIME& written) {
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&written, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return {};
    }
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

void DescribeEntry(const WIN32_FIND_DATAW& found, FolderEntry& entry) {
    entry.name = Narrow(found.cFileName, wcsnlen(found.cFileName, MAX_PATH));
    entry.size = (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entry.written = LocalTimeOf(found.ftLastWriteTime);
    entry.attributes = uint32_t(found.dwFileAttributes & kDosAttributeBits);
}

class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// The first entry comes with the start of the listing and goes out with the
// first Next.
class Win32Listing : public FolderListing {
public:
    Win32Listing(HANDLE handle, const WIN32_FIND_DATAW& first) : find_(handle), found_(first) {}

    bool Next(FolderEntry& entry) override {
        if (!pending_ && !FindNextFileW(find_.Get(), &found_)) return false;
        pending_ = false;
        DescribeEntry(found_, entry);
        return true;
    }

private:
    FindHandle find_;
    WIN32_FIND_DATAW found_;
    bool pending_ = true;
};

}  // namespace

bool Win32FileSystem::FileExists(const std::string& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::unique_ptr<FolderListing> Win32FileSystem::ListFolder(const std::string& folder) {
    WIN32_FIND_DATAW found{};
    // The basic information leaves out the short names, which nothing reads.
    const HANDLE handle = FindFirstFileExW(Widen(folder + "\\*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32Listing>(handle, found);
}

}  // namespace duskpane
