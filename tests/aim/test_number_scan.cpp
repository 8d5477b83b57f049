// Number scanning against the C library's own sscanf on many generated
// fields, ordinary and odd.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "aim/number_scan.h"

namespace {

std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Same success, same float bit for bit and same extent as sscanf("%f%n").
testing::AssertionResult same_as_sscanf(const std::string& text) {
#if !defined(__GLIBC__)
    // The scanner follows glibc; MinGW's sscanf reads malformed hexadecimal
    // floats ("0xp1") its own way, so only glibc can judge those.
    if (text.find_first_of("xX") != std::string::npos) return testing::AssertionSuccess();
#endif
    float expected = 0, actual = 0;
    int consumed = -1;
    const char* stop = nullptr;
    bool expected_ok = std::sscanf(text.c_str(), "%f%n", &expected, &consumed) == 1;
    bool ok = lx::scan_float(text.data(), text.data() + text.size(), &actual, &stop);
    if (ok == expected_ok &&
        (!ok || (bits(actual) == bits(expected) && stop - text.data() == consumed)))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << '"' << text << "\" gives " << ok << " " << actual
                                       << ", sscanf " << expected_ok << " " << expected;
}

// Where the fast path answers for a field, it agrees with sscanf.
testing::AssertionResult fast_path_agrees(const std::string& text, bool* answered = nullptr) {
    std::string field = text + '\t';
    float value, expected;
    const char* end;
    bool took = lx::scan_plain_decimal(field.data(), field.data() + field.size(), &value, &end);
    if (answered) *answered = took;
    if (!took || (std::sscanf(field.c_str(), "%f", &expected) == 1 &&
                  bits(value) == bits(expected) && *end == '\t'))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << '"' << text << "\" fast " << value;
}

std::string random_text(std::mt19937& rng, const std::string& alphabet, int max_length) {
    std::string text;
    for (int n = int(rng() % (max_length + 1)); n > 0; --n)
        text += alphabet[rng() % alphabet.size()];
    return text;
}

// A decimal near the midpoint of two neighbouring floats, where rounding is hardest.
std::string near_midpoint(std::mt19937& rng) {
    std::uint32_t b = rng() % 0x7f7fffff;
    float low, high;
    std::memcpy(&low, &b, 4);
    ++b;
    std::memcpy(&high, &b, 4);
    char text[128];
    std::snprintf(text, sizeof text, "%.*e", int(rng() % 35) + 6, (double(low) + high) / 2);
    return text;
}

TEST(NumberScan, OddAndPlainTextsReadLikeSscanf) {
    // '|' separates the texts; the first one is empty.
    std::string texts =
        "| |  1.5|+1|-|+|.|-.|.5|-.5|1.|1..2|1e|1e+|1e-|1E5|1e-+5|1e5e5|1e5.5|0e|.e1|"
        "e5|+-1|-0|1,5|0x|0xg|0x.|0x.p1|0x1p|0x1p+|0x1.8p1|0X1P-2|0x1e|0xp1|-0x.8|"
        "0x1p-150|0x1p128|0XA.Ap1|NAN|inf|-INF|infinity|infinit|in|infx|nan|-nan|nan(123)|na|"
        "1e400|-1e-50|1e-45|7e-46|3.40282357e38|1e99999999999|1e-99999999999|"
        "0e99999999999|0.000000000000000000000000000000000000000000001e60|"
        "123456789012345678901234567890|1" +
        std::string(50, '0') + "e-100|1" + std::string(50, '0') + "e-10|0x1" +
        std::string(40, '0') + "p-30";
    for (std::size_t at = 0, bar; at <= texts.size(); at = bar + 1) {
        bar = std::min(texts.find('|', at), texts.size());
        EXPECT_TRUE(same_as_sscanf(texts.substr(at, bar - at)));
    }
    std::mt19937 rng(20240611);
    const std::string odd = "00112233445566778899....eeE++--xXpPaAfFiInNtTyY() _,/";
    for (int i = 0; i < 20000; ++i) {
        std::string text = random_text(rng, odd, 9);
        ASSERT_TRUE(same_as_sscanf(text));
        ASSERT_TRUE(fast_path_agrees(text));
        ASSERT_TRUE(same_as_sscanf(near_midpoint(rng)));
        std::string decimal = (rng() % 4 ? "" : "-") + random_text(rng, "0123456789", 12) +
                              (rng() % 5 ? "." : "") + random_text(rng, "0123456789", 12);
        ASSERT_TRUE(fast_path_agrees(decimal));
        ASSERT_TRUE(same_as_sscanf(decimal));
    }
    // The fast path answers the common forms, where speed matters; the last
    // three give a double exactly halfway between two floats.
    bool answered;
    for (const char* text : {"0", "-12.5", "0.000123456789", "98765432.125", "67.68487167358398",
                             "-21.25843906402588", "39.86160850524902"}) {
        EXPECT_TRUE(fast_path_agrees(text, &answered));
        EXPECT_TRUE(answered) << text;
    }
}

} // namespace
