// The BMP reader: every size and offset in the headers is checked against the data.
#include "ui/bmp_reader.h"

#include <algorithm>
#include <bit>
#include <new>
#include <vector>

namespace duskpane {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
// The headers, the masks and the longest colour table lie within this many
// bytes of the start (14 + 124 + 12 + 256 x 4).
constexpr std::size_t kHeadBytes = 2048;

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
    uint64_t pixelOffset = 0;
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

// The layout from the first bytes of a file of fileSize bytes.
std::optional<BmpLayout> ReadLayout(const ByteView& bytes, uint64_t fileSize) {
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
    // Only the part kept is held in memory: the whole picture is bound by its sides alone.
    if (!PictureSidesAllowed(layout.width, layout.height)) return std::nullopt;

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
    if (layout.pixelOffset >= fileSize) return std::nullopt;
    if (bits <= 8) {
        if (!ReadPalette(bytes, layout, headersEnd, core ? 3 : 4, coloursUsed)) return std::nullopt;
    } else {
        if (layout.pixelOffset < headersEnd) return std::nullopt;
        if ((bits == 16 || bits == 32) && !ReadMasks(bytes, layout)) return std::nullopt;
    }
    return layout;
}

// Converts the pixels of one stored row that the plan keeps. The row's bytes
// start at the byte holding column plan.left.
void ConvertRow(const uint8_t* row, const BmpLayout& layout, const PicturePlan& plan, Pixel* target) {
    const int bits = layout.bitsPerPixel;
    const uint64_t firstBit = uint64_t(plan.left) * uint64_t(bits) / 8 * 8;
    const std::vector<Pixel>& palette = layout.palette;
    // The bit position of output column i within the row's bytes.
    auto bitOf = [&](int i) { return uint64_t(plan.left + int64_t(i) * plan.step) * uint64_t(bits) - firstBit; };
    switch (bits) {
    case 1:
        for (int i = 0; i < plan.outWidth; ++i) {
            const uint64_t bit = bitOf(i);
            target[i] = palette[(row[bit / 8] >> (7 - bit % 8)) & 1];
        }
        break;
    case 4:
        for (int i = 0; i < plan.outWidth; ++i) {
            const uint64_t bit = bitOf(i);
            target[i] = palette[(row[bit / 8] >> (bit % 8 ? 0 : 4)) & 0x0F];
        }
        break;
    case 8:
        for (int i = 0; i < plan.outWidth; ++i) target[i] = palette[row[std::size_t(i) * std::size_t(plan.step)]];
        break;
    case 24:
        for (int i = 0; i < plan.outWidth; ++i) {
            const uint8_t* p = row + std::size_t(i) * std::size_t(plan.step) * 3;
            target[i] = MakeRgb(p[2], p[1], p[0]);
        }
        break;
    default: {
        const bool plain32 = bits == 32 && layout.red.mask == 0x00FF0000 && layout.green.mask == 0x0000FF00 &&
                             layout.blue.mask == 0x000000FF;
        const std::size_t size = std::size_t(bits) / 8;
        for (int i = 0; i < plan.outWidth; ++i) {
            const uint8_t* p = row + std::size_t(i) * std::size_t(plan.step) * size;
            const uint32_t value = uint32_t(p[0]) | (uint32_t(p[1]) << 8) |
                                   (size == 4 ? (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24) : 0u);
            target[i] = plain32 ? (value & 0x00FFFFFF)
                                : MakeRgb(layout.red.Extract(value), layout.green.Extract(value),
                                          layout.blue.Extract(value));
        }
        break;
    }
    }
}

// Decodes the kept part of uncompressed rows, reading only its rows and the
// bytes of its columns. False when any row's pixels are missing from the file.
bool DecodeRows(ByteSource& file, const BmpLayout& layout, const PicturePlan& plan, Bitmap32& out) {
    const uint64_t bits = uint64_t(layout.bitsPerPixel);
    const uint64_t rowBytes = (uint64_t(layout.width) * bits + 7) / 8;
    const uint64_t stride = (uint64_t(layout.width) * bits + 31) / 32 * 4;
    if (layout.pixelOffset + stride * uint64_t(layout.height - 1) + rowBytes > file.Size()) return false;

    const uint64_t firstByte = uint64_t(plan.left) * bits / 8;
    const uint64_t endByte = (uint64_t(plan.RightColumn() + 1) * bits + 7) / 8;
    std::vector<uint8_t> row(std::size_t(endByte - firstByte));
    for (int j = 0; j < plan.outHeight; ++j) {
        const int64_t y = plan.top + int64_t(j) * plan.step;
        const int64_t stored = layout.topDown ? y : layout.height - 1 - y;
        if (!file.ReadExactly(layout.pixelOffset + uint64_t(stored) * stride + firstByte, row.data(), row.size()))
            return false;
        ConvertRow(row.data(), layout, plan, out.Row(j));
    }
    return true;
}

// Decodes RLE8 or RLE4 data into the kept part. Pixels that the runs skip or
// never reach stay black; runs past the end of a row are clipped. False when
// the data runs out before the end-of-bitmap code while rows are still to
// come (the last row counts as come once it is filled to its end).
bool DecodeRunLength(ByteSource& file, const BmpLayout& layout, const PicturePlan& plan, Bitmap32& out) {
    const bool four = layout.compression == kBiRle4;
    const int64_t width = layout.width, height = layout.height;
    const int64_t firstColumn = plan.left, lastColumn = plan.RightColumn();
    int64_t x = 0, row = 0;  // rows counted from the bottom
    Pixel* target = nullptr;  // the output row of `row`; null when it is not kept
    auto findRow = [&] {
        const int kept = row < height ? plan.OutputRow(height - 1 - row) : -1;
        target = kept >= 0 ? out.Row(kept) : nullptr;
    };
    // Puts `count` pixels from x on; colour(i) is the index of the i-th.
    auto put = [&](int64_t count, auto colour) {
        if (target != nullptr) {
            int64_t column = std::max(x, firstColumn);
            column += (plan.step - (column - firstColumn) % plan.step) % plan.step;
            const int64_t end = std::min({x + count, width, lastColumn + 1});
            for (; column < end; column += plan.step)
                target[(column - firstColumn) / plan.step] = layout.palette[colour(column - x)];
        }
        x += count;
    };
    auto complete = [&] { return row >= height || (row == height - 1 && x >= width); };

    SequentialReader reader(file, layout.pixelOffset);
    findRow();
    uint8_t run[256];
    while (row < height) {
        uint8_t count = 0, value = 0;
        if (!reader.Next(count) || !reader.Next(value)) return complete();
        if (count > 0) {
            const unsigned high = value >> 4, low = value & 0x0F;
            if (four)
                put(count, [&](int64_t i) { return i % 2 ? low : high; });
            else
                put(count, [&](int64_t) { return unsigned(value); });
        } else if (value == 0) {  // end of line
            x = 0;
            ++row;
            findRow();
        } else if (value == 1) {  // end of bitmap
            return true;
        } else if (value == 2) {  // a move right and up
            uint8_t right = 0, up = 0;
            if (!reader.Next(right) || !reader.Next(up)) return complete();
            x += right;
            row += up;
            findRow();
        } else {  // `value` pixels as they are, padded to whole 16-bit words
            const std::size_t length = four ? (value + 1u) / 2u : value;
            for (std::size_t i = 0; i < length; ++i)
                if (!reader.Next(run[i])) return complete();
            if (four)
                put(value, [&](int64_t i) { return unsigned(i % 2 ? run[i / 2] & 0x0F : run[i / 2] >> 4); });
            else
                put(value, [&](int64_t i) { return unsigned(run[i]); });
            if (length % 2 != 0 && !reader.Skip(1)) return complete();
        }
    }
    return true;
}

}  // namespace

