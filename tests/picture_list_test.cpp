// Tests of the text holder, the owning list and the picture folder scan.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/headless/headless_files.h"
#include "wallpaper/nslist.h"
#include "wallpaper/search_dir.h"

namespace duskpane {

namespace {

// An item that records when it is released, to check ownership.
struct TrackedItem {
    TrackedItem(int itemId, std::vector<int>& log) : id(itemId), releases(log) {}
    ~TrackedItem() { releases.push_back(id); }
    int id;
    std::vector<int>& releases;
};

// An item whose release fails for odd ids.
struct FragileItem {
    int id;
    std::vector<int>* released;
};

// A file system that records the folders the scan lists in the in-memory one.
class RecordingFileSystem : public FileSystem {
public:
    explicit RecordingFileSystem(HeadlessFileSystem& inner) : inner_(inner) {}
    bool FileExists(const std::string& path) override { return inner_.FileExists(path); }
    std::unique_ptr<FolderListing> ListFolder(const std::string& folder) override {
        folders.push_back(folder);
        return inner_.ListFolder(folder);
    }
    char PathSeparator() const override { return inner_.PathSeparator(); }
    bool IgnoresCase() const override { return inner_.IgnoresCase(); }

    std::vector<std::string> folders;

private:
    HeadlessFileSystem& inner_;
};

std::vector<std::string> SearchNames(FileSystem& fileSystem, const std::string& pattern,
                                     int32_t& status) {
    nsSearchDir search;
    status = search.Search(fileSystem, pattern);
    std::vector<std::string> names;
    for (int32_t i = 0; i < search.Count(); ++i) {
        names.emplace_back(search.Get(i)->ff_name);
    }
    return names;
}

}  // namespace

template <>
struct nsListItemRelease<FragileItem> {
    static void Release(FragileItem* item) {
        const int id = item->id;
        if (id % 2 == 1) {
            throw std::runtime_error("release failed");
        }
        item->released->push_back(id);
        delete item;
    }
};

TEST(NsStringTest, HoldsOneCopyOrNothing) {
    const nsString empty{AnsiString()};
    EXPECT_EQ(empty.Data(), nullptr);
    EXPECT_EQ(empty.ToString(), "");

    const AnsiString path = "C:\\写真\\夏の海.jpg";
    const nsString held{path};
    ASSERT_NE(held.Data(), nullptr);
    EXPECT_NE(held.Data(), path.data());
    EXPECT_EQ(std::strlen(held.Data()), path.size());
    EXPECT_EQ(held.ToString(), path);
}

TEST(NsListTest, GrowsByStepsAndKeepsIndexes) {
    nsList<AnsiString> list;
    EXPECT_EQ(list.GrowBy(), 1024);
    EXPECT_EQ(list.Capacity(), 0);
    EXPECT_EQ(list.Items(), nullptr);
    EXPECT_TRUE(list.OwnsItems());

    std::vector<AnsiString*> added;
    for (int i = 0; i < 1025; ++i) {
        added.push_back(new AnsiString(std::to_string(i)));
        ASSERT_EQ(list.Add(added.back()), i);
        EXPECT_EQ(list.Capacity(), i < 1024 ? 1024 : 2048);
    }
    EXPECT_EQ(list.Count(), 1025);
    for (int i = 0; i < 1025; ++i) {
        ASSERT_EQ(list.Get(i), added[size_t(i)]);
    }
    for (int i = 1025; i < 2048; ++i) {
        ASSERT_EQ(list.Items()[i], nullptr) << "slot " << i;
    }
    EXPECT_EQ(list.Get(-1), nullptr);
    EXPECT_EQ(list.Get(list.Count()), nullptr);
    EXPECT_EQ(list.Add(nullptr), -1);
    EXPECT_EQ(list.Count(), 1025);

    // Clearing keeps the slot array; clearing again changes nothing.
    AnsiString* const* slots = list.Items();
    list.Clear();
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 2048);
    EXPECT_EQ(list.Get(0), nullptr);
    EXPECT_EQ(list.Items()[0], nullptr);
    EXPECT_EQ(list.Add(new AnsiString("again")), 0);
    EXPECT_EQ(list.Items(), slots);
}

