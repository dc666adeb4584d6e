// The metrics of a FreeType face that size a logical font, as Windows GDI takes them.
#pragma once

#include <optional>

typedef struct FT_FaceRec_* FT_Face;

namespace plotwick::gdi {

// In font units.
struct FaceMetrics {
    double unitsPerEm = 0;
    // The character cell: the Windows ascent and descent of the OS/2 table, or the horizontal
    // header's ascender and descender when the face has no OS/2 table or both values are 0.
    // A positive logical font height is ascent plus descent.
    double ascent = 0;
    double descent = 0;
    // The average character width a non-zero logical font width scales to: the advances of
    // the space and the lower-case letters weighted by their frequency, as fonts of the Windows
    // 3.1 era computed it (metric-compatible substitutes share the advances of the faces they
    // stand in for but often average over all their glyphs); the OS/2 table's xAvgCharWidth when
    // a letter is missing; half the em when the face has neither.
    double averageWidth = 0;
};

// nullopt for a face without units per em.
std::optional<FaceMetrics> ReadFaceMetrics(FT_Face face);

}  // namespace plotwick::gdi
