// Directory listings and the existence test on Windows.
#include "platform/win32/win32_files.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/win32_text.h"

namespace duskpane {

namespace {

constexpr size_t kMaxNameBytes = sizeof(ffblk::ff_name) - 1;
// The attribute bits an entry reports: read-only, hidden, system, volume, folder, archive.
constexpr DWORD kDosAttributeBits = 0x3F;

struct PackedTime {
    uint16_t time = 0;
    uint16_t date = 0;
};

constexpr PackedTime kEarliestPacked{0, (1 << 5) | 1};  // 1980-01-01 00:00:00
constexpr PackedTime kLatestPacked{uint16_t((23 << 11) | (59 << 5) | 29),
                                   uint16_t((127 << 9) | (12 << 5) | 31)};

// A last-write time as local time (with the daylight rule of that date),
// packed the DOS way.
PackedTime PackLocalTime(const FILETIME& written) {
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&written, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return kEarliestPacked;
    }
    const int years = int(local.wYear) - 1980;
    if (years < 0) return kEarliestPacked;
    if (years > 127) return kLatestPacked;
    PackedTime packed;
    packed.time = uint16_t((local.wHour << 11) | (local.wMinute << 5) | (local.wSecond / 2));
    packed.date = uint16_t((years << 9) | (local.wMonth << 5) | local.wDay);
    return packed;
}

void DescribeEntry(const WIN32_FIND_DATAW& found, uint32_t position, ffblk& entry) {
    entry = ffblk();
    entry.ff_reserved = position;
    entry.ff_attrib = uint32_t(found.dwFileAttributes & kDosAttributeBits);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        entry.ff_fsize = found.nFileSizeHigh != 0 ? MAXDWORD : uint32_t(found.nFileSizeLow);
    }
    const PackedTime packed = PackLocalTime(found.ftLastWriteTime);
    entry.ff_ftime = packed.time;
    entry.ff_fdate = packed.date;
    const std::string name = CutUtf8(Narrow(found.cFileName, wcsnlen(found.cFileName, MAX_PATH)),
                                     kMaxNameBytes);
    std::memcpy(entry.ff_name, name.data(), name.size());
    entry.ff_name[name.size()] = '\0';
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

class Win32Listing : public DirectoryListing {
public:
    explicit Win32Listing(HANDLE handle) : find_(handle) {}

    bool Next(ffblk& entry) override {
        WIN32_FIND_DATAW found{};
        if (!FindNextFileW(find_.Get(), &found)) return false;
        DescribeEntry(found, position_, entry);
        ++position_;
        return true;
    }

private:
    FindHandle find_;
    uint32_t position_ = 1;  // the first entry went out with the start
};

}  // namespace

std::string CutUtf8(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t end = maxBytes;
    // Back over continuation bytes (10xxxxxx) to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

bool Win32FileSystem::FileExists(const std::string& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::unique_ptr<DirectoryListing> Win32FileSystem::FindFirst(const std::string& pattern,
                                                             uint32_t /*attributes*/,
                                                             ffblk& first) {
    if (pattern.find('\\') == std::string::npos) return nullptr;
    WIN32_FIND_DATAW found{};
    // The basic information leaves out the short names, which nothing reads.
    const HANDLE handle = FindFirstFileExW(Widen(pattern).c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    auto listing = std::make_unique<Win32Listing>(handle);
    DescribeEntry(found, 0, first);
    return listing;
}

}  // namespace duskpane
