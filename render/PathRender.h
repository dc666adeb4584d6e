// Drawing shapes onto a device context: the coordinate conversion, the render context each call
// is drawn with, and the drawing of paths, groups and texts.
#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "model/Geometry.h"
#include "model/Rounding.h"

namespace plotwick {

namespace gdi {
class DeviceContext;
}
struct PathInstr;
class VPath;

// What the caller chooses for a render: empty, or "Arial" while texts are drawn as strings in
// that system face instead of their vector glyphs.
struct RenderOptions {
    std::string SubstituteFontName;
    // When set, a raster render stops with RenderCancelled before the next top-level shape once
    // it turns true (a render on a worker whose result is no longer wanted).
    const std::atomic<bool>* Cancelled = nullptr;
};

// Thrown by a render whose RenderOptions::Cancelled turned true.
struct RenderCancelled : std::runtime_error {
    RenderCancelled() : std::runtime_error("The render was cancelled.") {}
};

// What one render is drawn with. Each render has its own, so that renders can run side by side.
struct RenderContext {
    // True while shapes are drawn into a metafile, false while they are drawn into a bitmap.
    bool MetafileMode = false;
    std::string SubstituteFontName;
    const std::atomic<bool>* Cancelled = nullptr;

    static RenderContext Raster(const RenderOptions& o) { return {false, o.SubstituteFontName, o.Cancelled}; }
    static RenderContext Metafile(const RenderOptions& o) { return {true, o.SubstituteFontName, o.Cancelled}; }
};

// Logical metafile units per drawing unit.
inline constexpr double MetafileScale = 31.25;

// A coordinate in metafile logical units, rounded.
std::int32_t ToMetafileUnits(float v);
// A coordinate as the device gets it: in metafile units in metafile mode, else rounded to whole
// pixels.
inline std::int32_t ToDeviceUnits(float v, bool metafileMode)
{
    return metafileMode ? ToMetafileUnits(v) : RoundEvenSingle(v);
}
// Adds one instruction to the device path; prev is the instruction added before it in this
// pass (none at its start) and becomes this one.
void AddToPath(const PathInstr& instr, gdi::DeviceContext& dc, const PathInstr*& prev, bool metafileMode);

// Draws a shape (a path, a group or a text) on the device: fill, then stroke, of each path;
// the children of a group in order; a text's glyph outlines, or its string in the substitute
// face when the context names one.
void Draw(const VPath& shape, gdi::DeviceContext& dc, const RenderContext& context, FPoint origin, float scale);

}  // namespace plotwick
