// Folder listings and the existence test on a real Windows file system:
// names in any script, attributes, sizes, dates and the picture scan on top.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"
#include "wallpaper/search_dir.h"

namespace duskpane {
namespace {

// A fresh folder under the temporary folder, removed with its contents.
class TempFolder {
public:
    TempFolder() {
        static int counter = 0;
        wchar_t base[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, base);
        path_ = Narrow(std::wstring(base)) + "duskpane-files-" +
                std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
        CreateDirectoryW(Widen(path_).c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(Widen(path_)); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string In(const std::string& name) const { return path_ + "\\" + name; }

    void AddFile(const std::string& name, size_t size = 0, DWORD attributes = 0) const {
        const std::wstring path = Widen(In(name));
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
        const std::string bytes(size, 'x');
        DWORD written = 0;
        if (size > 0) WriteFile(file, bytes.data(), DWORD(size), &written, nullptr);
        CloseHandle(file);
        if (attributes != 0) SetFileAttributesW(path.c_str(), attributes);
    }
    void AddFolder(const std::string& name, DWORD attributes = 0) const {
        const std::wstring path = Widen(In(name));
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << name;
        if (attributes != 0) {
            SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_DIRECTORY);
        }
    }

private:
    static void RemoveTree(const std::wstring& folder) {
        WIN32_FIND_DATAW found{};
        const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring path = folder + L"\\" + name;
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(path);
                } else {
                    DeleteFileW(path.c_str());
                }
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
        RemoveDirectoryW(folder.c_str());
    }

    std::string path_;
};

// Every entry of a folder's listing, in the order it gave them.
std::vector<FolderEntry> ListAll(Win32FileSystem& files, const std::string& folder) {
    std::vector<FolderEntry> entries;
    FolderEntry entry;
    if (auto listing = files.ListFolder(folder)) {
        while (listing->Next(entry)) entries.push_back(entry);
    }
    return entries;
}

const FolderEntry* Named(const std::vector<FolderEntry>& entries, const std::string& name) {
    for (const FolderEntry& entry : entries) {
        if (name == entry.name) return &entry;
    }
    return nullptr;
}

TEST(Win32FileSystemTest, ListsNamesInAnyScriptAndTheScanTakesVisibleFilesAndEveryFolder) {
    TempFolder folder;
    folder.AddFile("夜景.jpg", 1234);
    folder.AddFile("🌃.JPEG", 5);
    folder.AddFile("noext");
    folder.AddFile("photo.jpg.txt");
    folder.AddFile("hidden.jpg", 1, FILE_ATTRIBUTE_HIDDEN);
    folder.AddFile("system.bmp", 1, FILE_ATTRIBUTE_SYSTEM);
    folder.AddFolder("Summer.jpg");
    folder.AddFolder("隠し.bmp", FILE_ATTRIBUTE_HIDDEN);
    folder.AddFile("Summer.jpg\\deep.jpg");

    Win32FileSystem files;
    const std::vector<FolderEntry> entries = ListAll(files, folder.Path());
    std::set<std::string> names;
    for (const FolderEntry& entry : entries) names.insert(entry.name);
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "夜景.jpg", "🌃.JPEG", "noext", "photo.jpg.txt",
                                            "hidden.jpg", "system.bmp", "Summer.jpg", "隠し.bmp"}));
    EXPECT_EQ(entries.size(), names.size());
    const FolderEntry* night = Named(entries, "夜景.jpg");
    ASSERT_NE(night, nullptr);
    EXPECT_EQ(night->size, 1234u);
    EXPECT_EQ(night->attributes & (kFaFolder | kFaHidden | kFaSystem), 0u);
    EXPECT_EQ(Named(entries, "🌃.JPEG")->size, 5u);
    EXPECT_NE(Named(entries, "hidden.jpg")->attributes & kFaHidden, 0u);
    EXPECT_NE(Named(entries, "system.bmp")->attributes & kFaSystem, 0u);
    EXPECT_NE(Named(entries, "Summer.jpg")->attributes & kFaFolder, 0u);
    const uint32_t hiddenFolder = kFaFolder | kFaHidden;
    EXPECT_EQ(Named(entries, "隠し.bmp")->attributes & hiddenFolder, hiddenFolder);
    for (const FolderEntry& entry : entries) EXPECT_EQ(entry.attributes & ~0x3Fu, 0u) << entry.name;

    const PictureFileScan scan = ListPictureFiles(files, folder.Path());
    ASSERT_EQ(scan.status, 0);
    const std::set<std::string> paths(scan.paths.begin(), scan.paths.end());
    EXPECT_EQ(paths, (std::set<std::string>{folder.In("夜景.jpg"), folder.In("🌃.JPEG"),
                                            folder.In("Summer.jpg"), folder.In("隠し.bmp")}));
    EXPECT_EQ(scan.paths.size(), paths.size());
    // A folder text ending in a separator doubles it; the system still lists it.
    const PictureFileScan doubled = ListPictureFiles(files, folder.Path() + "\\");
    EXPECT_EQ(doubled.paths.size(), paths.size());
    EXPECT_TRUE(std::find(doubled.paths.begin(), doubled.paths.end(),
                          folder.Path() + "\\\\夜景.jpg") != doubled.paths.end());
}

