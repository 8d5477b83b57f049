// The reader's number scanning against the C library's own sscanf("%f") and
// sscanf("%d") on many generated fields, ordinary and odd.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
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

// Compares scan_float with sscanf("%f%n") on one text: same success, same
// float bit for bit, same number of characters consumed.
::testing::AssertionResult same_as_sscanf(const std::string& text) {
    float expected = 0.0f;
    int consumed = -1;
    bool expected_ok = std::sscanf(text.c_str(), "%f%n", &expected, &consumed) == 1;
    float actual = 0.0f;
    const char* stop = nullptr;
    bool ok = lx::scan_float(text.data(), text.data() + text.size(), &actual, &stop);
    if (ok != expected_ok)
        return ::testing::AssertionFailure()
               << "\"" << text << "\": scan_float " << ok << ", sscanf " << expected_ok;
    if (!ok) return ::testing::AssertionSuccess();
    if (bits(actual) != bits(expected) || stop - text.data() != consumed)
        return ::testing::AssertionFailure()
               << "\"" << text << "\": scan_float " << actual << " (" << std::hex << bits(actual)
               << ") after " << std::dec << (stop - text.data()) << ", sscanf " << expected << " ("
               << std::hex << bits(expected) << ") after " << std::dec << consumed;
    return ::testing::AssertionSuccess();
}

// The fast path of a value field must agree with sscanf whenever it answers.
::testing::AssertionResult plain_agrees(const std::string& content, char ending) {
    std::string field = content + ending;
    float value;
    const char* field_end;
    if (!lx::scan_plain_decimal(field.data(), field.data() + field.size(), &value, &field_end))
        return ::testing::AssertionSuccess();
    float expected;
    if (std::sscanf(field.c_str(), "%f", &expected) != 1 || bits(value) != bits(expected) ||
        field_end != field.data() + content.size())
        return ::testing::AssertionFailure()
               << "fast path on \"" << content << "\" gives " << value << ", sscanf " << expected;
    return ::testing::AssertionSuccess();
}

std::string random_odd_text(std::mt19937& rng) {
    static const std::string alphabet = "0123456789012345678901234567890123456789"
                                        "..........eeeEE++--xXpPaAfFiInNtTyY() _,/";
    std::uniform_int_distribution<int> length(0, 9), pick(0, alphabet.size() - 1);
    std::string text;
    for (int n = length(rng); n > 0; --n) text += alphabet[pick(rng)];
    return text;
}

// A decimal close to the midpoint between two neighbouring floats, where
// rounding is hardest to get right.
std::string near_midpoint(std::mt19937& rng) {
    std::uniform_int_distribution<std::uint32_t> pattern(0, 0x7f7ffffe);
    std::uint32_t b = pattern(rng);
    float low, high;
    std::memcpy(&low, &b, sizeof low);
    ++b;
    std::memcpy(&high, &b, sizeof high);
    double midpoint = (static_cast<double>(low) + high) / 2;
    std::uniform_int_distribution<int> digits(6, 40);
    char text[128];
    std::snprintf(text, sizeof text, "%.*e", digits(rng), midpoint);
    return text;
}

// A plain decimal near a float midpoint, in the form the fast path takes.
std::string plain_near_midpoint(std::mt19937& rng) {
    std::uniform_real_distribution<float> magnitude(1e-3f, 1e8f);
    float low = magnitude(rng);
    double midpoint = (static_cast<double>(low) + std::nextafter(low, FLT_MAX)) / 2;
    char text[128];
    std::snprintf(text, sizeof text, "%.*f", int(rng() % 14), midpoint);
    return text;
}

std::string random_plain(std::mt19937& rng) {
    std::uniform_int_distribution<int> int_digits(0, 12), fraction_digits(0, 12), digit(0, 9);
    std::string text = rng() % 4 == 0 ? "-" : "";
    for (int n = int_digits(rng); n > 0; --n) text += char('0' + digit(rng));
    if (rng() % 5 != 0) text += '.';
    for (int n = fraction_digits(rng); n > 0; --n) text += char('0' + digit(rng));
    return text;
}

