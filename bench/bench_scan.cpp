// The scan of one wallpaper folder for picture files (ListPictureFiles over
// the Linux file system) against `find FOLDER -maxdepth 1` listing the same
// folder as a whole process, with the directory in the cache.
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_util.h"
#include "platform/linux/linux_files.h"
#include "wallpaper/search_dir.h"

using namespace duskpane;

namespace {

constexpr double kTarget = 2.0;

struct FolderCount {
    long entries = 0;   // without "." and ".."
    long pictures = 0;  // names ending .bmp, .jpg or .jpeg in any case
};

bool EndsWithIgnoringCase(const std::string& name, const std::string& ending) {
    if (name.size() < ending.size()) return false;
    for (size_t i = 0; i < ending.size(); ++i) {
        char c = name[name.size() - ending.size() + i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != ending[i]) return false;
    }
    return true;
}

// The folder counted by a plain readdir loop, for checking the scan.
FolderCount CountFolder(const std::string& folder) {
    FolderCount count;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return count;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || name[0] == '.') continue;
        ++count.entries;
        if (EndsWithIgnoringCase(name, ".jpg") || EndsWithIgnoringCase(name, ".jpeg") ||
            EndsWithIgnoringCase(name, ".bmp"))
            ++count.pictures;
    }
    closedir(dir);
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: bench_scan FOLDER [RUNS]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int runs = argc == 3 ? std::atoi(argv[2]) : 9;
    if (runs < 1) return 2;

    LinuxFileSystem fileSystem;
    const FolderCount expected = CountFolder(folder);
    const PictureFileScan scan = ListPictureFiles(fileSystem, folder);
    bool pathsRight = true;
    for (const AnsiString& path : scan.paths)
        pathsRight = pathsRight && path.compare(0, folder.size() + 1, folder + "/") == 0;
    if (scan.status != 0 || long(scan.paths.size()) != expected.pictures || !pathsRight) {
        std::fprintf(stderr, "scan: FAIL, status %d, %zu picture paths listed, %ld expected\n", scan.status,
                     scan.paths.size(), expected.pictures);
        return 1;
    }
    std::printf("scan: %s, %ld entries, %ld picture files listed\n", folder.c_str(), expected.entries,
                expected.pictures);

    std::vector<bench::Sample> ours;
    std::vector<bench::Sample> peer;
    std::vector<double> plain;
    size_t sink = 0;
    for (int r = 0; r < runs + 1; ++r) {
        bench::Timer timer;
        sink += ListPictureFiles(fileSystem, folder).paths.size();
        const bench::Sample ourTime = timer.Stop();
        timer = bench::Timer();
        sink += size_t(CountFolder(folder).pictures);
        const bench::Sample plainTime = timer.Stop();
        const bench::Sample findTime = bench::TimeProcess({"find", folder, "-maxdepth", "1"});
        if (r > 0) {  // the first round warms the cache
            ours.push_back(ourTime);
            peer.push_back(findTime);
            plain.push_back(plainTime.cpu);
        }
    }
    if (sink == 1) std::printf(" ");
    std::printf("parts (median cpu ms): a plain readdir loop in this process %.1f\n", bench::Median(plain) * 1e3);
    std::printf("medians of %d runs\n", runs);
    const bool met = bench::Report("scan", "ms", 1e3, ours, peer, "find -maxdepth 1", kTarget);
    return met ? 0 : 3;
}
