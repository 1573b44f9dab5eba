// Decoding BMP and JPEG files through the Windows Imaging Component.
#include "platform/win32/win32_pictures.h"

#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <new>
#include <vector>

#include "platform/win32/win32_text.h"

namespace duskpane {

namespace {

// Releases a COM interface when it goes out of scope.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() {
        if (pointer_ != nullptr) pointer_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    T* operator->() const { return pointer_; }
    T* Get() const { return pointer_; }
    T** Out() { return &pointer_; }
    void** OutVoid() { return reinterpret_cast<void**>(&pointer_); }

private:
    T* pointer_ = nullptr;
};

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
uint32_t Le32(const uint8_t* p) { return Le16(p) | (Le16(p + 2) << 16); }
uint32_t Be16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | uint32_t(p[1]); }

// The whole content of a file on disk; nullopt for a folder, a device, a
// pipe or anything that cannot be read. The file is read up to its end even
// when it grew after the size was taken, but never past the limit.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
    if (path.empty()) return std::nullopt;
    FileHandle file(CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid() || GetFileType(file.Get()) != FILE_TYPE_DISK) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file.Get(), &length) || length.QuadPart < 0 ||
        uint64_t(length.QuadPart) > kWin32PictureMaxFileBytes) {
        return std::nullopt;
    }
    std::vector<uint8_t> data;
    try {
        data.resize(size_t(length.QuadPart) + 1);
        size_t used = 0;
        for (;;) {
            if (used == data.size()) {
                if (data.size() > kWin32PictureMaxFileBytes) return std::nullopt;
                data.resize(std::min<size_t>(data.size() * 2,
                                             size_t(kWin32PictureMaxFileBytes) + 1));
            }
            const DWORD want = DWORD(std::min<size_t>(data.size() - used, size_t(1) << 30));
            DWORD got = 0;
            if (!ReadFile(file.Get(), data.data() + used, want, &got, nullptr)) return std::nullopt;
            if (got == 0) break;
            used += got;
        }
        if (used > kWin32PictureMaxFileBytes) return std::nullopt;
        data.resize(used);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return data;
}

bool IsStartOfFrame(uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

std::optional<Bitmap32> DecodeWithWic(PictureFormat format, const uint8_t* data, std::size_t size) {
    ComRef<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, factory.OutVoid()))) {
        return std::nullopt;
    }
    ComRef<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.Out())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), DWORD(size)))) {
        return std::nullopt;
    }
    const GUID& container =
        format == PictureFormat::Bmp ? GUID_ContainerFormatBmp : GUID_ContainerFormatJpeg;
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    if (FAILED(factory->CreateDecoder(container, nullptr, decoder.Out())) ||
        FAILED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand)) ||
        FAILED(decoder->GetFrame(0, frame.Out()))) {
        return std::nullopt;
    }
    UINT width = 0;
    UINT height = 0;
    if (FAILED(frame->GetSize(&width, &height)) || !Win32PictureSizeAllowed(width, height)) {
        return std::nullopt;
    }
    ComRef<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.Out())) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom))) {
        return std::nullopt;
    }
    Bitmap32 picture;
    try {
        picture.Reset(int(width), int(height));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    // Bitmap32 keeps B, G, R, X in memory: the layout of 32bppBGRA.
    const UINT stride = width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height,
                                     reinterpret_cast<BYTE*>(picture.Row(0))))) {
        return std::nullopt;
    }
    for (int y = 0; y < picture.Height(); ++y) {
        Pixel* row = picture.Row(y);
        for (int x = 0; x < picture.Width(); ++x) row[x] &= 0x00FFFFFFu;
    }
    return picture;
}

}  // namespace

bool Win32PictureSizeAllowed(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kWin32PictureMaxSide &&
           height <= kWin32PictureMaxSide && width * height <= kWin32PictureMaxPixels;
}

std::optional<PictureSize> ReadBmpSize(const uint8_t* data, std::size_t size) {
    if (size < 26 || data[0] != 'B' || data[1] != 'M') return std::nullopt;
    const uint32_t pixelOffset = Le32(data + 10);
    const uint32_t headerSize = Le32(data + 14);
    PictureSize picture;
    uint32_t bitsPerPixel = 0;
    uint32_t compression = 0;
    if (headerSize == 12) {
        picture.width = Le16(data + 18);
        picture.height = Le16(data + 20);
        bitsPerPixel = Le16(data + 24);
    } else if (headerSize >= 40 && size >= 14 + 40) {
        picture.width = int32_t(Le32(data + 18));
        picture.height = int32_t(Le32(data + 22));
        bitsPerPixel = Le16(data + 28);
        compression = Le32(data + 30);
    } else {
        return std::nullopt;
    }
    // A negative height marks rows stored from the top.
    if (picture.height < 0) picture.height = -picture.height;
    if (!Win32PictureSizeAllowed(picture.width, picture.height)) return picture;

    constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;
    if (compression == kRle8 || compression == kRle4) return picture;
    if (compression != kRgb && compression != kBitFields && compression != kAlphaBitFields) {
        return std::nullopt;
    }
    if (bitsPerPixel == 0 || bitsPerPixel > 32) return std::nullopt;
    // Uncompressed rows of whole 32-bit words; a file may be cut short, but
    // one holding less than half of what its header claims is not believed.
    const int64_t stride = (picture.width * bitsPerPixel + 31) / 32 * 4;
    const int64_t claimed = stride * picture.height;
    const int64_t present = pixelOffset < size ? int64_t(size - pixelOffset) : 0;
    if (claimed > 2 * present) return std::nullopt;
    return picture;
}

std::optional<PictureSize> ReadJpegSize(const uint8_t* data, std::size_t size) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return std::nullopt;
    size_t at = 2;
    for (;;) {
        if (at >= size || data[at] != 0xFF) return std::nullopt;
        while (at < size && data[at] == 0xFF) ++at;  // fill bytes
        if (at >= size) return std::nullopt;
        const uint8_t marker = data[at++];
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
        // The image data or the end came before any frame header.
        if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA) return std::nullopt;
        if (at + 2 > size) return std::nullopt;
        const uint32_t length = Be16(data + at);
        if (length < 2 || at + length > size) return std::nullopt;
        if (IsStartOfFrame(marker)) {
            if (length < 7) return std::nullopt;
            return PictureSize{int64_t(Be16(data + at + 5)), int64_t(Be16(data + at + 3))};
        }
        at += length;
    }
}

std::optional<Bitmap32> DecodePictureBytes(PictureFormat format, const uint8_t* data,
                                           std::size_t size) {
    if (data == nullptr || size == 0 || uint64_t(size) > kWin32PictureMaxFileBytes) {
        return std::nullopt;
    }
    const std::optional<PictureSize> stated =
        format == PictureFormat::Bmp ? ReadBmpSize(data, size) : ReadJpegSize(data, size);
    if (!stated || !Win32PictureSizeAllowed(stated->width, stated->height)) return std::nullopt;
    try {
        return DecodeWithWic(format, data, size);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<Bitmap32> Win32PictureDecoder::DecodeBmp(const std::string& path) {
    const std::optional<std::vector<uint8_t>> data = ReadWholeFile(path);
    if (!data) return std::nullopt;
    return DecodePictureBytes(PictureFormat::Bmp, data->data(), data->size());
}

std::optional<Bitmap32> Win32PictureDecoder::DecodeJpeg(const std::string& path) {
    const std::optional<std::vector<uint8_t>> data = ReadWholeFile(path);
    if (!data) return std::nullopt;
    return DecodePictureBytes(PictureFormat::Jpeg, data->data(), data->size());
}

}  // namespace duskpane
