// The main window's sound capture on the headless backend: set-up, the
// returned buffer through the message hook, and the stall watchdog.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "app/forms.h"
#include "capture_checks.h"
#include "app/main_form.h"
#include "platform/headless/headless_platform.h"

namespace duskpane {
namespace {

// Bin 100 of the 4096-point transform, about 1077 Hz, lies in band 11
// (bins 91..127); bin 25, about 269 Hz, in band 7 (bins 23..31).
constexpr int32_t kKiloHertzBin = 100;
constexpr int32_t kKiloHertzBand = 11;
constexpr int32_t kLowBin = 25;
constexpr int32_t kLowBand = 7;
constexpr int32_t kColumnWidth = kSpectrumWidth / kBandCount;

std::vector<int16_t> Sine(int32_t bin, double peak = 30000) {
    std::vector<int16_t> samples(5513);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(std::lround(peak * std::sin(2 * std::numbers::pi * bin * double(i) / kFftSize)));
    return samples;
}

int32_t LoudestBand(const TMainForm& form) {
    const auto& levels = form.BandLevels;
    return int32_t(std::min_element(levels.begin(), levels.end()) - levels.begin());
}

size_t IndexOf(const std::vector<std::string>& events, const std::string& event) {
    return size_t(std::find(events.begin(), events.end(), event) - events.begin());
}

class CaptureTest : public ::testing::Test {
protected:
    TMainForm& Start() {
        program = std::make_unique<Program>(platform);
        program->Create();
        program->Show();
        return *MainForm;
    }
    void SpectrumOff() { store.PutInteger("WAVE_SPECTRUM", "WAVE_SPECTRUM", 0); }
    int Repaints(TMainForm& form) { return ui.ChangeCount(form.SpectrumPaintBox, Change::Picture); }

