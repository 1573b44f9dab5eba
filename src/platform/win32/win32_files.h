// The real file system behind the file seam on Windows.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace duskpane {

// Folder listings and the existence test over the wide Win32 calls, so that
// paths in any script work (UTF-8 here, UTF-16 at the system).
//
// A folder is listed as the system lists folder + "\*": every entry, "." and
// ".." where the folder has them, in the file system's order. An entry
// carries its name in UTF-8, its size, its last write time in local time
// (with the daylight rule of that date) and the DOS attribute bits
// (read-only, hidden, system, volume, folder, archive). The system's
// wildcards ignore case.
class Win32FileSystem : public FileSystem {
public:
    // True for a file; a folder or a missing path is not a file. Reserved
    // device names (NUL, CON) answer as files, as the system reports them;
    // the picture decoder refuses them.
    bool FileExists(const std::string& path) override;
    std::unique_ptr<FolderListing> ListFolder(const std::string& folder) override;
    char PathSeparator() const override { return '\\'; }
    bool IgnoresCase() const override { return true; }
};

}  // namespace duskpane
