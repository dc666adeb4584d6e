#include "svg/SvgNumbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

namespace plotwick {

namespace {

// A finite value as sign, significant digits and decimal exponent: value = 0.d1d2... x 10^exponent.
// No digits means zero.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

void StripTrailingZeros(Decimal& d)
{
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (d.digits.empty())
        d.exponent = 0;
}

// The decimal expansion of a finite single to 18 significant digits. A single is exactly a
// double, and the shortest-free scientific conversion of the standard library rounds its exact
// value correctly and does not look at the locale.
Decimal Expand(float v)
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
        if (text[i] >= '0' && text[i] <= '9')
            d.digits.push_back(text[i]);
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

// Keeps `keep` significant digits, rounding half away from zero on the first dropped digit.
// A carry out of the first digit gains a new leading digit (9.99 -> 10.0).
void RoundTo(Decimal& d, int keep)
{
    if (d.digits.empty())
        return;
    if (keep < 0) {
        d.digits.clear();
        d.exponent = 0;
        return;
    }
    if (keep >= static_cast<int>(d.digits.size()))
        return;
    const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
    d.digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9') {
            d.digits[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        } else {
            ++d.digits[static_cast<std::size_t>(i)];
        }
    }
    StripTrailingZeros(d);
}

// The digit standing for 10^place, '0' outside the significant digits.
char DigitAt(const Decimal& d, int place)
{
    const int pos = d.exponent - 1 - place;
    if (pos < 0 || pos >= static_cast<int>(d.digits.size()))
        return '0';
    return d.digits[static_cast<std::size_t>(pos)];
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
    if (d.digits.empty())
        return "0";

    std::string out;
    if (d.negative)
        out.push_back('-');
    const int e = d.exponent;
    const int count = static_cast<int>(d.digits.size());
    if (e >= -3 && e <= kSignificant) {
        if (e <= 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-e), '0');
            out += d.digits;
        } else {
            for (int place = e - 1; place >= 0; --place)
                out.push_back(DigitAt(d, place));
            if (count > e) {
                out.push_back('.');
                out.append(d.digits, static_cast<std::size_t>(e), std::string::npos);
            }
        }
    } else {
        out.push_back(d.digits[0]);
        if (count > 1) {
            out.push_back('.');
            out.append(d.digits, 1, std::string::npos);
        }
        out.push_back('E');
        out += std::to_string(e - 1);
    }
    return out;
}

std::string FormatTransformNumber(float v)
{
    if (!std::isfinite(v))
        return NonFinite(v);
    Decimal d = Expand(v);
    // At most 7 significant digits and at most 2 decimals.
    if (!d.digits.empty())
        RoundTo(d, std::min(kSignificant, d.exponent + 2));
    if (d.digits.empty())
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
    for (const char c : text)
        d.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

}  // namespace plotwick