std::optional<DecodedPicture> DecodeBmp(ByteSource& file, const PictureRequest& request) {
    if (file.Size() > kPictureMaxFileBytes) return std::nullopt;
    std::vector<uint8_t> head(std::size_t(std::min<uint64_t>(file.Size(), kHeadBytes)));
    if (!file.ReadExactly(0, head.data(), head.size())) return std::nullopt;
    const std::optional<BmpLayout> layout = ReadLayout(ByteView(head.data(), head.size()), file.Size());
    if (!layout) return std::nullopt;
    const std::optional<PicturePlan> plan = PlanPicture(layout->width, layout->height, request);
    if (!plan) return std::nullopt;

    DecodedPicture picture;
    picture.width = plan->width;
    picture.height = plan->height;
    picture.left = plan->left;
    picture.top = plan->top;
    try {
        picture.pixels.Reset(plan->outWidth, plan->outHeight, kBlack);
        const bool decoded = layout->compression == kBiRle8 || layout->compression == kBiRle4
                                 ? DecodeRunLength(file, *layout, *plan, picture.pixels)
                                 : DecodeRows(file, *layout, *plan, picture.pixels);
        if (!decoded) return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return picture;
}

std::optional<Bitmap32> DecodeBmpBytes(const uint8_t* data, std::size_t size) {
    MemoryBytes bytes(data, size);
    std::optional<DecodedPicture> picture = DecodeBmp(bytes, PictureRequest::Whole());
    if (!picture) return std::nullopt;
    return std::move(picture->pixels);
}

}  // namespace duskpane
