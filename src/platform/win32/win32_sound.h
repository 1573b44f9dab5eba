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
// its own. A device keeps a WAVEHDR for the buffer it is given: the first
// Fill prepares it, and every Fill adds it and starts the device
// (waveInPrepareHeader once, then waveInAddBuffer and waveInStart), while a
// buffer the device still holds is not added again. Each returned buffer
// comes through the program's loop as a CaptureData message (MM_WIM_DATA)
// carrying the device handle and the buffer, its bytes recorded taken from
// the WAVEHDR. Destroying a device resets it, which hands the buffer back
// with a message of its own, and closes it. A message that a device sent
// before it was destroyed still arrives, as a CaptureData message without a
// buffer (or, should a newer device have been given the same handle value,
// with that device's): the WAVEHDR it names is gone by then and is never
// read. GUI thread only; the service outlives its devices.
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

// The endpoint volume from Windows 6.0 on (VerifyVersionInfoA); endpoints
// over the default render device's IAudioEndpointVolume; the mixer over
// winmm device 0. COM must be initialised on the thread (the program's entry
// does it).
class Win32AudioSystem : public AudioSystem {
public:
    bool HasEndpointVolume() override;
    std::unique_ptr<VolumeEndpoint> CreateEndpoint() override;
    std::unique_ptr<VolumeMixer> OpenMixer() override;
};

// The two volume back ends, each in its own file.
std::unique_ptr<VolumeMixer> OpenWin32Mixer();
std::unique_ptr<VolumeEndpoint> CreateWin32Endpoint();

}  // namespace duskpane
