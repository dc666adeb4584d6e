// The shape classes VPath <- VPathGroup <- VPathText, the colour holder and the factory.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/Geometry.h"
#include "model/PathInstr.h"

namespace plotwick {

class BParser;
class FDirtyRect;

struct VColor {
    std::uint32_t Color = 0;  // 0x00BBGGRR
};

class VPath {
public:
    VPath() = default;
    virtual ~VPath() = default;
    VPath(const VPath&) = delete;
    VPath& operator=(const VPath&) = delete;

    // Virtual operations, in slot order. Drawing a shape on a device and writing it as SVG
    // belong to the layers that own those outputs (render/PathRender.h, svg/SvgWriter.h), which
    // tell the kinds apart by IsGroup and IsText.
    virtual std::unique_ptr<VPath> Clone() const;
    virtual void ExtendBounds(FDirtyRect& r) const;
    virtual bool Read(BParser& reader);
    virtual bool HasInstructions() const { return !FInstructions.empty(); }
    virtual bool IsGroup() const { return false; }
    virtual bool IsText() const { return false; }
    virtual void Transform(const Matrix3& m);

    void SetFill(std::uint32_t color);
    void SetStroke(std::uint32_t color);
    void AddInstruction(const PathInstr& instr) { FInstructions.push_back(instr); }

    std::uint8_t FEndTag = 'D';
    std::optional<VColor> FFill;
    std::optional<VColor> FStroke;
    std::vector<PathInstr> FInstructions;
    bool FIsGlyph = false;
};

class VPathGroup : public VPath {
public:
    VPathGroup() { FEndTag = 'G'; }

    std::unique_ptr<VPath> Clone() const override;
    void ExtendBounds(FDirtyRect& r) const override;
    bool Read(BParser& reader) override;
    bool HasInstructions() const override { return false; }
    bool IsGroup() const override { return true; }
    void Transform(const Matrix3& m) override;

    void AddChild(std::unique_ptr<VPath> child) { FChildren.push_back(std::move(child)); }

    std::vector<std::unique_ptr<VPath>> FChildren;
};

class ShapeFactory {
public:
    using Maker = std::unique_ptr<VPath> (*)();

    // 'd' path, 'g' group, and the kinds registered by the layers above (the text layer
    // registers 'x'); none for any other byte.
    static std::unique_ptr<VPath> CreateShape(std::uint8_t kind);
    // Makes the shapes of one more kind byte. Registered once, before any record is read.
    static void RegisterKind(std::uint8_t kind, Maker make);
};

// Reads one shape whose kind byte has been read and applies the rule every reader of shapes
// shares: the shape is kept when Read succeeded and it has instructions or is a group.
std::unique_ptr<VPath> ReadShape(BParser& reader, std::unique_ptr<VPath> shape);

// Groups (and texts inside glyphs inside texts) nest at most this deep; a deeper file raises
// "Incorrect data format." rather than exhausting the stack.
inline constexpr int kMaxShapeNesting = 256;

// Held while a group or text record is read; raises "Incorrect data format." past the limit.
class ShapeNestingGuard {
public:
    ShapeNestingGuard();
    ~ShapeNestingGuard();
    ShapeNestingGuard(const ShapeNestingGuard&) = delete;
    ShapeNestingGuard& operator=(const ShapeNestingGuard&) = delete;
};

// How many group and text records are being read right now (0 outside any).
int ShapeNestingDepth();

// The levels of groups and texts in a shape: 0 for a path, 1 for a group of paths.
int ShapeNestingHeight(const VPath& shape);

// One record being loaded (with the glyph outlines its texts copy) holds at most this many
// shapes and path instructions: far above any real drawing, and a bound on what a small file of
// texts whose glyphs hold texts can expand to. Past either, "Incorrect data format.".
inline constexpr std::int64_t kMaxShapes = 5'000'000;
inline constexpr std::int64_t kMaxInstructions = 50'000'000;

struct ShapeLimits {
    std::int64_t shapes = kMaxShapes;
    std::int64_t instructions = kMaxInstructions;
};

// The limits in force: the ones above unless a test or a fuzz target has lowered them.
ShapeLimits GetShapeLimits();
void SetShapeLimits(const ShapeLimits& limits);

// Held while one record's shapes are read (TDrawing::LoadShapes, VGlyph::Load, ReadShape); the
// outermost one starts the count of shapes and instructions from zero. Nothing is counted
// outside one.
class ShapeCountScope {
public:
    ShapeCountScope();
    ~ShapeCountScope();
    ShapeCountScope(const ShapeCountScope&) = delete;
    ShapeCountScope& operator=(const ShapeCountScope&) = delete;
};

// What the record being loaded on this thread has counted so far.
struct ShapeCounts {
    std::int64_t shapes = 0;
    std::int64_t instructions = 0;
};
ShapeCounts CurrentShapeCounts();

// Adds to the count of the record being loaded; raises "Incorrect data format." past a limit.
void CountShapes(std::int64_t n);
void CountInstructions(std::int64_t n);
// Adds a shape and everything in it (a copy about to be made).
void CountShapeTree(const VPath& shape);

}  // namespace plotwick
