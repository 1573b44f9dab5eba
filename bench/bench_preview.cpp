// The open-picture dialog's preview: a 12-megapixel JPEG decoded and fitted
// into the preview box, against djpeg decoding the same file at 1/8 scale
// (the reduced decode a file browser's thumbnail takes); then the largest BMP
// the picture limits allow, whose preview is the longest work a selection
// can start, and how long that work delays the preview of the next one.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "platform/linux/linux_pictures.h"
#include "wallpaper/preview.h"

using namespace duskpane;

namespace {

// The bound for a 12-megapixel photo, in seconds of processor time.
constexpr double kTargetSeconds = 0.1;

// An uncompressed 24-bit BMP of the size, bottom-up, in grey stripes; false
// when it cannot be written.
bool WriteHugeBmp(const std::string& path, int width, int height) {
    const uint32_t stride = (uint32_t(width) * 3 + 3) & ~3u;
    const uint64_t size = 54 + uint64_t(stride) * uint64_t(height);
    uint8_t header[54] = {'B', 'M'};
    auto put32 = [&header](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) header[at + i] = uint8_t(v >> (8 * i));
    };
    put32(2, uint32_t(size));
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    header[26] = 1;
    header[28] = 24;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    std::vector<char> row(stride);
    for (int y = 0; y < height && out; ++y) {
        std::fill(row.begin(), row.end(), char(y & 0xFF));
        out.write(row.data(), std::streamsize(row.size()));
    }
    return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: bench_preview PICTURE.jpg WORK_FOLDER [RUNS]\n");
        return 2;
    }
    const std::string jpeg = argv[1];
    const std::string huge = std::string(argv[2]) + "/huge.bmp";
    const int runs = argc == 4 ? std::atoi(argv[3]) : 9;
    if (runs < 1) return 2;
    LinuxPictureDecoder decoder;

    const std::optional<PicturePreview> check = DecodePreview(decoder, jpeg, kPreviewBoxSide, kPreviewBoxSide);
    if (!check) {
        std::fprintf(stderr, "preview: FAIL, %s gives no preview\n", jpeg.c_str());
        return 1;
    }
    std::printf("preview: %s, %s, fitted to %d x %d in a %d-pixel box\n", jpeg.c_str(),
                PreviewCaption(*check).c_str(), check->pixels.Width(), check->pixels.Height(), kPreviewBoxSide);
    std::vector<bench::Sample> ours, peer;
    for (int r = 0; r < runs + 1; ++r) {
        bench::Timer timer;
        const std::optional<PicturePreview> preview = DecodePreview(decoder, jpeg, kPreviewBoxSide, kPreviewBoxSide);
        const bench::Sample sample = timer.Stop();
        const bench::Sample djpeg = bench::TimeProcess({"djpeg", "-scale", "1/8", "-outfile", "/dev/null", jpeg});
        if (r == 0 || !preview) continue;  // the first round warms the cache
        ours.push_back(sample);
        peer.push_back(djpeg);
    }
    const double cpu = bench::MedianCpu(ours);
    const bool met = cpu <= kTargetSeconds;
    std::printf("medians of %d runs\n", runs);
    std::printf("preview   wall: ours %7.1f ms | djpeg -scale 1/8 process %7.1f ms\n", bench::MedianWall(ours) * 1e3,
                bench::MedianWall(peer) * 1e3);
    std::printf("preview   cpu:  ours %7.1f ms | djpeg -scale 1/8 process %7.1f ms | target <= %.0f ms | %s\n",
                cpu * 1e3, bench::MedianCpu(peer) * 1e3, kTargetSeconds * 1e3, met ? "PASS" : "GAP");

    // The largest BMP allowed: its preview, and the next selection's preview
    // while that work is still in hand.
    const int width = 16384, height = 8192;
    if (!WriteHugeBmp(huge, width, height)) {
        std::fprintf(stderr, "preview: cannot write %s\n", huge.c_str());
        return 1;
    }
    bench::Timer hugeTimer;
    const std::optional<PicturePreview> hugePreview = DecodePreview(decoder, huge, kPreviewBoxSide, kPreviewBoxSide);
    const bench::Sample hugeSample = hugeTimer.Stop();
    if (!hugePreview) {
        std::fprintf(stderr, "preview: FAIL, %s gives no preview\n", huge.c_str());
        return 1;
    }
    // The wall time from a selection of the JPEG to its preview, with a
    // selection of the huge picture just before it, or none.
    auto nextPreview = [&](const std::string* before) {
        std::mutex mutex;
        std::condition_variable ready;
        bool delivered = false;
        PreviewWorker worker(decoder, [&] {
            std::lock_guard<std::mutex> lock(mutex);
            delivered = true;
            ready.notify_all();
        });
        if (before) {
            worker.Request(*before, kPreviewBoxSide, kPreviewBoxSide);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        bench::Timer timer;
        worker.Request(jpeg, kPreviewBoxSide, kPreviewBoxSide);
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [&] { return delivered; });
        return timer.Stop().wall;
    };
    const double alone = nextPreview(nullptr);
    const double afterHuge = nextPreview(&huge);
    std::remove(huge.c_str());
    std::printf("preview   %d x %d BMP (%.0f MB): %.0f ms wall, %.0f ms processor\n", width, height,
                (54.0 + double(width) * 3 * height) / 1e6, hugeSample.wall * 1e3, hugeSample.cpu * 1e3);
    std::printf("preview   the JPEG selected next: previewed after %.0f ms (%.0f ms with nothing in hand)\n",
                afterHuge * 1e3, alone * 1e3);
    return met ? 0 : 3;
}
