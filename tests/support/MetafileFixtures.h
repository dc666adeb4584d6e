// What the metafile tests record with: the frame and mapping the output declares for a drawing,
// and a text measure that does not depend on the fonts installed.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/metafile/EmfRecorder.h"

namespace plotwick::testing {

// The picture frame the metafile output declares for a drawing of W x H units on the 96-dpi
// reference screen, in 0.01 mm.
inline gdi::RectL FrameFor(int w, int h)
{
    return gdi::RectL{0, 0, static_cast<std::int32_t>(std::llround((w + 2) * 508.0 * 100 / 1920)),
                      static_cast<std::int32_t>(std::llround((h + 2) * 286.0 * 100 / 1080))};
}

// The mapping the output sets for that drawing: 100 logical units a drawing unit.
inline void DrawingMapping(gdi::EmfRecorder& rec, int w, int h)
{
    rec.SetMapMode(8);
    rec.SetWindowExtEx(100 * w, 100 * h);
    rec.SetViewportExtEx(static_cast<std::int32_t>(std::nearbyint(100 * w / 31.25)),
                         static_cast<std::int32_t>(std::nearbyint(100 * h / 31.25)));
}

// The i-th character advances by 11 * (i + 1); the cell is 40 above and 10 below the baseline.
inline gdi::TextMetrics FakeMeasure(const gdi::LogFont&, std::u16string_view text)
{
    gdi::TextMetrics m;
    m.valid = true;
    for (std::size_t i = 0; i < text.size(); ++i)
        m.advances.push_back(static_cast<std::int32_t>(11 * (i + 1)));
    m.ascent = 40;
    m.descent = 10;
    return m;
}

}  // namespace plotwick::testing
