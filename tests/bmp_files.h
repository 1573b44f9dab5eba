// BMP files put together field by field, for the tests of the reader and of
// every backend's decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/bitmap.h"

namespace duskpane::bmp_files {

inline void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

inline void Put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(value >> shift));
}

struct BmpFile {
    uint32_t headerSize = 40;
    int32_t width = 1;
    int32_t height = 1;  // negative for top-down rows
    uint16_t planes = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;  // 1 RLE8, 2 RLE4, 3 bit fields
    uint32_t coloursUsed = 0;
    std::vector<Pixel> palette;
    std::vector<uint32_t> masks;  // after a 40-byte header, inside a longer one
    uint32_t gap = 0;             // unused bytes before the pixels
    std::vector<uint8_t> pixels;

    std::vector<uint8_t> Bytes() const {
        const bool core = headerSize == 12;
        const uint32_t masksAfter = headerSize == 40 ? uint32_t(masks.size()) * 4 : 0;
        const uint32_t offset = 14 + headerSize + masksAfter + uint32_t(palette.size()) * (core ? 3 : 4) + gap;
        std::vector<uint8_t> out = {'B', 'M'};
        Put32(out, offset + uint32_t(pixels.size()));
        Put32(out, 0);
        Put32(out, offset);
        Put32(out, headerSize);
        if (core) {
            Put16(out, uint32_t(width));
            Put16(out, uint32_t(height));
            Put16(out, planes);
            Put16(out, bits);
        } else {
            for (uint32_t value : {uint32_t(width), uint32_t(height)}) Put32(out, value);
            Put16(out, planes);
            Put16(out, bits);
            for (uint32_t value : {compression, uint32_t(pixels.size()), 2835u, 2835u, coloursUsed, 0u})
                Put32(out, value);
            for (uint32_t mask : masks) Put32(out, mask);
            out.resize(14 + headerSize + masksAfter, 0);
        }
        for (Pixel p : palette) {
            out.insert(out.end(), {BlueOf(p), GreenOf(p), RedOf(p)});
            if (!core) out.push_back(0);
        }
        out.resize(out.size() + gap, 0xEE);
        out.insert(out.end(), pixels.begin(), pixels.end());
        return out;
    }
};

// Rows as stored, each padded to four bytes.
inline std::vector<uint8_t> Rows(const std::vector<std::vector<uint8_t>>& rows) {
    std::vector<uint8_t> out;
    for (const auto& row : rows) {
        out.insert(out.end(), row.begin(), row.end());
        out.resize((out.size() + 3) / 4 * 4, 0);
    }
    return out;
}

// A bitmap from rows of pixels, top row first.
inline Bitmap32 Picture(const std::vector<std::vector<Pixel>>& rows) {
    Bitmap32 bitmap(int(rows[0].size()), int(rows.size()));
    for (std::size_t y = 0; y < rows.size(); ++y)
        for (std::size_t x = 0; x < rows[y].size(); ++x) bitmap.Set(int(x), int(y), rows[y][x]);
    return bitmap;
}

// The first `length` bytes.
inline std::vector<uint8_t> Cut(const std::vector<uint8_t>& bytes, std::size_t length) {
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(length));
}

}  // namespace duskpane::bmp_files
