#include "render/TextDraw.h"

#include <cmath>

#include "model/Rounding.h"
#include "platform/device/DeviceContext.h"
#include "render/PathRender.h"
#include "text/VPathText.h"

namespace plotwick {

void DrawSubstituteText(const VPathText& text, gdi::DeviceContext& dc, const RenderContext& context, float scale)
{
    const std::uint32_t color = text.FFill ? text.FFill->Color : (text.FStroke ? text.FStroke->Color : 0);
    dc.SetTextColor(color);
    dc.SetBkMode(gdi::BK_TRANSPARENT);
    const std::int32_t angle = VPathText::BaselineAngle(text.FBaseStart, text.FBaseEnd);
    // The height follows the length of the text's vertical axis, so a turned or mirrored text
    // keeps its size.
    const long double axis = std::hypot(static_cast<long double>(text.FMatrix.M[3]),
                                        static_cast<long double>(text.FMatrix.M[4]));
    const std::int32_t h =
        ToLogical(dc, context, ToSingle(static_cast<long double>(text.FFontSize) * scale * axis));
    CreateRotatedFont(dc, context, angle * 10, h);
    dc.SetMapperFlags(0);
    dc.SetTextAlign(gdi::TA_BASELINE | gdi::TA_LEFT);
    dc.ExtTextOut(ToLogical(dc, context, text.FBaseStart.x), ToLogical(dc, context, text.FBaseStart.y), text.FText);
}

std::int32_t ToLogical(gdi::DeviceContext& dc, const RenderContext& context, float v)
{
    if (!context.MetafileMode)
        return RoundEven(v);
    const std::int32_t t = RoundEven(ToSingle(static_cast<long double>(v) * 1000));
    const gdi::Point logical = dc.DPtoLP({t, 0});
    return RoundEven(static_cast<long double>(logical.x) / 1000);
}

void CreateRotatedFont(gdi::DeviceContext& dc, const RenderContext& context, std::int32_t escapement,
                       std::int32_t height)
{
    // The canvases drawn on keep the plain style and the default character set.
    gdi::LogFont font;
    font.height = height;
    font.width = 0;
    font.escapement = escapement;
    font.orientation = escapement;
    font.weight = 400;
    font.faceName = context.SubstituteFontName;
    dc.SelectFont(font);
}

}  // namespace plotwick
