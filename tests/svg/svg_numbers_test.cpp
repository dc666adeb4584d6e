// The two number formats of the SVG document.
#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "svg/SvgNumbers.h"

namespace plotwick {
namespace {

struct NumberCase {
    float value;
    const char* text;
};

constexpr float kInf = std::numeric_limits<float>::infinity();

// Path numbers: 7 significant digits, plain for decimal exponents -3..7 (value = 0.d... x 10^e).
const NumberCase kPathCases[] = {
    // Values whose expansions show each rule.
    {30.5f, "30.5"},
    {2.25f, "2.25"},
    {100.0f, "100"},
    {1.0f / 3.0f, "0.3333333"},
    {1234567.8f, "1234568"},
    {0.00012f, "0.00012"},
    {0.00005f, "5E-5"},
    {12345678.0f, "1.234568E7"},
    {10.2f, "10.2"},  // the single is 10.19999980926514
    {-4.6f, "-4.6"},
    {4.5f, "4.5"},
    {-0.5f, "-0.5"},
    {0.25f, "0.25"},
    {3.0f, "3"},
    // Zero, also negative, and values too small for 7 digits still show their digits.
    {0.0f, "0"},
    {-0.0f, "0"},
    {1e-45f, "1.401298E-45"},
    {-1e-10f, "-1E-10"},
    // The plain range ends at the exponents -3 and 7.
    {0.001f, "0.001"},
    {-0.001f, "-0.001"},
    {0.0001234567f, "0.0001234567"},
    {0.0001f, "0.0001"},  // 9.99999974737875E-5 rounds up into the plain range
    {0.00099999993f, "0.0009999999"},
    {0.000099999f, "9.9999E-5"},
    {1e-5f, "1E-5"},
    {-0.00005f, "-5E-5"},
    {9999999.0f, "9999999"},
    {1000000.0f, "1000000"},
    {9999999.7f, "1E7"},  // as a single this is 10000000
    {1e7f, "1E7"},
    {16777216.0f, "1.677722E7"},
    {123456789.0f, "1.234568E8"},
    {99999997952.0f, "1E11"},  // seven nines and more round up into a new digit
    {3.4028235e38f, "3.402823E38"},
    {-3.4028235e38f, "-3.402823E38"},
    // Halves go away from zero, looking at the single's exact value.
    {1234567.5f, "1234568"},
    {1234568.5f, "1234569"},
    {-1234568.5f, "-1234569"},
    {4194304.5f, "4194305"},
    {12345.675f, "12345.67"},  // the single is 12345.6748046875
    {0.09999999403953552f, "0.09999999"},
    {999999.9375f, "999999.9"},
    {99999.9921875f, "99999.99"},
    // Infinities.
    {kInf, "INF"},
    {-kInf, "-INF"},
};

// Transform numbers: two decimals, at most 7 significant digits.
const NumberCase kTransformCases[] = {
    {1.0f, "1.00"},
    {0.0f, "0.00"},
    {-10.0f, "-10.00"},
    {123456.789f, "123456.80"},
    {5.0f, "5.00"},
    {10.2f, "10.20"},
    {0.5f, "0.50"},
    {1.0f / 3.0f, "0.33"},
    // Halves away from zero on the exact value.
    {0.125f, "0.13"},
    {-0.125f, "-0.13"},
    {0.375f, "0.38"},
    {1.625f, "1.63"},
    {2.675f, "2.67"},    // the single lies below the half
    {1.005f, "1.00"},    // likewise
    {0.995f, "1.00"},    // the single lies above the half
    {-0.995f, "-1.00"},
    {999.995f, "999.99"},
    {0.0099f, "0.01"},
    {0.01f, "0.01"},
    // Rounding to zero never leaves a minus sign.
    {-0.0f, "0.00"},
    {-0.001f, "0.00"},
    {-0.004f, "0.00"},
    {-0.005f, "0.00"},  // -0.004999999888
    {-0.0051f, "-0.01"},
    {0.001f, "0.00"},
    {0.0001f, "0.00"},
    {1e-45f, "0.00"},
    // Seven significant digits at most: the decimals give way.
    {1234567.8f, "1234568.00"},
    {12345.675f, "12345.67"},
    {999999.9375f, "999999.90"},
    {99999.9921875f, "99999.99"},
    {9.999999f, "10.00"},
    {9999999.0f, "9999999.00"},
    {-1234568.5f, "-1234569.00"},
    // An integer part of more than 7 digits is written as a path number.
    {1e7f, "1E7"},
    {9999999.7f, "1E7"},
    {12345678.0f, "1.234568E7"},
    {-3.4028235e38f, "-3.402823E38"},
    {kInf, "INF"},
    {-kInf, "-INF"},
};

TEST(SvgNumbers, PathFormat)
{
    for (const auto& c : kPathCases)
        EXPECT_EQ(FormatPathNumber(c.value), c.text) << "value " << c.value;
}

TEST(SvgNumbers, TransformFormat)
{
    for (const auto& c : kTransformCases)
        EXPECT_EQ(FormatTransformNumber(c.value), c.text) << "value " << c.value;
}

TEST(SvgNumbers, NanHasADefinedText)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(FormatPathNumber(nan), "NAN");
    EXPECT_EQ(FormatTransformNumber(nan), "NAN");
}

// The text is the same whatever the process locale's decimal separator.
TEST(SvgNumbers, LocaleIndependent)
{
    const char* locales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"};
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char* name : locales) {
        if (!std::setlocale(LC_ALL, name))
            continue;
        EXPECT_EQ(FormatPathNumber(30.5f), "30.5") << name;
        EXPECT_EQ(FormatPathNumber(1.5e-9f), "1.5E-9") << name;
        EXPECT_EQ(FormatTransformNumber(-10.25f), "-10.25") << name;
    }
    std::setlocale(LC_ALL, saved.c_str());
}

