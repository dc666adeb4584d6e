#include "platform/metafile/WmfConverter.h"

#include "platform/metafile/EmfReader.h"
#include "platform/metafile/WmfWriter.h"

namespace plotwick::gdi {

using namespace metafile;

std::vector<std::uint8_t> ConvertEmfToPlaceableWmf(std::span<const std::uint8_t> emf, std::size_t maxPoints)
{
    const Picture picture = ReadEmfPicture(emf, maxPoints);
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
    return Placeable(picture.frame, wmf.Finish());
}

}  // namespace plotwick::gdi
