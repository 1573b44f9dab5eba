// Loading a large JPEG wallpaper for a screen and blending it into black (the
// Linux picture decoder keeping the part the centred picture shows, then the
// constant-alpha blend at 128) against libjpeg-turbo's own djpeg decoding the
// same file whole, as a whole process.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "bench_util.h"
#include "platform/linux/linux_blend.h"
#include "platform/linux/linux_pictures.h"
#include "wallpaper/picture.h"

using namespace duskpane;

namespace {

constexpr double kTarget = 0.8;
constexpr uint8_t kAlpha = 128;

// The file decoded to RGB rows straight through libjpeg, the way djpeg
// drives it; each row is handed to the visitor. False when the file does not
// decode (the default error handler ends the process for a broken file,
// which is fine for a file this program generated).
template <class Visit>
bool DecodeRows(const std::vector<uint8_t>& data, int& width, int& height, Visit visit) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    width = int(info.output_width);
    height = int(info.output_height);
    std::vector<uint8_t> row(size_t(width) * 3);
    JSAMPROW rows[1] = {row.data()};
    while (info.output_scanline < info.output_height) {
        const int y = int(info.output_scanline);
        jpeg_read_scanlines(&info, rows, 1);
        visit(y, row.data());
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> data;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[65536];
        size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) data.insert(data.end(), chunk, chunk + got);
        std::fclose(file);
    }
    return data;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: bench_wallpaper PICTURE.jpg [RUNS [SCREEN_WIDTH SCREEN_HEIGHT]]\n");
        return 2;
    }
    const std::string path = argv[1];
    const int runs = argc >= 3 ? std::atoi(argv[2]) : 9;
    const PictureRequest screen =
        PictureRequest::Centred(argc == 5 ? std::atoi(argv[3]) : 1920, argc == 5 ? std::atoi(argv[4]) : 1080);
    if (runs < 1 || screen.width < 1 || screen.height < 1) return 2;

    LinuxPictureDecoder decoder;
    LinuxBlendLibrary library;
    std::unique_ptr<BlendFunction> blend = library.Load();
    const std::vector<uint8_t> data = ReadFile(path);

    // The blended part must be exactly libjpeg's pixels of that part at alpha 128.
    Picture picture;
    if (!LoadPicture(decoder, path, screen, picture) || picture.kind != PictureKind::Jpeg) {
        std::fprintf(stderr, "wallpaper: FAIL, %s does not load\n", path.c_str());
        return 1;
    }
    const Bitmap32 blended = BlendIntoBlack(*blend, picture, kAlpha);
    int width = 0;
    int height = 0;
    long long wrong = 0;
    const bool decoded = DecodeRows(data, width, height, [&](int y, const uint8_t* rgb) {
        const int row = y - picture.top;
        if (row < 0 || row >= blended.Height()) return;
        rgb += std::size_t(picture.left) * 3;
        for (int x = 0; x < blended.Width(); ++x, rgb += 3) {
            const Pixel expected = MakeRgb(BlendChannel(rgb[0], 0, kAlpha), BlendChannel(rgb[1], 0, kAlpha),
                                           BlendChannel(rgb[2], 0, kAlpha));
            if (blended.At(x, row) != expected) ++wrong;
        }
    });
    if (!decoded || picture.width != width || picture.height != height || wrong != 0) {
        std::fprintf(stderr, "wallpaper: FAIL, the part %d x %d of %d x %d differs from libjpeg's in %lld pixels\n",
                     blended.Width(), blended.Height(), width, height, wrong);
        return 1;
    }
    std::printf("wallpaper: %s, %d x %d (%.1f megapixels, %zu bytes) on a %d x %d screen: the part kept is "
                "%d x %d at (%d, %d), alpha %d; pixels checked against libjpeg\n",
                path.c_str(), width, height, double(width) * height / 1e6, data.size(), screen.width, screen.height,
                blended.Width(), blended.Height(), picture.left, picture.top, kAlpha);

    // Ours: the load and blend, as the program does it on a change of
    // picture; then its parts, libjpeg whole in this process, and djpeg.
    std::vector<bench::Sample> ours;
    std::vector<bench::Sample> peer;
    std::vector<double> decodeOnly;
    std::vector<double> blendOnly;
    std::vector<double> rawDecode;
    size_t sink = 0;
    rusage usage{};
    long peakKb = 0;
    for (int r = 0; r < runs + 1; ++r) {
        bench::Timer timer;
        {
            Picture loaded;
            LoadPicture(decoder, path, screen, loaded);
            const Bitmap32 result = BlendIntoBlack(*blend, loaded, kAlpha);
            sink += result.Pixels()[result.Pixels().size() / 2];
        }
        const bench::Sample whole = timer.Stop();
        getrusage(RUSAGE_SELF, &usage);
        peakKb = usage.ru_maxrss;

        timer = bench::Timer();
        std::optional<DecodedPicture> part = decoder.DecodeJpeg(path, screen);
        const bench::Sample decode = timer.Stop();
        part.reset();
        timer = bench::Timer();
        {
            const Bitmap32 result = BlendIntoBlack(*blend, picture, kAlpha);
            sink += result.Pixels()[0];
        }
        const bench::Sample blendTime = timer.Stop();

        timer = bench::Timer();
        int w = 0;
        int h = 0;
        DecodeRows(data, w, h, [&](int, const uint8_t* rgb) { sink += rgb[0]; });
        const bench::Sample raw = timer.Stop();

        const bench::Sample djpeg = bench::TimeProcess({"djpeg", "-outfile", "/dev/null", path});
        if (r > 0) {  // the first round warms the cache and the allocator
            ours.push_back(whole);
            peer.push_back(djpeg);
            decodeOnly.push_back(decode.cpu);
            blendOnly.push_back(blendTime.cpu);
            rawDecode.push_back(raw.cpu);
        }
    }
    if (sink == 1) std::printf(" ");
    std::printf("parts (median cpu ms): DecodeJpeg of the part %.1f (libjpeg whole, rows in this process %.1f), "
                "BlendIntoBlack %.1f; peak RSS of this process after the program's loads %.1f MiB\n",
                bench::Median(decodeOnly) * 1e3, bench::Median(rawDecode) * 1e3, bench::Median(blendOnly) * 1e3,
                double(peakKb) / 1024);
    std::printf("medians of %d runs\n", runs);
    const bool met = bench::Report("wallpaper", "ms", 1e3, ours, peer, "djpeg process (whole decode)", kTarget);
    return met ? 0 : 3;
}
