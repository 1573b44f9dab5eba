// The analysis of one captured buffer (volume scaling, mean removal, Hann
// window, the program's real FFT, band levels, bars) against the same chain
// built on FFTW's 4096-point real transform. Both must give identical band
// levels; the program's chain should take at most 1.5 times as long.
#include <fftw3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "audio/fft.h"
#include "audio/spectrum.h"
#include "bench_util.h"
#include "ui/canvas.h"

using namespace duskpane;

namespace {

constexpr double kTarget = 1.5;
constexpr int kCheckBuffers = 1000;
// Timed in short alternating rounds so that both chains see the same load.
constexpr int kRounds = 41;
constexpr int kRoundBuffers = 250;
// The parts are timed over longer runs.
constexpr int kTimedBuffers = 2000;
constexpr int kRepeats = 9;
// Distinct buffers cycled through while timing.
constexpr int kTimedStates = 16;
// As the capture asks for it: 44100 Hz mono 16-bit, 125 ms buffers.
constexpr uint32_t kRate = 44100;
constexpr uint32_t kBufferBytes = 11025;

class SettableVolume : public VolumeReader {
public:
    bool ReadVolumeRaw(uint32_t& value) override {
        value = volume;
        return true;
    }
    uint32_t volume = 0;
};

void SetUpCaptureFormat(SpectrumState& state) {
    state.WaveFormat.formatTag = 1;
    state.WaveFormat.channels = 1;
    state.WaveFormat.samplesPerSec = kRate;
    state.WaveFormat.blockAlign = 2;
    state.WaveFormat.avgBytesPerSec = kRate * 2;
    state.WaveFormat.bitsPerSample = 16;
    state.WaveHeader.bufferLength = kBufferBytes;
}

// Random 16-bit noise of a random level plus up to four tones of random
// frequency and amplitude; some buffers are silent, some tones only.
void FillRandomBuffer(std::mt19937_64& random, SpectrumState& state) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const int samples = int(kBufferBytes / 2);
    std::vector<double> signal(size_t(samples), 0.0);
    const double kind = unit(random);
    if (kind >= 0.05) {
        // Noise from about 1 to full scale, or none for a tenth of the buffers.
        const double noise = kind < 0.15 ? 0.0 : std::pow(10.0, unit(random) * 4.5);
        std::normal_distribution<double> gauss(0.0, noise > 0 ? noise : 1.0);
        if (noise > 0)
            for (double& s : signal) s = gauss(random);
        const int tones = int(unit(random) * 5);
        for (int t = 0; t < tones; ++t) {
            const double frequency = 20.0 * std::pow(1000.0, unit(random));  // 20 Hz .. 20 kHz
            const double amplitude = std::pow(10.0, unit(random) * 4.5);
            const double phase = unit(random) * 2 * std::numbers::pi;
            for (int i = 0; i < samples; ++i)
                signal[size_t(i)] += amplitude * std::sin(2 * std::numbers::pi * frequency * i / kRate + phase);
        }
        // Now and then a constant offset, which the mean removal takes out.
        if (unit(random) < 0.1) {
            const double offset = (unit(random) - 0.5) * 4000;
            for (double& s : signal) s += offset;
        }
    }
    state.SpectrumBuffer.fill(0);
    for (int i = 0; i < samples; ++i) {
        const double clipped = std::clamp(std::round(signal[size_t(i)]), -32768.0, 32767.0);
        const uint16_t word = uint16_t(int16_t(clipped));
        state.SpectrumBuffer[size_t(2 * i)] = uint8_t(word & 0xFF);
        state.SpectrumBuffer[size_t(2 * i + 1)] = uint8_t(word >> 8);
    }
}

// The analysis on FFTW: the plan is made once, for one pair of arrays.
class FftwChain {
public:
    FftwChain()
        : in_(fftw_alloc_real(kFftSize)), out_(fftw_alloc_complex(kFftSize / 2 + 1)) {
        plan_ = fftw_plan_dft_r2c_1d(kFftSize, in_, out_, FFTW_MEASURE);
    }
    ~FftwChain() {
        fftw_destroy_plan(plan_);
        fftw_free(in_);
        fftw_free(out_);
    }
    FftwChain(const FftwChain&) = delete;
    FftwChain& operator=(const FftwChain&) = delete;

    // The samples scaled, the mean removed and the window applied by the
    // program's own preparation; written to prepared.
    static void Prepare(SpectrumState& state, VolumeReader& volume, double* prepared) {
        PrepareSpectrumSamples(state, volume, std::span<double, kFftSize>(prepared, kFftSize));
    }

