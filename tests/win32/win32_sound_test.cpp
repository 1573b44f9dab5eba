// The Win32 sound services: the version check, capture devices opened,
// queued and destroyed cleanly, the mixer's speakers volume and the default
// endpoint. The cases that need a sound server run inside the capture_tone
// script, which starts a private one playing a tone or silence.
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

constexpr uint32_t kBufferBytes = 11025;
constexpr int32_t kToneBand = 11;  // 1 kHz: bins 91..127 of the transform

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

    // Pumps the thread's messages as the program's loop does until a
    // capture message of the device comes; its descriptor, or null when
    // none came in time. Messages of other devices are counted.
    WaveHeader* WaitForBuffer(uintptr_t device, DWORD timeoutMs, int* others = nullptr) {
        const DWORD start = GetTickCount();
        MSG native;
        while (GetTickCount() - start < timeoutMs) {
            while (PeekMessageW(&native, nullptr, 0, 0, PM_REMOVE)) {
                const Message message = TranslateNativeMessage(native);
                if (message.kind == MessageKind::CaptureData) {
                    EXPECT_EQ(message.nativeCode, uint32_t(MM_WIM_DATA));
                    if (message.handle == device) return static_cast<WaveHeader*>(message.data);
                    if (others) ++*others;
                    continue;
                }
                DispatchMessageW(&native);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        return nullptr;
    }

    // Takes what is in the queue now; every capture message must come from
    // `device` and carry no descriptor. The number of capture messages.
    int DrainLateMessages(uintptr_t device) {
        int count = 0;
        MSG native;
        while (PeekMessageW(&native, nullptr, 0, 0, PM_REMOVE)) {
            const Message message = TranslateNativeMessage(native);
            if (message.kind != MessageKind::CaptureData) continue;
            EXPECT_EQ(message.handle, device);
            EXPECT_EQ(message.data, nullptr);
            ++count;
        }
        return count;
    }

    Win32CaptureService capture;
    Win32AudioSystem audio;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(kSpectrumBufferBytes);
    WaveHeader header{buffer.data(), kBufferBytes, 0, 0};
};

TEST_F(Win32SoundTest, DevicesComeAndGoWithTheBufferQueuedOnOneAtATime) {
    EXPECT_TRUE(audio.VersionAtLeast6());
    WaveFormat unknown = CaptureFormat();
    unknown.formatTag = 0x55;  // no input device records this
    unknown.avgBytesPerSec = 0;
    EXPECT_EQ(capture.Open(unknown), nullptr);

    // Without a sound server the open fails cleanly; with one, the buffer
    // goes from device to device and is never queued twice.
    const bool server = !SoundScenario().empty();
    for (int round = 0; round < 3; ++round) {
        auto device = capture.Open(CaptureFormat());
        if (server) {
            ASSERT_NE(device, nullptr);
        }
        if (!device) continue;
        EXPECT_NE(device->AddBuffer(header), 0u) << "queued before it was prepared";
        ASSERT_EQ(device->PrepareHeader(header), 0u);
        EXPECT_TRUE(header.flags & WHDR_PREPARED);
        ASSERT_EQ(device->AddBuffer(header), 0u);
        EXPECT_TRUE(header.flags & WHDR_INQUEUE);
        EXPECT_NE(device->AddBuffer(header), 0u) << "queued twice";
        std::vector<uint8_t> otherBuffer(kBufferBytes);
        WaveHeader other{otherBuffer.data(), kBufferBytes, 0, 0};
        EXPECT_NE(device->PrepareHeader(other), 0u) << "another buffer while the first is queued";
        EXPECT_EQ(other.flags, 0u);
        EXPECT_EQ(device->Start(), 0u);
        const uintptr_t handle = device->Handle();
        device.reset();
        // Handed back and let go of: no longer queued or prepared anywhere.
        EXPECT_FALSE(header.flags & (WHDR_INQUEUE | WHDR_PREPARED));
        // The reset handed the buffer back with a message of its own.
        EXPECT_EQ(DrainLateMessages(handle), 1);
    }
}

TEST_F(Win32SoundTest, EndpointWithoutItsInterfacesRefusesEverything) {
    auto endpoint = audio.CreateEndpoint();
    float level = 0.25f;
    int32_t mute = 7;
    EXPECT_FALSE(endpoint->GetMasterVolumeLevelScalar(level));
    EXPECT_FALSE(endpoint->GetMute(mute));
    EXPECT_FALSE(endpoint->SetMasterVolumeLevelScalar(0.5f));
    EXPECT_FALSE(endpoint->SetMute(1));
    EXPECT_EQ(level, 0.25f);
    EXPECT_EQ(mute, 7);

    // The enumerator is there with or without a sound server; without an
    // output device Init returns quietly and the getters still refuse.
    ASSERT_NO_THROW(endpoint->Init());
    ASSERT_NO_THROW(endpoint->Init());  // a second Init lets go of the first
    if (SoundScenario().empty()) return;
    EXPECT_TRUE(endpoint->GetMasterVolumeLevelScalar(level));
}

TEST_F(Win32SoundTest, MixerRefusesBeforeItIsOpen) {
    AudioMixer& mixer = audio.Mixer();
    uint32_t line = 99;
    uint32_t value = 99;
    MixerControlInfo control;
    EXPECT_NE(mixer.GetDevCaps(), 0u);
    EXPECT_NE(mixer.GetSpeakersLine(line), 0u);
    EXPECT_NE(mixer.GetLineControl(0, kMixerControlVolume, control), 0u);
    EXPECT_NE(mixer.GetControlValue(0, value), 0u);
    EXPECT_NE(mixer.SetControlValue(0, 1), 0u);
    EXPECT_EQ(line, 99u);
    EXPECT_EQ(value, 99u);
}

TEST_F(Win32SoundTest, CapturedToneLightsItsBandAndSilenceNothing) {
    const std::string scenario = SoundScenario();
    if (scenario.empty()) GTEST_SKIP() << "needs the capture_tone script's sound server";
    auto device = capture.Open(CaptureFormat());
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->PrepareHeader(header), 0u);
    ASSERT_EQ(device->AddBuffer(header), 0u);
    ASSERT_EQ(device->Start(), 0u);

    // The first buffers may hold the start of the stream: take the sixth,
    // each handed back as the program does.
    for (int count = 0; count < 6; ++count) {
        WaveHeader* returned = WaitForBuffer(device->Handle(), 5000);
        ASSERT_EQ(returned, &header) << "buffer " << count << " did not come back";
        EXPECT_TRUE(header.flags & WHDR_DONE);
        EXPECT_FALSE(header.flags & WHDR_INQUEUE);
        EXPECT_GE(header.bytesRecorded, kBufferBytes - 1);
        EXPECT_LE(header.bytesRecorded, kBufferBytes);
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
        EXPECT_EQ(std::min_element(levels.begin(), levels.end()) - levels.begin(), kToneBand);
        EXPECT_GT(BarPercent(levels[kToneBand]), 50);
    } else {
        for (int32_t level : levels) EXPECT_EQ(BarPercent(level), 0) << "level " << level;
    }
}

