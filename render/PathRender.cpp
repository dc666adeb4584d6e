#include "render/PathRender.h"

#include "model/PathInstr.h"
#include "model/Rounding.h"
#include "model/Shapes.h"
#include "platform/device/DeviceContext.h"
#include "render/TextDraw.h"
#include "text/VPathText.h"

namespace plotwick {

std::int32_t ToMetafileUnits(float v)
{
    const float a = ToSingle(static_cast<long double>(v) * 1000);
    const float b = ToSingle(static_cast<long double>(a) * MetafileScale);
    return RoundEven(static_cast<long double>(b) / 1000);
}

void AddToPath(const PathInstr& instr, gdi::DeviceContext& dc, const PathInstr*& prev, bool metafileMode)
{
    switch (instr.Kind) {
    case 'M':
        dc.MoveToEx(ToDeviceUnits(instr.X, metafileMode), ToDeviceUnits(instr.Y, metafileMode));
        break;
    case 'L':
        dc.LineTo(ToDeviceUnits(instr.X, metafileMode), ToDeviceUnits(instr.Y, metafileMode));
        break;
    case 'C': {
        const gdi::Point pts[3] = {{ToDeviceUnits(instr.C1X, metafileMode), ToDeviceUnits(instr.C1Y, metafileMode)},
                                   {ToDeviceUnits(instr.C2X, metafileMode), ToDeviceUnits(instr.C2Y, metafileMode)},
                                   {ToDeviceUnits(instr.X, metafileMode), ToDeviceUnits(instr.Y, metafileMode)}};
        dc.PolyBezierTo(pts, 3);
        break;
    }
    case 'S': {
        // The first control point reflects the previous instruction's second one about its end
        // point. A first 'S', or one after a 'z', has nothing to reflect and starts from the
        // current point, where the device's pen is.
        gdi::Point c1;
        if (prev && prev->Kind != 'z')
            c1 = {ToDeviceUnits(ReflectCoordinate(prev->X, prev->C2X), metafileMode),
                  ToDeviceUnits(ReflectCoordinate(prev->Y, prev->C2Y), metafileMode)};
        else
            c1 = dc.CurrentPosition();
        const gdi::Point pts[3] = {c1,
                                   {ToDeviceUnits(instr.C2X, metafileMode), ToDeviceUnits(instr.C2Y, metafileMode)},
                                   {ToDeviceUnits(instr.X, metafileMode), ToDeviceUnits(instr.Y, metafileMode)}};
        dc.PolyBezierTo(pts, 3);
        break;
    }
    case 'z':
        // Closes the figure, so that a stroke joins it at its start as the SVG output does.
        dc.CloseFigure();
        break;
    default:
        break;
    }
    prev = &instr;
}

namespace {

void DrawPath(const VPath& path, gdi::DeviceContext& dc, const RenderContext& context, float scale)
{
    if (path.FFill)
        dc.SelectSolidBrush(path.FFill->Color);
    if (path.FStroke) {
        std::int32_t width;
        if (path.FIsGlyph && path.FFill)
            width = 1;  // outlines of filled glyphs are a hairline, never scaled
        else if (context.MetafileMode)
            width = RoundEven(MetafileScale * static_cast<long double>(scale));
        else
            width = RoundEven(scale);
        dc.SelectSolidPen(path.FStroke->Color, width);
    }
    const bool metafileMode = context.MetafileMode;
    const auto buildPath = [&] {
        dc.BeginPath();
        const PathInstr* prev = nullptr;
        for (const PathInstr& instr : path.FInstructions)
            AddToPath(instr, dc, prev, metafileMode);
        dc.EndPath();
    };
    if (path.FFill) {
        buildPath();
        dc.FillPath();
    }
    if (path.FStroke) {
        buildPath();
        dc.StrokePath();
    }
}

}  // namespace

void Draw(const VPath& shape, gdi::DeviceContext& dc, const RenderContext& context, FPoint origin, float scale)
{
    if (shape.IsText() && !context.SubstituteFontName.empty()) {
        DrawSubstituteText(static_cast<const VPathText&>(shape), dc, context, scale);
    } else if (shape.IsGroup()) {
        for (const auto& child : static_cast<const VPathGroup&>(shape).FChildren)
            if (child)
                Draw(*child, dc, context, origin, scale);
    } else {
        DrawPath(shape, dc, context, scale);
    }
}

}  // namespace plotwick