    // FFTW's transform scaled by 1/4096 and laid out as RealFft leaves it.
    void Transform(std::array<double, kFftSize>& re, std::array<double, kFftSize>& im) {
        fftw_execute(plan_);
        constexpr double scale = 1.0 / kFftSize;
        for (int32_t k = 0; k < kFftHalfSize; ++k) {
            re[size_t(k)] = out_[k][0] * scale;
            im[size_t(k)] = out_[k][1] * scale;
        }
        re[kFftHalfSize] = 0;
        im[kFftHalfSize] = 0;
        for (int32_t k = 1; k < kFftHalfSize; ++k) {
            re[size_t(kFftSize - k)] = re[size_t(k)];
            im[size_t(kFftSize - k)] = -im[size_t(k)];
        }
    }

    void Analyse(SpectrumState& state, VolumeReader& volume, Bitmap32& area) {
        Prepare(state, volume, in_);
        std::array<double, kFftSize> re;
        std::array<double, kFftSize> im;
        Transform(re, im);
        Canvas canvas(area);
        canvas.pen.style = PenStyle::Solid;
        ComputeBandLevels(re, im, state.BandLevels);
        DrawSpectrum(state, canvas);
    }

    double* Input() { return in_; }

private:
    double* in_;
    fftw_complex* out_;
    fftw_plan plan_;
};

// The decibels of a bin before rounding, as BinLevel works them out.
double BinDecibels(double power) {
    const double ratio = double(static_cast<long double>(power) * (1.0L / 70000000.0L));
    return std::log(ratio) / std::log(10.0) * 10;
}

// Shows, for a buffer whose levels differ, the bins whose levels differ and
// how far their decibels lie from a rounding boundary.
void ExplainMismatch(SpectrumState& state, SettableVolume& volume, FftwChain& fftw) {
    std::array<double, kFftSize> re{};
    std::array<double, kFftSize> im{};
    FftwChain::Prepare(state, volume, re.data());
    RealFft(re, im);
    std::array<double, kFftSize> fre{};
    std::array<double, kFftSize> fim{};
    FftwChain::Prepare(state, volume, fftw.Input());
    fftw.Transform(fre, fim);
    int shown = 0;
    for (int k = 0; k < kFftHalfSize && shown < 5; ++k) {
        const double p = re[size_t(k)] * re[size_t(k)] + im[size_t(k)] * im[size_t(k)];
        const double q = fre[size_t(k)] * fre[size_t(k)] + fim[size_t(k)] * fim[size_t(k)];
        if (BinLevel(p) != BinLevel(q)) {
            std::printf("  bin %d: level %d vs %d, power %.17g vs %.17g, dB %.15f vs %.15f\n", k, BinLevel(p),
                        BinLevel(q), p, q, BinDecibels(p), BinDecibels(q));
            ++shown;
        }
    }
}

}  // namespace

