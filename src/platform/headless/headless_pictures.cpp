// Headless picture decoding, the file makers for tests and the blend library.
#include "platform/headless/headless_pictures.h"

#include <cstring>

#include "ui/bmp_reader.h"

namespace duskpane {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr uint32_t kBiRgb = 0;
constexpr char kJpegMagic[] = "DPJPEG01";
constexpr size_t kJpegMagicSize = 8;
constexpr size_t kJpegHeaderSize = kJpegMagicSize + 8;

uint32_t ReadU32(const std::vector<uint8_t>& data, size_t at) {
    return uint32_t(data[at]) | (uint32_t(data[at + 1]) << 8) | (uint32_t(data[at + 2]) << 16) |
           (uint32_t(data[at + 3]) << 24);
}

void PutU16(std::vector<uint8_t>& data, uint16_t value) {
    data.push_back(uint8_t(value));
    data.push_back(uint8_t(value >> 8));
}

void PutU32(std::vector<uint8_t>& data, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) data.push_back(uint8_t(value >> shift));
}

uint64_t BmpStride(uint64_t width, uint32_t bitsPerPixel) {
    return (width * bitsPerPixel / 8 + 3) & ~uint64_t(3);
}

}  // namespace

std::vector<uint8_t> MakeBmpFile(const Bitmap32& bitmap, int bitsPerPixel, bool topDown) {
    const uint32_t bits = bitsPerPixel == 32 ? 32u : 24u;
    const int width = bitmap.Width(), height = bitmap.Height();
    const uint64_t stride = BmpStride(uint64_t(width), bits);
    const uint32_t imageSize = uint32_t(stride * uint64_t(height));
    std::vector<uint8_t> data;
    data.reserve(kFileHeaderSize + kInfoHeaderSize + imageSize);
    data.push_back('B');
    data.push_back('M');
    PutU32(data, uint32_t(kFileHeaderSize + kInfoHeaderSize) + imageSize);
    PutU32(data, 0);
    PutU32(data, uint32_t(kFileHeaderSize + kInfoHeaderSize));
    PutU32(data, uint32_t(kInfoHeaderSize));
    PutU32(data, uint32_t(width));
    PutU32(data, uint32_t(topDown ? -height : height));
    PutU16(data, 1);
    PutU16(data, uint16_t(bits));
    PutU32(data, kBiRgb);
    PutU32(data, imageSize);
    PutU32(data, 2835);
    PutU32(data, 2835);
    PutU32(data, 0);
    PutU32(data, 0);
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        const size_t start = data.size();
        for (int x = 0; x < width; ++x) {
            const Pixel p = bitmap.At(x, y);
            data.push_back(BlueOf(p));
            data.push_back(GreenOf(p));
            data.push_back(RedOf(p));
            if (bits == 32) data.push_back(0xFF);
        }
        data.resize(start + stride, 0);
    }
    return data;
}

std::vector<uint8_t> MakeHeadlessJpegFile(const Bitmap32& bitmap) {
    std::vector<uint8_t> data(kJpegMagic, kJpegMagic + kJpegMagicSize);
    PutU32(data, uint32_t(bitmap.Width()));
    PutU32(data, uint32_t(bitmap.Height()));
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) {
            const Pixel p = bitmap.At(x, y);
            data.push_back(RedOf(p));
            data.push_back(GreenOf(p));
            data.push_back(BlueOf(p));
        }
    return data;
}

std::optional<DecodedPicture> DecodeHeadlessJpeg(const std::vector<uint8_t>& data, const PictureRequest& request) {
    if (data.size() < kJpegHeaderSize || std::memcmp(data.data(), kJpegMagic, kJpegMagicSize) != 0)
        return std::nullopt;
    const int64_t width = ReadU32(data, kJpegMagicSize);
    const int64_t height = ReadU32(data, kJpegMagicSize + 4);
    const std::optional<PicturePlan> plan = PlanPicture(width, height, request);
    if (!plan) return std::nullopt;
    // The stand-in is read whole, so the whole picture must be within the limits.
    if (!PictureSizeAllowed(width, height)) return std::nullopt;
    if (uint64_t(width) * uint64_t(height) * 3 > data.size() - kJpegHeaderSize) return std::nullopt;
    DecodedPicture picture{plan->width, plan->height, plan->left, plan->top, Bitmap32(plan->outWidth, plan->outHeight)};
    for (int j = 0; j < plan->outHeight; ++j) {
        const uint64_t y = uint64_t(plan->top) + uint64_t(j) * uint64_t(plan->step);
        Pixel* target = picture.pixels.Row(j);
        for (int i = 0; i < plan->outWidth; ++i) {
            const uint64_t x = uint64_t(plan->left) + uint64_t(i) * uint64_t(plan->step);
            const uint8_t* source = data.data() + kJpegHeaderSize + (y * uint64_t(width) + x) * 3;
            target[i] = MakeRgb(source[0], source[1], source[2]);
        }
    }
    return picture;
}

PictureRequest HeadlessPictureDecoder::LastRequest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastRequest_;
}

void HeadlessPictureDecoder::Asked(const PictureRequest& request) {
    ++decodeCount;
    std::lock_guard<std::mutex> lock(mutex_);
    lastRequest_ = request;
}

std::optional<DecodedPicture> HeadlessPictureDecoder::DecodeBmp(const std::string& path,
                                                               const PictureRequest& request) {
    Asked(request);
    const std::optional<std::vector<uint8_t>> data = files_.ReadFile(path);
    if (!data) return std::nullopt;
    MemoryBytes bytes(*data);
    return duskpane::DecodeBmp(bytes, request);
}

std::optional<DecodedPicture> HeadlessPictureDecoder::DecodeJpeg(const std::string& path,
                                                                const PictureRequest& request) {
    Asked(request);
    const std::optional<std::vector<uint8_t>> data = files_.ReadFile(path);
    if (!data) return std::nullopt;
    return DecodeHeadlessJpeg(*data, request);
}

namespace {

class HeadlessBlendFunction : public BlendFunction {
public:
    explicit HeadlessBlendFunction(HeadlessBlendLibrary& library) : library_(library) {}
    ~HeadlessBlendFunction() override { ++library_.releaseCount; }

    bool AlphaBlend(Bitmap32& destination, const Bitmap32& source, uint8_t constantAlpha) override {
        ++library_.blendCount;
        library_.lastAlpha = constantAlpha;
        return BlendBitmaps(destination, source, constantAlpha);
    }

private:
    HeadlessBlendLibrary& library_;
};

}  // namespace

std::unique_ptr<BlendFunction> HeadlessBlendLibrary::Load() {
    if (missing) return nullptr;
    ++loadCount;
    return std::make_unique<HeadlessBlendFunction>(*this);
}

}  // namespace duskpane
