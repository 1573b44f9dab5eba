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

// Every entry of a listing, in the order it gave them.
std::vector<ffblk> ListAll(Win32FileSystem& files, const std::string& pattern) {
    std::vector<ffblk> entries;
    ffblk entry;
    auto listing = files.FindFirst(pattern, nsSearchDir::kSearchAttributes, entry);
    if (!listing) return entries;
    do {
        entries.push_back(entry);
    } while (listing->Next(entry));
    return entries;
}

const ffblk* Named(const std::vector<ffblk>& entries, const std::string& name) {
    for (const ffblk& entry : entries) {
        if (name == entry.ff_name) return &entry;
    }
    return nullptr;
}

TEST(Win32FileSystemTest, ListsNamesInAnyScriptWithAttributesAndSizes) {
    TempFolder folder;
    folder.AddFile("夜景.jpg", 1234);
    folder.AddFile("🌃 emoji.JPEG", 5);
    folder.AddFile("noext");
    folder.AddFile("hidden.jpg", 1, FILE_ATTRIBUTE_HIDDEN);
    folder.AddFile("system.bmp", 1, FILE_ATTRIBUTE_SYSTEM);
    folder.AddFolder("Summer.jpg");
    folder.AddFolder("隠し.bmp", FILE_ATTRIBUTE_HIDDEN);

    Win32FileSystem files;
    EXPECT_EQ(files.PathSeparator(), '\\');
    const std::vector<ffblk> entries = ListAll(files, folder.In("*.*"));
    std::set<std::string> names;
    for (const ffblk& entry : entries) names.insert(entry.ff_name);
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "夜景.jpg", "🌃 emoji.JPEG", "noext",
                                            "hidden.jpg", "system.bmp", "Summer.jpg",
                                            "隠し.bmp"}));
    EXPECT_EQ(entries.size(), names.size());
    for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].ff_reserved, i);

    const ffblk* night = Named(entries, "夜景.jpg");
    ASSERT_NE(night, nullptr);
    EXPECT_EQ(night->ff_fsize, 1234u);
    EXPECT_EQ(night->ff_attrib & (kFaFolder | kFaHidden | kFaSystem), 0u);
    EXPECT_EQ(Named(entries, "🌃 emoji.JPEG")->ff_fsize, 5u);
    EXPECT_NE(Named(entries, "hidden.jpg")->ff_attrib & kFaHidden, 0u);
    EXPECT_NE(Named(entries, "system.bmp")->ff_attrib & kFaSystem, 0u);
    const ffblk* summer = Named(entries, "Summer.jpg");
    EXPECT_NE(summer->ff_attrib & kFaFolder, 0u);
    EXPECT_EQ(summer->ff_fsize, 0u);
    const uint32_t hiddenFolder = kFaFolder | kFaHidden;
    EXPECT_EQ(Named(entries, "隠し.bmp")->ff_attrib & hiddenFolder, hiddenFolder);
    for (const ffblk& entry : entries) EXPECT_EQ(entry.ff_attrib & ~0x3Fu, 0u) << entry.ff_name;
}

TEST(Win32FileSystemTest, PictureScanTakesVisibleFilesAndEveryFolder) {
    TempFolder folder;
    folder.AddFile("夜景.jpg");
    folder.AddFile("🌃.jpeg");
    folder.AddFile("plain.BMP");
    folder.AddFile("notes.txt");
    folder.AddFile("photo.jpg.txt");
    folder.AddFile("hidden.jpg", 0, FILE_ATTRIBUTE_HIDDEN);
    folder.AddFile("system.bmp", 0, FILE_ATTRIBUTE_SYSTEM);
    folder.AddFolder("Summer.jpg");
    folder.AddFolder("隠し.bmp", FILE_ATTRIBUTE_HIDDEN);
    folder.AddFolder("inner");
    folder.AddFile("inner\\deep.jpg");

    Win32FileSystem files;
    const PictureFileScan scan = ListPictureFiles(files, folder.Path());
    ASSERT_EQ(scan.status, 0);
    const std::set<std::string> paths(scan.paths.begin(), scan.paths.end());
    EXPECT_EQ(paths, (std::set<std::string>{folder.In("夜景.jpg"), folder.In("🌃.jpeg"),
                                            folder.In("plain.BMP"), folder.In("Summer.jpg"),
                                            folder.In("隠し.bmp")}));
    EXPECT_EQ(scan.paths.size(), paths.size());

    // A folder text ending in a separator doubles it; the system still lists it.
    const PictureFileScan doubled = ListPictureFiles(files, folder.Path() + "\\");
    ASSERT_EQ(doubled.status, 0);
    EXPECT_EQ(doubled.paths.size(), paths.size());
    EXPECT_TRUE(std::find(doubled.paths.begin(), doubled.paths.end(),
                          folder.Path() + "\\\\夜景.jpg") != doubled.paths.end());
}

TEST(Win32FileSystemTest, EmptyMissingAndMalformedListings) {
    TempFolder folder;
    Win32FileSystem files;
    // An empty folder holds only its own "." and "..".
    const std::vector<ffblk> empty = ListAll(files, folder.In("*.*"));
    std::set<std::string> names;
    for (const ffblk& entry : empty) names.insert(entry.ff_name);
    EXPECT_EQ(names, (std::set<std::string>{".", ".."}));
    const PictureFileScan scan = ListPictureFiles(files, folder.Path());
    EXPECT_EQ(scan.status, 0);
    EXPECT_TRUE(scan.paths.empty());

    ffblk entry;
    EXPECT_EQ(files.FindFirst(folder.In("*.xyz"), nsSearchDir::kSearchAttributes, entry), nullptr);
    EXPECT_EQ(files.FindFirst(folder.In("missing\\*.*"), nsSearchDir::kSearchAttributes, entry),
              nullptr);
    EXPECT_EQ(files.FindFirst("*.*", nsSearchDir::kSearchAttributes, entry), nullptr);
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
    const std::vector<ffblk> entries = ListAll(files, folder.In("*.jpg"));
    const ffblk* dated = Named(entries, "dated.jpg");
    ASSERT_NE(dated, nullptr);
    EXPECT_EQ(dated->ff_ftime, (13 << 11) | (45 << 5) | 18);
    EXPECT_EQ(dated->ff_fdate, ((2021 - 1980) << 9) | (6 << 5) | 15);
    // Before 1980 the earliest time that can be packed stands in.
    const ffblk* old = Named(entries, "old.jpg");
    ASSERT_NE(old, nullptr);
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

TEST(Win32FileSystemTest, LongNamesAreCutAtACharacterBoundary) {
    // The file systems here cannot hold such names, so the cut is checked alone.
    EXPECT_EQ(CutUtf8("abc", 259), "abc");
    // 100 three-byte characters: 86 fit into 259 bytes, the 87th would not.
    std::string japanese;
    for (int i = 0; i < 100; ++i) japanese += "字";
    EXPECT_EQ(CutUtf8(japanese, 259), japanese.substr(0, 258));
    // A four-byte character goes whole or not at all.
    EXPECT_EQ(CutUtf8(std::string(257, 'a') + "🌃", 259), std::string(257, 'a'));
    EXPECT_EQ(CutUtf8(std::string(255, 'a') + "🌃!", 259), std::string(255, 'a') + "🌃");
}

}  // namespace
}  // namespace duskpane
