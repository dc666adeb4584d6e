#include "render/PathRender.h"

#include "model/PathInstr.h"
#include "model/Rounding.h"
#include "model/Shapes.h"
#include "platform/gdi/DeviceContext.h"

namespace plotwick {

bool MetafileMode = false;

std::int32_t ToMetafileUnits(float v)
{
    const float a = ToSingle(static_cast<long double>(v) * 1000);
    const float b = ToSingle(static_cast<long double>(a) * MetafileScale);
    return RoundEven(static_cast<long double>(b) / 1000);
}

void AddToPath(const PathInstr& instr, gdi::DeviceContext& dc, const PathInstr*& prev)
{
    switch (instr.Kind) {
    case 'M':
        dc.MoveToEx(ToDeviceUnits(instr.X), ToDeviceUnits(instr.Y));
        break;
    case 'L':
        dc.LineTo(ToDeviceUnits(instr.X), ToDeviceUnits(instr.Y));
        break;
    case 'C': {
        const gdi::Point pts[3] = {{ToDeviceUnits(instr.C1X), ToDeviceUnits(instr.C1Y)},
                                   {ToDeviceUnits(instr.C2X), ToDeviceUnits(instr.C2Y)},
                                   {ToDeviceUnits(instr.X), ToDeviceUnits(instr.Y)}};
        dc.PolyBezierTo(pts, 3);
        break;
    }
    case 'S': {
        // The first control point reflects the previous instruction's second one about its end
        // point; a first 'S' has no previous instruction and starts from the current point,
        // which, as for 'M' and 'L', its own stored first control point stands in for.
        float c1x = instr.C1X, c1y = instr.C1Y;
        if (prev) {
            c1x = ReflectCoordinate(prev->X, prev->C2X);
            c1y = ReflectCoordinate(prev->Y, prev->C2Y);
        }
        const gdi::Point pts[3] = {{ToDeviceUnits(c1x), ToDeviceUnits(c1y)},
                                   {ToDeviceUnits(instr.C2X), ToDeviceUnits(instr.C2Y)},
                                   {ToDeviceUnits(instr.X), ToDeviceUnits(instr.Y)}};
        dc.PolyBezierTo(pts, 3);
        break;
    }
    default:
        break;
    }
    prev = &instr;
}

void VPath::Draw(gdi::DeviceContext& dc, FPoint origin, float scale)
{
    if (FFill)
        dc.SelectSolidBrush(FFill->Color);
    if (FStroke) {
        std::int32_t width;
        if (FIsGlyph && FFill)
            width = 1;  // outlines of filled glyphs are a hairline, never scaled
        else if (MetafileMode)
            width = RoundEven(MetafileScale * static_cast<long double>(scale));
        else
            width = RoundEven(scale);
        dc.SelectSolidPen(FStroke->Color, width);
    }
    const auto buildPath = [&] {
        dc.BeginPath();
        const PathInstr* prev = nullptr;
        for (const PathInstr& instr : FInstructions)
            AddToPath(instr, dc, prev);
        dc.EndPath();
    };
    if (FFill) {
        buildPath();
        dc.FillPath();
    }
    if (FStroke) {
        buildPath();
        dc.StrokePath();
    }
}

void VPathGroup::Draw(gdi::DeviceContext& dc, FPoint origin, float scale)
{
    const FPoint local = origin;
    for (const auto& child : FChildren)
        if (child)
            child->Draw(dc, local, scale);
}

}  // namespace plotwick