int main() {
    std::printf("spectrum: one 11025-byte buffer at 44100 Hz mono 16-bit, area %d x %d\n", kSpectrumWidth,
                kSpectrumHeight);
    std::mt19937_64 random(20240611);
    FftwChain fftw;
    SettableVolume volume;

    // Identical band levels (and bars) on random buffers at random volumes.
    auto ours = std::make_unique<SpectrumState>();
    auto peer = std::make_unique<SpectrumState>();
    SetUpCaptureFormat(*ours);
    SetUpCaptureFormat(*peer);
    Bitmap32 ourArea(kSpectrumWidth, kSpectrumHeight);
    Bitmap32 peerArea(kSpectrumWidth, kSpectrumHeight);
    int mismatches = 0;
    int areaMismatches = 0;
    int silent = 0;
    std::uniform_int_distribution<uint32_t> anyVolume(0, 65535);
    for (int b = 0; b < kCheckBuffers; ++b) {
        FillRandomBuffer(random, *ours);
        peer->SpectrumBuffer = ours->SpectrumBuffer;
        // Mostly full or random volume, now and then muted to 0.
        const uint32_t roll = uint32_t(random() % 10);
        volume.volume = roll == 0 ? 0 : roll < 5 ? 65535 : anyVolume(random);
        AnalyseSpectrum(*ours, volume, ourArea);
        fftw.Analyse(*peer, volume, peerArea);
        bool allSilent = true;
        for (int32_t level : ours->BandLevels) allSilent = allSilent && level == kSilentLevel;
        silent += allSilent ? 1 : 0;
        if (ours->BandLevels != peer->BandLevels) {
            ++mismatches;
            if (mismatches <= 5) {
                std::printf("buffer %d differs (volume %u):\n", b, volume.volume);
                for (int i = 0; i < kBandCount; ++i)
                    if (ours->BandLevels[size_t(i)] != peer->BandLevels[size_t(i)])
                        std::printf("  band %d: %d vs %d\n", i, ours->BandLevels[size_t(i)],
                                    peer->BandLevels[size_t(i)]);
                ExplainMismatch(*peer, volume, fftw);
            }
        }
        if (!(ourArea == peerArea)) ++areaMismatches;
    }
    std::printf("check: %d random buffers (%d all-silent), band-level mismatches %d, bar mismatches %d\n",
                kCheckBuffers, silent, mismatches, areaMismatches);

    // Timing: the same buffers through both chains, repeats interleaved.
    std::vector<std::unique_ptr<SpectrumState>> ourStates;
    std::vector<std::unique_ptr<SpectrumState>> peerStates;
    for (int s = 0; s < kTimedStates; ++s) {
        ourStates.push_back(std::make_unique<SpectrumState>());
        SetUpCaptureFormat(*ourStates.back());
        FillRandomBuffer(random, *ourStates.back());
        peerStates.push_back(std::make_unique<SpectrumState>(*ourStates.back()));
    }
    volume.volume = 52428;  // 80 %
    std::vector<bench::Sample> ourTimes;
    std::vector<bench::Sample> peerTimes;
    int32_t sink = 0;
    for (int r = 0; r < kRounds + 1; ++r) {
        const bench::Timer ourTimer;
        for (int b = 0; b < kRoundBuffers; ++b) {
            SpectrumState& state = *ourStates[size_t(b % kTimedStates)];
            AnalyseSpectrum(state, volume, ourArea);
            sink += state.BandLevels[5];
        }
        const bench::Sample ourTime = ourTimer.Stop(kRoundBuffers);
        const bench::Timer peerTimer;
        for (int b = 0; b < kRoundBuffers; ++b) {
            SpectrumState& state = *peerStates[size_t(b % kTimedStates)];
            fftw.Analyse(state, volume, peerArea);
            sink -= state.BandLevels[5];
        }
        const bench::Sample peerTime = peerTimer.Stop(kRoundBuffers);
        if (r > 0) {  // the first round warms up
            ourTimes.push_back(ourTime);
            peerTimes.push_back(peerTime);
        }
    }
    // Both chains saw the same buffers, so their levels must add up alike.
    if (sink != 0) {
        std::printf("spectrum: the chains gave other band levels while timed\n");
        ++mismatches;
    }

    // Where the time goes: the transforms alone and the shared steps.
    std::vector<double> ourFft;
    std::vector<double> peerFft;
    std::vector<double> levels;
    std::vector<double> drawing;
    {
        SpectrumState& state = *ourStates[0];
        std::array<double, kFftSize> prepared{};
        FftwChain::Prepare(state, volume, prepared.data());
        std::array<double, kFftSize> re{};
        std::array<double, kFftSize> im{};
        for (int r = 0; r < kRepeats; ++r) {
            bench::Timer timer;
            for (int b = 0; b < kTimedBuffers; ++b) {
                re = prepared;
                RealFft(re, im);
            }
            ourFft.push_back(timer.Stop(kTimedBuffers).cpu);
            timer = bench::Timer();
            for (int b = 0; b < kTimedBuffers; ++b) {
                std::memcpy(fftw.Input(), prepared.data(), sizeof prepared);
                fftw.Transform(re, im);
            }
            peerFft.push_back(timer.Stop(kTimedBuffers).cpu);
            timer = bench::Timer();
            for (int b = 0; b < kTimedBuffers; ++b) ComputeBandLevels(re, im, state.BandLevels);
            levels.push_back(timer.Stop(kTimedBuffers).cpu);
            timer = bench::Timer();
            for (int b = 0; b < kTimedBuffers; ++b) {
                Canvas canvas(ourArea);
                canvas.pen.style = PenStyle::Solid;
                DrawSpectrum(state, canvas);
            }
            drawing.push_back(timer.Stop(kTimedBuffers).cpu);
        }
    }
    std::printf("parts (median cpu us): RealFft %.2f, FFTW transform+layout %.2f, ComputeBandLevels %.2f, "
                "DrawSpectrum %.2f\n",
                bench::Median(ourFft) * 1e6, bench::Median(peerFft) * 1e6, bench::Median(levels) * 1e6,
                bench::Median(drawing) * 1e6);
    std::printf("per buffer, medians of %d alternating rounds of %d buffers\n", kRounds, kRoundBuffers);
    const bool met = bench::Report("spectrum", "us", 1e6, ourTimes, peerTimes, "FFTW chain", kTarget);
    if (mismatches != 0 || areaMismatches != 0) {
        std::printf("spectrum: FAIL, %d buffers give other band levels and %d other bars than FFTW\n", mismatches,
                    areaMismatches);
        return 1;
    }
    return met ? 0 : 3;
}
