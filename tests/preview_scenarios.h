// The open-picture dialog's preview on every backend's decoders: the size it
// is fitted to, files that give none, and requests abandoned by newer ones.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/headless/headless_pictures.h"
#include "wallpaper/preview.h"

namespace duskpane::preview_test {

using Bytes = std::vector<uint8_t>;

constexpr Pixel kQuadrants[4] = {MakeRgb(255, 0, 0), MakeRgb(0, 255, 0), MakeRgb(0, 0, 255),
                                 MakeRgb(255, 255, 255)};

// Four quadrants: red, green over blue, white (the JPEG fixture's picture).
inline Bitmap32 Quadrants(int width, int height) {
    Bitmap32 picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.Set(x, y, kQuadrants[(y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1)]);
    return picture;
}

inline bool Near(Pixel a, Pixel b, int tolerance) {
    return std::abs(RedOf(a) - RedOf(b)) <= tolerance && std::abs(GreenOf(a) - GreenOf(b)) <= tolerance &&
           std::abs(BlueOf(a) - BlueOf(b)) <= tolerance;
}

// The middle of each quadrant of a preview shows that quadrant's colour.
inline void ExpectQuadrants(const Bitmap32& preview, int tolerance) {
    const int w = preview.Width(), h = preview.Height();
    const int xs[2] = {w / 4, w - 1 - w / 4}, ys[2] = {h / 4, h - 1 - h / 4};
    for (int q = 0; q < 4; ++q)
        EXPECT_TRUE(Near(preview.At(xs[q % 2], ys[q / 2]), kQuadrants[q], tolerance))
            << "quadrant " << q << " of " << w << " x " << h << " reads " << std::hex
            << preview.At(xs[q % 2], ys[q / 2]);
}

// A decoder that holds the decodes of files named "held..." at their start
// until the gate opens, and tells which files it was asked for.
class GatedDecoder : public PictureDecoder {
public:
    explicit GatedDecoder(PictureDecoder& inner) : inner_(inner) {}

    std::optional<DecodedPicture> DecodeBmp(const std::string& path, const PictureRequest& request) override {
        Enter(path);
        return Leave(inner_.DecodeBmp(path, request));
    }
    std::optional<DecodedPicture> DecodeJpeg(const std::string& path, const PictureRequest& request) override {
        Enter(path);
        return Leave(inner_.DecodeJpeg(path, request));
    }

    void Open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    // Waits until that many decodes have started; false after five seconds.
    bool WaitStarted(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return asked_.size() >= count; });
    }
    std::vector<std::string> Asked() {
        std::lock_guard<std::mutex> lock(mutex_);
        return asked_;
    }
    int Finished() const { return finished_; }

private:
    void Enter(const std::string& path) {
        std::unique_lock<std::mutex> lock(mutex_);
        asked_.push_back(path);
        changed_.notify_all();
        if (path.find("held") != std::string::npos) changed_.wait(lock, [this] { return open_; });
    }
    std::optional<DecodedPicture> Leave(std::optional<DecodedPicture> decoded) {
        ++finished_;
        return decoded;
    }

    PictureDecoder& inner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    std::vector<std::string> asked_;
    std::atomic<int> finished_{0};
};

// Counts the results a worker says are ready.
struct ReadyCounter {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;

    std::function<void()> Callback() {
        return [this] {
            std::lock_guard<std::mutex> lock(mutex);
            ++count;
            changed.notify_all();
        };
    }
    bool WaitFor(int wanted) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), [&] { return count >= wanted; });
    }
    int Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return count;
    }
};

#ifdef DUSKPANE_SOURCE_DIR
// The probe's files in a folder of its own on the real file system, for the
// backends whose decoders read real files; the JPEG is the fixture.
class FolderProbe {
public:
    FolderProbe() {
        const auto base = std::filesystem::temp_directory_path();
        for (unsigned n = unsigned(std::chrono::steady_clock::now().time_since_epoch().count());; ++n) {
            folder_ = base / ("duskpane-preview-" + std::to_string(n));
            if (std::filesystem::create_directory(folder_)) break;
        }
    }
    ~FolderProbe() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    FolderProbe(const FolderProbe&) = delete;
    FolderProbe& operator=(const FolderProbe&) = delete;

