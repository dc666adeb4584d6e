#include "svg/SvgNumbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace plotwick {

namespace {

// A finite value as sign, significant digits and decimal exponent: value = 0.d1d2... x 10^exponent.
// No digits means zero. The digits are held in place (at most 18, and one more after a carry),
// so that a number is formatted without allocating.
struct Decimal {
    bool negative = false;
    char digits[24];
    int count = 0;
    int exponent = 0;
};

void StripTrailingZeros(Decimal& d)
{
    while (d.count > 0 && d.digits[d.count - 1] == '0')
        --d.count;
    if (d.count == 0)
        d.exponent = 0;
}

// The digits of n (at most 18 of them, n < 10^18) into d, and their count.
int PutDigits(std::uint64_t n, char* d)
{
    char tmp[20];
    int count = 0;
    do {
        tmp[count++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    for (int i = 0; i < count; ++i)
        d[i] = tmp[count - 1 - i];
    return count;
}

// Expand for the singles whose exact value m x 2^e (m below 2^24) is an integer below 2^64
// times 10^-k for some k <= 37: m x 5^k as a 128-bit integer holds every digit of it, and
// rounding that integer to 18 digits (halves to even, as the conversion of the standard
// library rounds) is exact. False for the others.
bool ExpandExactly(float v, Decimal& d)
{
    __extension__ typedef unsigned __int128 Wide;
    int exponent2 = 0;
    const float fraction = std::frexp(std::fabs(v), &exponent2);  // |v| = fraction x 2^exponent2
    auto m = static_cast<std::uint32_t>(std::ldexp(fraction, 24));  // exact: 24 bits
    int e = exponent2 - 24;
    if (m == 0)
        return false;
    while ((m & 1) == 0 && e < 0) {  // fewer powers of 5 to multiply by
        m >>= 1;
        ++e;
    }
    Wide n;
    int k = 0;  // value = n x 10^-k
    if (e >= 0) {
        if (e > 39)
            return false;
        n = static_cast<Wide>(m) << e;
    } else {
        k = -e;
        if (k > 37)
            return false;
        n = m;
        for (int i = 0; i < k; ++i)
            n *= 5;
    }
    // Digits of n.
    int digits = 1;
    for (Wide p = 10; p <= n && digits < 39; p *= 10)
        ++digits;
    d.negative = std::signbit(v);
    d.exponent = digits - k;
    constexpr int kDigits = 18;
    if (digits > kDigits) {
        Wide divisor = 1;
        for (int i = 0; i < digits - kDigits; ++i)
            divisor *= 10;
        Wide q = n / divisor;
        const Wide r = n % divisor, half = divisor / 2;
        if (r > half || (r == half && (q & 1) != 0))
            ++q;
        if (q == static_cast<Wide>(1000000000000000000ull)) {  // 99..9 rounded up to 10^18
            q /= 10;
            ++d.exponent;
        }
        n = q;
    }
    d.count = PutDigits(static_cast<std::uint64_t>(n), d.digits);
    StripTrailingZeros(d);
    return true;
}

// The decimal expansion of a finite single to 18 significant digits. A single is exactly a
// double, and the shortest-free scientific conversion of the standard library rounds its exact
// value correctly and does not look at the locale.
Decimal ExpandByConversion(float v)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<double>(v),
                                   std::chars_format::scientific, 17);
    const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));

    Decimal d;
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') {
        d.negative = true;
        ++i;
    }
    for (; i < text.size() && text[i] != 'e'; ++i) {
        if (text[i] >= '0' && text[i] <= '9' && d.count < static_cast<int>(sizeof d.digits) - 1)
            d.digits[d.count++] = text[i];
    }
    int exp10 = 0;
    if (i < text.size()) {
        ++i;  // 'e'
        if (i < text.size() && text[i] == '+')
            ++i;
        std::from_chars(text.data() + i, text.data() + text.size(), exp10);
    }
    // d.ddd x 10^exp10 = 0.dddd x 10^(exp10 + 1)
    d.exponent = exp10 + 1;
    StripTrailingZeros(d);
    return d;
}