TEST(NumberScan, OddTextsReadLikeSscanf) {
    const char* texts[] = {"",
                           " ",
                           "  1.5",
                           "+1",
                           "-",
                           "+",
                           ".",
                           "-.",
                           ".5",
                           "-.5",
                           "+.5",
                           "1.",
                           "1..2",
                           "1e",
                           "1e+",
                           "1e-",
                           "1E5",
                           "1e+5x",
                           "1e-+5",
                           "1e5e5",
                           "1e5.5",
                           "0e",
                           "0.e5",
                           ".e1",
                           "e5",
                           "-e5",
                           "+-1",
                           "--1",
                           "0",
                           "-0",
                           "-0.0",
                           "00012",
                           "1,5",
                           "0x",
                           "0X",
                           "0x1",
                           "0xg",
                           "0x.",
                           "0x.p1",
                           "0x1p",
                           "0x1p+",
                           "0x1.8p1",
                           "0X1P-2",
                           "0x1e",
                           "0xp1",
                           "-0x.8",
                           "0x1p-150",
                           "0x1p-149",
                           "0x1p128",
                           "0xffffffp104",
                           "inf",
                           "INF",
                           "-inf",
                           "infinity",
                           "infinit",
                           "infin",
                           "in",
                           "i",
                           "infx",
                           "infinityx",
                           "nan",
                           "-nan",
                           "NaN",
                           "nan(",
                           "nan(123)",
                           "nanx",
                           "na",
                           "n",
                           "1e400",
                           "-1e400",
                           "1e-50",
                           "-1e-50",
                           "1e-45",
                           "7e-46",
                           "7.1e-46",
                           "1.17549435e-38",
                           "3.4028235e38",
                           "3.40282357e38",
                           "1e99999999999999999999",
                           "1e-99999999999999999999",
                           "0e99999999999",
                           "0.000000000000000000000000000000000000000000000000001e60",
                           "123456789012345678901234567890",
                           "16777217",
                           "16777216.5",
                           "1.0000000596046448"};
    for (const char* text : texts) EXPECT_TRUE(same_as_sscanf(text));

    std::mt19937 rng(20240611);
    for (int i = 0; i < 20000; ++i) {
        ASSERT_TRUE(same_as_sscanf(random_odd_text(rng)));
        ASSERT_TRUE(same_as_sscanf(near_midpoint(rng)));
    }
}

TEST(NumberScan, FastPathAgreesOrDeclines) {
    std::mt19937 rng(7);
    const char endings[] = {'\t', '\n', '\r', '\x01', '\xb0'};
    for (int i = 0; i < 20000; ++i) {
        std::string text = random_plain(rng);
        char ending = endings[i % 5];
        ASSERT_TRUE(plain_agrees(text, ending));
        ASSERT_TRUE(same_as_sscanf(text));
        ASSERT_TRUE(plain_agrees(plain_near_midpoint(rng), '\t'));
    }
    // What it must leave to the general scanner.
    for (const char* text : {"1e5", " 1", "+1", "1.5.", "-", ".", "0x1", "inf", "1x"}) {
        std::string field = std::string(text) + '\t';
        float value;
        const char* end;
        EXPECT_FALSE(
            lx::scan_plain_decimal(field.data(), field.data() + field.size(), &value, &end))
            << text;
    }
    // It answers for the common forms, where speed matters.
    // The last three give a double exactly halfway between two floats.
    for (const char* text : {"0", "-12.5", "123456.789", "0.000123456789", "98765432.125",
                             "67.68487167358398", "-21.25843906402588", "39.86160850524902"}) {
        std::string field = std::string(text) + '\t';
        float value;
        const char* end;
        EXPECT_TRUE(lx::scan_plain_decimal(field.data(), field.data() + field.size(), &value, &end))
            << text;
        EXPECT_TRUE(plain_agrees(text, '\t'));
    }
}

TEST(NumberScan, IntegersReadLikeSscanf) {
    for (const char* text : {"7", " 7/8", "-3", "+3", "-", "x", "", "12ab", "  -0"}) {
        int expected = 0, consumed = -1;
        bool expected_ok = std::sscanf(text, "%d%n", &expected, &consumed) == 1;
        int actual = 0;
        const char* stop = nullptr;
        bool ok = lx::scan_int(text, text + std::strlen(text), &actual, &stop);
        ASSERT_EQ(ok, expected_ok) << text;
        if (ok) {
            EXPECT_EQ(actual, expected) << text;
            EXPECT_EQ(stop - text, consumed) << text;
        }
    }
    // Beyond the int range the value is clamped rather than wrapped.
    int value;
    const char* big = "99999999999";
    ASSERT_TRUE(lx::scan_int(big, big + 11, &value));
    EXPECT_EQ(value, INT_MAX);
    const char* small = "-99999999999";
    ASSERT_TRUE(lx::scan_int(small, small + 12, &value));
    EXPECT_EQ(value, INT_MIN);
}

} // namespace
