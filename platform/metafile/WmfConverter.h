// Conversion of an Enhanced Metafile to a placeable Windows Metafile that shows the same
// picture.
//
// The result is the 22-byte placeable header (bounds 0, 0 to the picture frame at 96 units per
// inch, checksum over its first ten words) followed by a standard Windows Metafile (memory
// type, version 0x0300): SETMAPMODE (anisotropic), SETWINDOWORG and SETWINDOWEXT that make the
// EMF's picture frame fill the placeable bounds, then the drawing:
//  - a filled path becomes POLYGON (one figure) or POLYPOLYGON (several, filled together with
//    the path's fill mode) drawn with a null pen; a stroked path becomes POLYLINE for every open
//    figure and POLYGON with a null brush for every closed one; a path stroked and filled
//    becomes POLYGON/POLYPOLYGON with the pen and the brush;
//  - curves are flattened into line segments that stay within 1/20 of a reference-device
//    pixel of the curve;
//  - pens, brushes and fonts become CREATEPENINDIRECT, CREATEBRUSHINDIRECT and
//    CREATEFONTINDIRECT objects, created when a different one is needed, selected, and deleted
//    once another has replaced them (the null pen and null brush are kept);
//  - texts become EXTTEXTOUT with their character-spacing arrays, after SETTEXTALIGN,
//    SETTEXTCOLOR, SETBKMODE and SETMAPPERFLAGS as they change; UTF-16 text is written in
//    Windows-1252 ("?" for characters it lacks);
//  - META_EOF closes the file.
// WMF coordinates are 16-bit: the logical coordinates of the EMF are kept unless some value
// (the window, a point, a pen width, a font height, a character advance) falls outside
// -32767..32767, in which case the whole logical coordinate system is divided by the smallest
// integer that brings every value inside, which leaves the picture the same.
//
// The EMF is read with bounds-checked reads. Records that the conversion cannot express
// (bitmaps, regions, clipping, world transforms, saved states, isotropic mapping, glyph-index
// text) make it fail rather than give a different picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace plotwick::gdi {

// A picture holds at most this many points once its curves are flattened (256 MB while it is
// converted, a 64 MB metafile), or one point for every kEmfBytesPerWmfPoint bytes of a larger
// EMF: a far-reaching curve flattens to thousands of points, and a small EMF of such curves
// would otherwise ask for gigabytes, while an ordinary drawing flattens to about one point for
// every 4 bytes of its EMF (a million instructions with texts: 29 million points from 119 MB).
inline constexpr std::size_t kMaxWmfPoints = std::size_t{1} << 24;
inline constexpr std::size_t kEmfBytesPerWmfPoint = 2;

// The number of points an EMF of emfBytes bytes may flatten to: maxPoints, or more for an EMF
// large enough to need them.
std::size_t WmfPointBudget(std::size_t emfBytes, std::size_t maxPoints = kMaxWmfPoints);

// Throws std::runtime_error when the EMF is malformed or holds a record that cannot be
// converted, when the picture frame is too large for the placeable header, or when its
// flattened curves need more than WmfPointBudget(emf.size(), maxPoints) points.
std::vector<std::uint8_t> ConvertEmfToPlaceableWmf(std::span<const std::uint8_t> emf,
                                                   std::size_t maxPoints = kMaxWmfPoints);

}  // namespace plotwick::gdi
