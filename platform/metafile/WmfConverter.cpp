#include "platform/metafile/WmfConverter.h"

#include "platform/metafile/EmfReader.h"
#include "platform/metafile/WmfWriter.h"

#include <algorithm>

namespace plotwick::gdi {

using namespace metafile;

namespace {

// The most points of any figure of the picture.
std::size_t LargestFigure(const Picture& picture)
{
    std::size_t largest = 0;
    for (const Op& op : picture.ops)
        if (const auto* path = std::get_if<PathOp>(&op))
            for (const Figure& f : path->figures)
                largest = std::max(largest, f.points.size());
    return largest;
}

// A polygon of the Windows Metafile holds at most this many points.
constexpr std::size_t kMaxFigurePoints = 32767;

}  // namespace

std::size_t WmfPointBudget(std::size_t emfBytes, std::size_t maxPoints)
{
    return std::max(maxPoints, emfBytes / kEmfBytesPerWmfPoint);
}

std::vector<std::uint8_t> ConvertEmfToPlaceableWmf(std::span<const std::uint8_t> emf, std::size_t maxPoints)
{
    maxPoints = WmfPointBudget(emf.size(), maxPoints);
    // Curves are flattened coarser, four times at a step, until every figure fits one polygon;
    // a figure of one segment per curve always does for what the EMF recorder writes.
    Picture picture = ReadEmfPicture(emf, maxPoints);
    for (double coarseness = 4; LargestFigure(picture) > kMaxFigurePoints && coarseness <= 1e6; coarseness *= 4)
        picture = ReadEmfPicture(emf, maxPoints, coarseness);
    WmfWriter wmf(Divisor(picture));
    wmf.Record(META_SETMAPMODE, {static_cast<std::uint16_t>(MM_ANISOTROPIC)});
    // Parameters in the order of the format: y first.
    wmf.Record(META_SETWINDOWORG, {static_cast<std::uint16_t>(wmf.Coord(picture.windowOrgY)),
                                   static_cast<std::uint16_t>(wmf.Coord(picture.windowOrgX))});
    std::int16_t extX = wmf.Coord(picture.windowExtX), extY = wmf.Coord(picture.windowExtY);
    if (extX == 0)
        extX = picture.windowExtX < 0 ? -1 : 1;
    if (extY == 0)
        extY = picture.windowExtY < 0 ? -1 : 1;
    wmf.Record(META_SETWINDOWEXT, {static_cast<std::uint16_t>(extY), static_cast<std::uint16_t>(extX)});
    for (const Op& op : picture.ops) {
        if (const auto* path = std::get_if<PathOp>(&op))
            wmf.Path(*path);
        else
            wmf.Text(std::get<TextOp>(op));
    }
    const PlaceableBox box = PlaceableBoxOf(picture, wmf);
    return Placeable(box, wmf.Finish());
}

}  // namespace plotwick::gdi
