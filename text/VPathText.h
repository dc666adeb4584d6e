// Text shapes: a group of laid-out glyph outlines, or a string in the substitute face.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "model/Geometry.h"
#include "model/Shapes.h"

namespace plotwick {

class VFont;

// Called before each character is laid out, so that a window can let pending messages
// through. No-op unless a window installs one, and on every thread but the one that installed it.
void SetLayoutMessageHook(std::function<void()> hook);
void ProcessLayoutMessages();

class VPathText : public VPathGroup {
public:
    VPathText() { FEndTag = 'X'; }

    bool Read(BParser& reader) override;
    bool IsText() const override { return true; }
    void Transform(const Matrix3& m) override;

    void Layout();

    static std::int32_t BaselineAngle(FPoint a, FPoint b);

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
