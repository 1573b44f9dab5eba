// The real file system behind the file seam on Linux.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace duskpane {

// Folder listings and the existence test over POSIX calls.
//
// Entries come in readdir order, "." and ".." included. Attributes are
// derived: folders (symbolic links followed) get the folder bit, regular
// files the archive bit, a leading dot marks an entry hidden (not "." and
// ".."), and anything else (device, pipe, socket) is marked system so that a
// search never offers it as a picture. An entry whose file has gone between
// the listing and the look at it is left out. Names are compared exactly.
class LinuxFileSystem : public FileSystem {
public:
    // True for a regular file (symbolic links followed); a folder, a device
    // or a pipe is not a picture file.
    bool FileExists(const std::string& path) override;
    std::unique_ptr<FolderListing> ListFolder(const std::string& folder) override;
    char PathSeparator() const override { return '/'; }
    bool IgnoresCase() const override { return false; }
};

}  // namespace duskpane
