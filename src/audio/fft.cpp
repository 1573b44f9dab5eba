// Complex radix-2 FFT with cached tables, and the real transform built on it.
#include "audio/fft.h"

#include <array>
#include <cassert>
#include <cmath>
#include <new>
#include <numbers>
#include <utility>

namespace duskpane {

FftTableCache FftCache;

namespace {

[[maybe_unused]] bool IsPowerOfTwo(int32_t n) { return n > 0 && (n & (n - 1)) == 0; }

void ReleaseTables() {
    FftCache.bitRev.reset();
    FftCache.sinTable.reset();
}

// Builds the tables for n; false when they could not be allocated.
bool BuildTables(int32_t n) {
    if (!FftCache.failAllocation) {
        FftCache.sinTable.reset(new (std::nothrow) double[size_t(n + n / 4)]);
        FftCache.bitRev.reset(new (std::nothrow) int32_t[size_t(n)]);
    }
    if (!FftCache.sinTable || !FftCache.bitRev) {
        ReleaseTables();
        return false;
    }
    MakeSinTable(n, std::span<double>(FftCache.sinTable.get(), size_t(n + n / 4)));
    MakeBitRevTable(n, std::span<int32_t>(FftCache.bitRev.get(), size_t(n)));
    ++FftCache.buildCount;
    return true;
}

void Butterfly(double c, double s, double& xi, double& yi, double& xk, double& yk) {
    const double dx = s * yk + c * xk;
    const double dy = c * yk - s * xk;
    xk = xi - dx;
    xi = xi + dx;
    yk = yi - dy;
    yi = yi + dy;
}

// n is a power of two, so multiplying by its exact reciprocal rounds as the
// division does.
void Normalise(int32_t n, std::span<double> x, std::span<double> y) {
    const double scale = 1.0 / n;
    for (int32_t i = 0; i < n; ++i) {
        x[size_t(i)] *= scale;
        y[size_t(i)] *= scale;
    }
}

// The cosines and sines of the real transform's final pass, at angles
// accumulated step by step by addition, worked out once.
struct RealTwiddles {
    std::array<double, kFftHalfSize> c;
    std::array<double, kFftHalfSize> s;
    RealTwiddles() {
        const double step = 2 * std::numbers::pi / kFftSize;
        double theta = 0;
        for (size_t i = 0; i < c.size(); ++i) {
            c[i] = std::cos(theta);
            s[i] = std::sin(theta);
            theta = theta + step;
        }
    }
};

}  // namespace

void MakeSinTable(int32_t n, std::span<double> table) {
    assert(IsPowerOfTwo(n) && n >= 4 && "the sine table needs a power-of-two size of 4 or more");
    assert(table.size() >= size_t(n + n / 4) && "the sine table is too small");
    const int32_t n2 = n / 2;
    const int32_t n4 = n / 4;
    const int32_t n8 = n / 8;
    double t = std::sin(std::numbers::pi / n);
    double dc = 2 * t * t;
    double ds = std::sqrt(dc * (2 - dc));
    t = 2 * dc;
    double c = 1;
    double s = 0;
    table[size_t(n4)] = c;
    table[0] = s;
    for (int32_t i = 1; i < n8; ++i) {
        c = c - dc;
        dc = dc + t * c;
        s = s + ds;
        ds = ds - t * s;
        table[size_t(i)] = s;
        table[size_t(n4 - i)] = c;
    }
    if (n8 != 0) table[size_t(n8)] = std::sqrt(0.5);
    for (int32_t i = 0; i < n4; ++i) table[size_t(n2 - i)] = table[size_t(i)];
    for (int32_t i = 0; i < n2 + n4; ++i) table[size_t(i + n2)] = -table[size_t(i)];
}

void MakeBitRevTable(int32_t n, std::span<int32_t> table) {
    assert(IsPowerOfTwo(n) && "the bit-reversal table needs a power-of-two size");
    assert(table.size() >= size_t(n) && "the bit-reversal table is too small");
    int32_t i = 0;
    int32_t j = 0;
    for (;;) {
        table[size_t(i)] = j;
        if (++i >= n) break;
        int32_t k = n / 2;
        while (k <= j) {
            j -= k;
            k /= 2;
        }
        j += k;
    }
}

int32_t Fft(int32_t n, std::span<double> x, std::span<double> y) {
    // Below 4 points the cosine and sine would share the one table entry.
    assert((n == 0 || (IsPowerOfTwo(n) && n >= 4)) && "the transform size must be a power of two, 4 or more");
    assert(x.size() >= size_t(n) && y.size() >= size_t(n) && "the transform arrays are too small");
    if (n != FftCache.size || n == 0) {
        ReleaseTables();
        FftCache.size = n;
        if (n == 0) return 0;
        if (!BuildTables(n)) {
            FftCache.size = 0;
            return 1;
        }
    }
    const int32_t* bitRev = FftCache.bitRev.get();
    const double* sine = FftCache.sinTable.get();
    const int32_t n4 = n / 4;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t j = bitRev[i];
        if (i < j) {
            std::swap(x[size_t(i)], x[size_t(j)]);
            std::swap(y[size_t(i)], y[size_t(j)]);
        }
    }
    // Each stage pairs i with i + k inside blocks of 2k; the pairs of a block
    // are taken in order so that the arrays are walked straight through.
    double* xs = x.data();
    double* ys = y.data();
    for (int32_t k = 1; k < n;) {
        const int32_t k2 = 2 * k;
        const int32_t d = n / k2;
        for (int32_t block = 0; block < n; block += k2) {
            double* xi = xs + block;
            double* yi = ys + block;
            double* xk = xi + k;
            double* yk = yi + k;
            for (int32_t j = 0, h = 0; j < k; ++j, h += d)
                Butterfly(sine[h + n4], sine[h], xi[j], yi[j], xk[j], yk[j]);
        }
        k = k2;
    }
    Normalise(n, x, y);
    return 0;
}