    HeadlessPlatform hp;
    HeadlessUi& ui = hp.ui;
    HeadlessSettingsStore& store = hp.settings;
    HeadlessCaptureService& capture = hp.capture;
    HeadlessAudioSystem& audio = hp.audio;
    HeadlessTimeService& time = hp.time;
    Platform& platform = hp.platform;
    std::unique_ptr<Program> program;
};

TEST_F(CaptureTest, DisplayOffAtShowOpensNothingUntilSwitchedOn) {
    SpectrumOff();
    ui.screen = {1280, 1024};
    TMainForm& form = Start();

    EXPECT_EQ(form.SpectrumPaintBox.Left(), 960);
    EXPECT_EQ(form.SpectrumPaintBox.Top(), 932);
    EXPECT_EQ(form.SpectrumPaintBox.Width(), 300);
    EXPECT_EQ(form.SpectrumPaintBox.Height(), 72);
    EXPECT_TRUE(form.WaveFormat == kCaptureFormat);
    EXPECT_EQ(form.WaveHeader.data, form.WaveBuffer.data());
    EXPECT_EQ(form.WaveHeader.bufferLength, 11025u);
    EXPECT_EQ(form.WaveBufferMs, 125);
    EXPECT_EQ(form.WaveCopySize, 48000);

    ui.Advance(5000);
    EXPECT_EQ(capture.openAttempts, 0);
    EXPECT_EQ(form.LastWaveTick, 0u);
    EXPECT_EQ(form.WaveInHandle, nullptr);

    form.IsDispWaveSpectrumMenuClick(*form.IsDispWaveSpectrumMenu);
    EXPECT_TRUE(form.SpectrumPaintBox.Visible());
    EXPECT_EQ(capture.openAttempts, 0);
    ui.Advance(500);
    EXPECT_EQ(capture.events, (std::vector<std::string>{"open 1", "fill 1"}));
    EXPECT_EQ(form.LastWaveTick, time.TickCount());
    EXPECT_TRUE(capture.formats.at(0) == kCaptureFormat);
}

TEST_F(CaptureTest, ReturnedBufferIsAnalysedDrawnAndQueuedAgain) {
    audio.endpoint.level = 1.0f;
    TMainForm& form = Start();
    ASSERT_TRUE(capture.BufferQueued());
    ui.Advance(100);
    const int repaints = Repaints(form);

    ASSERT_TRUE(capture.Deliver(Sine(kKiloHertzBin)));
    EXPECT_FALSE(capture.BufferQueued());
    ui.RunPending();

    EXPECT_TRUE(std::equal(form.SpectrumBuffer.begin(), form.SpectrumBuffer.end(), form.WaveBuffer.begin()));
    EXPECT_EQ(form.SpectrumVolume, 65535u);
    EXPECT_EQ(LoudestBand(form), kKiloHertzBand);
    for (int32_t b = 0; b < kBandCount; ++b) {
        if (b == kKiloHertzBand) continue;
        EXPECT_GT(form.BandLevels[size_t(b)], form.BandLevels[kKiloHertzBand] + 20) << "band " << b;
    }
    // The loud band's bar reaches the top of the area; a band far away from
    // it shows nothing up there.
    const Bitmap32& area = form.SpectrumPaintBox.Surface();
    EXPECT_NE(area.At(kColumnWidth * kKiloHertzBand + 5, 4), kBlack);
    EXPECT_EQ(area.At(kColumnWidth * 2 + 5, 4), kBlack);
    EXPECT_EQ(Repaints(form), repaints + 1);

    // Given back to the same device.
    EXPECT_TRUE(capture.BufferQueued());
    EXPECT_EQ(capture.events, (std::vector<std::string>{"open 1", "fill 1", "return 1", "fill 1"}));
    EXPECT_EQ(form.LastWaveTick, time.TickCount());

    // Switched off, the area is hidden, but capture and drawing go on.
    form.IsDispWaveSpectrumMenuClick(*form.IsDispWaveSpectrumMenu);
    EXPECT_FALSE(form.SpectrumPaintBox.Visible());
    ASSERT_TRUE(capture.Deliver(Sine(kLowBin)));
    ui.RunPending();
    EXPECT_EQ(LoudestBand(form), kLowBand);
    EXPECT_EQ(Repaints(form), repaints + 2);
    EXPECT_TRUE(capture.BufferQueued());

    // While buffers keep coming the watchdog never steps in.
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(capture.Deliver(Sine(kKiloHertzBin)));
        ui.Advance(125);
    }
    EXPECT_EQ(capture.openAttempts, 1);
    EXPECT_TRUE(capture.violations.empty());
}

TEST_F(CaptureTest, StalledCaptureIsReopenedEvery2To2Point5Seconds) {
    capture.behaviour = CaptureBehaviour::Stalls;
    TMainForm& form = Start();
    std::vector<uint32_t> openTicks{form.LastWaveTick};
    for (int i = 0; i < 24; ++i) {
        ui.Advance(500);
        if (capture.openCount == int(openTicks.size())) continue;
        ASSERT_EQ(capture.openCount, int(openTicks.size()) + 1);
        EXPECT_EQ(form.LastWaveTick, time.TickCount());
        openTicks.push_back(time.TickCount());
    }
    ASSERT_GE(openTicks.size(), 4u);
    for (size_t i = 1; i < openTicks.size(); ++i) {
        EXPECT_GT(openTicks[i] - openTicks[i - 1], 2000u);
        EXPECT_LE(openTicks[i] - openTicks[i - 1], 2500u);
    }

    // The same format and buffer every time; each device closed before the
    // next one opens, so the buffer is never on two devices.
    for (const WaveFormat& format : capture.formats) EXPECT_TRUE(format == kCaptureFormat);
    for (const CaptureBuffer* buffer : capture.firstBuffers) EXPECT_EQ(buffer, &form.WaveHeader);
    EXPECT_EQ(capture.firstBuffers.size(), openTicks.size());
    for (int n = 2; n <= capture.openCount; ++n) {
        const size_t open = IndexOf(capture.events, "open " + std::to_string(n));
        ASSERT_LT(open, capture.events.size());
        EXPECT_EQ(capture.events[open - 1], "close " + std::to_string(n - 1));
    }
    EXPECT_EQ(capture.closeCount, capture.openCount - 1);
    EXPECT_EQ(capture.OpenDevices(), 1);
    EXPECT_TRUE(capture.BufferQueued());
    EXPECT_TRUE(capture.violations.empty());
}

TEST_F(CaptureTest, FailedOpenIsTriedAgainByTheWatchdog) {
    capture.QueueBehaviour(CaptureBehaviour::FailsToOpen);
    TMainForm& form = Start();
    const uint32_t shownAt = time.TickCount();
    EXPECT_EQ(capture.openAttempts, 1);
    EXPECT_EQ(capture.openCount, 0);
    EXPECT_EQ(form.LastWaveTick, shownAt);

    ui.Advance(2000);  // exactly 2000 ms later is not yet overdue
    EXPECT_EQ(capture.openAttempts, 1);
    ui.Advance(500);
    EXPECT_EQ(capture.openAttempts, 2);
    EXPECT_TRUE(capture.BufferQueued());
    ASSERT_TRUE(capture.Deliver(Sine(kKiloHertzBin)));
    ui.RunPending();
    EXPECT_EQ(LoudestBand(form), kKiloHertzBand);
}

TEST_F(CaptureTest, WatchdogTickBeforeSetUpOpensNothing) {
    // A missing wallpaper file shows an error box during the show handler;
    // the clock ticks while it is open, before the capture is set up.
    store.PutText("WALLPAPER", "WP_FILE", "C:\\missing.bmp");
    int attemptsWhileOpen = -1;
    ui.AnswerMessageBox(kIdOk, [&] {
        ui.Advance(3000);
        attemptsWhileOpen = capture.openAttempts;
    });
    TMainForm& form = Start();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(attemptsWhileOpen, 0);
    EXPECT_EQ(capture.openAttempts, 1);
    EXPECT_TRUE(capture.formats.at(0) == kCaptureFormat);
    EXPECT_EQ(capture.firstBuffers.at(0), &form.WaveHeader);
    EXPECT_TRUE(capture.BufferQueued());
}

TEST_F(CaptureTest, LateMessageOfAReplacedDeviceCountsAsTheReturnedBuffer) {
    capture.QueueBehaviour(CaptureBehaviour::Stalls);
    TMainForm& form = Start();
    const int repaints = Repaints(form);
    // The restart resets the stalled device, which hands the buffer back with
    // a message of its own; that message is handled once the new device holds
    // the buffer.
    ui.Advance(2500);
    ASSERT_EQ(capture.openCount, 2);
    EXPECT_EQ(Repaints(form), repaints + 1);
    EXPECT_LT(IndexOf(capture.events, "return 1"), IndexOf(capture.events, "open 2"));
    EXPECT_EQ(capture.CurrentHandle(), HeadlessCaptureService::HandleOf(2));
    EXPECT_TRUE(capture.BufferQueued());

    // A message naming the old device, behind the new device's own one.
    ASSERT_TRUE(capture.Deliver(Sine(kKiloHertzBin)));
    ui.Post(Message{MessageKind::CaptureData, HeadlessCaptureService::HandleOf(1), &form.WaveHeader, 0});
    ui.RunPending();
    EXPECT_EQ(Repaints(form), repaints + 3);
    EXPECT_EQ(LoudestBand(form), kKiloHertzBand);
    EXPECT_EQ(form.LastWaveTick, time.TickCount());
    EXPECT_TRUE(capture.BufferQueued());
    EXPECT_EQ(capture.OpenDevices(), 1);
    EXPECT_TRUE(capture.violations.empty());
    ASSERT_TRUE(capture.Deliver(Sine(kLowBin)));
    ui.RunPending();
    EXPECT_EQ(LoudestBand(form), kLowBand);
}

TEST_F(CaptureTest, TickCounterWrapRestartsAtEveryTickOfTheLastStretch) {
    capture.behaviour = CaptureBehaviour::Stalls;
    time.SetTickCount(0xFFFFFFFFu - 1199);
    TMainForm& form = Start();
    EXPECT_EQ(form.LastWaveTick, 0xFFFFFFFFu - 1199);
    // LastWaveTick + 2000 wraps to a small number until the counter wraps
    // too; the regular period follows.
    std::vector<int> opensAfterTick;
    for (int i = 0; i < 7; ++i) {
        ui.Advance(500);
        opensAfterTick.push_back(capture.openCount);
    }
    EXPECT_EQ(opensAfterTick, (std::vector<int>{2, 3, 3, 3, 3, 3, 4}));
    EXPECT_TRUE(capture.violations.empty());
}

TEST_F(CaptureTest, FailedVolumeReadKeepsTheLastVolume) {
    audio.endpointVolume = false;
    audio.mixer.AddControl(VolumeControlKind::Level, 3, 0, 65535, 65535);
    audio.mixer.AddControl(VolumeControlKind::Mute, 4, 0, 1, 0);
    TMainForm& form = Start();
    EXPECT_EQ(form.SavedVolume, 65535u);

    ASSERT_TRUE(capture.Deliver(Sine(kKiloHertzBin)));
    ui.RunPending();
    EXPECT_EQ(form.SpectrumVolume, 65535u);
    const int32_t fullLevel = form.BandLevels[kKiloHertzBand];

    audio.mixer.failGet = true;
    ASSERT_TRUE(capture.Deliver(Sine(kKiloHertzBin)));
    ui.RunPending();
    EXPECT_EQ(form.SpectrumVolume, 65535u);
    EXPECT_EQ(form.BandLevels[kKiloHertzBand], fullLevel);
    EXPECT_TRUE(capture.BufferQueued());

    // A tenth of the volume reads again and lowers the band by 20 dB.
    audio.mixer.failGet = false;
    audio.mixer.AddControl(VolumeControlKind::Level, 3, 0, 65535, 6554);
    ASSERT_TRUE(capture.Deliver(Sine(kKiloHertzBin)));
    ui.RunPending();
    EXPECT_EQ(form.SpectrumVolume, 6554u);
    EXPECT_NEAR(form.BandLevels[kKiloHertzBand], fullLevel + 20, 1);
}

}  // namespace
}  // namespace duskpane
