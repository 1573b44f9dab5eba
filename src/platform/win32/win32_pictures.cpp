// Reading picture files on Windows: BMP through the program's own reader,
// JPEG through the Windows Imaging Component.
#include "platform/win32/win32_pictures.h"

#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <new>
#include <vector>

#include "platform/win32/win32_text.h"
#include "ui/bmp_reader.h"

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

uint32_t Be16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | uint32_t(p[1]); }

bool IsStartOfFrame(uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Progressive frames: SOF2, SOF6, SOF10 and SOF14.
bool IsProgressive(uint8_t marker) { return (marker & 0x03) == 0x02; }

// The planned part of a frame (or of its reduced copy) as 32-bit pixels.
bool CopyPart(IWICImagingFactory* factory, IWICBitmapSource* frame, const PicturePlan& plan, Bitmap32& pixels) {
    ComRef<IWICBitmapScaler> scaler;
    IWICBitmapSource* source = frame;
    if (plan.step > 1) {
        if (FAILED(factory->CreateBitmapScaler(scaler.Out())) ||
            FAILED(scaler->Initialize(frame, UINT(plan.outWidth), UINT(plan.outHeight),
                                      WICBitmapInterpolationModeFant))) {
            return false;
        }
        source = scaler.Get();
    }
    ComRef<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.Out())) ||
        FAILED(converter->Initialize(source, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom))) {
        return false;
    }
    // Bitmap32 keeps B, G, R, X in memory: the layout of 32bppBGRA. The
    // pixels start zeroed: whatever the system leaves unwritten stays black.
    pixels.Reset(plan.outWidth, plan.outHeight, kBlack);
    const UINT stride = UINT(plan.outWidth) * 4;
    const WICRect part{plan.step > 1 ? 0 : plan.left, plan.step > 1 ? 0 : plan.top, plan.outWidth, plan.outHeight};
    if (FAILED(converter->CopyPixels(&part, stride, stride * UINT(plan.outHeight),
                                     reinterpret_cast<BYTE*>(pixels.Row(0))))) {
        return false;
    }
    // The decoder may stop at the last row asked for; its last pixel makes it
    // read the data to the end, so that a file cut short fails here too.
    if (plan.step == 1 && plan.top + plan.outHeight < plan.height) {
        const WICRect last{plan.width - 1, plan.height - 1, 1, 1};
        Pixel scratch = 0;
        if (FAILED(converter->CopyPixels(&last, 4, 4, reinterpret_cast<BYTE*>(&scratch)))) return false;
    }
    for (int y = 0; y < pixels.Height(); ++y) {
        Pixel* row = pixels.Row(y);
        for (int x = 0; x < pixels.Width(); ++x) row[x] &= 0x00FFFFFFu;
    }
    return true;
}

std::optional<DecodedPicture> DecodeWithWic(const uint8_t* data, std::size_t size, const PicturePlan& plan) {
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
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    if (FAILED(factory->CreateDecoder(GUID_ContainerFormatJpeg, nullptr, decoder.Out())) ||
        FAILED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand)) ||
        FAILED(decoder->GetFrame(0, frame.Out()))) {
        return std::nullopt;
    }
    UINT width = 0;
    UINT height = 0;
    if (FAILED(frame->GetSize(&width, &height)) || int64_t(width) != plan.width ||
        int64_t(height) != plan.height) {
        return std::nullopt;
    }
    DecodedPicture picture{plan.width, plan.height, plan.left, plan.top, Bitmap32()};
    if (!CopyPart(factory.Get(), frame.Get(), plan, picture.pixels)) return std::nullopt;
    return picture;
}

}  // namespace

std::unique_ptr<Win32FileBytes> Win32FileBytes::Open(const std::string& path) {
    if (path.empty()) return nullptr;
    const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER length{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !GetFileSizeEx(file, &length) ||
        length.QuadPart < 0 || uint64_t(length.QuadPart) > kPictureMaxFileBytes) {
        CloseHandle(file);
        return nullptr;
    }
    return std::unique_ptr<Win32FileBytes>(new Win32FileBytes(file, uint64_t(length.QuadPart)));
}

