// The classic polynomial kernels of the freely distributable math library
// of 1993: Cody-Waite range reduction, then minimax polynomials.
#include "portable_math.h"

#include <bit>
#include <cstdint>

namespace lxgen::portable {

namespace {

constexpr double S1 = -1.66666666666666324348e-01, S2 = 8.33333333332248946124e-03,
                 S3 = -1.98412698298579493134e-04, S4 = 2.75573137070700676789e-06,
                 S5 = -2.50507602534068634195e-08, S6 = 1.58969099521155010221e-10;
constexpr double C1 = 4.16666666666666019037e-02, C2 = -1.38888888888741095749e-03,
                 C3 = 2.48015872894767294178e-05, C4 = -2.75573143513906633035e-07,
                 C5 = 2.08757232129817482790e-09, C6 = -1.13596475577881948265e-11;

// sin(x + y) for |x| <= pi/4, y the tail of x.
double kernel_sin(double x, double y) {
    double z = x * x, v = z * x;
    double r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
    return x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

double kernel_cos(double x, double y) {
    double z = x * x;
    double r = z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6)))));
    double hz = 0.5 * z, w = 1.0 - hz;
    return w + (((1.0 - w) - hz) + (z * r - x * y));
}

constexpr double INV_PIO2 = 6.36619772367581382433e-01;
constexpr double PIO2_1 = 1.57079632673412561417e+00;  // first 33 bits of pi/2
constexpr double PIO2_1T = 6.07710050650619224932e-11; // pi/2 - PIO2_1

// x = n * pi/2 + (hi + lo), |hi + lo| <= pi/4; returns n mod 4.
int reduce(double x, double& hi, double& lo) {
    double fn = x * INV_PIO2;
    fn = fn < 0 ? double(std::int64_t(fn - 0.5)) : double(std::int64_t(fn + 0.5));
    double r = x - fn * PIO2_1, w = fn * PIO2_1T;
    hi = r - w;
    lo = (r - hi) - w;
    return int(std::int64_t(fn) & 3);
}

// 2^k as a double, for |k| < 1023.
double power_of_two(int k) {
    return std::bit_cast<double>(std::uint64_t(1023 + k) << 52);
}

} // namespace

double sin(double x) {
    double hi, lo;
    switch (reduce(x, hi, lo)) {
    case 0:
        return kernel_sin(hi, lo);
    case 1:
        return kernel_cos(hi, lo);
    case 2:
        return -kernel_sin(hi, lo);
    default:
        return -kernel_cos(hi, lo);
    }
}

double cos(double x) {
    double hi, lo;
    switch (reduce(x, hi, lo)) {
    case 0:
        return kernel_cos(hi, lo);
    case 1:
        return -kernel_sin(hi, lo);
    case 2:
        return -kernel_cos(hi, lo);
    default:
        return kernel_sin(hi, lo);
    }
}

namespace {
constexpr double LN2_HI = 6.93147180369123816490e-01, LN2_LO = 1.90821492927058770002e-10;
constexpr double INV_LN2 = 1.44269504088896338700e+00;
constexpr double P1 = 1.66666666666666019037e-01, P2 = -2.77777777770155933842e-03,
                 P3 = 6.61375632143793436117e-05, P4 = -1.65339022054652515390e-06,
                 P5 = 4.13813679705723846039e-08;
constexpr double LG1 = 6.666666666666735130e-01, LG2 = 3.999999999940941908e-01,
                 LG3 = 2.857142874366239149e-01, LG4 = 2.222219843214978396e-01,
                 LG5 = 1.818357216161805012e-01, LG6 = 1.531383769920937332e-01,
                 LG7 = 1.479819860511658591e-01;
} // namespace

double exp(double x) {
    if (x > 709.0) return power_of_two(1000) * power_of_two(1000); // overflows to infinity
    if (x < -745.0) return 0.0;
    // x = k ln2 + r, |r| <= ln2 / 2
    int k = int(x * INV_LN2 + (x < 0 ? -0.5 : 0.5));
    double hi = x - k * LN2_HI, lo = k * LN2_LO, r = hi - lo;
    double t = r * r;
    double c = r - t * (P1 + t * (P2 + t * (P3 + t * (P4 + t * P5))));
    double y = 1.0 - ((lo - (r * c) / (2.0 - c)) - hi);
    // Two steps, so that neither factor leaves the normal range.
    return y * power_of_two(k / 2) * power_of_two(k - k / 2);
}

double log(double x) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    int k = 0;
    if (bits < (std::uint64_t(1) << 52)) { // subnormal: scale up first
        x *= power_of_two(54);
        k = -54;
        bits = std::bit_cast<std::uint64_t>(x);
    }
    auto hx = std::uint32_t(bits >> 32);
    k += int(hx >> 20) - 1023;
    hx &= 0x000fffff;
    // 1 + f in [sqrt(2)/2, sqrt(2))
    std::uint32_t i = (hx + 0x95f64) & 0x100000;
    bits = (std::uint64_t(hx | (i ^ 0x3ff00000)) << 32) | (bits & 0xffffffffu);
    k += int(i >> 20);
    double f = std::bit_cast<double>(bits) - 1.0, dk = k;
    double s = f / (2.0 + f), z = s * s, w = z * z;
    double t1 = w * (LG2 + w * (LG4 + w * LG6));
    double t2 = z * (LG1 + w * (LG3 + w * (LG5 + w * LG7)));
    double R = t2 + t1, hfsq = 0.5 * f * f;
    return dk * LN2_HI - ((hfsq - (s * (hfsq + R) + dk * LN2_LO)) - f);
}

} // namespace lxgen::portable
