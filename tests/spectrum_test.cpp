// Known-answer tests of the spectrum analysis and the bars it draws.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

#include "audio/spectrum.h"

namespace duskpane {
namespace {

constexpr uint32_t kFullVolume = 65535;
constexpr Pixel kBlackPixel = MakeRgb(0, 0, 0);
constexpr Pixel kCyanFill = MakeRgb(0, 204, 204);
constexpr Pixel kCyanEdge = MakeRgb(69, 255, 255);
constexpr Pixel kYellowFill = MakeRgb(247, 247, 0);
constexpr Pixel kYellowEdge = MakeRgb(255, 255, 34);
constexpr Pixel kRed = MakeRgb(255, 0, 0);
constexpr Pixel kGrey = MakeRgb(34, 34, 34);

class FakeVolume : public VolumeReader {
public:
    explicit FakeVolume(uint32_t value, bool works = true) : value_(value), works_(works) {}
    bool ReadVolumeRaw(uint32_t& value) override {
        if (works_) value = value_;
        return works_;
    }

private:
    uint32_t value_;
    bool works_;
};

// The capture's format: 44100 Hz mono 16-bit, 11025-byte buffers.
std::unique_ptr<SpectrumState> MakeState() {
    auto state = std::make_unique<SpectrumState>();
    state->WaveFormat = {1, 1, 44100, 88200, 2, 16};
    state->WaveHeader.bufferLength = 11025;
    return state;
}

void SetSample(SpectrumState& state, int32_t i, int16_t value) {
    state.SpectrumBuffer[size_t(2 * i)] = uint8_t(uint16_t(value) & 0xFF);
    state.SpectrumBuffer[size_t(2 * i + 1)] = uint8_t(uint16_t(value) >> 8);
}

// A sine of whole periods on FFT bin `bin` over the 5512 samples of a buffer.
void FillSine(SpectrumState& state, int32_t bin, double peak) {
    for (int32_t i = 0; i < 5512; ++i)
        SetSample(state, i, int16_t(std::lround(peak * std::sin(2 * std::numbers::pi * bin * i / kFftSize))));
}

void FillConstant(SpectrumState& state, int16_t value) {
    for (int32_t i = 0; i < 5512; ++i) SetSample(state, i, value);
}

std::array<int32_t, kBandCount> Analyse(SpectrumState& state, uint32_t volume, Bitmap32* area = nullptr) {
    FakeVolume reader(volume);
    Bitmap32 own(kSpectrumWidth, kSpectrumHeight);
    AnalyseSpectrum(state, reader, area ? *area : own);
    return state.BandLevels;
}

void ExpectOnlyBand(const std::array<int32_t, kBandCount>& levels, int32_t band, int32_t level) {
    for (int32_t b = 0; b < kBandCount; ++b) {
        if (b == band)
            EXPECT_EQ(levels[size_t(b)], level) << "band " << b;
        else
            EXPECT_GE(levels[size_t(b)], kDisplayRangeDb) << "band " << b;
    }
}

bool AllBlack(const Bitmap32& area) {
    for (Pixel p : area.Pixels())
        if (p != kBlackPixel) return false;
    return true;
}

TEST(SpectrumTest, SampleCountFollowsTheFormat) {
    auto state = MakeState();
    EXPECT_EQ(SpectrumSampleCount(*state), 5512);
    state->WaveFormat.avgBytesPerSec = 0;
    EXPECT_EQ(SpectrumSampleCount(*state), 0);
}

TEST(SpectrumTest, SilenceAndVolumeZeroLeaveEveryBandEmpty) {
    auto state = MakeState();
    Bitmap32 area(kSpectrumWidth, kSpectrumHeight, kWhite);
    for (int32_t level : Analyse(*state, kFullVolume, &area)) EXPECT_EQ(level, kSilentLevel);
    EXPECT_TRUE(AllBlack(area));

    FillSine(*state, 100, 32767);
    area.Fill(kWhite);
    for (int32_t level : Analyse(*state, 0, &area)) EXPECT_EQ(level, kSilentLevel);
    EXPECT_EQ(state->SpectrumVolume, 0u);
    EXPECT_TRUE(AllBlack(area));
}

TEST(SpectrumTest, SinesOnBinHundredGiveTheirLevelInBandEleven) {
    auto state = MakeState();
    Bitmap32 area(kSpectrumWidth, kSpectrumHeight);
    FillSine(*state, 100, 32767);
    ExpectOnlyBand(Analyse(*state, kFullVolume, &area), 11, 0);
    EXPECT_EQ(area.At(15 * 11 + 5, 0), kRed);
    EXPECT_EQ(area.At(15 * 10 + 5, 70), kBlackPixel);

    FillSine(*state, 100, 3276);
    ExpectOnlyBand(Analyse(*state, kFullVolume, &area), 11, 20);
    EXPECT_EQ(area.At(15 * 11 + 5, 23), kYellowFill);
    EXPECT_EQ(area.At(15 * 11 + 5, 20), kBlackPixel);

    FillSine(*state, 100, 327);
    ExpectOnlyBand(Analyse(*state, kFullVolume, &area), 11, 40);
    EXPECT_EQ(area.At(15 * 11 + 5, 44), kCyanFill);
    EXPECT_EQ(area.At(15 * 11 + 5, 42), kBlackPixel);

    // Half the volume is 6 dB down.
    FillSine(*state, 100, 32767);
    EXPECT_EQ(Analyse(*state, 32768)[11], 6);
}

TEST(SpectrumTest, BandEdgesFollowTheBinTable) {
    auto state = MakeState();
    // Each sine's neighbour bins, 6 dB down, spill over the band edge.
    FillSine(*state, 91, 32767);
    auto levels = Analyse(*state, kFullVolume);
    EXPECT_EQ(levels[11], 0);
    EXPECT_EQ(levels[10], 6);
    FillSine(*state, 90, 32767);
    levels = Analyse(*state, kFullVolume);
    EXPECT_EQ(levels[10], 0);
    EXPECT_EQ(levels[11], 6);
    FillSine(*state, 2, 32767);
    EXPECT_EQ(Analyse(*state, kFullVolume)[0], 0);
    FillSine(*state, 1448, 32767);
    levels = Analyse(*state, kFullVolume);
    EXPECT_EQ(levels[19], 0);
    EXPECT_EQ(levels[18], 6);
    FillSine(*state, 2047, 32767);
    EXPECT_EQ(Analyse(*state, kFullVolume)[19], 0);
}

TEST(SpectrumTest, OffsetsUpTo768AreRemovedAndLargerOnesShowNoBar) {
    auto state = MakeState();
    FillConstant(*state, 500);
    for (int32_t level : Analyse(*state, kFullVolume)) EXPECT_EQ(level, kSilentLevel);
    FillConstant(*state, -768);
    for (int32_t level : Analyse(*state, 65536)) EXPECT_EQ(level, kSilentLevel);

    // The excess over 768 stays, mostly in bins 0 and 1; what leaks into
    // band 0 is too weak for a bar.
    for (int16_t offset : {int16_t(32767), int16_t(-32768), int16_t(2000)}) {
        FillConstant(*state, offset);
        Bitmap32 area(kSpectrumWidth, kSpectrumHeight);
        const auto levels = Analyse(*state, kFullVolume, &area);
        EXPECT_LT(levels[0], kSilentLevel) << offset;
        for (int32_t level : levels) EXPECT_EQ(BarPercent(level), 0) << offset;
        EXPECT_TRUE(AllBlack(area)) << offset;
    }
}

TEST(SpectrumTest, FailedVolumeReadKeepsThePreviousVolume) {
    auto state = MakeState();
    FillSine(*state, 100, 32767);
    Analyse(*state, kFullVolume);
    FakeVolume broken(0, false);
    Bitmap32 area(kSpectrumWidth, kSpectrumHeight);
    AnalyseSpectrum(*state, broken, area);
    EXPECT_EQ(state->SpectrumVolume, kFullVolume);
    EXPECT_EQ(state->BandLevels[11], 0);
}

TEST(SpectrumTest, WindowIsBuiltOnceForTheBufferLength) {
    auto state = MakeState();
    EXPECT_EQ(state->WindowLength, 0);
    Analyse(*state, kFullVolume);
    EXPECT_EQ(state->WindowLength, kFftHalfSize);
    EXPECT_EQ(state->WindowTable[0], 0.0);
    EXPECT_DOUBLE_EQ(state->WindowTable[1024], 0.5);
    EXPECT_DOUBLE_EQ(state->WindowTable[512], 0.5 - 0.5 * std::cos(std::numbers::pi / 4));
    EXPECT_EQ(state->WindowTable[2048], 0.0);

    // Neither the window nor the transform tables are built again.
    const int32_t tableBuilds = FftCache.buildCount;
    state->WindowTable[0] = 0.25;
    Analyse(*state, kFullVolume);
    EXPECT_EQ(state->WindowTable[0], 0.25);
    EXPECT_EQ(FftCache.buildCount, tableBuilds);

    // A shorter buffer gets a window of half its sample count.
    state->WaveHeader.bufferLength = 2000;
    Analyse(*state, kFullVolume);
    EXPECT_EQ(state->WindowLength, 500);
    EXPECT_DOUBLE_EQ(state->WindowTable[250], 0.5);
}

TEST(SpectrumTest, LevelsRoundHalfADecibelTowardsLouder) {
    EXPECT_EQ(LevelFromDecibels(-3.4), 3);
    EXPECT_EQ(LevelFromDecibels(-3.5), 4);
    EXPECT_EQ(LevelFromDecibels(0.7), 0);
    EXPECT_EQ(LevelFromDecibels(1.6), -1);
    EXPECT_EQ(LevelFromDecibels(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(LevelFromDecibels(-std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(LevelFromDecibels(-1e300), 0);

    EXPECT_EQ(BinLevel(0), kSilentLevel);
    EXPECT_EQ(BinLevel(1e-7), kSilentLevel);
    EXPECT_EQ(BinLevel(7e7), 0);
    EXPECT_EQ(BinLevel(7e5), 20);
    EXPECT_EQ(BinLevel(7e8), -9);
}

TEST(SpectrumTest, BarPercentagesStepByTen) {
    EXPECT_EQ(BarPercent(3), 90);
    for (int32_t level : {0, 1, 2, -1, -500, std::numeric_limits<int32_t>::min()})
        EXPECT_EQ(BarPercent(level), 100) << level;
    EXPECT_EQ(BarPercent(20), 70);
    EXPECT_EQ(BarPercent(40), 40);
    EXPECT_EQ(BarPercent(71), 0);
    EXPECT_EQ(BarPercent(72), 0);
    EXPECT_EQ(BarPercent(kSilentLevel), 0);
}

// The colour of one pixel of a bar of p percent, from the bar's layout:
// cyan below y = 36, yellow from 36 up to 22, red above; outlines on the
// left and right columns and on the bottom row of each part; grey segment
// lines at the tenths.
Pixel ExpectedBarPixel(int32_t p, int32_t x, int32_t y, int32_t b) {
    const int32_t left = 15 * b + 2;
    const int32_t right = 15 * b + 12;
    if (x < left || x > right) return kBlackPixel;
    const int32_t top = 71 - 71 * p / 100;
    for (int32_t t = 90; t >= 10 && t >= 100 - p; t -= 10)
        if (y == 72 * t / 100) return kGrey;
    if (y < top || y > 70) return kBlackPixel;
    const bool edge = x == left || x == right || y == top;
    if (p > 70 && y < 22) return kRed;
    if (p > 50 && y < 36) return edge || y == 35 ? kYellowEdge : kYellowFill;
    return edge || y == 70 ? kCyanEdge : kCyanFill;
}

TEST(SpectrumTest, BarsAreDrawnPixelByPixel) {
    auto state = MakeState();
    const int32_t band = 7;
    for (int32_t level : {-3, 0, 3, 10, 20, 25, 40, 66, 71, kSilentLevel}) {
        Bitmap32 area(kSpectrumWidth, kSpectrumHeight, kWhite);
        Canvas canvas(area);
        state->BandLevels.fill(kSilentLevel);
        state->BandLevels[band] = level;
        DrawSpectrum(*state, canvas);
        const int32_t p = BarPercent(level);
        for (int32_t y = 0; y < kSpectrumHeight; ++y)
            for (int32_t x = 0; x < kSpectrumWidth; ++x)
                ASSERT_EQ(area.At(x, y), ExpectedBarPixel(p, x, y, band))
                    << "level " << level << " at " << x << "," << y;
    }
}

TEST(SpectrumTest, EveryBandHasItsOwnColumn) {
    auto state = MakeState();
    state->BandLevels.fill(0);
    Bitmap32 area(kSpectrumWidth, kSpectrumHeight);
    Canvas canvas(area);
    DrawSpectrum(*state, canvas);
    for (int32_t b = 0; b < kBandCount; ++b) {
        EXPECT_EQ(area.At(15 * b + 1, 60), kBlackPixel) << b;
        EXPECT_EQ(area.At(15 * b + 2, 60), kCyanEdge) << b;
        EXPECT_EQ(area.At(15 * b + 7, 60), kCyanFill) << b;
        EXPECT_EQ(area.At(15 * b + 12, 60), kCyanEdge) << b;
        EXPECT_EQ(area.At(15 * b + 13, 60), kBlackPixel) << b;
        EXPECT_EQ(area.At(15 * b + 7, 0), kRed) << b;
        EXPECT_EQ(area.At(15 * b + 7, 71), kBlackPixel) << b;
    }
}

}  // namespace
}  // namespace duskpane
