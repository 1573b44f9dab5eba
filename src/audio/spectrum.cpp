// Spectrum analysis: volume scaling, mean removal, Hann window, real FFT,
// half-octave band levels in decibels, and the segmented bars.
#include "audio/spectrum.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <numbers>

namespace duskpane {

namespace {

// The raw volume scales a sample by volume / 65536.
constexpr double kVolumeScale = 1.52587890625e-05;
constexpr double kMeanLimit = 768;
constexpr double kPowerFloor = 1e-7;
// 1 / 70 000 000, the reciprocal of the 0 dB power, kept in extended precision.
constexpr long double kReferenceReciprocal = 1.0L / 70000000.0L;
constexpr double kBandEdgeFactor = 0.707107;
// The level every band starts from before its loudest bin is taken.
constexpr int32_t kQuietestBandLevel = 255;

constexpr Pixel kBaseBrush = MakeRgb(0, 204, 204);
constexpr Pixel kBasePen = MakeRgb(69, 255, 255);
constexpr Pixel kMiddleBrush = MakeRgb(247, 247, 0);
constexpr Pixel kMiddlePen = MakeRgb(255, 255, 34);
constexpr Pixel kTopColour = MakeRgb(255, 0, 0);
constexpr Pixel kSegmentPen = MakeRgb(34, 34, 34);

int16_t SampleAt(const SpectrumState& state, int32_t i) {
    const uint8_t low = state.SpectrumBuffer[size_t(2 * i)];
    const uint8_t high = state.SpectrumBuffer[size_t(2 * i + 1)];
    return int16_t(uint16_t(low | (high << 8)));
}

int32_t LoudestLevel(const std::array<int32_t, kFftHalfSize>& levels, int32_t from, int32_t to) {
    int32_t loudest = kQuietestBandLevel;
    for (int32_t k = from; k < to; ++k) loudest = std::min(loudest, levels[size_t(k)]);
    return loudest;
}

}  // namespace

int32_t SpectrumSampleCount(const SpectrumState& state) {
    // Computed wide so that no format can overflow it or divide by zero.
    const uint64_t rate = state.WaveFormat.avgBytesPerSec;
    if (rate == 0) return 0;
    const uint64_t count =
        uint64_t(state.WaveFormat.samplesPerSec) * uint64_t(state.WaveHeader.bufferLength) / rate;
    return int32_t(std::min<uint64_t>(count, uint64_t(std::numeric_limits<int32_t>::max())));
}

void MakeHannWindow(SpectrumState& state, int32_t h) {
    assert(h >= 0 && h <= kFftSize && "the half window does not fit the window table");
    for (int32_t i = 0; i < h; ++i)
        state.WindowTable[size_t(i)] = 0.5 - 0.5 * std::cos(std::numbers::pi * i / h);
}

void PrepareSpectrumSamples(SpectrumState& state, VolumeReader& volume,
                            std::span<double, kFftSize> samples) {
    const int32_t n = SpectrumSampleCount(state);
    const int32_t m = std::min(n, kFftSize);

    uint32_t currentVolume = 0;
    if (volume.ReadVolumeRaw(currentVolume)) state.SpectrumVolume = currentVolume;

    const double v = double(state.SpectrumVolume);
    for (int32_t i = 0; i < kFftSize; ++i)
        samples[size_t(i)] = i < n ? v * SampleAt(state, i) * kVolumeScale : 0.0;

    if (m > 0) {
        double sum = 0;
        for (int32_t i = 0; i < m; ++i) sum += samples[size_t(i)];
        double mean = sum / m;
        if (mean > kMeanLimit) mean = kMeanLimit;
        if (!(mean >= -kMeanLimit)) mean = -kMeanLimit;
        for (int32_t i = 0; i < m; ++i) samples[size_t(i)] -= mean;
    }

    const int32_t h = n >= kFftSize ? kFftHalfSize : n / 2;
    if (h != state.WindowLength) {
        MakeHannWindow(state, h);
        state.WindowLength = h;
    }
    for (int32_t i = 0; i < h; ++i) {
        const double w = state.WindowTable[size_t(i)];
        samples[size_t(i)] = w * samples[size_t(i)];
        samples[size_t(2 * h - 1 - i)] = w * samples[size_t(2 * h - 1 - i)];
    }
}

void AnalyseSpectrum(SpectrumState& state, VolumeReader& volume, Bitmap32& area) {
    std::array<double, kFftSize> re;
    std::array<double, kFftSize> im;
    PrepareSpectrumSamples(state, volume, re);
    im.fill(0);

    RealFft(re, im);

    Canvas canvas(area);
    canvas.pen.style = PenStyle::Solid;
    ComputeBandLevels(re, im, state.BandLevels);
    DrawSpectrum(state, canvas);
}

int32_t LevelFromDecibels(double y) {
    const double rounded = std::trunc(y - 0.5);
    constexpr double kLimit = std::numeric_limits<int32_t>::max();
    if (!std::isfinite(rounded) || rounded > kLimit || rounded < -kLimit) return 0;
    return -int32_t(rounded);
}

int32_t BinLevel(double power) {
    if (!(power > kPowerFloor)) return kSilentLevel;
    const double ratio = double(static_cast<long double>(power) * kReferenceReciprocal);
    return LevelFromDecibels(std::log(ratio) / std::log(10.0) * 10);
}

void ComputeBandLevels(std::span<const double, kFftSize> re, std::span<const double, kFftSize> im,
                       std::array<int32_t, kBandCount>& bandLevels) {
    std::array<int32_t, kFftHalfSize> levels;
    for (size_t k = 0; k < levels.size(); ++k) levels[k] = BinLevel(re[k] * re[k] + im[k] * im[k]);

    // Pairs of bands from the top octave down: mid splits bins e/2 .. e-1.
    int32_t e = kFftHalfSize;
    for (int32_t upper = kBandCount - 1; upper > 0; upper -= 2) {
        const int32_t mid = int32_t(kBandEdgeFactor * e + 0.5);
        bandLevels[size_t(upper)] = LoudestLevel(levels, mid, e);
        bandLevels[size_t(upper - 1)] = LoudestLevel(levels, e / 2, mid);
        e /= 2;
    }
}

int32_t BarPercent(int32_t level) {
    // Levels below the range all give a full bar; clamping keeps the product
    // below from overflowing.
    const int32_t l = std::clamp(level, -kDisplayRangeDb, kDisplayRangeDb);
    int32_t p = 100 - l * 100 / kDisplayRangeDb;
    if (p > 97) p = 100;
    return p / 10 * 10;
}

void DrawSpectrum(const SpectrumState& state, Canvas& canvas) {
    canvas.Target().Fill(kBlack);
    for (int32_t b = kBandCount - 1; b >= 0; --b) DrawBandBar(state, canvas, b);
}

void DrawBandBar(const SpectrumState& state, Canvas& canvas, int32_t b) {
    assert(b >= 0 && b < kBandCount && "no such band");
    const int32_t width = canvas.Target().Width();
    const int32_t height = canvas.Target().Height();
    const int32_t p = BarPercent(state.BandLevels[size_t(b)]);

    const int32_t columnWidth = width / kBandCount;
    const int32_t x1 = columnWidth * b + 2;
    const int32_t x2 = columnWidth * (b + 1) - 2;
    const int32_t bottom = height - 1;
    const int32_t top = bottom - (height - 1) * p / 100;

    canvas.brush.style = BrushStyle::Solid;
    canvas.brush.colour = kBaseBrush;
    canvas.pen.colour = kBasePen;
    canvas.Rectangle(x1, top, x2, bottom);
    if (p > 50) {
        canvas.brush.colour = kMiddleBrush;
        canvas.pen.colour = kMiddlePen;
        canvas.Rectangle(x1, top, x2, bottom - (height - 1) * 50 / 100);
    }
    if (p > 70) {
        canvas.brush.colour = kTopColour;
        canvas.pen.colour = kTopColour;
        canvas.Rectangle(x1, top, x2, bottom - (height - 1) * 70 / 100);
    }

    canvas.pen.colour = kSegmentPen;
    canvas.pen.style = PenStyle::Solid;
    for (int32_t t = 100; t >= 100 - p; t -= 10) {
        if (t == 100 || t == 0) continue;
        const int32_t y = height * t / 100;
        canvas.MoveTo(x1, y);
        canvas.LineTo(x2, y);
    }
}

}  // namespace duskpane
