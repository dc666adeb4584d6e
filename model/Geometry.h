// Matrix3 (3x3 transform of singles, row vectors) and the growing rectangle FDirtyRect.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace plotwick {

struct FPoint {
    float x = 0;
    float y = 0;
};

struct IntRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int64_t Width() const { return std::int64_t{right} - left; }
    std::int64_t Height() const { return std::int64_t{bottom} - top; }
    friend bool operator==(const IntRect&, const IntRect&) = default;
};

struct Affine {
    float a, b, c, d, e, f;
};

class Matrix3 {
public:
    Matrix3() = default;  // all nine values 0 (CreateEmpty)
    Matrix3(float m0, float m1, float m2, float m3, float m4, float m5, float m6, float m7, float m8)
        : M{m0, m1, m2, m3, m4, m5, m6, m7, m8} {}

    static Matrix3 Identity() { return Matrix3(1, 0, 0, 0, 1, 0, 0, 0, 1); }
    static Matrix3 Translation(float dx, float dy) { return Matrix3(1, 0, 0, 0, 1, 0, dx, dy, 1); }

    // self := self x other; applying the result equals applying self first, then other.
    void Multiply(const Matrix3& other);
    // (1, 0, 0 / 0, 1, 0 / dx, dy, 1), with either sign of zero.
    bool IsTranslation() const
    {
        return M[0] == 1.0f && M[1] == 0.0f && M[2] == 0.0f && M[3] == 0.0f && M[4] == 1.0f && M[5] == 0.0f &&
               M[8] == 1.0f;
    }
    static bool IsFinite(float v) { return std::fabs(v) <= std::numeric_limits<float>::max(); }

    void TransformPoint(float& x, float& y) const
    {
        // A translation of a finite point: x * 1 and y * 0 are exact and so is their sum, and
        // what is left is one addition of two singles, which rounds the same directly as
        // through the extended format (whose 64 bits are more than twice the single's 24 and
        // 2 more).
        if (IsTranslation() && IsFinite(x) && IsFinite(y)) {
            const float nx = (x + y * M[3]) + M[6];
            const float ny = (x * M[1] + y) + M[7];
            x = nx;
            y = ny;
            return;
        }
        TransformPointExtended(x, y);
    }
    void TransformPoint(FPoint& p) const { TransformPoint(p.x, p.y); }
    Affine GetAffine() const { return {M[0], M[1], M[3], M[4], M[6], M[7]}; }

    std::array<float, 9> M{};

private:
    // Each running sum in extended precision, rounded to a single as it is formed.
    void TransformPointExtended(float& x, float& y) const;
};

class FRect {
public:
    float Top = 100000.0f;
    float Left = 100000.0f;
    float Right = -100000.0f;
    float Bottom = -100000.0f;
};

class FDirtyRect : public FRect {
public:
    void Reset();
    // A NaN coordinate takes the left (top), and the next point takes it back whatever it is.
    void AddPoint(float x, float y)
    {
        if (!(x >= Left)) {
            nanX_ = nanX_ || x != x;
            Left = x;
        }
        if (!(y >= Top)) {
            nanY_ = nanY_ || y != y;
            Top = y;
        }
        if (x > Right)
            Right = x;
        if (y > Bottom)
            Bottom = y;
    }
    // Adds the points `next` was given after a Reset as giving them after this rectangle's own
    // would; false, leaving this one as it was, where the two do not tell that (this one's left
    // or top a NaN, no NaN given to next).
    bool Join(const FDirtyRect& next);
    IntRect GetRect() const;  // each value rounded half to even

private:
    bool nanX_ = false;  // a NaN x was given: from there the left no longer depends on before
    bool nanY_ = false;
};

}  // namespace plotwick
