// The volume and mute operations over the headless endpoint and mixer.
#include <gtest/gtest.h>

#include <array>

#include "audio/volume.h"
#include "platform/headless/headless_audio.h"
#include "util/errors.h"

namespace duskpane {
namespace {

constexpr uint32_t kVolumeId = 11;
constexpr uint32_t kMuteId = 12;
constexpr uint32_t kUntouched = 0xDEADBEEF;

class VolumeTest : public ::testing::Test {
protected:
    // A system before Windows 6.0 with a speakers line holding both controls.
    void UseMixer(uint32_t minimum = 0, uint32_t maximum = 65535, uint32_t volumeValue = 30000,
                  uint32_t muteValue = 0) {
        audio.endpointVolume = false;
        audio.mixer.AddControl(VolumeControlKind::Level, kVolumeId, minimum, maximum, volumeValue);
        audio.mixer.AddControl(VolumeControlKind::Mute, kMuteId, 0, 1, muteValue);
    }

    HeadlessAudioSystem audio;
    VolumeControl volume{audio};
};

TEST_F(VolumeTest, VersionPicksTheBackEndAtTheFirstLookup) {
    EXPECT_EQ(volume.FindVolumeControl(), 1);
    EXPECT_TRUE(volume.UseEndpointVolume);
    ASSERT_NE(volume.EndpointAudio, nullptr);
    EXPECT_EQ(volume.VolumeMinimum, 0u);
    EXPECT_EQ(volume.VolumeMaximum, 65535u);
    EXPECT_EQ(audio.endpoint.initCount, 1);
    // Fixed from now on: the mute lookup neither tests the version again nor
    // makes another endpoint, and no mixer call is ever made.
    EXPECT_EQ(volume.FindMuteControl(), 1);
    EXPECT_EQ(volume.FindVolumeControl(), 1);
    EXPECT_EQ(audio.endpointQueries, 1);
    EXPECT_EQ(audio.endpointsCreated, 1);
    EXPECT_EQ(audio.mixer.CallCount(), 0);

    HeadlessAudioSystem older;
    older.endpointVolume = false;
    older.mixer.AddControl(VolumeControlKind::Level, kVolumeId, 0, 100, 40);
    VolumeControl mixerVolume(older);
    EXPECT_EQ(mixerVolume.FindVolumeControl(), 1);
    EXPECT_FALSE(mixerVolume.UseEndpointVolume);
    EXPECT_EQ(mixerVolume.EndpointAudio, nullptr);
    EXPECT_EQ(mixerVolume.VolumeControlId, kVolumeId);
    EXPECT_EQ(mixerVolume.VolumeMaximum, 100u);
    EXPECT_EQ(older.endpointsCreated, 0);
    EXPECT_EQ(older.mixer.openCount, 1);
}

TEST_F(VolumeTest, EndpointLevelsReadAndWriteAsRawUnits) {
    ASSERT_EQ(volume.FindVolumeControl(), 1);
    ASSERT_EQ(volume.FindMuteControl(), 1);
    uint32_t raw = kUntouched;
    const std::array<std::pair<float, uint32_t>, 4> reads{{{1.0f, 65535}, {0.5f, 32767}, {0.0f, 0},
                                                           // 0.2f lies a hair above 0.2.
                                                           {0.2f, 13107}}};
    for (auto [level, expected] : reads) {
        audio.endpoint.level = level;
        EXPECT_EQ(volume.GetVolumeRaw(raw), 1);
        EXPECT_EQ(raw, expected) << "level " << level;
    }

    EXPECT_EQ(volume.SetVolumeRaw(65535), 1);
    EXPECT_EQ(audio.endpoint.levelsSet.back(), 1.0f);
    EXPECT_EQ(volume.SetVolumeRaw(0), 1);
    EXPECT_EQ(audio.endpoint.levelsSet.back(), 0.0f);
    EXPECT_EQ(volume.SetVolumeRaw(13107), 1);
    EXPECT_EQ(audio.endpoint.levelsSet.back(), 0.2f);

    // Any non-zero mute mutes the endpoint and reads back as 1.
    EXPECT_EQ(volume.SetMuteState(5), 1);
    EXPECT_TRUE(audio.endpoint.mutesSet.back());
    int32_t mute = -7;
    EXPECT_EQ(volume.GetMuteState(mute), 1);
    EXPECT_EQ(mute, 1);
    EXPECT_EQ(volume.SetMuteState(0), 1);
    EXPECT_FALSE(audio.endpoint.mutesSet.back());
    EXPECT_EQ(audio.mixer.CallCount(), 0);
}

TEST_F(VolumeTest, EndpointRefusalsStillReportSuccess) {
    ASSERT_EQ(volume.FindVolumeControl(), 1);
    audio.endpoint.level = 0.75f;
    audio.endpoint.muted = true;
    audio.endpoint.refuse = true;

    uint32_t raw = kUntouched;
    int32_t mute = 9;
    EXPECT_EQ(volume.GetVolumeRaw(raw), 1);
    EXPECT_EQ(raw, 0u);
    EXPECT_EQ(volume.GetMuteState(mute), 1);
    EXPECT_EQ(mute, 0);
    EXPECT_EQ(volume.SetVolumeRaw(100), 1);
    EXPECT_EQ(volume.SetMuteState(0), 1);
    EXPECT_EQ(audio.endpoint.level, 0.75f);
    EXPECT_TRUE(audio.endpoint.muted);

    EXPECT_EQ(volume.EndpointAudio->SetVolume(0.5), -1);
    EXPECT_EQ(volume.EndpointAudio->SetMute(0), -1);
    audio.endpoint.refuse = false;
    EXPECT_EQ(volume.EndpointAudio->SetVolume(0.5), 0);
    EXPECT_EQ(volume.EndpointAudio->SetMute(0), 0);
}

TEST_F(VolumeTest, InitErrorPropagatesWithTheEndpointChosen) {
    audio.endpoint.initRaises = true;
    EXPECT_THROW(volume.FindVolumeControl(), AppError);
    EXPECT_TRUE(volume.UseEndpointVolume);
    EXPECT_NE(volume.EndpointAudio, nullptr);

    // The operations go on over the endpoint that has no volume interface.
    EXPECT_EQ(volume.FindMuteControl(), 1);
    EXPECT_EQ(volume.FindVolumeControl(), 1);
    EXPECT_EQ(audio.endpoint.initCount, 1);
    uint32_t raw = kUntouched;
    EXPECT_EQ(volume.GetVolumeRaw(raw), 1);
    EXPECT_EQ(raw, 0u);
}

TEST_F(VolumeTest, PercentStepsOfTheEndpointAndOfAFullRangeMixer) {
    const std::array<uint32_t, 11> expected{0,     6553,  13107, 19660, 26214, 32767,
                                            39321, 45874, 52428, 58981, 65535};
    ASSERT_EQ(volume.FindVolumeControl(), 1);
    for (uint32_t step = 0; step <= 10; ++step) EXPECT_EQ(volume.PercentToRaw(step * 10), expected[step]);
    volume.SetVolumeRaw(volume.PercentToRaw(40));
    EXPECT_EQ(audio.endpoint.levelsSet.back(), 0.4f);

    HeadlessAudioSystem older;
    older.endpointVolume = false;
    older.mixer.AddControl(VolumeControlKind::Level, kVolumeId, 0, 65535, 0);
    VolumeControl mixerVolume(older);
    ASSERT_EQ(mixerVolume.FindVolumeControl(), 1);
    for (uint32_t step = 0; step <= 10; ++step)
        EXPECT_EQ(mixerVolume.PercentToRaw(step * 10), expected[step]);

    // Bounds that do not start at 0 are stepped between them.
    mixerVolume.VolumeMinimum = 100;
    mixerVolume.VolumeMaximum = 301;
    EXPECT_EQ(mixerVolume.PercentToRaw(0), 100u);
    EXPECT_EQ(mixerVolume.PercentToRaw(50), 200u);
    EXPECT_EQ(mixerVolume.PercentToRaw(100), 301u);
}

TEST_F(VolumeTest, MixerReadsAndWritesItsControls) {
    UseMixer(0, 65535, 30000, 1);
    uint32_t raw = kUntouched;
    int32_t mute = 0;
    EXPECT_EQ(volume.FindVolumeControl(), 1);
    EXPECT_EQ(volume.GetVolumeRaw(raw), 1);
    EXPECT_EQ(raw, 30000u);
    EXPECT_EQ(volume.FindMuteControl(), 1);
    EXPECT_EQ(volume.GetMuteState(mute), 1);
    EXPECT_EQ(mute, 1);
    // Each lookup ran the back-end choice once; found controls never again.
    EXPECT_EQ(audio.mixer.openCount, 2);

    EXPECT_EQ(volume.SetVolumeRaw(1234), 1);
    EXPECT_EQ(audio.mixer.Value(kVolumeId), 1234u);
    // The mute value reaches the mixer as it stands.
    EXPECT_EQ(volume.SetMuteState(5), 1);
    EXPECT_EQ(audio.mixer.Value(kMuteId), 5u);
    EXPECT_EQ(audio.mixer.openCount, 2);

    audio.mixer.failGet = true;
    audio.mixer.failSet = true;
    raw = kUntouched;
    mute = 3;
    EXPECT_EQ(volume.GetVolumeRaw(raw), 0);
    EXPECT_EQ(raw, kUntouched);
    EXPECT_EQ(volume.GetMuteState(mute), 0);
    EXPECT_EQ(mute, 3);
    EXPECT_EQ(volume.SetVolumeRaw(1), 0);
    EXPECT_EQ(volume.SetMuteState(0), 0);
    EXPECT_FALSE(volume.ReadVolumeRaw(raw));
}

TEST_F(VolumeTest, MixerThatCannotBeOpenedIsTriedAgainByEveryOperation) {
    UseMixer();
    audio.mixer.failOpen = true;
    uint32_t raw = kUntouched;
    int32_t mute = 4;
    EXPECT_EQ(volume.FindVolumeControl(), 0);
    EXPECT_EQ(volume.GetVolumeRaw(raw), 0);
    EXPECT_EQ(volume.SetVolumeRaw(10), 0);
    EXPECT_EQ(volume.FindMuteControl(), 0);
    EXPECT_EQ(volume.GetMuteState(mute), 0);
    EXPECT_EQ(volume.SetMuteState(1), 0);
    EXPECT_EQ(raw, kUntouched);
    EXPECT_EQ(mute, 4);
    EXPECT_EQ(audio.mixer.openCount, 6);
    EXPECT_EQ(audio.mixer.findCount + audio.mixer.getCount + audio.mixer.setCount, 0);
    EXPECT_EQ(volume.VolumeControlId, kNotFoundControl);

    audio.mixer.failOpen = false;
    EXPECT_EQ(volume.GetVolumeRaw(raw), 1);
    EXPECT_EQ(raw, 30000u);
    EXPECT_EQ(audio.mixer.openCount, 7);
}

TEST_F(VolumeTest, MissingLineOrControlLeavesEverythingUntouched) {
    UseMixer();
    audio.mixer.noSpeakersLine = true;
    uint32_t raw = kUntouched;
    EXPECT_EQ(volume.FindVolumeControl(), 0);
    EXPECT_EQ(volume.GetVolumeRaw(raw), 0);
    EXPECT_EQ(volume.SetMuteState(1), 0);
    EXPECT_EQ(raw, kUntouched);
    EXPECT_TRUE(audio.mixer.writes.empty());

    HeadlessAudioSystem noMute;
    noMute.endpointVolume = false;
    noMute.mixer.AddControl(VolumeControlKind::Level, kVolumeId, 0, 65535, 1);
    VolumeControl onlyVolume(noMute);
    EXPECT_EQ(onlyVolume.FindVolumeControl(), 1);
    EXPECT_EQ(onlyVolume.FindMuteControl(), 0);
    EXPECT_EQ(onlyVolume.MuteControlId, kNotFoundControl);
    // The volume control stays usable when a mute lookup cannot open the
    // mixer again.
    noMute.mixer.failOpen = true;
    EXPECT_EQ(onlyVolume.FindMuteControl(), 0);
    EXPECT_EQ(onlyVolume.GetVolumeRaw(raw), 1);
    EXPECT_EQ(raw, 1u);
}

TEST_F(VolumeTest, ControlIdentifier0xFFFFCountsAsNotFound) {
    audio.endpointVolume = false;
    audio.mixer.AddControl(VolumeControlKind::Level, kNotFoundControl, 0, 65535, 500);
    EXPECT_EQ(volume.FindVolumeControl(), 1);
    EXPECT_EQ(volume.VolumeControlId, kNotFoundControl);
    EXPECT_EQ(audio.mixer.openCount, 1);
    // Every later operation looks it up anew, opening the mixer again.
    uint32_t raw = 0;
    EXPECT_EQ(volume.GetVolumeRaw(raw), 1);
    EXPECT_EQ(raw, 500u);
    EXPECT_EQ(volume.FindVolumeControl(), 1);
    EXPECT_EQ(audio.mixer.openCount, 3);
}

}  // namespace
}  // namespace duskpane
