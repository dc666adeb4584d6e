#include "text/VPathText.h"

#include <atomic>
#include <cmath>
#include <thread>

#include "model/BParser.h"
#include "text/VFont.h"

namespace plotwick {

namespace {

const bool kTextShapesRegistered =
    (ShapeFactory::RegisterKind('x', [] { return std::unique_ptr<VPath>(std::make_unique<VPathText>()); }), true);

std::function<void()>& LayoutHook()
{
    static std::function<void()> hook;
    return hook;
}

// The thread that installed the hook: texts laid out on any other thread (a render worker)
// run no hook, and never read it while that thread may replace it.
std::atomic<std::thread::id>& HookThread()
{
    static std::atomic<std::thread::id> id{};
    return id;
}
}  // namespace

// Named by the text library's link option, so that this object, and with it the registration
// above, is part of every program that links the library.
extern "C" const bool plotwick_text_shapes_registered = kTextShapesRegistered;

void SetLayoutMessageHook(std::function<void()> hook)
{
    HookThread().store(std::this_thread::get_id());
    LayoutHook() = std::move(hook);
}

void ProcessLayoutMessages()
{
    if (HookThread().load(std::memory_order_relaxed) != std::this_thread::get_id())
        return;
    if (const auto& hook = LayoutHook())
        hook();
}

bool VPathText::Read(BParser& reader)
{
    ShapeNestingGuard guard;
    reader.ReadPoint(FPosX, FPosY);
    if (reader.ReadByte() != 0)
        FFill = VColor{reader.ReadColor()};
    if (reader.ReadByte() != 0)
        FStroke = VColor{reader.ReadColor()};
    FFontName = reader.ReadString(25);
    FFontSize = reader.ReadWord();
    FMatrix = *reader.ReadMatrix();
    FText = reader.ReadString(181);
    reader.ReadTag();  // the end byte, 'X' in a well-formed record; its value is not checked
    Layout();
    return true;
}

void VPathText::Layout()
{
    FBaseStart = {0, 0};
    FPoint pen{0, 0};
    FFont = FontList.FindFont(FFontName);
    if (FFont) {
        for (const char c : FText) {
            ProcessLayoutMessages();
            FFont->PlaceGlyph(static_cast<std::uint8_t>(c), FChildren, pen, FFill, FStroke);
        }
    }
    FBaseEnd = pen;
    // Without a font, or with a font whose em size is 0, the outlines (if any) are taken at
    // their font units as drawing units: a defined scale of 1.
    const std::int32_t unitsPerEm = FFont ? FFont->UnitsPerEm() : 0;
    const float k = unitsPerEm > 0 ? static_cast<float>(static_cast<long double>(FFontSize) / unitsPerEm) : 1.0f;
    Matrix3 m(k, 0, 0, 0, k, 0, FPosX, FPosY, 1);
    m.Multiply(FMatrix);
    Transform(m);
}

void VPathText::Transform(const Matrix3& m)
{
    m.TransformPoint(FBaseStart);
    m.TransformPoint(FBaseEnd);
    VPathGroup::Transform(m);
}

std::int32_t VPathText::BaselineAngle(FPoint a, FPoint b)
{
    const float dx = static_cast<float>(static_cast<long double>(b.x) - a.x);
    const float dy = static_cast<float>(static_cast<long double>(b.y) - a.y);
    const long double length = std::sqrt(static_cast<long double>(dx) * dx + static_cast<long double>(dy) * dy);
    // A baseline of no length has no direction: it runs to the right.
    if (!(length > 0) || std::isinf(length))
        return 0;
    const long double theta = std::acos(static_cast<long double>(dx) / length) / 0.017453292519943295769L;
    const std::int32_t r = static_cast<std::int32_t>(std::nearbyint(theta));
    return dy > 0 ? 360 - r : r;
}

}  // namespace plotwick
