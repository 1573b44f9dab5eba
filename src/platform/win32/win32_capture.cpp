// The capture device over waveIn, its returned buffer through the message loop.
#include <windows.h>

#include <mmsystem.h>

#include "audio/wave.h"
#include "platform/win32/win32_sound.h"

namespace duskpane {
namespace {

constexpr wchar_t kWindowClass[] = L"DuskpaneCaptureWindow";

HWND CreateMessageWindow() {
    static bool registered = false;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!registered) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kWindowClass;
        registered = RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }
    return CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
}

}  // namespace

class Win32CaptureDevice : public CaptureDevice {
public:
    Win32CaptureDevice(Win32CaptureService& service, HWAVEIN handle) : service_(service), handle_(handle) {
        service_.live_[Handle()] = this;
    }
    ~Win32CaptureDevice() override {
        // Reset hands the buffer back unfilled; after the close the device
        // never writes into it again.
        waveInReset(handle_);
        if (native_.dwFlags & WHDR_PREPARED) waveInUnprepareHeader(handle_, &native_, sizeof(native_));
        waveInClose(handle_);
        service_.live_.erase(Handle());
        // Done and unprepared, as the device left it.
        if (portable_) portable_->flags = native_.dwFlags;
    }

    uintptr_t Handle() const override { return reinterpret_cast<uintptr_t>(handle_); }

    uint32_t PrepareHeader(WaveHeader& header) override {
        if (!Bind(header)) return WAVERR_STILLPLAYING;
        const MMRESULT result = waveInPrepareHeader(handle_, &native_, sizeof(native_));
        header.flags = native_.dwFlags;
        return result;
    }
    // A buffer still queued here is not queued a second time: the late
    // return of a replaced device counts as the return of the single
    // buffer, but this device has not handed it back yet.
    uint32_t AddBuffer(WaveHeader& header) override {
        if (!Bind(header) || (native_.dwFlags & WHDR_INQUEUE)) return WAVERR_STILLPLAYING;
        const MMRESULT result = waveInAddBuffer(handle_, &native_, sizeof(native_));
        header.flags = native_.dwFlags;
        return result;
    }
    uint32_t Start() override { return waveInStart(handle_); }

    // The native header's news, copied into the portable descriptor.
    WaveHeader* Returned() {
        if (!portable_) return nullptr;
        portable_->bytesRecorded = native_.dwBytesRecorded;
        portable_->flags = native_.dwFlags;
        return portable_;
    }

private:
    // The native header follows the portable one; a header taken over from
    // another device starts unprepared here. While the device still holds
    // the native header it is not given another buffer.
    bool Bind(WaveHeader& header) {
        if (portable_ == &header && native_.lpData == reinterpret_cast<LPSTR>(header.data) &&
            native_.dwBufferLength == header.bufferLength)
            return true;
        if (native_.dwFlags & WHDR_INQUEUE) return false;
        if (native_.dwFlags & WHDR_PREPARED) waveInUnprepareHeader(handle_, &native_, sizeof(native_));
        portable_ = &header;
        native_ = WAVEHDR{};
        native_.lpData = reinterpret_cast<LPSTR>(header.data);
        native_.dwBufferLength = header.bufferLength;
        return true;
    }

    Win32CaptureService& service_;
    HWAVEIN handle_;
    WAVEHDR native_{};
    WaveHeader* portable_ = nullptr;
};

Win32CaptureService::Win32CaptureService() { RegisterMessageTranslator(*this); }

Win32CaptureService::~Win32CaptureService() {
    UnregisterMessageTranslator(*this);
    if (window_) DestroyWindow(window_);
}

std::unique_ptr<CaptureDevice> Win32CaptureService::Open(const WaveFormat& format) {
    if (!window_) window_ = CreateMessageWindow();
    if (!window_) return nullptr;
    WAVEFORMATEX native{};
    native.wFormatTag = format.formatTag;
    native.nChannels = format.channels;
    native.nSamplesPerSec = format.samplesPerSec;
    native.nAvgBytesPerSec = format.avgBytesPerSec;
    native.nBlockAlign = format.blockAlign;
    native.wBitsPerSample = format.bitsPerSample;
    HWAVEIN handle = nullptr;
    if (waveInOpen(&handle, WAVE_MAPPER, &native, reinterpret_cast<DWORD_PTR>(window_), 0,
                   CALLBACK_WINDOW) != MMSYSERR_NOERROR)
        return nullptr;
    return std::make_unique<Win32CaptureDevice>(*this, handle);
}

bool Win32CaptureService::Translate(const MSG& native, Message& message) {
    if (native.message != MM_WIM_DATA) return false;
    message.kind = MessageKind::CaptureData;
    message.handle = uintptr_t(native.wParam);
    message.nativeCode = MM_WIM_DATA;
    // Only a device still alive owns the native header the message names.
    const auto device = live_.find(message.handle);
    message.data = device == live_.end() ? nullptr : device->second->Returned();
    return true;
}

}  // namespace duskpane
