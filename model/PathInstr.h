// One path instruction: 'M', 'L', 'C', 'S', 'z' or an unrecognised kind, with its end point
// and two control points, absolute singles.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plotwick {

class FDirtyRect;
class Matrix3;

struct PathInstr {
    std::uint8_t Kind = 0;
    float X = 0, Y = 0;
    float C1X = 0, C1Y = 0;
    float C2X = 0, C2Y = 0;

    PathInstr Clone() const { return *this; }
    // Adds the instruction's points to r; prev is the instruction processed just before
    // (none at the start of a pass) and becomes this one.
    void ExtendBounds(FDirtyRect& r, const PathInstr*& prev) const;
    void Transform(const Matrix3& m);
};

// 2 * about - point, the reflection of a control point, rounded once to a single. The doubling
// is exact and what is left is one subtraction of singles, which rounds in double precision
// (53 bits: more than twice the single's 24, and 1 more) exactly as in the extended format,
// and without the x87 unit's microseconds for every operation on an infinity or a NaN.
inline float ReflectCoordinate(float about, float point) { return static_cast<float>(2.0 * about - point); }

// ExtendBounds of each of count instructions in turn (prev none at the first), the rectangle
// kept in registers meanwhile.
void ExtendBoundsOfInstructions(const PathInstr* instrs, std::size_t count, FDirtyRect& r);

// Transform of each of count instructions, the matrix looked at once for all of them.
void TransformInstructions(PathInstr* instrs, std::size_t count, const Matrix3& m);

}  // namespace plotwick