TEST(NsListTest, GrowthStepAndFailedGrowth) {
    nsList<AnsiString> list;
    list.SetGrowBy(0);
    list.Add(new AnsiString("a"));
    EXPECT_EQ(list.GrowBy(), 1024);
    EXPECT_EQ(list.Capacity(), 1024);

    nsList<AnsiString> small;
    small.SetGrowBy(1);
    small.Add(new AnsiString("kept"));
    small.SetGrowBy(2147483647);  // the next growth would overflow the capacity
    AnsiString extra("extra");
    EXPECT_THROW(small.Add(&extra), std::bad_alloc);
    EXPECT_EQ(small.Count(), 1);
    EXPECT_EQ(small.Capacity(), 1);
    EXPECT_EQ(*small.Get(0), "kept");
}

TEST(NsListTest, ReleasesEachOwnedItemExactlyOnce) {
    std::vector<int> releases;
    {
        nsList<TrackedItem> list;
        for (int id = 0; id < 3; ++id) {
            list.Add(new TrackedItem(id, releases));
        }
        list.Clear();
        EXPECT_EQ(releases, (std::vector<int>{0, 1, 2}));
        list.Clear();
        list.Add(new TrackedItem(3, releases));
        list.Add(new TrackedItem(4, releases));
        EXPECT_EQ(releases.size(), 3u);
    }
    EXPECT_EQ(releases, (std::vector<int>{0, 1, 2, 3, 4}));

    // A list that does not own its items leaves them alone.
    TrackedItem outside(9, releases);
    {
        nsList<TrackedItem> borrowed;
        borrowed.SetOwnsItems(false);
        borrowed.Add(&outside);
        borrowed.Clear();
    }
    EXPECT_EQ(releases.size(), 5u);
}

