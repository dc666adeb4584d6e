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

namespace {

// x * a + y * b + c, each running sum in extended precision rounded to a single at the end.
// With an infinite or NaN operand the result is infinite or NaN whatever the precision, and
// the x87 unit takes microseconds for each operation on such values: double arithmetic gives
// the same infinity, or a NaN (which every reader of coordinates treats alike), at once.
float SumOfProducts(float x, float a, float y, float b, float c)
{
    if (Matrix3::IsFinite(x) && Matrix3::IsFinite(a) && Matrix3::IsFinite(y) && Matrix3::IsFinite(b) &&
        Matrix3::IsFinite(c))
        return ToSingle(static_cast<long double>(x) * a + static_cast<long double>(y) * b + c);
    return static_cast<float>(static_cast<double>(x) * a + static_cast<double>(y) * b + c);
}

float Quotient(float n, float d)
{
    if (Matrix3::IsFinite(n) && Matrix3::IsFinite(d))
        return ToSingle(static_cast<long double>(n) / d);
    return static_cast<float>(static_cast<double>(n) / d);
}

}  // namespace

void Matrix3::TransformPointExtended(float& x, float& y) const
{
    float nx = SumOfProducts(x, M[0], y, M[3], M[6]);
    float ny = SumOfProducts(x, M[1], y, M[4], M[7]);
    // The matrices of the drawings have a last column of (0, 0, 1): for a finite point w is
    // then exactly 1 and dividing by it changes nothing.
    if (M[2] == 0.0f && M[5] == 0.0f && M[8] == 1.0f && IsFinite(x) && IsFinite(y)) {
        x = nx;
        y = ny;
        return;
    }
    const float w = SumOfProducts(x, M[2], y, M[5], M[8]);
    if (w != 0.0f) {
        nx = Quotient(nx, w);
        ny = Quotient(ny, w);
    }
    x = nx;
    y = ny;
}

void FDirtyRect::Reset()
{
    Top = Left = 100000.0f;
    Right = Bottom = -100000.0f;
    nanX_ = nanY_ = false;
}

bool FDirtyRect::Join(const FDirtyRect& next)
{
    // Without a NaN the left is the least value, the first of equal ones (so the sign of a
    // zero is the first one's), next's counted from the reset 100000: this one's must be
    // 100000 or less, which only a NaN before can undo. After a NaN the left is what next
    // found from there, whatever came before. The right takes only greater values and never
    // a NaN.
    if ((!next.nanX_ && !(Left <= 100000.0f)) || (!next.nanY_ && !(Top <= 100000.0f)))
        return false;
    Left = next.nanX_ || !(next.Left >= Left) ? next.Left : Left;
    Top = next.nanY_ || !(next.Top >= Top) ? next.Top : Top;
    if (next.Right > Right)
        Right = next.Right;
    if (next.Bottom > Bottom)
        Bottom = next.Bottom;
    nanX_ = nanX_ || next.nanX_;
    nanY_ = nanY_ || next.nanY_;
    return true;
}

IntRect FDirtyRect::GetRect() const
{
    return {RoundEven(Left), RoundEven(Top), RoundEven(Right), RoundEven(Bottom)};
}

}  // namespace plotwick
