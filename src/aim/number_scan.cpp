#include "aim/number_scan.h"

#include <charconv>
#include <climits>
#include <cstdint>
#include <limits>

namespace lx {

namespace {

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool is_xdigit(char c) {
    return is_digit(c) || (lower(c) >= 'a' && lower(c) <= 'f');
}

// Consumes word (lower case) from p when it follows there in any case.
bool take_word(const char*& p, const char* end, const char* word) {
    const char* q = p;
    for (; *word; ++word, ++q)
        if (q == end || lower(*q) != *word) return false;
    p = q;
    return true;
}

// "inf", "infinity" or "nan" after the sign. Only complete words count, but
// "inf" followed by anything other than "inity" stops after "inf".
bool scan_special(const char*& p, const char* end, bool negative, float* value) {
    float magnitude;
    if (lower(*p) == 'n') {
        if (!take_word(p, end, "nan")) return false;
        magnitude = std::numeric_limits<float>::quiet_NaN();
    } else {
        if (!take_word(p, end, "inf")) return false;
        if (p != end && lower(*p) == 'i' && !take_word(p, end, "inity")) return false;
        magnitude = std::numeric_limits<float>::infinity();
    }
    *value = negative ? -magnitude : magnitude;
    return true;
}

// The extent of a number as "%f" collects it: digits (hex digits after
// "0x"), one point, an exponent mark after a digit and a sign right after
// the mark. Stops at the first character that cannot continue the number.
const char* collect_number(const char* p, const char* end, bool hex) {
    const char exp_mark = hex ? 'p' : 'e';
    bool got_digit = false, got_dot = false, got_exp = false;
    for (; p != end; ++p) {
        char c = *p;
        if (is_digit(c) || (!got_exp && hex && is_xdigit(c)))
            got_digit = true;
        else if (got_exp && lower(p[-1]) == exp_mark && (c == '-' || c == '+'))
            continue;
        else if (got_digit && !got_exp && lower(c) == exp_mark)
            got_exp = got_dot = true;
        else if (!got_dot && c == '.')
            got_dot = true;
        else
            break;
    }
    return p;
}

// Where a complete exponent ([sign] digits after the mark) ends within
// [mark, end), or mark itself when the exponent is incomplete.
const char* exponent_end(const char* mark, const char* end) {
    const char* p = mark + 1;
    if (p != end && (*p == '+' || *p == '-')) ++p;
    if (p == end || !is_digit(*p)) return mark;
    return end;
}

// Whether a value that overflowed or underflowed a float is at least 1 in
// magnitude. Such values lie far from 1, so the leading digit's position and
// the exponent suffice.
bool at_least_one(const char* mantissa, const char* mark, const char* end, bool hex) {
    long power = 0;
    bool found = false, after_point = false;
    for (const char* p = mantissa; p != mark; ++p) {
        if (*p == '.') {
            after_point = true;
        } else if (!found && *p != '0') {
            found = true;
            power = after_point ? -1 : 0;
        } else if (found != after_point) {
            power += found ? 1 : -1; // digits after the lead / zeros after the point
        }
    }
    long exponent = 0;
    if (mark != end) {
        const char* p = mark + 1;
        bool negative = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        for (; p != end && exponent < 100000; ++p) exponent = exponent * 10 + (*p - '0');
        if (negative) exponent = -exponent;
    }
    return power * (hex ? 4 : 1) + exponent >= 0;
}

// Converts the magnitude text [mantissa, end), exponent mark at mark (or end),
// correctly rounded as strtof does, overflow giving infinity.
float convert(const char* mantissa, const char* mark, const char* end, bool hex) {
    float value = 0.0f;
    auto format = hex ? std::chars_format::hex : std::chars_format::general;
    auto result = std::from_chars(mantissa, end, value, format);
    if (result.ec == std::errc::result_out_of_range)
        value =
            at_least_one(mantissa, mark, end, hex) ? std::numeric_limits<float>::infinity() : 0.0f;
    return value;
}

bool has_digit(const char* p, const char* end, bool hex) {
    for (; p != end; ++p)
        if (hex ? is_xdigit(*p) : is_digit(*p)) return true;
    return false;
}

} // namespace

bool scan_float(const char* p, const char* end, float* value, const char** stop) {
    while (p != end && is_space(*p)) ++p;
    if (p == end) return false;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (p != end && (lower(*p) == 'n' || lower(*p) == 'i')) {
        if (!scan_special(p, end, negative, value)) return false;
        if (stop) *stop = p;
        return true;
    }
    bool hex = end - p >= 2 && p[0] == '0' && lower(p[1]) == 'x';
    const char* mantissa = hex ? p + 2 : p;
    const char* collected_end = collect_number(mantissa, end, hex);
    // Nothing after the sign, or "0x" alone, is no number at all.
    if (collected_end == p || (hex && collected_end == mantissa)) return false;

    const char* mark = mantissa;
    while (mark != collected_end && lower(*mark) != (hex ? 'p' : 'e')) ++mark;
    const char* number_end = mark == collected_end ? mark : exponent_end(mark, collected_end);
    float magnitude = 0.0f;
    if (has_digit(mantissa, mark, hex))
        magnitude = convert(mantissa, mark, number_end, hex);
    else if (!hex)
        return false; // a point alone; after "0x" the "0" still reads as zero
    *value = negative ? -magnitude : magnitude;
    if (stop) *stop = collected_end;
    return true;
}

bool scan_int(const char* p, const char* end, int* value, const char** stop) {
    while (p != end && is_space(*p)) ++p;
    bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    if (p == end || !is_digit(*p)) return false;
    long long magnitude = 0;
    constexpr long long limit = static_cast<long long>(INT_MAX) + 1;
    for (; p != end && is_digit(*p); ++p)
        if (magnitude < limit) magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > limit) magnitude = limit;
    long long result = negative ? -magnitude : magnitude;
    *value = static_cast<int>(result > INT_MAX ? INT_MAX : result);
    if (stop) *stop = p;
    return true;
}

float plain_decimal_by_from_chars(const char* digits, const char* end, bool* ok) {
    float value = 0.0f;
    auto result = std::from_chars(digits, end, value);
    *ok = result.ec == std::errc() && result.ptr == end;
    return value;
}

} // namespace lx
