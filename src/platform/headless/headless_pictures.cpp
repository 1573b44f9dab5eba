// Headless picture decoding, the file makers for tests and the software blend.
#include "platform/headless/headless_pictures.h"

#include <cstring>

namespace duskpane {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr char kJpegMagic[] = "DPJPEG01";
constexpr size_t kJpegMagicSize = 8;
constexpr size_t kJpegHeaderSize = kJpegMagicSize + 8;

uint16_t ReadU16(const std::vector<uint8_t>& data, size_t at) {
    return uint16_t(data[at] | (data[at + 1] << 8));
}

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

bool SideFits(int64_t side) { return side >= 1 && side <= kHeadlessPictureMaxSide; }

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

std::optional<Bitmap32> ParseBmp(const std::vector<uint8_t>& data) {
    if (data.size() < kFileHeaderSize + kInfoHeaderSize) return std::nullopt;
    if (data[0] != 'B' || data[1] != 'M') return std::nullopt;
    const uint64_t pixelOffset = ReadU32(data, 10);
    const uint64_t infoSize = ReadU32(data, 14);
    if (infoSize < kInfoHeaderSize || kFileHeaderSize + infoSize > data.size()) return std::nullopt;
    const int64_t width = int32_t(ReadU32(data, 18));
    const int64_t rawHeight = int32_t(ReadU32(data, 22));
    const uint16_t planes = ReadU16(data, 26);
    const uint16_t bits = ReadU16(data, 28);
    const uint32_t compression = ReadU32(data, 30);
    if (planes != 1 || (bits != 24 && bits != 32)) return std::nullopt;
    if (compression == kBiBitfields && bits == 32) {
        // Bit fields are accepted when they name the plain layout B, G, R, X.
        const size_t masks = kFileHeaderSize + kInfoHeaderSize;
        if (data.size() < masks + 12 || ReadU32(data, masks) != 0x00FF0000u ||
            ReadU32(data, masks + 4) != 0x0000FF00u || ReadU32(data, masks + 8) != 0x000000FFu)
            return std::nullopt;
    } else if (compression != kBiRgb) {
        return std::nullopt;
    }
    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -rawHeight : rawHeight;
    if (!SideFits(width) || !SideFits(height)) return std::nullopt;
    const uint64_t stride = BmpStride(uint64_t(width), bits);
    if (pixelOffset < kFileHeaderSize + kInfoHeaderSize || pixelOffset > data.size() ||
        stride * uint64_t(height) > data.size() - pixelOffset)
        return std::nullopt;

    const size_t bytesPerPixel = bits / 8;
    Bitmap32 bitmap{int(width), int(height)};
    for (int64_t row = 0; row < height; ++row) {
        const int64_t y = topDown ? row : height - 1 - row;
        const uint8_t* source = data.data() + pixelOffset + uint64_t(row) * stride;
        Pixel* target = bitmap.Row(int(y));
        for (int64_t x = 0; x < width; ++x, source += bytesPerPixel)
            target[x] = MakeRgb(source[2], source[1], source[0]);
    }
    return bitmap;
}

std::optional<Bitmap32> ParseHeadlessJpeg(const std::vector<uint8_t>& data) {
    if (data.size() < kJpegHeaderSize || std::memcmp(data.data(), kJpegMagic, kJpegMagicSize) != 0)
        return std::nullopt;
    const int64_t width = ReadU32(data, kJpegMagicSize);
    const int64_t height = ReadU32(data, kJpegMagicSize + 4);
    if (!SideFits(width) || !SideFits(height)) return std::nullopt;
    if (uint64_t(width) * uint64_t(height) * 3 > data.size() - kJpegHeaderSize) return std::nullopt;
    Bitmap32 bitmap{int(width), int(height)};
    const uint8_t* source = data.data() + kJpegHeaderSize;
    for (int y = 0; y < int(height); ++y) {
        Pixel* target = bitmap.Row(y);
        for (int x = 0; x < int(width); ++x, source += 3)
            target[x] = MakeRgb(source[0], source[1], source[2]);
    }
    return bitmap;
}

std::optional<Bitmap32> HeadlessPictureDecoder::DecodeBmp(const std::string& path) {
    ++decodeCount;
    const std::optional<std::vector<uint8_t>> data = files_.ReadFile(path);
    if (!data) return std::nullopt;
    return ParseBmp(*data);
}

std::optional<Bitmap32> HeadlessPictureDecoder::DecodeJpeg(const std::string& path) {
    ++decodeCount;
    const std::optional<std::vector<uint8_t>> data = files_.ReadFile(path);
    if (!data) return std::nullopt;
    return ParseHeadlessJpeg(*data);
}

namespace {

class HeadlessBlendFunction : public BlendFunction {
public:
    explicit HeadlessBlendFunction(HeadlessBlendLibrary& library) : library_(library) {}
    ~HeadlessBlendFunction() override { ++library_.releaseCount; }

    bool AlphaBlend(Bitmap32& destination, const Bitmap32& source, uint8_t constantAlpha) override {
        ++library_.blendCount;
        library_.lastAlpha = constantAlpha;
        if (destination.Width() != source.Width() || destination.Height() != source.Height()) return false;
        const unsigned alpha = constantAlpha;
        auto mix = [alpha](unsigned src, unsigned dst) {
            return uint8_t((src * alpha + dst * (255u - alpha) + 127u) / 255u);
        };
        for (int y = 0; y < source.Height(); ++y) {
            const Pixel* from = source.Row(y);
            Pixel* to = destination.Row(y);
            for (int x = 0; x < source.Width(); ++x)
                to[x] = MakeRgb(mix(RedOf(from[x]), RedOf(to[x])), mix(GreenOf(from[x]), GreenOf(to[x])),
                                mix(BlueOf(from[x]), BlueOf(to[x])));
        }
        return true;
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
