// Drawing a text shape as its string in the substitute face, rotated to follow the laid-out
// baseline (the glyph outlines are drawn as the group they are).
#pragma once

#include <cstdint>

namespace plotwick {

namespace gdi {
class DeviceContext;
}
struct RenderContext;
class VPathText;

void DrawSubstituteText(const VPathText& text, gdi::DeviceContext& dc, const RenderContext& context, float scale);

// A drawing coordinate in the device's logical units: whole pixels on a bitmap; in a metafile,
// through the device's own conversion of the metafile units.
std::int32_t ToLogical(gdi::DeviceContext& dc, const RenderContext& context, float v);
// Selects the substitute face at this height, turned by escapement tenths of a degree.
void CreateRotatedFont(gdi::DeviceContext& dc, const RenderContext& context, std::int32_t escapement,
                       std::int32_t height);

}  // namespace plotwick