TEST(Win32FileSystemTest, EmptyAndMissingFolders) {
    TempFolder folder;
    Win32FileSystem files;
    // An empty folder holds only its own "." and "..".
    const std::vector<FolderEntry> empty = ListAll(files, folder.Path());
    std::set<std::string> names;
    for (const FolderEntry& entry : empty) names.insert(entry.name);
    EXPECT_EQ(names, (std::set<std::string>{".", ".."}));
    const PictureFileScan scan = ListPictureFiles(files, folder.Path());
    EXPECT_EQ(scan.status, 0);
    EXPECT_TRUE(scan.paths.empty());

    EXPECT_EQ(ListPictureFiles(files, folder.In("無い")).status, -1);
}

TEST(Win32FileSystemTest, LastWriteTimeIsPackedInLocalTime) {
    TempFolder folder;
    folder.AddFile("dated.jpg");
    folder.AddFile("old.jpg");
    const auto setLocalWriteTime = [&](const std::string& name, SYSTEMTIME local) {
        SYSTEMTIME utc{};
        FILETIME stamp{};
        ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
        ASSERT_TRUE(SystemTimeToFileTime(&utc, &stamp));
        const HANDLE file = CreateFileW(Widen(folder.In(name)).c_str(), FILE_WRITE_ATTRIBUTES, 0,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &stamp));
        CloseHandle(file);
    };
    setLocalWriteTime("dated.jpg", SYSTEMTIME{2021, 6, 0, 15, 13, 45, 37, 0});
    setLocalWriteTime("old.jpg", SYSTEMTIME{1975, 3, 0, 2, 8, 0, 0, 0});

    Win32FileSystem files;
    // Through the search, which matches its wildcard ignoring case here.
    nsSearchDir search;
    ASSERT_EQ(search.Search(files, folder.In("*.JPG")), 0);
    ASSERT_EQ(search.Count(), 2);
    const bool datedFirst = std::string(search.Get(0)->ff_name) == "dated.jpg";
    const ffblk* dated = search.Get(datedFirst ? 0 : 1);
    const ffblk* old = search.Get(datedFirst ? 1 : 0);
    EXPECT_STREQ(dated->ff_name, "dated.jpg");
    EXPECT_EQ(dated->ff_ftime, (13 << 11) | (45 << 5) | 18);
    EXPECT_EQ(dated->ff_fdate, ((2021 - 1980) << 9) | (6 << 5) | 15);
    // Before 1980 the earliest time that can be packed stands in.
    EXPECT_STREQ(old->ff_name, "old.jpg");
    EXPECT_EQ(old->ff_ftime, 0);
    EXPECT_EQ(old->ff_fdate, (1 << 5) | 1);
}

TEST(Win32FileSystemTest, FileExistsOnlyForFiles) {
    TempFolder folder;
    folder.AddFile("写真 🌃.jpg");
    folder.AddFile("hidden.bmp", 0, FILE_ATTRIBUTE_HIDDEN);
    folder.AddFolder("Summer.jpg");
    Win32FileSystem files;
    EXPECT_TRUE(files.FileExists(folder.In("写真 🌃.jpg")));
    EXPECT_TRUE(files.FileExists(folder.In("hidden.bmp")));
    EXPECT_FALSE(files.FileExists(folder.In("Summer.jpg")));
    EXPECT_FALSE(files.FileExists(folder.Path()));
    EXPECT_FALSE(files.FileExists(folder.In("missing.jpg")));
    EXPECT_FALSE(files.FileExists(""));
}

}  // namespace
}  // namespace duskpane
