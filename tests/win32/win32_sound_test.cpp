// The Win32 sound services: the version check, capture devices opened,
// given the buffer and destroyed cleanly, the mixer's speakers volume and
// the default endpoint. The cases that need a sound server run inside the capture_tone
// script, which starts a private one playing a tone or silence.
#include <gtest/gtest.h>

#include <windows.h>

#include <mmsystem.h>
#include <objbase.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "../capture_checks.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_sound.h"

namespace duskpane {
namespace {

constexpr uint32_t kBufferBytes = 11025;
constexpr int32_t kToneBand = 11;  // 1 kHz: bins 91..127 of the transform

// Set by the script that starts a sound server: "tone" or "silence".
std::string SoundScenario() {
    const char* value = std::getenv("DUSKPANE_SOUND_SCENARIO");
    return value ? value : "";
}

class Win32SoundTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }

    // Pumps the thread's messages as the program's loop does until a
    // capture message of the device comes; its buffer, or null when none
    // came in time. Messages of other devices are counted.
    CaptureBuffer* WaitForBuffer(uintptr_t device, DWORD timeoutMs, int* others = nullptr) {
        const DWORD start = GetTickCount();
        MSG native;
        while (GetTickCount() - start < timeoutMs) {
            while (PeekMessageW(&native, nullptr, 0, 0, PM_REMOVE)) {
                const Message message = TranslateNativeMessage(native);
                if (message.kind == MessageKind::CaptureData) {
                    EXPECT_EQ(message.nativeCode, uint32_t(MM_WIM_DATA));
                    if (message.handle == device) return static_cast<CaptureBuffer*>(message.data);
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
    // `device` and carry no buffer. The number of capture messages.
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
    CaptureBuffer header{buffer.data(), kBufferBytes, 0};
};

TEST_F(Win32SoundTest, DevicesComeAndGoWithTheBufferQueuedOnOneAtATime) {
    EXPECT_TRUE(audio.HasEndpointVolume());
    WaveFormat unknown = kCaptureFormat;
    unknown.formatTag = 0x55;  // no input device records this
    unknown.avgBytesPerSec = 0;
    EXPECT_EQ(capture.Open(unknown), nullptr);

    // Without a sound server the open fails cleanly; with one, the buffer
    // goes from device to device and is never queued twice.
    const bool server = !SoundScenario().empty();
    for (int round = 0; round < 3; ++round) {
        auto device = capture.Open(kCaptureFormat);
        if (server) {
            ASSERT_NE(device, nullptr);
        }
        if (!device) continue;
        ASSERT_TRUE(device->Fill(header));
        EXPECT_FALSE(device->Fill(header)) << "queued twice";
        std::vector<uint8_t> otherBuffer(kBufferBytes);
        CaptureBuffer other{otherBuffer.data(), kBufferBytes, 0};
        EXPECT_FALSE(device->Fill(other)) << "another buffer while the first is queued";
        const uintptr_t handle = device->Handle();
        device.reset();
        // The reset handed the buffer back with a message of its own.
        EXPECT_EQ(DrainLateMessages(handle), 1);
    }
}

TEST_F(Win32SoundTest, EndpointWithoutItsInterfacesRefusesEverything) {
    auto endpoint = audio.CreateEndpoint();
    float level = 0.25f;
    bool muted = true;
    EXPECT_FALSE(endpoint->GetLevel(level));
    EXPECT_FALSE(endpoint->GetMute(muted));
    EXPECT_FALSE(endpoint->SetLevel(0.5f));
    EXPECT_FALSE(endpoint->SetMute(true));
    EXPECT_EQ(level, 0.25f);
    EXPECT_TRUE(muted);

    // The enumerator is there with or without a sound server; without an
    // output device Init returns quietly and the getters still refuse.
    ASSERT_NO_THROW(endpoint->Init());
    ASSERT_NO_THROW(endpoint->Init());  // a second Init lets go of the first
    if (SoundScenario().empty()) return;
    EXPECT_TRUE(endpoint->GetLevel(level));
}

TEST_F(Win32SoundTest, CapturedToneLightsItsBandAndSilenceNothing) {
    const std::string scenario = SoundScenario();
    if (scenario.empty()) GTEST_SKIP() << "needs the capture_tone script's sound server";
    auto device = capture.Open(kCaptureFormat);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->Fill(header));

    // The first buffers may hold the start of the stream: take the sixth,
    // each handed back as the program does.
    for (int count = 0; count < 6; ++count) {
        CaptureBuffer* returned = WaitForBuffer(device->Handle(), 5000);
        ASSERT_EQ(returned, &header) << "buffer " << count << " did not come back";
        EXPECT_GE(header.bytesRecorded, kBufferBytes - 1);
        EXPECT_LE(header.bytesRecorded, kBufferBytes);
        if (count < 5) {
            ASSERT_TRUE(device->Fill(header));
        }
    }

    const auto levels = BandsOf(buffer, header);
    if (scenario == "tone") {
        EXPECT_EQ(std::min_element(levels.begin(), levels.end()) - levels.begin(), kToneBand);
        EXPECT_GT(BarPercent(levels[kToneBand]), 50);
    } else {
        for (int32_t level : levels) EXPECT_EQ(BarPercent(level), 0) << "level " << level;
    }
}

TEST_F(Win32SoundTest, ReplacedDeviceNeverFillsTheBufferAgain) {
    if (SoundScenario().empty()) GTEST_SKIP() << "needs the capture_tone script's sound server";
    auto first = capture.Open(kCaptureFormat);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(first->Fill(header));
    ASSERT_EQ(WaitForBuffer(first->Handle(), 5000), &header);
    ASSERT_TRUE(first->Fill(header));
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

    // The same buffer on the next device fills as before.
    auto second = capture.Open(kCaptureFormat);
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(second->Fill(header));
    ASSERT_EQ(WaitForBuffer(second->Handle(), 5000), &header);
    EXPECT_GE(header.bytesRecorded, kBufferBytes - 1);
    EXPECT_FALSE(std::all_of(buffer.begin(), buffer.begin() + kBufferBytes - 1,
                             [](uint8_t b) { return b == 0x5A; }));
}

TEST_F(Win32SoundTest, MixerSpeakersVolumeOfTheSoundServer) {
    if (SoundScenario().empty()) GTEST_SKIP() << "needs the capture_tone script's sound server";
    auto earlier = audio.OpenMixer();
    ASSERT_NE(earlier, nullptr);
    auto mixer = audio.OpenMixer();  // device 0 opens more than once
    ASSERT_NE(mixer, nullptr);
    earlier.reset();
    MixerControlInfo control;
    ASSERT_TRUE(mixer->FindControl(VolumeControlKind::Level, control));
    EXPECT_EQ(control.minimum, 0u);
    EXPECT_EQ(control.maximum, 65535u);
    uint32_t value = 70000;
    ASSERT_TRUE(mixer->GetValue(control.id, value));
    EXPECT_LE(value, 65535u);
    // Under Wine the mixer's values belong to the process, so changing them
    // here touches nothing outside the test.
    ASSERT_TRUE(mixer->SetValue(control.id, 30000));
    ASSERT_TRUE(mixer->GetValue(control.id, value));
    EXPECT_EQ(value, 30000u);
    MixerControlInfo mute;
    ASSERT_TRUE(mixer->FindControl(VolumeControlKind::Mute, mute));
    EXPECT_NE(mute.id, control.id);
    ASSERT_TRUE(mixer->SetValue(mute.id, 1));
    ASSERT_TRUE(mixer->GetValue(mute.id, value));
    EXPECT_EQ(value, 1u);
    EXPECT_TRUE(mixer->GetValue(control.id, value));
    EXPECT_EQ(value, 30000u) << "muting changed the volume";
    EXPECT_TRUE(mixer->SetValue(mute.id, 0));
    EXPECT_TRUE(mixer->SetValue(control.id, 65535));

    uint32_t untouched = 12345;
    EXPECT_FALSE(mixer->GetValue(0x7777, untouched));
    EXPECT_EQ(untouched, 12345u);
}

TEST_F(Win32SoundTest, EndpointOfTheSoundServer) {
    if (SoundScenario().empty()) GTEST_SKIP() << "needs the capture_tone script's sound server";
    auto endpoint = audio.CreateEndpoint();
    endpoint->Init();
    float level = -1;
    ASSERT_TRUE(endpoint->GetLevel(level));
    EXPECT_GE(level, 0.0f);
    EXPECT_LE(level, 1.0f);
    bool muted = true;
    ASSERT_TRUE(endpoint->GetMute(muted));

    // Wine keeps the endpoint's mute inside the object and refuses to set
    // its level (E_NOTIMPL): what the endpoint accepts reads back, what it
    // refuses leaves the level as it was.
    ASSERT_TRUE(endpoint->SetMute(true));
    ASSERT_TRUE(endpoint->GetMute(muted));
    EXPECT_TRUE(muted);
    ASSERT_TRUE(endpoint->SetMute(false));
    ASSERT_TRUE(endpoint->GetMute(muted));
    EXPECT_FALSE(muted);
    const float target = level > 0.75f ? 0.5f : 1.0f;
    const bool accepted = endpoint->SetLevel(target);
    float now = -1;
    ASSERT_TRUE(endpoint->GetLevel(now));
    EXPECT_FLOAT_EQ(now, accepted ? target : level);
    if (accepted) endpoint->SetLevel(level);
}

}  // namespace
}  // namespace duskpane