Decimal Expand(float v)
{
    Decimal d;
    if (v != 0 && ExpandExactly(v, d))
        return d;
    return ExpandByConversion(v);
}

// Keeps `keep` significant digits, rounding half away from zero on the first dropped digit.
// A carry out of the first digit gains a new leading digit (9.99 -> 10.0).
void RoundTo(Decimal& d, int keep)
{
    if (d.count == 0)
        return;
    if (keep < 0) {
        d.count = 0;
        d.exponent = 0;
        return;
    }
    if (keep >= d.count)
        return;
    const bool up = d.digits[keep] >= '5';
    d.count = keep;
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[i] == '9') {
            d.digits[i] = '0';
            --i;
        }
        if (i < 0) {
            std::memmove(d.digits + 1, d.digits, static_cast<std::size_t>(d.count));
            d.digits[0] = '1';
            ++d.count;
            ++d.exponent;
        } else {
            ++d.digits[i];
        }
    }
    StripTrailingZeros(d);
}

// The digit standing for 10^place, '0' outside the significant digits.
char DigitAt(const Decimal& d, int place)
{
    const int pos = d.exponent - 1 - place;
    if (pos < 0 || pos >= d.count)
        return '0';
    return d.digits[pos];
}

const char* NonFinite(float v)
{
    if (std::isnan(v))
        return "NAN";
    return v < 0 ? "-INF" : "INF";
}

constexpr int kSignificant = 7;

}  // namespace

std::string FormatPathNumber(float v)
{
    if (!std::isfinite(v))
        return NonFinite(v);
    Decimal d = Expand(v);
    RoundTo(d, kSignificant);
    if (d.count == 0)
        return "0";

    // At most a sign, "0.", three zeros and seven digits, or seven digits, "." and "E-45".
    char out[32];
    int n = 0;
    if (d.negative)
        out[n++] = '-';
    const int e = d.exponent;
    const int count = d.count;
    if (e >= -3 && e <= kSignificant) {
        if (e <= 0) {
            out[n++] = '0';
            out[n++] = '.';
            for (int k = 0; k < -e; ++k)
                out[n++] = '0';
            for (int k = 0; k < count; ++k)
                out[n++] = d.digits[k];
        } else {
            for (int place = e - 1; place >= 0; --place)
                out[n++] = DigitAt(d, place);
            if (count > e) {
                out[n++] = '.';
                for (int k = e; k < count; ++k)
                    out[n++] = d.digits[k];
            }
        }
    } else {
        out[n++] = d.digits[0];
        if (count > 1) {
            out[n++] = '.';
            for (int k = 1; k < count; ++k)
                out[n++] = d.digits[k];
        }
        out[n++] = 'E';
        const auto res = std::to_chars(out + n, out + sizeof out, e - 1);
        n = static_cast<int>(res.ptr - out);
    }
    return std::string(out, static_cast<std::size_t>(n));
}

std::string FormatTransformNumber(float v)
{
    if (!std::isfinite(v))
        return NonFinite(v);
    Decimal d = Expand(v);
    // At most 7 significant digits and at most 2 decimals.
    if (d.count > 0)
        RoundTo(d, std::min(kSignificant, d.exponent + 2));
    if (d.count == 0)
        return "0.00";
    if (d.exponent > kSignificant)
        return FormatPathNumber(v);

    std::string out;
    if (d.negative)
        out.push_back('-');
    if (d.exponent <= 0)
        out.push_back('0');
    for (int place = d.exponent - 1; place >= 0; --place)
        out.push_back(DigitAt(d, place));
    out.push_back('.');
    out.push_back(DigitAt(d, -1));
    out.push_back(DigitAt(d, -2));
    return out;
}

void AppendAscii(SvgText& d, std::string_view text)
{
    const std::size_t at = d.size();
    d.resize(at + text.size());
    char16_t* out = d.data() + at;
    for (const char c : text)
        *out++ = static_cast<char16_t>(static_cast<unsigned char>(c));
}

}  // namespace plotwick
