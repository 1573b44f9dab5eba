// The constant-alpha blend of msimg32, loaded at each use and run on DIB sections.
#include <windows.h>

#include <cstring>
#include <utility>

#include "platform/win32/win32_pictures.h"

namespace duskpane {

namespace {

using AlphaBlendProc = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int,
                                     BLENDFUNCTION);

// A memory device context holding a top-down 32-bit DIB section of one size,
// its pixels laid out as Bitmap32 keeps them (B, G, R, X).
class DibSurface {
public:
    DibSurface(int width, int height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        if (dc_ == nullptr) return;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (bitmap_ == nullptr || bits_ == nullptr) return;
        previous_ = SelectObject(dc_, bitmap_);
    }
    ~DibSurface() {
        if (previous_ != nullptr) SelectObject(dc_, previous_);
        if (bitmap_ != nullptr) DeleteObject(bitmap_);
        if (dc_ != nullptr) DeleteDC(dc_);
    }
    DibSurface(const DibSurface&) = delete;
    DibSurface& operator=(const DibSurface&) = delete;

    bool Valid() const { return previous_ != nullptr; }
    HDC Dc() const { return dc_; }
    Pixel* Bits() const { return static_cast<Pixel*>(bits_); }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    void* bits_ = nullptr;
};

class Win32BlendFunction : public BlendFunction {
public:
    Win32BlendFunction(HMODULE library, AlphaBlendProc blend) : library_(library), blend_(blend) {}
    ~Win32BlendFunction() override { FreeLibrary(library_); }
    Win32BlendFunction(const Win32BlendFunction&) = delete;
    Win32BlendFunction& operator=(const Win32BlendFunction&) = delete;

    // False, and the destination untouched, when the sizes differ or the
    // system refuses; an empty picture blends to nothing.
    bool AlphaBlend(Bitmap32& destination, const Bitmap32& source, uint8_t constantAlpha) override {
        const int width = source.Width();
        const int height = source.Height();
        if (destination.Width() != width || destination.Height() != height) return false;
        if (source.Empty()) return true;

        DibSurface target(width, height);
        DibSurface from(width, height);
        if (!target.Valid() || !from.Valid()) return false;
        const size_t bytes = size_t(width) * size_t(height) * sizeof(Pixel);
        std::memcpy(target.Bits(), destination.Row(0), bytes);
        std::memcpy(from.Bits(), source.Row(0), bytes);

        const BLENDFUNCTION function{AC_SRC_OVER, 0, constantAlpha, 0};
        if (!blend_(target.Dc(), 0, 0, width, height, from.Dc(), 0, 0, width, height, function)) {
            return false;
        }
        GdiFlush();
        // The fourth byte is blended like a colour; Bitmap32 keeps it zero.
        const Pixel* result = target.Bits();
        for (int y = 0; y < height; ++y) {
            Pixel* row = destination.Row(y);
            for (int x = 0; x < width; ++x) row[x] = *result++ & 0x00FFFFFFu;
        }
        return true;
    }

private:
    HMODULE library_;
    AlphaBlendProc blend_;
};

}  // namespace

Win32BlendLibrary::Win32BlendLibrary() : Win32BlendLibrary(L"msimg32.dll", "AlphaBlend") {}

Win32BlendLibrary::Win32BlendLibrary(std::wstring libraryName, std::string functionName)
    : libraryName_(std::move(libraryName)), functionName_(std::move(functionName)) {}

std::unique_ptr<BlendFunction> Win32BlendLibrary::Load() {
    HMODULE library = LoadLibraryW(libraryName_.c_str());
    if (library == nullptr) return nullptr;
    const FARPROC found = GetProcAddress(library, functionName_.c_str());
    if (found == nullptr) {
        FreeLibrary(library);
        return nullptr;
    }
    // Through the generic function pointer type, which any function type converts from.
    const auto blend = reinterpret_cast<AlphaBlendProc>(reinterpret_cast<void (*)()>(found));
    return std::make_unique<Win32BlendFunction>(library, blend);
}

}  // namespace duskpane