TEST(NsListTest, ClearGoesOnWhenAReleaseFails) {
    std::vector<int> released;
    std::vector<FragileItem*> fragile;
    nsList<FragileItem> list;
    for (int id = 0; id < 5; ++id) {
        fragile.push_back(new FragileItem{id, &released});
        list.Add(fragile.back());
    }
    list.Clear();
    EXPECT_EQ(released, (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Items()[1], nullptr);
    delete fragile[1];
    delete fragile[3];
}

TEST(PictureNameTest, ExtensionFromTheLastDotIgnoringAsciiCase) {
    for (const char* name : {"photo.Jpeg", "photo.jpg", "a.b.BMP", "x.bmp", "夏.JPG", ".jpeg"}) {
        EXPECT_TRUE(IsPictureFileName(name)) << name;
    }
    for (const char* name : {"photo.jpe", "photo", "photo.jpg.txt", "photo.", "photo.jpg ",
                             "photo.ｊｐｇ", "photo．jpg", "bmp", "photo.gif"}) {
        EXPECT_FALSE(IsPictureFileName(name)) << name;
    }
}

TEST(ListingPatternTest, SplitsAtTheLastBackslashAndMatchesWildcards) {
    const auto split = SplitListingPattern("C:\\Pics\\*.*");
    ASSERT_TRUE(split.has_value());
    EXPECT_EQ(split->folder, "C:\\Pics");
    EXPECT_EQ(split->wildcard, "*.*");
    EXPECT_EQ(SplitListingPattern("D:\\\\*.*")->folder, "D:\\");
    EXPECT_FALSE(SplitListingPattern("/home/pics/*.*").has_value());

    for (const char* name : {"abc", "a.b.c", ".hidden", "夏の海"}) {
        EXPECT_TRUE(MatchWildcard("*.*", name, false)) << name;
    }
    EXPECT_TRUE(MatchWildcard("a?c.jpg", "a夏c.jpg", false));
    EXPECT_FALSE(MatchWildcard("a?c.jpg", "ac.jpg", false));
    EXPECT_TRUE(MatchWildcard("*.JPG", "x.jpg", true));
    EXPECT_FALSE(MatchWildcard("*.JPG", "x.jpg", false));
    EXPECT_TRUE(MatchWildcard("photo.*", "photo", false));
    EXPECT_FALSE(MatchWildcard("*.jpg", "x.jpeg", false));
    EXPECT_TRUE(MatchWildcard("*a*b", "xaxxab", false));
}

TEST(PictureScanTest, ListsPictureNamesOfOneFolderLevel) {
    HeadlessFileSystem files;
    ASSERT_TRUE(files.AddFile("C:\\Pics\\b.jpg", {1, 2, 3}));
    ASSERT_TRUE(files.AddFolder("C:\\Pics\\Summer.jpg"));
    ASSERT_TRUE(files.AddFile("C:\\Pics\\notes.txt"));
    ASSERT_TRUE(files.AddFile("C:\\Pics\\photo.Jpeg"));
    ASSERT_TRUE(files.AddFile("C:\\Pics\\hidden.jpg", {}, kFaArchive | kFaHidden));
    ASSERT_TRUE(files.AddFile("C:\\Pics\\system.bmp", {}, kFaSystem));
    ASSERT_TRUE(files.AddFolder("C:\\Pics\\Secret.jpg", kFaHidden | kFaSystem));
    ASSERT_TRUE(files.AddFolder("C:\\Pics\\Secret", kFaHidden));
    ASSERT_TRUE(files.AddFile("C:\\Pics\\Sub\\inner.jpg"));
    ASSERT_TRUE(files.AddFile("C:\\Pics\\a.b.BMP"));
    ASSERT_TRUE(files.AddFile("C:\\Pics\\noext"));

    int32_t status = -2;
    EXPECT_EQ(SearchNames(files, "C:\\Pics\\*.*", status),
              (std::vector<std::string>{"b.jpg", "Summer.jpg", "notes.txt", "photo.Jpeg",
                                        "Secret.jpg", "Secret", "Sub", "a.b.BMP", "noext"}));
    EXPECT_EQ(status, 0);

    RecordingFileSystem recording(files);
    const PictureFileScan scan = ListPictureFiles(recording, "C:\\Pics");
    EXPECT_EQ(scan.status, 0);
    EXPECT_EQ(scan.paths,
              (std::vector<std::string>{"C:\\Pics\\b.jpg", "C:\\Pics\\Summer.jpg",
                                        "C:\\Pics\\photo.Jpeg", "C:\\Pics\\Secret.jpg",
                                        "C:\\Pics\\a.b.BMP"}));
    EXPECT_EQ(recording.folders, (std::vector<std::string>{"C:\\Pics"}));
}

TEST(PictureScanTest, EmptyMissingAndUnreadableFolders) {
    HeadlessFileSystem files;
    ASSERT_TRUE(files.AddFolder("C:\\Empty"));
    ASSERT_TRUE(files.AddFile("C:\\Locked\\a.jpg"));
    ASSERT_TRUE(files.SetUnreadable("C:\\Locked"));
    ASSERT_TRUE(files.AddFile("C:\\Pics\\a.jpg"));

    PictureFileScan scan = ListPictureFiles(files, "C:\\Empty");
    EXPECT_EQ(scan.status, 0);
    EXPECT_TRUE(scan.paths.empty());
    EXPECT_EQ(ListPictureFiles(files, "C:\\Missing").status, -1);
    EXPECT_EQ(ListPictureFiles(files, "C:\\Pics\\a.jpg").status, -1);
    EXPECT_EQ(ListPictureFiles(files, "C:\\Locked").status, -1);

    // A refill starts from an empty list, and a failed one leaves it empty.
    nsSearchDir search;
    EXPECT_EQ(search.Search(files, "C:\\Pics\\*.*"), 0);
    EXPECT_EQ(search.Count(), 1);
    EXPECT_EQ(search.Search(files, "C:\\Missing\\*.*"), -1);
    EXPECT_EQ(search.Count(), 0);

    // A drive root has no "." entry: hidden files alone start no listing.
    ASSERT_TRUE(files.AddFile("E:\\pagefile.sys", {}, kFaHidden | kFaSystem));
    EXPECT_EQ(search.Search(files, "E:\\*.*"), -1);
}

TEST(PictureScanTest, FolderTextIsUsedUnchanged) {
    HeadlessFileSystem files;
    ASSERT_TRUE(files.AddFile("D:\\x.jpg"));
    RecordingFileSystem recording(files);
    const PictureFileScan scan = ListPictureFiles(recording, "D:\\");
    EXPECT_EQ(scan.status, 0);
    EXPECT_EQ(recording.folders, (std::vector<std::string>{"D:\\"}));
    EXPECT_EQ(scan.paths, (std::vector<std::string>{"D:\\\\x.jpg"}));
    EXPECT_TRUE(files.FileExists(scan.paths[0]));

    HeadlessFileSystem slashes('/');
    ASSERT_TRUE(slashes.AddFile("/home/user/Pictures/夏の海.JPG"));
    ASSERT_TRUE(slashes.AddFile("/home/user/Pictures/back\\slash.bmp"));
    EXPECT_EQ(ListPictureFiles(slashes, "/home/user/Pictures").paths,
              (std::vector<std::string>{"/home/user/Pictures/夏の海.JPG",
                                        "/home/user/Pictures/back\\slash.bmp"}));
}

TEST(HeadlessFileSystemTest, FilesFoldersAndListings) {
    HeadlessFileSystem files;
    ASSERT_TRUE(files.AddFile("C:\\Pics\\a.jpg", {7, 8, 9, 10}));
    EXPECT_TRUE(files.FileExists("C:\\Pics\\a.jpg"));
    EXPECT_TRUE(files.FileExists("C:/Pics/./a.jpg"));
    EXPECT_FALSE(files.FileExists("C:\\Pics"));
    EXPECT_FALSE(files.FileExists("C:\\Pics\\A.jpg"));
    EXPECT_TRUE(files.FolderExists("C:\\Pics"));
    EXPECT_EQ(files.ReadFile("C:\\Pics\\a.jpg"), (std::vector<uint8_t>{7, 8, 9, 10}));
    EXPECT_FALSE(files.ReadFile("C:\\Pics").has_value());
    EXPECT_FALSE(files.AddFile("C:\\Pics\\a.jpg\\b.jpg"));
    EXPECT_FALSE(files.AddFolder("C:\\Pics\\a.jpg"));

    // The search matches ignoring case as the Windows-like tree does, takes
    // the size, attributes and packed time of an entry, and leaves out a
    // name too long for an entry (259 bytes fit).
    const std::string longest = std::string(255, 'n') + ".jpg";
    ASSERT_TRUE(files.AddFile("C:\\Pics\\" + longest));
    ASSERT_TRUE(files.AddFile("C:\\Pics\\n" + longest));
    nsSearchDir search;
    EXPECT_EQ(search.Search(files, "C:\\Pics\\*.JPG"), 0);
    ASSERT_EQ(search.Count(), 2);
    EXPECT_STREQ(search.Get(0)->ff_name, "a.jpg");
    EXPECT_EQ(search.Get(1)->ff_name, longest);
    EXPECT_EQ(search.Get(0)->ff_fsize, 4u);
    EXPECT_EQ(search.Get(0)->ff_attrib, kFaArchive);
    EXPECT_EQ(search.Get(0)->ff_fdate, ((2020 - 1980) << 9) | (1 << 5) | 1);
    EXPECT_EQ(search.Get(0)->ff_ftime, 12 << 11);
    EXPECT_EQ(search.Search(files, "C:\\Pics\\*.png"), -1);
    EXPECT_TRUE(files.Remove("C:\\Pics\\a.jpg"));
    EXPECT_FALSE(files.FileExists("C:\\Pics\\a.jpg"));
}

}  // namespace duskpane
