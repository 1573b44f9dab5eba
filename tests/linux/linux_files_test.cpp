// Tests of the Linux directory listing and the picture scan on a real folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/linux_files.h"
#include "wallpaper/search_dir.h"

namespace duskpane {

namespace {

class LinuxFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "duskpane-files-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::string PathOf(const std::string& name) const { return folder_ + "/" + name; }
    void WriteFile(const std::string& name, const std::string& bytes = "") const {
        std::ofstream(PathOf(name), std::ios::binary) << bytes;
    }
    void MakeFolder(const std::string& name) const {
        ASSERT_EQ(mkdir(PathOf(name).c_str(), 0755), 0) << name;
    }
    // Every entry of the listing, by name.
    std::map<std::string, FolderEntry> ListAll(const std::string& folder) {
        std::map<std::string, FolderEntry> entries;
        FolderEntry entry;
        if (auto listing = files_.ListFolder(folder)) {
            while (listing->Next(entry)) entries[entry.name] = entry;
        }
        return entries;
    }
    // The entries of a search, by name.
    std::map<std::string, ffblk> Search(const std::string& pattern) {
        std::map<std::string, ffblk> entries;
        nsSearchDir search;
        search.Search(files_, pattern);
        for (int32_t i = 0; i < search.Count(); ++i) entries[search.Get(i)->ff_name] = *search.Get(i);
        return entries;
    }

    LinuxFileSystem files_;
    std::string folder_;
};

}  // namespace

TEST_F(LinuxFilesTest, ListingDerivesAttributesAndTheScanTakesPictures) {
    WriteFile("a.jpg", "12345");
    WriteFile("noext");
    WriteFile(".hidden.jpg");
    WriteFile("back\\slash.JPG");
    WriteFile("夏の海.jpeg");
    WriteFile("🌅.bmp");
    MakeFolder(".dark.jpg");
    MakeFolder("sub");
    WriteFile("sub/inner.jpg");
    ASSERT_EQ(mkfifo(PathOf("pipe.jpg").c_str(), 0644), 0);
    ASSERT_EQ(symlink(PathOf("sub").c_str(), PathOf("link.jpg").c_str()), 0);

    const std::map<std::string, FolderEntry> entries = ListAll(folder_);
    ASSERT_EQ(entries.size(), 12u);
    EXPECT_EQ(entries.at(".").attributes, kFaFolder);
    EXPECT_EQ(entries.at("..").attributes, kFaFolder);
    EXPECT_EQ(entries.at("a.jpg").attributes, kFaArchive);
    EXPECT_EQ(entries.at("a.jpg").size, 5u);
    EXPECT_EQ(entries.at("noext").attributes, kFaArchive);
    EXPECT_EQ(entries.at(".hidden.jpg").attributes, kFaArchive | kFaHidden);
    EXPECT_EQ(entries.at(".dark.jpg").attributes, kFaFolder | kFaHidden);
    EXPECT_EQ(entries.at("sub").attributes, kFaFolder);
    EXPECT_EQ(entries.at("link.jpg").attributes, kFaFolder);
    EXPECT_EQ(entries.at("pipe.jpg").attributes, kFaSystem);

    // Hidden folders are searched, hidden files and other kinds are not.
    std::vector<std::string> names;
    for (const auto& found : Search(folder_ + "\\*.*")) names.push_back(found.first);
    EXPECT_EQ(names, (std::vector<std::string>{".dark.jpg", "a.jpg", "back\\slash.JPG",
                                               "link.jpg", "noext", "sub", "夏の海.jpeg",
                                               "🌅.bmp"}));
    EXPECT_TRUE(Search(folder_ + "\\*.png").empty());
    EXPECT_TRUE(Search(folder_ + "/*.*").empty());
    EXPECT_EQ(Search(folder_ + "\\*.JPG").count("a.jpg"), 0u) << "names are matched exactly";

    PictureFileScan scan = ListPictureFiles(files_, folder_);
    EXPECT_EQ(scan.status, 0);
    std::sort(scan.paths.begin(), scan.paths.end());
    EXPECT_EQ(scan.paths,
              (std::vector<std::string>{PathOf(".dark.jpg"), PathOf("a.jpg"),
                                        PathOf("back\\slash.JPG"), PathOf("link.jpg"),
                                        PathOf("夏の海.jpeg"), PathOf("🌅.bmp")}));
    EXPECT_TRUE(files_.FileExists(PathOf("夏の海.jpeg")));
    EXPECT_FALSE(files_.FileExists(PathOf("sub")));
    EXPECT_FALSE(files_.FileExists(PathOf("pipe.jpg")));
    EXPECT_FALSE(files_.FileExists(PathOf("missing.jpg")));
}

TEST_F(LinuxFilesTest, PacksTheLastWriteTimeInLocalTime) {
    WriteFile("recent.jpg");
    WriteFile("old.jpg");
    struct tm local {};
    local.tm_year = 2021 - 1900;
    local.tm_mon = 5;
    local.tm_mday = 15;
    local.tm_hour = 10;
    local.tm_min = 20;
    local.tm_sec = 30;
    local.tm_isdst = -1;
    const struct timespec recent[2] = {{mktime(&local), 0}, {mktime(&local), 0}};
    const struct timespec old[2] = {{86400, 0}, {86400, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, PathOf("recent.jpg").c_str(), recent, 0), 0);
    ASSERT_EQ(utimensat(AT_FDCWD, PathOf("old.jpg").c_str(), old, 0), 0);

    const std::map<std::string, ffblk> entries = Search(folder_ + "\\*.jpg");
    EXPECT_EQ(entries.at("recent.jpg").ff_fdate, ((2021 - 1980) << 9) | (6 << 5) | 15);
    EXPECT_EQ(entries.at("recent.jpg").ff_ftime, (10 << 11) | (20 << 5) | 15);
    EXPECT_EQ(entries.at("old.jpg").ff_fdate, (1 << 5) | 1);
    EXPECT_EQ(entries.at("old.jpg").ff_ftime, 0);
}

TEST_F(LinuxFilesTest, FolderNamesWithBackslashesAndMissingFolders) {
    MakeFolder("we\\ird");
    WriteFile("we\\ird/x.jpg");
    const PictureFileScan scan = ListPictureFiles(files_, PathOf("we\\ird"));
    EXPECT_EQ(scan.status, 0);
    EXPECT_EQ(scan.paths, (std::vector<std::string>{PathOf("we\\ird/x.jpg")}));

    MakeFolder("empty");
    const PictureFileScan empty = ListPictureFiles(files_, PathOf("empty"));
    EXPECT_EQ(empty.status, 0);
    EXPECT_TRUE(empty.paths.empty());

    EXPECT_EQ(ListPictureFiles(files_, PathOf("missing")).status, -1);
    WriteFile("plain.jpg");
    EXPECT_EQ(ListPictureFiles(files_, PathOf("plain.jpg")).status, -1);
    EXPECT_EQ(ListPictureFiles(files_, folder_ + "/").paths,
              (std::vector<std::string>{folder_ + "//plain.jpg"}));
}

}  // namespace duskpane
