// Text shapes: a group of laid-out glyph outlines, or a string in the substitute face.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "model/Geometry.h"
#include "model/Shapes.h"

namespace plotwick {

namespace gdi {
class DeviceContext;
}

// Empty, or "Arial" while the substitute face is chosen.
extern std::string SubstituteFontName;

// Called before each character is laid out, so that a window can let pending messages
// through. No-op unless a window installs one.
void SetLayoutMessageHook(std::function<void()> hook);
void ProcessLayoutMessages();

class VPathText : public VPathGroup {
public:
    VPathText() { FEndTag = 'X'; }

    void Draw(gdi::DeviceContext& dc, FPoint origin, float scale) override;
    bool Read(BParser& reader) override;
    void Transform(const Matrix3& m) override;
    void WriteSvg(SvgText& d, int level) const override;
    void CollectFonts(std::vector<VFont*>& fonts) const override;

    void Layout();
    void WriteSvgPaint(SvgText& d) const;

    static std::int32_t BaselineAngle(FPoint a, FPoint b);
    static std::int32_t ToLogical(gdi::DeviceContext& dc, float v);
    static void CreateRotatedFont(gdi::DeviceContext& dc, std::int32_t escapement, std::int32_t height);

    float FPosX = 0;
    float FPosY = 0;
    FPoint FBaseStart;
    FPoint FBaseEnd;
    std::string FFontName;
    std::string FText;
    std::int32_t FFontSize = 0;
    Matrix3 FMatrix = Matrix3::Identity();
    VFont* FFont = nullptr;
};

}  // namespace plotwick