TEST_F(Win32SoundTest, ReplacedDeviceNeverFillsTheBufferAgain) {
    if (SoundScenario().empty()) GTEST_SKIP() << "needs the capture_tone script's sound server";
    auto first = capture.Open(CaptureFormat());
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->PrepareHeader(header), 0u);
    ASSERT_EQ(first->AddBuffer(header), 0u);
    ASSERT_EQ(first->Start(), 0u);
    ASSERT_EQ(WaitForBuffer(first->Handle(), 5000), &header);
    ASSERT_EQ(first->AddBuffer(header), 0u);
    const uintptr_t firstHandle = first->Handle();
    first.reset();
    EXPECT_EQ(DrainLateMessages(firstHandle), 1);

    // The server keeps sending sound (the tone, or silence as zeros): a
    // marked buffer left alone for half a second stays as it is all the
    // same, the old device no longer writes into it.
    std::fill(buffer.begin(), buffer.end(), uint8_t(0x5A));
    Sleep(500);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0x5A; }));
    EXPECT_EQ(DrainLateMessages(firstHandle), 0);

    // The same descriptor on the next device fills as before.
    auto second = capture.Open(CaptureFormat());
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(second->PrepareHeader(header), 0u);
    ASSERT_EQ(second->AddBuffer(header), 0u);
    ASSERT_EQ(second->Start(), 0u);
    ASSERT_EQ(WaitForBuffer(second->Handle(), 5000), &header);
    EXPECT_GE(header.bytesRecorded, kBufferBytes - 1);
    EXPECT_FALSE(std::all_of(buffer.begin(), buffer.begin() + kBufferBytes - 1,
                             [](uint8_t b) { return b == 0x5A; }));
}

