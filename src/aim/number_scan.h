// Numbers read the way the C library's "%f" and "%d" conversions read them in
// the C locale, but independent of the host's C library and locale, so that
// every platform gives the same floats.
#pragma once

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

// The common case of a value field: [-]digits[.digits] ending at a character
// below 32 (signed). On success *value holds the float "%f" gives for it and
// *field_end points at that ending character; false leaves both alone.
bool scan_plain_decimal(const char* p, const char* end, float* value, const char** field_end);

// A character below 32 taken as a signed char: controls and bytes 128..255.
inline bool is_field_end(char c) {
    return static_cast<signed char>(c) < 32;
}

} // namespace lx
