// Sound capture through waveIn and the output volume through the winmm mixer
// and the Core Audio endpoint.
#pragma once

#include <map>
#include <memory>

#include "platform/platform.h"
#include "platform/win32/win32_messages.h"

namespace duskpane {

class Win32CaptureDevice;

// Opens the wave mapper's input with CALLBACK_WINDOW to a hidden window of
// its own; each returned buffer comes through the program's loop as a
// CaptureData message (MM_WIM_DATA) carrying the device handle and the
// portable buffer descriptor, updated from the native one. A message that a
// device sent before it was destroyed still arrives, as a CaptureData message
// without a descriptor (or, should a newer device have been given the same
// handle value, with that device's): the native header it names is gone by
// then and is never read. GUI thread only; the service outlives its devices.
class Win32CaptureService : public CaptureService, private NativeMessageTranslator {
public:
    Win32CaptureService();
    ~Win32CaptureService() override;
    Win32CaptureService(const Win32CaptureService&) = delete;
    Win32CaptureService& operator=(const Win32CaptureService&) = delete;

    std::unique_ptr<CaptureDevice> Open(const WaveFormat& format) override;

private:
    friend class Win32CaptureDevice;
    bool Translate(const MSG& native, Message& message) override;

    HWND window_ = nullptr;
    std::map<uintptr_t, Win32CaptureDevice*> live_;
};

// VersionAtLeast6 through VerifyVersionInfoA; the mixer over winmm device 0;
// endpoints over the default render device's IAudioEndpointVolume. COM must
// be initialised on the thread (the program's entry does it).
class Win32AudioSystem : public AudioSystem {
public:
    Win32AudioSystem();
    ~Win32AudioSystem() override;

    bool VersionAtLeast6() override;
    std::unique_ptr<AudioEndpoint> CreateEndpoint() override;
    AudioMixer& Mixer() override { return *mixer_; }

private:
    std::unique_ptr<AudioMixer> mixer_;
};

// The two volume back ends, each in its own file.
std::unique_ptr<AudioMixer> CreateWin32Mixer();
std::unique_ptr<AudioEndpoint> CreateWin32Endpoint();

}  // namespace duskpane
