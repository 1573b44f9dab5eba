// The Win32 sound services: the version check, capture devices opened and
// destroyed cleanly, and, with a private sound server playing a tone (the
// capture_tone script), waveIn buffers coming back through the message loop
// with the tone in band 11, the mixer's speakers volume and the endpoint.
#include <gtest/gtest.h>

#include <windows.h>

#include <mmsystem.h>
#include <objbase.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/spectrum.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_sound.h"
#include "ui/bitmap.h"

namespace duskpane {
namespace {

// Set by the script that starts a sound server: "tone" or "silence".
std::string SoundScenario() {
    const char* value = std::getenv("DUSKPANE_SOUND_SCENARIO");
    return value ? value : "";
}

class FullVolume : public VolumeReader {
public:
    bool ReadVolumeRaw(uint32_t& value) override {
        value = 65535;
        return true;
    }
};

WaveFormat CaptureFormat() {
    WaveFormat format;
    format.formatTag = 1;
    format.channels = 1;
    format.samplesPerSec = 44100;
    format.avgBytesPerSec = 88200;
    format.blockAlign = 2;
    format.bitsPerSample = 16;
    return format;
}

class Win32SoundTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }

    // Pumps the thread's messages until a buffer of the device comes back or
    // the time is up; the buffer's portable descriptor, or null.
    WaveHeader* WaitForBuffer(uintptr_t device, DWORD timeoutMs) {
        const DWORD start = GetTickCount();
        MSG native;
        while (GetTickCount() - start < timeoutMs) {
            while (PeekMessageW(&native, nullptr, 0, 0, PM_REMOVE)) {
                const Message message = TranslateNativeMessage(native);
                if (message.kind == MessageKind::CaptureData && message.handle == device)
                    return static_cast<WaveHeader*>(message.data);
                DispatchMessageW(&native);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        return nullptr;
    }

    Win32CaptureService capture;
    Win32AudioSystem audio;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(48000);
    WaveHeader header{buffer.data(), 11025, 0, 0};
};

TEST_F(Win32SoundTest, VersionCheckAndDevicesThatComeAndGo) {
    EXPECT_TRUE(audio.VersionAtLeast6());
    // With or without a server, opening, queueing and destroying devices one
    // after another never crashes; a destroyed device's late message carries
    // no descriptor.
    for (int round = 0; round < 3; ++round) {
        auto device = capture.Open(CaptureFormat());
        if (!device) continue;
        EXPECT_EQ(device->PrepareHeader(header), 0u);
        EXPECT_EQ(device->AddBuffer(header), 0u);
        EXPECT_EQ(device->Start(), 0u);
        const uintptr_t handle = device->Handle();
        device.reset();
        MSG native;
        while (PeekMessageW(&native, nullptr, 0, 0, PM_REMOVE)) {
            const Message message = TranslateNativeMessage(native);
            if (message.kind == MessageKind::CaptureData) {
                EXPECT_EQ(message.handle, handle);
                EXPECT_EQ(message.data, nullptr);
            }
        }
    }
    WaveFormat bad = CaptureFormat();
    bad.formatTag = 0x55;  // not PCM: the mapper finds no device for it
    bad.avgBytesPerSec = 0;
    EXPECT_EQ(capture.Open(bad), nullptr);
}

TEST_F(Win32SoundTest, CapturedToneLightsItsBandAndSilenceNothing) {
    const std::string scenario = SoundScenario();
    if (scenario.empty()) GTEST_SKIP() << "needs the capture_tone script's sound server";
    auto device = capture.Open(CaptureFormat());
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->PrepareHeader(header), 0u);
    ASSERT_EQ(device->AddBuffer(header), 0u);
    ASSERT_EQ(device->Start(), 0u);

    // The first buffers may hold the start of the stream: take the sixth.
    WaveHeader* returned = nullptr;
    for (int count = 0; count < 6; ++count) {
        returned = WaitForBuffer(device->Handle(), 5000);
        ASSERT_EQ(returned, &header) << "buffer " << count << " did not come back";
        EXPECT_GE(header.bytesRecorded, 11024u);
        EXPECT_LE(header.bytesRecorded, 11025u);
        if (count < 5) {
            ASSERT_EQ(device->AddBuffer(header), 0u);
        }
    }

    SpectrumState state;
    state.WaveFormat = CaptureFormat();
    state.WaveHeader = header;
    std::memcpy(state.SpectrumBuffer.data(), buffer.data(), state.SpectrumBuffer.size());
    FullVolume volume;
    Bitmap32 area(kSpectrumWidth, kSpectrumHeight);
    AnalyseSpectrum(state, volume, area);
    const auto& levels = state.BandLevels;
    if (scenario == "tone") {
        EXPECT_EQ(std::min_element(levels.begin(), levels.end()) - levels.begin(), 11);
        EXPECT_LT(levels[11], kDisplayRangeDb);
    } else {
        for (int32_t level : levels) EXPECT_GE(level, kDisplayRangeDb);
    }
}

TEST_F(Win32SoundTest, MixerAndEndpointOfTheSoundServer) {
    if (SoundScenario().empty()) GTEST_SKIP() << "needs the capture_tone script's sound server";
    AudioMixer& mixer = audio.Mixer();
    ASSERT_EQ(mixer.Open(), 0u);
    ASSERT_EQ(mixer.GetDevCaps(), 0u);
    uint32_t line = 0;
    ASSERT_EQ(mixer.GetSpeakersLine(line), 0u);
    MixerControlInfo control;
    ASSERT_EQ(mixer.GetLineControl(line, kMixerControlVolume, control), 0u);
    EXPECT_EQ(control.minimum, 0u);
    EXPECT_EQ(control.maximum, 65535u);
    uint32_t value = 70000;
    EXPECT_EQ(mixer.GetControlValue(control.id, value), 0u);
    EXPECT_LE(value, 65535u);
    EXPECT_NE(mixer.GetLineControl(line, 0x12345678, control), 0u);

    auto endpoint = audio.CreateEndpoint();
    endpoint->Init();
    float level = -1;
    ASSERT_TRUE(endpoint->GetMasterVolumeLevelScalar(level));
    EXPECT_GE(level, 0.0f);
    EXPECT_LE(level, 1.0f);
    int32_t mute = -1;
    EXPECT_TRUE(endpoint->GetMute(mute));
    EXPECT_TRUE(mute == 0 || mute == 1);
}

}  // namespace
}  // namespace duskpane
