// The real file system behind the file seam on Windows.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace duskpane {

// Directory listings and the existence test over the wide Win32 calls, so
// that paths in any script work (UTF-8 here, UTF-16 at the system).
//
// A listing pattern is folder + '\' + wildcard and goes to the system as it
// stands: the system matches the wildcard (ignoring case, "*.*" matching
// names with or without a dot) and reports "." and ".." where the folder has
// them, in the file system's order. Every matching entry comes back whatever
// the attribute request, as on the other backends: the caller applies its
// own attribute rule. An entry carries the DOS attribute bits (read-only,
// hidden, system, folder, archive), the size (folders 0, files beyond 4 GiB
// 4 GiB - 1), the last write time in local time packed the DOS way (times
// before 1980 or after 2107 become the nearest that can be packed), and the
// name in UTF-8, cut to 259 bytes at a character boundary when longer.
class Win32FileSystem : public FileSystem {
public:
    // True for a file; a folder or a missing path is not a file. Reserved
    // device names (NUL, CON) answer as files, as the system reports them;
    // the picture decoder refuses them.
    bool FileExists(const std::string& path) override;
    // Null when the pattern has no backslash, the folder is missing or cannot
    // be read, or nothing matches.
    std::unique_ptr<DirectoryListing> FindFirst(const std::string& pattern, uint32_t attributes,
                                                ffblk& first) override;
    char PathSeparator() const override { return '\\'; }
};

// A name in UTF-8 cut to at most maxBytes bytes without splitting a
// character: the cut moves back over continuation bytes.
std::string CutUtf8(const std::string& text, size_t maxBytes);

}  // namespace duskpane
