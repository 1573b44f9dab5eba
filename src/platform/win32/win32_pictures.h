// The picture decoders (WIC) and the constant-alpha blend (msimg32) on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "ui/bitmap.h"

namespace duskpane {

// The largest picture the decoders accept, the same as on the other
// backends: 16384 per side and 128 megapixels (512 MB of pixels). The size
// is read from the file's own header before the system decoder sees it, so
// a file that merely claims to be huge fails at once.
constexpr int kWin32PictureMaxSide = 16384;
constexpr int64_t kWin32PictureMaxPixels = int64_t(128) * 1024 * 1024;
// Files longer than this are not read: the largest picture stored
// uncompressed at 32 bits per pixel, plus room for headers.
constexpr uint64_t kWin32PictureMaxFileBytes =
    uint64_t(kWin32PictureMaxPixels) * 4 + (uint64_t(1) << 20);

enum class PictureFormat { Bmp, Jpeg };

// The picture size a file's header states; nullopt when the header cannot
// be read. For BMP the header must also be believable: uncompressed pixel
// data claiming more than twice what the file holds is taken for a lie.
struct PictureSize {
    int64_t width = 0;
    int64_t height = 0;
};
std::optional<PictureSize> ReadBmpSize(const uint8_t* data, std::size_t size);
// The size of the first frame header (SOFn) of a JPEG file.
std::optional<PictureSize> ReadJpegSize(const uint8_t* data, std::size_t size);

bool Win32PictureSizeAllowed(int64_t width, int64_t height);

// Decodes file bytes of one format through the Windows Imaging Component
// into 32-bit pixels; nullopt for anything that is not a picture of that
// format, fails the size limits or cannot be decoded. COM must be
// initialised on the calling thread.
std::optional<Bitmap32> DecodePictureBytes(PictureFormat format, const uint8_t* data,
                                           std::size_t size);

// Reads a whole file (UTF-8 path, any script) and decodes it with WIC. A
// folder, a device, a missing or unreadable file or one longer than
// kWin32PictureMaxFileBytes fails. The program's entry initialises COM
// (apartment-threaded) before any decoding.
class Win32PictureDecoder : public PictureDecoder {
public:
    std::optional<Bitmap32> DecodeBmp(const std::string& path) override;
    std::optional<Bitmap32> DecodeJpeg(const std::string& path) override;
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
