// The capture device over waveIn, its returned buffer through the message loop.
#include <windows.h>

#include <mmsystem.h>

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
    }

    uintptr_t Handle() const override { return reinterpret_cast<uintptr_t>(handle_); }

    // Prepared once, then added and started at every turn; no result stops
    // the next step. A buffer still queued here is not queued a second time:
    // the late return of a replaced device counts as the return of the
    // single buffer, but this device has not handed it back yet.
    bool Fill(CaptureBuffer& buffer) override {
        bool added = false;
        if (Bind(buffer) && !(native_.dwFlags & WHDR_INQUEUE)) {
            if (!(native_.dwFlags & WHDR_PREPARED)) waveInPrepareHeader(handle_, &native_, sizeof(native_));
            added = waveInAddBuffer(handle_, &native_, sizeof(native_)) == MMSYSERR_NOERROR;
        }
        waveInStart(handle_);
        return added;
    }

    // The buffer the native header returned, with the bytes recorded into it.
    CaptureBuffer* Returned() {
        if (!buffer_) return nullptr;
        buffer_->bytesRecorded = native_.dwBytesRecorded;
        return buffer_;
    }

private:
    // The native header follows the buffer it is given; another buffer (or
    // the same one moved or resized) starts unprepared. While the device
    // still holds the native header it is not given another buffer.
    bool Bind(CaptureBuffer& buffer) {
        if (buffer_ == &buffer && native_.lpData == reinterpret_cast<LPSTR>(buffer.data) &&
            native_.dwBufferLength == buffer.bufferLength)
            return true;
        if (native_.dwFlags & WHDR_INQUEUE) return false;
        if (native_.dwFlags & WHDR_PREPARED) waveInUnprepareHeader(handle_, &native_, sizeof(native_));
        buffer_ = &buffer;
        native_ = WAVEHDR{};
        native_.lpData = reinterpret_cast<LPSTR>(buffer.data);
        native_.dwBufferLength = buffer.bufferLength;
        native_.dwLoops = 1;
        return true;
    }

    Win32CaptureService& service_;
    HWAVEIN handle_;
    WAVEHDR native_{};
    CaptureBuffer* buffer_ = nullptr;
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