void FftWithoutTables(int32_t n, std::span<double> x, std::span<double> y) {
    assert(IsPowerOfTwo(n) && "the transform size must be a power of two");
    assert(x.size() >= size_t(n) && y.size() >= size_t(n) && "the transform arrays are too small");
    // The reversed index advances exactly as the table builder advances it.
    int32_t j = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (i < j) {
            std::swap(x[size_t(i)], x[size_t(j)]);
            std::swap(y[size_t(i)], y[size_t(j)]);
        }
        if (i + 1 >= n) break;
        int32_t k = n / 2;
        while (k <= j) {
            j -= k;
            k /= 2;
        }
        j += k;
    }
    // The twiddle factor is c - i s; each step multiplies it by e^(-i pi / k).
    for (int32_t k = 1; k < n; k *= 2) {
        const double theta = std::numbers::pi / k;
        const double stepC = std::cos(theta);
        const double stepS = std::sin(theta);
        double c = 1;
        double s = 0;
        for (int32_t jj = 0; jj < k; ++jj) {
            for (int32_t i = jj; i < n; i += 2 * k) {
                const int32_t ik = i + k;
                Butterfly(c, s, x[size_t(i)], y[size_t(i)], x[size_t(ik)], y[size_t(ik)]);
            }
            const double nextC = c * stepC - s * stepS;
            s = c * stepS + s * stepC;
            c = nextC;
        }
    }
    Normalise(n, x, y);
}

void RealFft(std::span<double, kFftSize> re, std::span<double, kFftSize> im) {
    constexpr int32_t n = kFftSize;
    constexpr int32_t m = kFftHalfSize;
    static const RealTwiddles twiddles;
    std::array<double, m> a;
    std::array<double, m> b;
    for (int32_t i = 0; i < m; ++i) {
        re[size_t(i)] = re[size_t(2 * i)];
        im[size_t(i)] = re[size_t(2 * i + 1)];
    }
    if (Fft(m, re, im) == 1) FftWithoutTables(m, re, im);
    re[m] = re[0];
    im[m] = im[0];
    for (int32_t i = 0; i < m; ++i) {
        const size_t ui = size_t(i);
        const size_t uj = size_t(m - i);
        const double c = twiddles.c[ui];
        const double s = twiddles.s[ui];
        a[ui] = 0.5 * ((re[ui] + re[uj]) + c * (im[ui] + im[uj]) - s * (re[ui] - re[uj]));
        b[ui] = 0.5 * ((im[ui] - im[uj]) - s * (im[ui] + im[uj]) - c * (re[ui] - re[uj]));
    }
    for (int32_t i = 0; i < m; ++i) {
        re[size_t(i)] = 0.5 * a[size_t(i)];
        im[size_t(i)] = 0.5 * b[size_t(i)];
    }
    re[m] = 0;
    im[m] = 0;
    for (int32_t i = 1; i < m; ++i) {
        re[size_t(n - i)] = 0.5 * a[size_t(i)];
        im[size_t(n - i)] = -0.5 * b[size_t(i)];
    }
}

}  // namespace duskpane
