// The BMP reader: every size and offset in the headers is checked against the data.
#include <algorithm>
#include <bit>
#include <new>
#include <vector>

#include "platform/linux/linux_pictures.h"

namespace duskpane {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;

// One colour channel held in a bit field of a 16- or 32-bit pixel.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;  // position of the lowest bit
    int width = 0;  // number of bits

    uint8_t Extract(uint32_t value) const {
        const uint32_t raw = (value & mask) >> shift;
        if (width >= 8) return uint8_t(raw >> (width - 8));
        // A narrow field repeats its bits downwards so that all ones gives 255.
        uint32_t result = 0;
        int filled = 0;
        while (filled < 8) {
            result = (result << width) | raw;
            filled += width;
        }
        return uint8_t(result >> (filled - 8));
    }
};

// A contiguous, non-empty mask within the pixel's bits.
std::optional<Channel> MakeChannel(uint32_t mask, int bitsPerPixel) {
    if (mask == 0) return std::nullopt;
    if (bitsPerPixel < 32 && (mask >> bitsPerPixel) != 0) return std::nullopt;
    Channel channel;
    channel.mask = mask;
    channel.shift = std::countr_zero(mask);
    const uint32_t field = mask >> channel.shift;
    if ((field & (field + 1)) != 0) return std::nullopt;
    channel.width = std::popcount(field);
    return channel;
}

struct BmpLayout {
    int64_t width = 0;
    int64_t height = 0;
    bool topDown = false;
    int bitsPerPixel = 0;
    uint32_t compression = kBiRgb;
    Channel red, green, blue;
    std::vector<Pixel> palette;  // 2^bits entries for indexed pictures, black past the table
    std::size_t pixelOffset = 0;
};