    std::string Put(const std::string& name, const Bytes& bytes) {
        std::ofstream(folder_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return Missing(name);
    }
    std::string PutFolder(const std::string& name) {
        std::filesystem::create_directory(folder_ / name);
        return Missing(name);
    }
    std::string Missing(const std::string& name) const { return (folder_ / name).string(); }
    std::string PutQuadrantsJpeg(const std::string& name) {
        std::ifstream in(std::string(DUSKPANE_SOURCE_DIR) + "/tests/fixtures/quadrants_baseline.jpg",
                         std::ios::binary);
        return Put(name, Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }

private:
    std::filesystem::path folder_;
};
#endif

// A probe offers: PictureDecoder& Decoder(); std::string Put(name, bytes),
// the path of a new file holding the bytes; PutFolder(name) and
// Missing(name), the paths of a new folder and of nothing; PutQuadrantsJpeg(
// name), a 16 x 16 JPEG of Quadrants; ThreadStart() and ThreadEnd(), what
// a thread other than the test's needs before and after decoding.
template <typename Probe>
class PreviewScenarios : public ::testing::Test {
protected:
    std::string PutBmp(const std::string& name, const Bitmap32& picture) {
        return probe.Put(name, MakeBmpFile(picture));
    }

    Probe probe;
};

TYPED_TEST_SUITE_P(PreviewScenarios);

TYPED_TEST_P(PreviewScenarios, APictureIsFittedIntoTheBoxAndCaptionedWithItsOwnSize) {
    struct Case {
        int width, height, boxWidth, boxHeight, fittedWidth, fittedHeight;
    };
    const Case cases[] = {
        {300, 100, 64, 64, 64, 21},  {100, 300, 64, 64, 21, 64},    {40, 30, 64, 64, 40, 30},
        {64, 64, 64, 64, 64, 64},    {301, 200, 150, 150, 150, 100}, {1000, 2, 100, 100, 100, 1},
        {90, 60, 45, 100, 45, 30},
    };
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height) + ".bmp";
        const std::string path = this->PutBmp(name, Quadrants(c.width, c.height));
        const std::optional<PicturePreview> preview =
            DecodePreview(this->probe.Decoder(), path, c.boxWidth, c.boxHeight);
        ASSERT_TRUE(preview) << name;
        EXPECT_EQ(PreviewSize({preview->pixels.Width(), preview->pixels.Height()}),
                  PreviewSize({c.fittedWidth, c.fittedHeight}))
            << name << " in " << c.boxWidth << " x " << c.boxHeight;
        EXPECT_EQ(PreviewCaption(*preview), std::to_string(c.width) + " × " + std::to_string(c.height));
        if (c.fittedHeight > 2) ExpectQuadrants(preview->pixels, 0);
    }

    const std::optional<PicturePreview> jpeg =
        DecodePreview(this->probe.Decoder(), this->probe.PutQuadrantsJpeg("quadrants.JPG"), 8, 8);
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(PreviewCaption(*jpeg), "16 × 16");
    EXPECT_EQ(jpeg->pixels.Width(), 8);
    ExpectQuadrants(jpeg->pixels, 8);
}

TYPED_TEST_P(PreviewScenarios, DamagedAndOddFilesGiveNoPreview) {
    const Bytes good = MakeBmpFile(Quadrants(8, 8));
    Bytes claimsHuge = good;
    claimsHuge[18] = 0xE8, claimsHuge[19] = 0xFD;  // 65000 wide
    claimsHuge[22] = 0xE8, claimsHuge[23] = 0xFD;  // and high
    Bytes noise(4096);
    uint32_t state = 12345;
    for (uint8_t& byte : noise) byte = uint8_t((state = state * 1103515245u + 12345u) >> 24);
    noise[0] = 0xFF, noise[1] = 0xD8;  // a JPEG's start, then nothing of one
    auto& probe = this->probe;
    const std::pair<std::string, std::string> cases[] = {
        {"an empty file", probe.Put("empty.bmp", {})},
        {"headers cut short", probe.Put("short.bmp", Bytes(good.begin(), good.begin() + 30))},
        {"a size beyond the limits", probe.Put("huge.bmp", claimsHuge)},
        {"noise after a JPEG's start", probe.Put("noise.jpg", noise)},
        {"a picture under another extension", probe.Put("picture.png", good)},
        {"a picture without an extension", probe.Put("picture", good)},
        {"a folder named like a picture", probe.PutFolder("folder.jpg")},
        {"a missing file", probe.Missing("missing.bmp")},
        {"no path at all", ""},
    };
    for (const auto& [what, path] : cases)
        EXPECT_FALSE(DecodePreview(probe.Decoder(), path, 64, 64)) << what;
}

