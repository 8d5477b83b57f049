// Turning fuzz input bytes into argument values: mostly values that name
// something real, now and then the extremes or any bit pattern at all.
#pragma once

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lxfuzz {

// Reads the input front to back; once it runs out, every value is 0.
struct Bytes {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;

    bool done() const { return pos >= size; }
    std::uint8_t byte() { return pos < size ? data[pos++] : 0; }
    std::uint32_t raw32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | byte();
        return v;
    }
};

inline int extreme_int(Bytes& in) {
    static const int extremes[] = {INT_MIN, INT_MIN + 1, -1000000,    -129,   -128, -127,
                                   -11,     127,         128,         129,    255,  256,
                                   1000,    65536,       INT_MAX - 1, INT_MAX};
    return extremes[in.byte() % (sizeof extremes / sizeof extremes[0])];
}

inline int pick_int(Bytes& in, int low, int high) {
    std::uint8_t b = in.byte();
    if (b < 200) return low + b % (high - low + 1);
    if (b < 240) return extreme_int(in);
    return static_cast<int>(in.raw32());
}

inline int pick_handle(Bytes& in) {
    return pick_int(in, -2, 12);
}
inline int pick_channel(Bytes& in) {
    return pick_int(in, -2, 20);
}
inline int pick_lap(Bytes& in) {
    return pick_int(in, -2, 8);
}

inline float float_from_bits(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

inline float pick_float(Bytes& in) {
    static const float interesting[] = {0.0f,     -0.0f,     1.0f,    -1.0f,      0.5f,   0.999f,
                                        2.0f,     10.0f,     50.0f,   100.0f,     101.0f, -50.0f,
                                        1e-6f,    1e-45f,    FLT_MAX, -FLT_MAX,   3e9f,   -3e9f,
                                        INFINITY, -INFINITY, NAN,     6.2831855f, 400.0f, 20.0f};
    std::uint8_t b = in.byte();
    if (b < 220) return interesting[b % (sizeof interesting / sizeof interesting[0])];
    return float_from_bits(in.raw32());
}

} // namespace lxfuzz