// Counts significant digits of a plain or "E" number text; the mantissa part only.
int SignificantDigits(const std::string& s)
{
    std::string digits;
    for (const char c : s) {
        if (c == 'E')
            break;
        if (c >= '0' && c <= '9')
            digits.push_back(c);
    }
    const auto first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return 0;
    const auto last = digits.find_last_not_of('0');
    return static_cast<int>(last - first + 1);
}

// Over many singles of every magnitude: the text reads back within half a unit of the seventh
// significant digit, never has more than 7 significant digits, trailing zeros or "-0", and the
// notation follows the exponent.
TEST(SvgNumbers, PathFormatReadsBackWithinRounding)
{
    std::mt19937 rng(20240601);
    std::uniform_int_distribution<std::uint32_t> bits;
    int checked = 0;
    while (checked < 200000) {
        const float v = std::bit_cast<float>(bits(rng));
        if (!std::isfinite(v))
            continue;
        ++checked;
        const std::string s = FormatPathNumber(v);
        ASSERT_LE(SignificantDigits(s), 7) << s;
        ASSERT_NE(s, "-0");
        const double back = std::strtod(s.c_str(), nullptr);
        const double exact = static_cast<double>(v);
        if (v == 0) {
            ASSERT_EQ(s, "0");
            continue;
        }
        const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(exact))) - 6);
        ASSERT_LE(std::fabs(back - exact), unit / 2 * 1.0000001) << s << " for " << exact;
        if (s.find('E') == std::string::npos && s.find('.') != std::string::npos) {
            ASSERT_NE(s.back(), '0') << s;
        }
        const double magnitude = std::fabs(back);
        const bool plain = magnitude >= 1e-4 && magnitude < 1e7;
        ASSERT_EQ(s.find('E') == std::string::npos, plain) << s;
    }
}

}  // namespace
}  // namespace plotwick
