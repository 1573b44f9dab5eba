// Tests of the transforms: tables, complex FFT, the table-free path and the
// real transform against a direct DFT.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "audio/fft.h"

namespace duskpane {
namespace {

using Complex = std::complex<double>;

// X[k] = (1/n) sum z[t] e^(-2 pi i t k / n), straight from the definition.
std::vector<Complex> DirectDft(const std::vector<Complex>& z) {
    const size_t n = z.size();
    std::vector<Complex> twiddle(n);
    for (size_t t = 0; t < n; ++t) twiddle[t] = std::polar(1.0, -2 * std::numbers::pi * double(t) / double(n));
    std::vector<Complex> result(n);
    for (size_t k = 0; k < n; ++k) {
        Complex sum = 0;
        for (size_t t = 0; t < n; ++t) sum += z[t] * twiddle[(t * k) % n];
        result[k] = sum / double(n);
    }
    return result;
}

std::vector<double> RandomValues(size_t count, uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> distribution(-30000, 30000);
    std::vector<double> values(count);
    for (double& v : values) v = distribution(generator);
    return values;
}

TEST(FftTest, TablesHoldSinesAndReversedIndexes) {
    const int32_t n = 2048;
    std::vector<double> sine(n + n / 4);
    MakeSinTable(n, sine);
    for (size_t i = 0; i < sine.size(); ++i)
        EXPECT_NEAR(sine[i], std::sin(2 * std::numbers::pi * double(i) / n), 1e-13) << i;

    std::vector<int32_t> eight(8);
    MakeBitRevTable(8, eight);
    EXPECT_EQ(eight, (std::vector<int32_t>{0, 4, 2, 6, 1, 5, 3, 7}));
    std::vector<int32_t> table(n);
    MakeBitRevTable(n, table);
    for (int32_t i = 0; i < n; ++i) {
        int32_t reversed = 0;
        for (int32_t bit = 0; bit < 11; ++bit)
            if (i & (1 << bit)) reversed |= 1 << (10 - bit);
        ASSERT_EQ(table[size_t(i)], reversed) << i;
    }
}

TEST(FftTest, BothComplexPathsMatchTheDirectDft) {
    for (int32_t n : {1, 2, 4, 8, 16, 256, 2048}) {
        const std::vector<double> re = RandomValues(size_t(n), 11u + uint32_t(n));
        const std::vector<double> im = RandomValues(size_t(n), 97u + uint32_t(n));
        std::vector<Complex> z(re.size());
        for (size_t i = 0; i < z.size(); ++i) z[i] = {re[i], im[i]};
        const std::vector<Complex> expected = DirectDft(z);

        std::vector<double> fx = re, fy = im;
        FftWithoutTables(n, fx, fy);
        std::vector<double> x = fx, y = fy;
        if (n >= 4) {
            x = re;
            y = im;
            ASSERT_EQ(Fft(n, x, y), 0);
        }
        for (size_t k = 0; k < size_t(n); ++k) {
            EXPECT_NEAR(x[k], expected[k].real(), 1e-7) << n << " bin " << k;
            EXPECT_NEAR(y[k], expected[k].imag(), 1e-7) << n << " bin " << k;
            EXPECT_NEAR(fx[k], x[k], 1e-8) << n << " bin " << k;
            EXPECT_NEAR(fy[k], y[k], 1e-8) << n << " bin " << k;
        }
    }
}

TEST(FftTest, RealTransformMatchesTheDirectDft) {
    const std::vector<double> samples = RandomValues(kFftSize, 5);
    std::vector<double> re = samples;
    std::vector<double> im(kFftSize, 123.0);
    RealFft(std::span<double, kFftSize>(re), std::span<double, kFftSize>(im));

    const std::vector<Complex> expected = DirectDft(std::vector<Complex>(samples.begin(), samples.end()));
    for (size_t k = 0; k < size_t(kFftHalfSize); ++k) {
        ASSERT_NEAR(re[k], expected[k].real(), 1e-8) << k;
        ASSERT_NEAR(im[k], expected[k].imag(), 1e-8) << k;
    }
    EXPECT_EQ(re[kFftHalfSize], 0.0);
    EXPECT_EQ(im[kFftHalfSize], 0.0);
    for (size_t k = 1; k < size_t(kFftHalfSize); ++k) {
        EXPECT_EQ(re[kFftSize - k], re[k]);
        EXPECT_EQ(im[kFftSize - k], -im[k]);
    }
}

TEST(FftTest, FailedTableAllocationFallsBackAndRetriesLater) {
    const std::vector<double> samples = RandomValues(kFftSize, 7);
    std::vector<double> tableRe = samples, tableIm(kFftSize);
    RealFft(std::span<double, kFftSize>(tableRe), std::span<double, kFftSize>(tableIm));

    ASSERT_EQ(Fft(0, {}, {}), 0);
    EXPECT_EQ(FftCache.size, 0);
    EXPECT_FALSE(FftCache.sinTable);
    FftCache.failAllocation = true;
    std::vector<double> x = {1, 2, 3, 4}, y = {0, 0, 0, 0};
    EXPECT_EQ(Fft(4, x, y), 1);
    EXPECT_EQ(x, (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(FftCache.size, 0);

    std::vector<double> fallbackRe = samples, fallbackIm(kFftSize);
    RealFft(std::span<double, kFftSize>(fallbackRe), std::span<double, kFftSize>(fallbackIm));
    EXPECT_EQ(FftCache.size, 0);
    FftCache.failAllocation = false;
    for (size_t k = 0; k < size_t(kFftSize); ++k) {
        EXPECT_NEAR(fallbackRe[k], tableRe[k], 1e-9) << k;
        EXPECT_NEAR(fallbackIm[k], tableIm[k], 1e-9) << k;
    }

    // The next transform builds the tables once and keeps them.
    const int32_t builds = FftCache.buildCount;
    std::vector<double> again = samples, againIm(kFftSize);
    RealFft(std::span<double, kFftSize>(again), std::span<double, kFftSize>(againIm));
    EXPECT_EQ(FftCache.size, kFftHalfSize);
    EXPECT_EQ(FftCache.buildCount, builds + 1);
    EXPECT_EQ(again, tableRe);
    const double* kept = FftCache.sinTable.get();
    again = samples;
    RealFft(std::span<double, kFftSize>(again), std::span<double, kFftSize>(againIm));
    EXPECT_EQ(FftCache.buildCount, builds + 1);
    EXPECT_EQ(FftCache.sinTable.get(), kept);
}

}  // namespace
}  // namespace duskpane
