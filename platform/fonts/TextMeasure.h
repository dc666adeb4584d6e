// Measuring text in a logical font, for the character-spacing arrays and bounds of metafile
// text records: the advance of every character along the baseline, and the ascent and descent
// of the character cell, all in the logical units the font's height is given in.
#pragma once

#include "platform/device/DeviceContext.h"

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace plotwick::gdi {

struct TextMetrics {
    bool valid = false;                   // false: the font could not be measured
    std::vector<std::int32_t> advances;   // one per UTF-16 unit of the text
    std::int32_t ascent = 0;              // baseline to the top of the cell
    std::int32_t descent = 0;             // baseline to the bottom of the cell
};

using TextMeasure = std::function<TextMetrics(const LogFont& font, std::u16string_view text)>;

// Measures with the face ResolveFont finds for the font's face name, weight and slant (the
// face the Cairo device draws the font in), read with FreeType. As in Windows GDI, a positive
// height is the cell height (the face's Windows ascent plus descent), a negative one the em
// size; a height of 0 cannot be measured. A non-zero width scales the advances so that the
// face's average character width (FaceMetrics) becomes that width, as on the Cairo device.
// The advances are the face's unhinted advance widths, accumulated along the text and rounded
// at every character so that the rounding errors do not add up. The function keeps the faces
// it has opened and may be copied; copies share them (not thread-safe).
TextMeasure SystemTextMeasure();

}  // namespace plotwick::gdi