TYPED_TEST_P(PreviewScenarios, ANewRequestAbandonsTheOnesBefore) {
    GatedDecoder decoder(this->probe.Decoder());
    ReadyCounter ready;
    const std::string held = this->PutBmp("held.bmp", Quadrants(40, 20));
    const std::string alsoHeld = this->PutBmp("held-too.bmp", Quadrants(40, 20));
    const std::string second = this->PutBmp("second.bmp", Quadrants(30, 30));
    const std::string third = this->PutBmp("third.bmp", Quadrants(30, 30));
    const std::string fourth = this->PutBmp("fourth.bmp", Quadrants(20, 40));
    PreviewWorker worker(decoder, ready.Callback(), this->probe.ThreadStart(), this->probe.ThreadEnd());

    // A picture whose decode takes long keeps nobody waiting.
    worker.Request(held, 10, 10);
    ASSERT_TRUE(decoder.WaitStarted(1));
    EXPECT_FALSE(worker.Take()) << "nothing is ready while the decode is held";
    worker.Request(second, 10, 10);
    ASSERT_TRUE(ready.WaitFor(1));
    std::optional<PreviewWorker::Result> result = worker.Take();
    ASSERT_TRUE(result && result->preview);
    EXPECT_EQ(result->path, second);
    EXPECT_EQ(PreviewCaption(*result->preview), "30 × 30");
    EXPECT_FALSE(worker.Take()) << "a result is taken once";

    // With both decodes held, of the requests that wait only the newest is
    // decoded, and only its result comes.
    worker.Request(alsoHeld, 10, 10);
    ASSERT_TRUE(decoder.WaitStarted(3));
    worker.Request(third, 10, 10);
    const uint64_t newest = worker.Request(fourth, 10, 10);
    decoder.Open();
    ASSERT_TRUE(ready.WaitFor(2));
    result = worker.Take();
    ASSERT_TRUE(result && result->preview);
    EXPECT_EQ(result->generation, newest);
    EXPECT_EQ(result->path, fourth);
    EXPECT_EQ(PreviewSize({result->preview->pixels.Width(), result->preview->pixels.Height()}), PreviewSize({5, 10}));
    EXPECT_EQ(decoder.Asked(), (std::vector<std::string>{held, second, alsoHeld, fourth}));

    // A request abandoned outright is never delivered (its result may have
    // been told ready just before); a file that gives no preview is told as
    // such.
    worker.Request(second, 10, 10);
    worker.Abandon();
    const std::string gone = this->probe.Missing("gone.bmp");
    worker.Request(gone, 10, 10);
    for (int wait = 0; wait < 2500 && !(result = worker.Take()); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->path, gone);
    EXPECT_FALSE(result->preview);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(worker.Take());
}

TYPED_TEST_P(PreviewScenarios, TheWorkerEndsAfterTheDecodeInHandWithoutDeliveringIt) {
    GatedDecoder decoder(this->probe.Decoder());
    ReadyCounter ready;
    const std::string path = this->PutBmp("held.bmp", Quadrants(16, 16));
    std::mutex mutex;
    std::multiset<std::thread::id> started, ended;
    auto record = [&mutex](std::multiset<std::thread::id>& ids, const std::function<void()>& step) {
        return [&mutex, &ids, step] {
            if (step) step();
            std::lock_guard<std::mutex> lock(mutex);
            ids.insert(std::this_thread::get_id());
        };
    };
    std::thread opener;
    {
        PreviewWorker worker(decoder, ready.Callback(), record(started, this->probe.ThreadStart()),
                             record(ended, this->probe.ThreadEnd()));
        worker.Request(path, 8, 8);
        ASSERT_TRUE(decoder.WaitStarted(1));
        opener = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            decoder.Open();
        });
    }
    opener.join();
    EXPECT_EQ(decoder.Finished(), 1);
    EXPECT_EQ(ready.Count(), 0);
    EXPECT_EQ(started.size(), 2u) << "each of the worker's threads is set up";
    EXPECT_EQ(started, ended) << "and finished on itself";
    EXPECT_EQ(started.count(std::this_thread::get_id()), 0u);
}

REGISTER_TYPED_TEST_SUITE_P(PreviewScenarios, APictureIsFittedIntoTheBoxAndCaptionedWithItsOwnSize,
                            DamagedAndOddFilesGiveNoPreview, ANewRequestAbandonsTheOnesBefore,
                            TheWorkerEndsAfterTheDecodeInHandWithoutDeliveringIt);

}  // namespace duskpane::preview_test
