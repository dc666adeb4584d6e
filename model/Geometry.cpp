#include "model/Geometry.h"

#include "model/Rounding.h"

#include <cmath>
#include <limits>

namespace plotwick {

void Matrix3::Multiply(const Matrix3& other)
{
    const std::array<float, 9> t = M;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            float sum = 0;
            for (int k = 0; k < 3; ++k)
                sum = ToSingle(static_cast<long double>(sum) +
                               static_cast<long double>(t[3 * i + k]) * other.M[3 * k + j]);
            M[3 * i + j] = sum;
        }
    }
}

void Matrix3::TransformPointExtended(float& x, float& y) const
{
    const long double lx = x, ly = y;
    float nx = ToSingle(lx * M[0] + ly * M[3] + M[6]);
    float ny = ToSingle(lx * M[1] + ly * M[4] + M[7]);
    // The matrices of the drawings have a last column of (0, 0, 1): for a finite point w is
    // then exactly 1 and dividing by it changes nothing.
    constexpr float kLargest = std::numeric_limits<float>::max();
    if (M[2] == 0.0f && M[5] == 0.0f && M[8] == 1.0f && std::fabs(x) <= kLargest && std::fabs(y) <= kLargest) {
        x = nx;
        y = ny;
        return;
    }
    const float w = ToSingle(lx * M[2] + ly * M[5] + M[8]);
    if (w != 0.0f) {
        nx = ToSingle(static_cast<long double>(nx) / w);
        ny = ToSingle(static_cast<long double>(ny) / w);
    }
    x = nx;
    y = ny;
}

void FDirtyRect::Reset()
{
    Top = Left = 100000.0f;
    Right = Bottom = -100000.0f;
}

IntRect FDirtyRect::GetRect() const
{
    return {RoundEven(Left), RoundEven(Top), RoundEven(Right), RoundEven(Bottom)};
}

}  // namespace plotwick
