// The real file system behind the file seam on Linux.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace duskpane {

// Directory listings and the existence test over POSIX calls.
//
// A listing pattern is folder + '\' + wildcard: the folder is everything
// before the last backslash (a backslash is otherwise an ordinary name
// character here) and the wildcard everything after it, matched exactly
// ('*', '?', and "*.*" for every name, with or without a dot). Entries come
// in readdir order, "." and ".." included, whatever the attribute request
// (the caller applies its own attribute rule). Attributes are derived:
// folders (symbolic links followed) get the folder bit, regular files the
// archive bit, a leading dot marks an entry hidden (not "." and ".."), and
// anything else (device, pipe, socket) is marked system so that a search
// never offers it as a picture. A name longer than 259 bytes cannot be held
// in an entry and is left out rather than cut.
class LinuxFileSystem : public FileSystem {
public:
    // True for a regular file (symbolic links followed); a folder, a device
    // or a pipe is not a picture file.
    bool FileExists(const std::string& path) override;
    // Null when the pattern has no backslash, the folder is missing or
    // cannot be read, or nothing matches.
    std::unique_ptr<DirectoryListing> FindFirst(const std::string& pattern, uint32_t attributes,
                                                ffblk& first) override;
    char PathSeparator() const override { return '/'; }
};

}  // namespace duskpane
