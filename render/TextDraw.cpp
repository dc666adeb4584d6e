// Drawing text shapes: their glyph outlines, or the string in the substitute face rotated to
// follow the laid-out baseline.
#include "model/Rounding.h"
#include "platform/gdi/DeviceContext.h"
#include "render/PathRender.h"
#include "text/VPathText.h"

namespace plotwick {

void VPathText::Draw(gdi::DeviceContext& dc, FPoint origin, float scale)
{
    if (SubstituteFontName.empty()) {
        VPathGroup::Draw(dc, origin, scale);
        return;
    }
    const std::uint32_t color = FFill ? FFill->Color : (FStroke ? FStroke->Color : 0);
    dc.SetTextColor(color);
    dc.SetBkMode(gdi::BK_TRANSPARENT);
    const std::int32_t angle = BaselineAngle(FBaseStart, FBaseEnd);
    const std::int32_t h = ToLogical(
        dc, ToSingle(static_cast<long double>(FFontSize) * scale * static_cast<long double>(FMatrix.M[4])));
    CreateRotatedFont(dc, angle * 10, h);
    dc.SetMapperFlags(0);
    dc.SetTextAlign(gdi::TA_BASELINE | gdi::TA_LEFT);
    dc.ExtTextOut(ToLogical(dc, FBaseStart.x), ToLogical(dc, FBaseStart.y), FText);
}

std::int32_t VPathText::ToLogical(gdi::DeviceContext& dc, float v)
{
    if (!MetafileMode)
        return RoundEven(v);
    const std::int32_t t = RoundEven(ToSingle(static_cast<long double>(v) * 1000));
    const gdi::Point logical = dc.DPtoLP({t, 0});
    return RoundEven(static_cast<long double>(logical.x) / 1000);
}

void VPathText::CreateRotatedFont(gdi::DeviceContext& dc, std::int32_t escapement, std::int32_t height)
{
    // The canvases drawn on keep the plain style and the default character set.
    gdi::LogFont font;
    font.height = height;
    font.width = 0;
    font.escapement = escapement;
    font.orientation = escapement;
    font.weight = 400;
    font.faceName = SubstituteFontName;
    dc.SelectFont(font);
}

}  // namespace plotwick