Win32FileBytes::~Win32FileBytes() { CloseHandle(static_cast<HANDLE>(handle_)); }

std::size_t Win32FileBytes::ReadAt(uint64_t offset, uint8_t* into, std::size_t length) {
    if (offset >= size_) return 0;
    length = std::size_t(std::min<uint64_t>(length, size_ - offset));
    std::size_t done = 0;
    while (done < length) {
        // Each read names its own position in the file.
        OVERLAPPED at{};
        at.Offset = DWORD(offset + done);
        at.OffsetHigh = DWORD((offset + done) >> 32);
        const DWORD want = DWORD(std::min<std::size_t>(length - done, std::size_t(1) << 30));
        DWORD got = 0;
        if (!ReadFile(static_cast<HANDLE>(handle_), into + done, want, &got, &at) || got == 0) break;
        done += got;
    }
    return done;
}

std::optional<JpegHeader> ReadJpegHeader(const uint8_t* data, std::size_t size) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return std::nullopt;
    std::optional<JpegHeader> header;
    int components = 0;
    size_t at = 2;
    for (;;) {
        if (at >= size || data[at] != 0xFF) return std::nullopt;
        while (at < size && data[at] == 0xFF) ++at;  // fill bytes
        if (at >= size) return std::nullopt;
        const uint8_t marker = data[at++];
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
        // The end came before any frame header or scan.
        if (marker == 0xD8 || marker == 0xD9) return std::nullopt;
        if (at + 2 > size) return std::nullopt;
        const uint32_t length = Be16(data + at);
        if (length < 2 || at + length > size) return std::nullopt;
        if (IsStartOfFrame(marker)) {
            if (length < 8 || header) return std::nullopt;
            header = JpegHeader{int64_t(Be16(data + at + 5)), int64_t(Be16(data + at + 3)), IsProgressive(marker)};
            components = data[at + 7];
        } else if (marker == 0xDA) {
            // The first scan: a picture whose first scan holds fewer
            // components than the frame comes in several scans.
            if (!header || length < 3) return std::nullopt;
            if (data[at + 2] < components) header->multipleScans = true;
            return header;
        }
        at += length;
    }
}

std::optional<DecodedPicture> DecodeJpegBytes(const uint8_t* data, std::size_t size,
                                              const PictureRequest& request) {
    if (data == nullptr || size == 0 || uint64_t(size) > kPictureMaxFileBytes) return std::nullopt;
    const std::optional<JpegHeader> header = ReadJpegHeader(data, size);
    if (!header) return std::nullopt;
    const std::optional<PicturePlan> plan = PlanPicture(header->width, header->height, request);
    if (!plan) return std::nullopt;
    // A file of several scans is held whole, as coefficients, until its last.
    if (header->multipleScans && !PictureSizeAllowed(header->width, header->height)) return std::nullopt;
    try {
        return DecodeWithWic(data, size, *plan);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<DecodedPicture> Win32PictureDecoder::DecodeBmp(const std::string& path,
                                                            const PictureRequest& request) {
    const std::unique_ptr<Win32FileBytes> file = Win32FileBytes::Open(path);
    if (!file) return std::nullopt;
    return duskpane::DecodeBmp(*file, request);
}

std::optional<DecodedPicture> Win32PictureDecoder::DecodeJpeg(const std::string& path,
                                                             const PictureRequest& request) {
    const std::unique_ptr<Win32FileBytes> file = Win32FileBytes::Open(path);
    if (!file) return std::nullopt;
    std::vector<uint8_t> data;
    try {
        data.resize(std::size_t(file->Size()));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (!file->ReadExactly(0, data.data(), data.size())) return std::nullopt;
    return DecodeJpegBytes(data.data(), data.size(), request);
}

}  // namespace duskpane
