// The spectrum analysis of a captured buffer and the drawing of its 20 bars.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "audio/fft.h"
#include "platform/platform.h"
#include "util/bitmap.h"
#include "ui/canvas.h"

namespace duskpane {

// Half-octave bands shown as bars.
constexpr int32_t kBandCount = 20;
// Size of the spectrum drawing area in pixels.
constexpr int32_t kSpectrumWidth = 300;
constexpr int32_t kSpectrumHeight = 72;

// The main-window fields the analysis reads and writes.
struct SpectrumState {
    // Copy of the capture area; sample i is the signed 16-bit little-endian
    // value at bytes 2i and 2i + 1.
    std::array<uint8_t, kSpectrumBufferBytes> SpectrumBuffer{};
    duskpane::WaveFormat WaveFormat{};
    // Only its buffer length is read here.
    CaptureBuffer WaveHeader{};
    // Raw output volume read for the current buffer; 0 until the first read.
    uint32_t SpectrumVolume = 0;
    // Band levels in decibels below the reference; index 0 is the lowest band.
    std::array<int32_t, kBandCount> BandLevels{};
    // Half length WindowTable was last built for; 0 until the first buffer.
    int32_t WindowLength = 0;
    std::array<double, kFftSize> WindowTable{};
};

// Level of a bin whose power is at or below the floor.
constexpr int32_t kSilentLevel = 128;
// Levels at or beyond this many decibels show as an empty bar.
constexpr int32_t kDisplayRangeDb = 72;

// Samples in one buffer: samples per second x buffer length / average bytes
// per second; 0 when the format gives no byte rate.
int32_t SpectrumSampleCount(const SpectrumState& state);

// The samples of SpectrumBuffer ready for the transform: scaled by the
// current output volume (read into SpectrumVolume when it can be read), the
// mean removed (held to +-768) and the Hann window applied over the first
// 2h samples; zero beyond the buffer's samples.
void PrepareSpectrumSamples(SpectrumState& state, VolumeReader& volume,
                            std::span<double, kFftSize> samples);

// Analyses SpectrumBuffer, scaled by the current output volume, into
// BandLevels and draws the bars into the spectrum area.
void AnalyseSpectrum(SpectrumState& state, VolumeReader& volume, Bitmap32& area);

// WindowTable[i] = 0.5 - 0.5 cos(pi i / h) for i < h: half a Hann window.
void MakeHannWindow(SpectrumState& state, int32_t h);

// Decibels relative to the reference turned into a level: -trunc(y - 0.5);
// 0 when y is not finite or the level does not fit.
int32_t LevelFromDecibels(double y);
// Level of one bin from its power: decibels below the reference power,
// kSilentLevel at or below the power floor.
int32_t BinLevel(double power);
// The loudest bin level of each half-octave band of the first 2048 bins.
void ComputeBandLevels(std::span<const double, kFftSize> re, std::span<const double, kFftSize> im,
                       std::array<int32_t, kBandCount>& bandLevels);

// Height of a bar in percent for a band level: 0, 10, ... 100.
int32_t BarPercent(int32_t level);
// Clears the area to the main window's black and draws bars 19 down to 0.
void DrawSpectrum(const SpectrumState& state, Canvas& canvas);
// Draws the segmented bar of band b into the canvas.
void DrawBandBar(const SpectrumState& state, Canvas& canvas, int32_t b);

}  // namespace duskpane