class ByteView {
public:
    ByteView(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t Size() const { return size_; }
    bool Holds(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
    uint8_t U8(std::size_t at) const { return data_[at]; }
    uint16_t U16(std::size_t at) const { return uint16_t(data_[at] | (data_[at + 1] << 8)); }
    uint32_t U32(std::size_t at) const {
        return uint32_t(data_[at]) | (uint32_t(data_[at + 1]) << 8) | (uint32_t(data_[at + 2]) << 16) |
               (uint32_t(data_[at + 3]) << 24);
    }

private:
    const uint8_t* data_;
    std::size_t size_;
};

bool ReadMasks(const ByteView& bytes, BmpLayout& layout) {
    uint32_t red = 0, green = 0, blue = 0;
    if (layout.compression == kBiBitfields) {
        // The masks follow a 40-byte header and are part of every longer one.
        const std::size_t at = kFileHeaderSize + kInfoHeaderSize;
        if (!bytes.Holds(at, 12)) return false;
        red = bytes.U32(at);
        green = bytes.U32(at + 4);
        blue = bytes.U32(at + 8);
    } else if (layout.bitsPerPixel == 16) {
        red = 0x7C00, green = 0x03E0, blue = 0x001F;
    } else {
        red = 0x00FF0000, green = 0x0000FF00, blue = 0x000000FF;
    }
    const auto r = MakeChannel(red, layout.bitsPerPixel);
    const auto g = MakeChannel(green, layout.bitsPerPixel);
    const auto b = MakeChannel(blue, layout.bitsPerPixel);
    if (!r || !g || !b) return false;
    layout.red = *r;
    layout.green = *g;
    layout.blue = *b;
    return true;
}

// Reads the colour table that lies between the headers and the pixels: no
// more entries than the header names, nor than fit before the pixels.
bool ReadPalette(const ByteView& bytes, BmpLayout& layout, std::size_t tableStart, std::size_t entrySize,
                 uint32_t coloursUsed) {
    const uint32_t full = uint32_t(1) << layout.bitsPerPixel;
    uint64_t count = coloursUsed == 0 || coloursUsed > full ? full : coloursUsed;
    if (layout.pixelOffset < tableStart) return false;
    count = std::min<uint64_t>(count, (layout.pixelOffset - tableStart) / entrySize);
    if (count == 0 || !bytes.Holds(tableStart, count * entrySize)) return false;
    layout.palette.assign(full, kBlack);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = tableStart + i * entrySize;
        layout.palette[i] = MakeRgb(bytes.U8(at + 2), bytes.U8(at + 1), bytes.U8(at));
    }
    return true;
}

std::optional<BmpLayout> ReadLayout(const ByteView& bytes) {
    if (!bytes.Holds(0, kFileHeaderSize + 4) || bytes.U8(0) != 'B' || bytes.U8(1) != 'M') return std::nullopt;
    BmpLayout layout;
    layout.pixelOffset = bytes.U32(10);
    const uint32_t headerSize = bytes.U32(kFileHeaderSize);
    if (headerSize != kCoreHeaderSize && headerSize != kInfoHeaderSize && headerSize != 52 &&
        headerSize != 56 && headerSize != 108 && headerSize != 124)
        return std::nullopt;
    if (!bytes.Holds(kFileHeaderSize, headerSize)) return std::nullopt;

    const bool core = headerSize == kCoreHeaderSize;
    uint16_t planes = 0;
    uint32_t coloursUsed = 0;
    if (core) {
        layout.width = bytes.U16(18);
        layout.height = bytes.U16(20);
        planes = bytes.U16(22);
        layout.bitsPerPixel = bytes.U16(24);
    } else {
        layout.width = int32_t(bytes.U32(18));
        layout.height = int32_t(bytes.U32(22));
        planes = bytes.U16(26);
        layout.bitsPerPixel = bytes.U16(28);
        layout.compression = bytes.U32(30);
        coloursUsed = bytes.U32(46);
    }
    if (planes != 1) return std::nullopt;
    if (layout.height < 0) {
        layout.topDown = true;
        layout.height = -layout.height;
    }
    if (!PictureSizeAllowed(layout.width, layout.height)) return std::nullopt;

    const int bits = layout.bitsPerPixel;
    switch (layout.compression) {
    case kBiRgb:
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return std::nullopt;
        if (core && bits != 1 && bits != 4 && bits != 8 && bits != 24) return std::nullopt;
        break;
    case kBiRle8:
    case kBiRle4:
        // Compressed rows always run bottom-up.
        if (bits != (layout.compression == kBiRle8 ? 8 : 4) || layout.topDown) return std::nullopt;
        break;
    case kBiBitfields:
        if (bits != 16 && bits != 32) return std::nullopt;
        break;
    default:
        return std::nullopt;
    }

    std::size_t headersEnd = kFileHeaderSize + headerSize;
    if (layout.compression == kBiBitfields && headerSize == kInfoHeaderSize) headersEnd += 12;
    if (layout.pixelOffset >= bytes.Size()) return std::nullopt;
    if (bits <= 8) {
        if (!ReadPalette(bytes, layout, headersEnd, core ? 3 : 4, coloursUsed)) return std::nullopt;
    } else {
        if (layout.pixelOffset < headersEnd) return std::nullopt;
        if ((bits == 16 || bits == 32) && !ReadMasks(bytes, layout)) return std::nullopt;
    }
    return layout;
}

// Decodes uncompressed rows; rows the data does not hold completely stay black.
void DecodeRows(const ByteView& bytes, const BmpLayout& layout, Bitmap32& bitmap) {
    const uint64_t width = uint64_t(layout.width);
    const int bits = layout.bitsPerPixel;
    const uint64_t rowBytes = (width * uint64_t(bits) + 7) / 8;
    const uint64_t stride = (width * uint64_t(bits) + 31) / 32 * 4;
    const bool plain32 = bits == 32 && layout.red.mask == 0x00FF0000 && layout.green.mask == 0x0000FF00 &&
                         layout.blue.mask == 0x000000FF;
    for (int64_t row = 0; row < layout.height; ++row) {
        const uint64_t start = layout.pixelOffset + uint64_t(row) * stride;
        if (!bytes.Holds(start, rowBytes)) break;
        Pixel* target = bitmap.Row(int(layout.topDown ? row : layout.height - 1 - row));
        const std::size_t at = std::size_t(start);
        for (std::size_t x = 0; x < width; ++x) {
            switch (bits) {
            case 1:
                target[x] = layout.palette[(bytes.U8(at + x / 8) >> (7 - x % 8)) & 1];
                break;
            case 4:
                target[x] = layout.palette[(bytes.U8(at + x / 2) >> (x % 2 ? 0 : 4)) & 0x0F];
                break;
            case 8:
                target[x] = layout.palette[bytes.U8(at + x)];
                break;
            case 24: {
                const std::size_t p = at + x * 3;
                target[x] = MakeRgb(bytes.U8(p + 2), bytes.U8(p + 1), bytes.U8(p));
                break;
            }
            default: {
                const uint32_t value = bits == 16 ? bytes.U16(at + x * 2) : bytes.U32(at + x * 4);
                target[x] = plain32 ? (value & 0x00FFFFFF)
                                    : MakeRgb(layout.red.Extract(value), layout.green.Extract(value),
                                              layout.blue.Extract(value));
                break;
            }
            }
        }
    }
}

// Decodes RLE8 or RLE4 data. Pixels that the runs skip or never reach stay
// black; runs past the end of a row are clipped; the data ending early
// simply ends the picture.
void DecodeRunLength(const ByteView& bytes, const BmpLayout& layout, Bitmap32& bitmap) {
    const bool four = layout.compression == kBiRle4;
    int64_t x = 0, row = 0;
    auto put = [&](unsigned index) {
        if (x < layout.width && row < layout.height)
            bitmap.Set(int(x), int(layout.height - 1 - row), layout.palette[index]);
        ++x;
    };
    std::size_t at = layout.pixelOffset;
    while (row < layout.height && bytes.Holds(at, 2)) {
        const unsigned count = bytes.U8(at), value = bytes.U8(at + 1);
        at += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i) put(four ? (i % 2 ? value & 0x0F : value >> 4) : value);
        } else if (value == 0) {
            x = 0;
            ++row;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            if (!bytes.Holds(at, 2)) break;
            x += bytes.U8(at);
            row += bytes.U8(at + 1);
            at += 2;
        } else {
            const std::size_t length = four ? (value + 1) / 2 : value;
            for (unsigned i = 0; i < value; ++i) {
                const std::size_t byteAt = at + (four ? i / 2 : i);
                if (byteAt >= bytes.Size()) return;
                const unsigned byte = bytes.U8(byteAt);
                put(four ? (i % 2 ? byte & 0x0F : byte >> 4) : byte);
            }
            at += length + (length & 1);
        }
    }
}

}  // namespace

std::optional<Bitmap32> DecodeBmpBytes(const uint8_t* data, std::size_t size) {
    if (data == nullptr) return std::nullopt;
    const ByteView bytes(data, size);
    const std::optional<BmpLayout> layout = ReadLayout(bytes);
    if (!layout) return std::nullopt;

    if (layout->compression == kBiRgb || layout->compression == kBiBitfields) {
        // A header that names more than twice the rows present is a lie, not
        // a file cut short.
        const uint64_t stride = (uint64_t(layout->width) * uint64_t(layout->bitsPerPixel) + 31) / 32 * 4;
        const uint64_t present = size - layout->pixelOffset;
        if (present * 2 < stride * uint64_t(layout->height)) return std::nullopt;
    }

    Bitmap32 bitmap;
    try {
        bitmap.Reset(int(layout->width), int(layout->height), kBlack);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (layout->compression == kBiRle8 || layout->compression == kBiRle4)
        DecodeRunLength(bytes, *layout, bitmap);
    else
        DecodeRows(bytes, *layout, bitmap);
    return bitmap;
}

}  // namespace duskpane
