#include "model/Shapes.h"

#include <algorithm>
#include <array>

#include "model/BParser.h"
#include "model/Geometry.h"

namespace plotwick {

namespace {

// Counts the nesting of shape records being read, so that a file of nested groups (or of texts
// whose glyphs hold texts) cannot exhaust the stack.
thread_local int g_readDepth = 0;

// The shapes and instructions of the record being loaded, and how many count scopes are open.
thread_local int g_countScopes = 0;
thread_local std::int64_t g_shapeCount = 0;
thread_local std::int64_t g_instructionCount = 0;
ShapeLimits g_limits;

}  // namespace

int ShapeNestingDepth() { return g_readDepth; }

int ShapeNestingHeight(const VPath& shape)
{
    if (!shape.IsGroup())
        return 0;
    int height = 0;
    for (const auto& child : static_cast<const VPathGroup&>(shape).FChildren)
        if (child)
            height = std::max(height, ShapeNestingHeight(*child));
    return height + 1;
}

ShapeLimits GetShapeLimits() { return g_limits; }

void SetShapeLimits(const ShapeLimits& limits) { g_limits = limits; }

ShapeCountScope::ShapeCountScope()
{
    if (g_countScopes++ == 0)
        g_shapeCount = g_instructionCount = 0;
}

ShapeCountScope::~ShapeCountScope() { --g_countScopes; }

ShapeCounts CurrentShapeCounts() { return {g_shapeCount, g_instructionCount}; }

void CountShapes(std::int64_t n)
{
    if (g_countScopes == 0)
        return;
    g_shapeCount += n;
    if (g_shapeCount > g_limits.shapes)
        ThrowIncorrectFormat();
}

void CountInstructions(std::int64_t n)
{
    if (g_countScopes == 0)
        return;
    g_instructionCount += n;
    if (g_instructionCount > g_limits.instructions)
        ThrowIncorrectFormat();
}

void CountShapeTree(const VPath& shape)
{
    if (g_countScopes == 0)
        return;
    CountShapes(1);
    CountInstructions(static_cast<std::int64_t>(shape.FInstructions.size()));
    if (shape.IsGroup())
        for (const auto& child : static_cast<const VPathGroup&>(shape).FChildren)
            if (child)
                CountShapeTree(*child);
}

ShapeNestingGuard::ShapeNestingGuard()
{
    if (++g_readDepth > kMaxShapeNesting) {
        --g_readDepth;
        ThrowIncorrectFormat();
    }
}

ShapeNestingGuard::~ShapeNestingGuard() { --g_readDepth; }

void VPath::SetFill(std::uint32_t color)
{
    if (FFill)
        FFill->Color = color;
    else
        FFill = VColor{color};
}

void VPath::SetStroke(std::uint32_t color)
{
    if (FStroke)
        FStroke->Color = color;
    else
        FStroke = VColor{color};
}

std::unique_ptr<VPath> VPath::Clone() const
{
    auto copy = std::make_unique<VPath>();
    if (FFill)
        copy->SetFill(FFill->Color);
    if (FStroke)
        copy->SetStroke(FStroke->Color);
    copy->FInstructions = FInstructions;
    return copy;
}

void VPath::ExtendBounds(FDirtyRect& r) const
{
    ExtendBoundsOfInstructions(FInstructions.data(), FInstructions.size(), r);
}

bool VPath::Read(BParser& reader)
{
    if (reader.ReadByte() != 0)
        FFill = VColor{reader.ReadColor()};
    else
        FFill.reset();
    if (reader.ReadByte() != 0)
        FStroke = VColor{reader.ReadColor()};
    else
        FStroke.reset();
    // The instructions are gathered in a buffer that keeps its capacity from one path to the
    // next and then copied in one piece, rather than grown instruction by instruction.
    thread_local std::vector<PathInstr> read;
    read.clear();
    try {
        for (std::uint8_t t = reader.ReadTag(); t != FEndTag; t = reader.ReadTag()) {
            // The end of the file reads as 0: the record is unfinished.
            if (t == 0 && reader.LastTagWasEnd())
                ThrowIncorrectFormat();
            if (auto instr = reader.ReadPathInstr(t)) {
                CountInstructions(1);
                read.push_back(*instr);
            }
        }
    } catch (...) {
        FInstructions.insert(FInstructions.end(), read.begin(), read.end());
        throw;
    }
    FInstructions.insert(FInstructions.end(), read.begin(), read.end());
    return true;
}

void VPath::Transform(const Matrix3& m)
{
    TransformInstructions(FInstructions.data(), FInstructions.size(), m);
}

std::unique_ptr<VPath> VPathGroup::Clone() const
{
    auto copy = std::make_unique<VPathGroup>();
    if (FFill)
        copy->SetFill(FFill->Color);
    if (FStroke)
        copy->SetStroke(FStroke->Color);
    copy->FChildren.reserve(FChildren.size());
    for (const auto& child : FChildren)
        if (child)
            copy->AddChild(child->Clone());
    return copy;
}

void VPathGroup::ExtendBounds(FDirtyRect& r) const
{
    for (const auto& child : FChildren)
        if (child)
            child->ExtendBounds(r);
}

bool VPathGroup::Read(BParser& reader)
{
    ShapeNestingGuard guard;
    for (std::uint8_t t = reader.ReadTag(); t != FEndTag; t = reader.ReadTag()) {
        if (t == 0 && reader.LastTagWasEnd())
            ThrowIncorrectFormat();
        if (auto shape = ShapeFactory::CreateShape(t)) {
            if (auto kept = ReadShape(reader, std::move(shape)))
                AddChild(std::move(kept));
        }
        // Bytes that are not shape kinds are skipped one at a time.
    }
    return true;
}

void VPathGroup::Transform(const Matrix3& m)
{
    for (const auto& child : FChildren)
        if (child)
            child->Transform(m);
}

namespace {

// The makers of the kinds registered from above, by kind byte. Written only while the
// programs start (static initialisation), read from any thread after that.
std::array<ShapeFactory::Maker, 256>& RegisteredKinds()
{
    static std::array<ShapeFactory::Maker, 256> kinds{};
    return kinds;
}

}  // namespace

std::unique_ptr<VPath> ShapeFactory::CreateShape(std::uint8_t kind)
{
    switch (kind) {
    case 'd':
        return std::make_unique<VPath>();
    case 'g':
        return std::make_unique<VPathGroup>();
    default:
        if (const Maker make = RegisteredKinds()[kind])
            return make();
        return nullptr;
    }
}

void ShapeFactory::RegisterKind(std::uint8_t kind, Maker make) { RegisteredKinds()[kind] = make; }

std::unique_ptr<VPath> ReadShape(BParser& reader, std::unique_ptr<VPath> shape)
{
    const ShapeCountScope count;
    CountShapes(1);
    if (!shape->Read(reader))
        return nullptr;
    if (shape->HasInstructions() || shape->IsGroup())
        return shape;
    return nullptr;
}

}  // namespace plotwick