TEST_F(Win32SoundTest, MixerSpeakersVolumeOfTheSoundServer) {
    if (SoundScenario().empty()) GTEST_SKIP() << "needs the capture_tone script's sound server";
    AudioMixer& mixer = audio.Mixer();
    ASSERT_EQ(mixer.Open(), 0u);
    ASSERT_EQ(mixer.Open(), 0u);  // a second open replaces the handle
    ASSERT_EQ(mixer.GetDevCaps(), 0u);
    uint32_t line = 0;
    ASSERT_EQ(mixer.GetSpeakersLine(line), 0u);
    MixerControlInfo control;
    ASSERT_EQ(mixer.GetLineControl(line, kMixerControlVolume, control), 0u);
    EXPECT_EQ(control.minimum, 0u);
    EXPECT_EQ(control.maximum, 65535u);
    uint32_t value = 70000;
    ASSERT_EQ(mixer.GetControlValue(control.id, value), 0u);
    EXPECT_LE(value, 65535u);
    MixerControlInfo unknown;
    EXPECT_NE(mixer.GetLineControl(line, 0x12345678, unknown), 0u);
    // Under Wine the mixer's values belong to the process, so changing them
    // here touches nothing outside the test.
    ASSERT_EQ(mixer.SetControlValue(control.id, 30000), 0u);
    ASSERT_EQ(mixer.GetControlValue(control.id, value), 0u);
    EXPECT_EQ(value, 30000u);
    MixerControlInfo mute;
    ASSERT_EQ(mixer.GetLineControl(line, kMixerControlMute, mute), 0u);
    EXPECT_NE(mute.id, control.id);
    ASSERT_EQ(mixer.SetControlValue(mute.id, 1), 0u);
    ASSERT_EQ(mixer.GetControlValue(mute.id, value), 0u);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(mixer.GetControlValue(control.id, value), 0u);
    EXPECT_EQ(value, 30000u) << "muting changed the volume";
    EXPECT_EQ(mixer.SetControlValue(mute.id, 0), 0u);
    EXPECT_EQ(mixer.SetControlValue(control.id, 65535), 0u);

    uint32_t untouched = 12345;
    EXPECT_NE(mixer.GetControlValue(0x7777, untouched), 0u);
    EXPECT_EQ(untouched, 12345u);
}

TEST_F(Win32SoundTest, EndpointOfTheSoundServer) {
    if (SoundScenario().empty()) GTEST_SKIP() << "needs the capture_tone script's sound server";
    auto endpoint = audio.CreateEndpoint();
    endpoint->Init();
    float level = -1;
    ASSERT_TRUE(endpoint->GetMasterVolumeLevelScalar(level));
    EXPECT_GE(level, 0.0f);
    EXPECT_LE(level, 1.0f);
    int32_t mute = -1;
    ASSERT_TRUE(endpoint->GetMute(mute));
    EXPECT_TRUE(mute == 0 || mute == 1);

    // Wine keeps the endpoint's mute inside the object and refuses to set
    // its level (E_NOTIMPL): what the endpoint accepts reads back, what it
    // refuses leaves the level as it was.
    ASSERT_TRUE(endpoint->SetMute(1));
    ASSERT_TRUE(endpoint->GetMute(mute));
    EXPECT_EQ(mute, 1);
    ASSERT_TRUE(endpoint->SetMute(0));
    ASSERT_TRUE(endpoint->GetMute(mute));
    EXPECT_EQ(mute, 0);
    const float target = level > 0.75f ? 0.5f : 1.0f;
    const bool accepted = endpoint->SetMasterVolumeLevelScalar(target);
    float now = -1;
    ASSERT_TRUE(endpoint->GetMasterVolumeLevelScalar(now));
    EXPECT_FLOAT_EQ(now, accepted ? target : level);
    if (accepted) endpoint->SetMasterVolumeLevelScalar(level);
}

}  // namespace
}  // namespace duskpane
