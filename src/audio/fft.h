// The forward transforms of the spectrum analysis: a complex radix-2 FFT with
// cached sine and bit-reversal tables, and the 4096-point real transform.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace duskpane {

// Points of the real transform; the complex transform inside has half as many.
constexpr int32_t kFftSize = 4096;
constexpr int32_t kFftHalfSize = kFftSize / 2;

// The tables of the complex transform, built for one size and kept until the
// size changes.
struct FftTableCache {
    int32_t size = 0;
    std::unique_ptr<int32_t[]> bitRev;     // size entries
    std::unique_ptr<double[]> sinTable;    // size + size / 4 entries
    // How often the tables were built; lets a test see that they are kept.
    int32_t buildCount = 0;
    // Test hook: while set, allocating the tables fails as if memory ran out.
    bool failAllocation = false;
};

// The process-wide cache used by Fft; only the GUI thread touches it.
extern FftTableCache FftCache;

// table[i] ~ sin(2 pi i / n) for i = 0 .. n + n/4 - 1, by recurrence; n >= 4.
void MakeSinTable(int32_t n, std::span<double> table);
// table[i] = i with its log2(n) bits reversed.
void MakeBitRevTable(int32_t n, std::span<int32_t> table);

// In place X[k] = (1/n) sum z[t] e^(-2 pi i t k / n) over x + i y, n a power
// of two from 4 up. Returns 0 when done, 1 when the tables could not be
// allocated (x and y are then untouched). n = 0 releases the tables.
int32_t Fft(int32_t n, std::span<double> x, std::span<double> y);

// The same transform as Fft without any table: bit reversal worked out on the
// fly and the twiddle factor advanced by complex multiplication.
void FftWithoutTables(int32_t n, std::span<double> x, std::span<double> y);

// Forward 4096-point transform of the real samples in re: afterwards
// re[k] + i im[k] = (1/4096) sum x[t] e^(-2 pi i t k / 4096) for k < 2048,
// bin 2048 is 0 and bins 2049 .. 4095 hold the conjugates of 2047 .. 1.
void RealFft(std::span<double, kFftSize> re, std::span<double, kFftSize> im);

}  // namespace duskpane
