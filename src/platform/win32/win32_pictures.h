// The picture decoders on Windows (BMP by the program's own reader, JPEG by
// the Windows Imaging Component) and the constant-alpha blend (msimg32).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "util/bitmap.h"
#include "ui/byte_source.h"
#include "util/picture_part.h"

namespace duskpane {

// A file on disk (UTF-8 path, any script) read where the decoder asks.
class Win32FileBytes final : public ByteSource {
public:
    // Null for a folder, a device, a pipe, a missing or unreadable file and
    // one longer than kPictureMaxFileBytes.
    static std::unique_ptr<Win32FileBytes> Open(const std::string& path);
    ~Win32FileBytes() override;
    Win32FileBytes(const Win32FileBytes&) = delete;
    Win32FileBytes& operator=(const Win32FileBytes&) = delete;

    // The size at opening: a file that grows meanwhile is read as it was.
    uint64_t Size() const override { return size_; }
    std::size_t ReadAt(uint64_t offset, uint8_t* into, std::size_t length) override;

private:
    Win32FileBytes(void* handle, uint64_t size) : handle_(handle), size_(size) {}

    void* handle_;
    uint64_t size_;
};

// What a JPEG file's headers say before its data: the frame's size, and
// whether the picture comes in several scans (progressive, or components in
// scans of their own), which a decoder holds whole until the last.
struct JpegHeader {
    int64_t width = 0;
    int64_t height = 0;
    bool multipleScans = false;
};
// Nullopt when the headers up to the first scan cannot be read.
std::optional<JpegHeader> ReadJpegHeader(const uint8_t* data, std::size_t size);

// Decodes the part of JPEG bytes that the request keeps through the Windows
// Imaging Component into 32-bit pixels: the kept rectangle is copied from the
// decoder into a buffer zeroed first, a reduced picture comes from the
// system's scaler. Fails for anything that is not a JPEG, fails the size
// limits (checked on the headers before the system decoder sees the file)
// or cannot be decoded to its end, a file cut short among them. COM must be
// initialised on the calling thread.
std::optional<DecodedPicture> DecodeJpegBytes(const uint8_t* data, std::size_t size,
                                              const PictureRequest& request);

// The program's entry initialises COM (apartment-threaded) before any decoding.
class Win32PictureDecoder : public PictureDecoder {
public:
    std::optional<DecodedPicture> DecodeBmp(const std::string& path, const PictureRequest& request) override;
    std::optional<DecodedPicture> DecodeJpeg(const std::string& path, const PictureRequest& request) override;
};

// The system's AlphaBlend: every Load loads the library and looks the
// function up, and the function object releases the library when it is
// destroyed. The blend runs on 32-bit DIB sections in memory device
// contexts with BLENDFUNCTION{AC_SRC_OVER, 0, alpha, 0}.
class Win32BlendLibrary : public BlendLibrary {
public:
    Win32BlendLibrary();
    // Another library file and function name (tests use missing ones).
    Win32BlendLibrary(std::wstring libraryName, std::string functionName);

    // Null when the library or the function cannot be had.
    std::unique_ptr<BlendFunction> Load() override;

private:
    std::wstring libraryName_;
    std::string functionName_;
};

}  // namespace duskpane
