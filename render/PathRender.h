// Drawing paths onto a device context: the coordinate conversion and the two globals shared
// by the rasteriser, the metafile output and the text drawing.
#pragma once

#include <cstdint>

#include "model/Rounding.h"

namespace plotwick {

namespace gdi {
class DeviceContext;
}
struct PathInstr;

// True while shapes are drawn into a metafile, false while they are drawn into a bitmap.
extern bool MetafileMode;
// Logical metafile units per drawing unit.
inline constexpr double MetafileScale = 31.25;

// A coordinate in metafile logical units, rounded.
std::int32_t ToMetafileUnits(float v);
// A coordinate as the device gets it: in metafile units while MetafileMode is on, else rounded
// to whole pixels.
inline std::int32_t ToDeviceUnits(float v) { return MetafileMode ? ToMetafileUnits(v) : RoundEvenSingle(v); }
// Adds one instruction to the device path; prev is the instruction added before it in this
// pass (none at its start) and becomes this one.
void AddToPath(const PathInstr& instr, gdi::DeviceContext& dc, const PathInstr*& prev);

}  // namespace plotwick
