// Numbers read the way the C library's "%f" and "%d" conversions read them in
// the C locale, but independent of the host's C library and locale, so that
// every platform gives the same floats.
#pragma once

#include <cfloat>
#include <cstdint>
#include <cstring>

// The float results rest on double arithmetic being done in double.
static_assert(FLT_EVAL_METHOD == 0, "build with SSE2 floating point (-mfpmath=sse)");

namespace lx {

// Reads a float from the start of [p, end) like sscanf("%f"): white space is
// skipped, the longest prefix that can begin a number is consumed and then
// converted, correctly rounded. False when that prefix is no number (no
// digit, "0x" alone, "infin", a sign alone, ...). *stop, when given, receives
// where the consumed text ends.
bool scan_float(const char* p, const char* end, float* value, const char** stop = nullptr);

// Reads an int like sscanf("%d"): white space, an optional sign, at least one
// digit. Values beyond the int range are clamped.
bool scan_int(const char* p, const char* end, int* value, const char** stop = nullptr);

// A character below 32 taken as a signed char: controls and bytes 128..255.
inline bool is_field_end(char c) {
    return static_cast<signed char>(c) < 32;
}

// Digits with at most one point, converted by the standard library.
float plain_decimal_by_from_chars(const char* digits, const char* end, bool* ok);

// The common case of a value field: [-]digits[.digits] ending at a character
// below 32 (signed). On success *value holds the float "%f" gives for it and
// *field_end points at that ending character; false leaves both alone.
// Inline: the reader calls it for nearly every field.
inline bool scan_plain_decimal(const char* p, const char* end, float* value,
                               const char** field_end) {
    const char* q = p;
    bool negative = q != end && *q == '-';
    if (negative) ++q;
    const char* digits_start = q;
    std::uint64_t mantissa = 0;
    int digits = 0, fraction_digits = 0;
    for (; q != end && unsigned(*q - '0') < 10; ++q, ++digits)
        mantissa = mantissa * 10 + (*q - '0');
    if (q != end && *q == '.') {
        for (++q; q != end && unsigned(*q - '0') < 10; ++q, ++digits, ++fraction_digits)
            mantissa = mantissa * 10 + (*q - '0');
    }
    if (digits == 0 || digits > 19 || q == end || !is_field_end(*q)) return false;

    // m / 10^k with both exact doubles is the correctly rounded double d of
    // the decimal. Rounding d to float gives the float nearest the decimal
    // unless d lies exactly halfway between two floats (low 29 bits 1 << 28):
    // every other double is at least one double step from such a point,
    // farther than d is from the decimal. That case goes to from_chars.
    static constexpr double powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    float magnitude;
    double quotient = static_cast<double>(mantissa) / powers_of_ten[fraction_digits];
    std::uint64_t quotient_bits;
    std::memcpy(&quotient_bits, &quotient, sizeof quotient_bits);
    if (mantissa <= (std::uint64_t{1} << 53) && (quotient_bits & 0x1fffffff) != 0x10000000) {
        magnitude = static_cast<float>(quotient);
    } else {
        bool ok;
        magnitude = plain_decimal_by_from_chars(digits_start, q, &ok);
        if (!ok) return false;
    }
    *value = negative ? -magnitude : magnitude;
    *field_end = q;
    return true;
}

} // namespace lx
