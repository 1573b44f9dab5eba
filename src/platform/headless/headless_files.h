// An in-memory directory tree behind the file seam, populated by tests.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace duskpane {

// Folders and files kept in memory. Paths look like the chosen separator's
// platform: with '\' (the default) "C:\Pictures\a.jpg" ('/' is accepted as
// well), with '/' "/home/user/a.jpg" (a backslash is then an ordinary name
// character). Empty path components and "." are ignored and ".." goes up a
// level, so "D:\\a.jpg" names the same file as "D:\a.jpg". Names are
// compared exactly, case included.
//
// Listings behave like a real file system's: entries in the order they were
// added, each folder's "." and ".." first (except a drive root such as "C:"
// with the '\' separator, which has none, as on Windows), each with the
// attributes it was given. With '\' wildcards ignore case (as Windows'
// do), with '/' they do not.
class HeadlessFileSystem : public FileSystem {
public:
    // The last write every entry reports.
    static constexpr LocalDateTime kWrittenAt{2020, 1, 1, 12, 0, 0};

    explicit HeadlessFileSystem(char separator = '\\');
    ~HeadlessFileSystem() override;

    HeadlessFileSystem(const HeadlessFileSystem&) = delete;
    HeadlessFileSystem& operator=(const HeadlessFileSystem&) = delete;

    // Only '\' and '/' are separators.
    void SetPathSeparator(char separator);

    // Adds a folder and any missing parent folders; the folder bit is always
    // set, other bits (hidden, system) as given. An existing folder takes the
    // new attributes. False when a part of the path is a file or the path is
    // empty.
    bool AddFolder(const std::string& path, uint32_t attributes = kFaFolder);
    // Adds or replaces a file with its contents, creating missing folders;
    // the reported size is the number of bytes. False when the path names a
    // folder, a part of it is a file or the path is empty.
    bool AddFile(const std::string& path, std::vector<uint8_t> contents = {},
                 uint32_t attributes = kFaArchive);
    // Makes a folder exist but fail to be listed (or readable again).
    bool SetUnreadable(const std::string& folderPath, bool unreadable = true);
    // Removes a file or a folder with everything in it.
    bool Remove(const std::string& path);

    // The contents of a file; nullopt for a folder or a missing path.
    std::optional<std::vector<uint8_t>> ReadFile(const std::string& path) const;
    bool FolderExists(const std::string& path) const;

    // True for a file only: a folder is not a file.
    bool FileExists(const std::string& path) override;
    std::unique_ptr<FolderListing> ListFolder(const std::string& folder) override;
    char PathSeparator() const override { return separator_; }
    bool IgnoresCase() const override { return separator_ == '\\'; }

private:
    struct Node;

    std::vector<std::string> SplitPath(const std::string& path) const;
    Node* Find(const std::string& path) const;
    Node* MakeFolders(const std::vector<std::string>& parts, size_t count);

    char separator_;
    std::unique_ptr<Node> root_;
};

}  // namespace duskpane
