// Shape records, the factory, copies, bounds and transforms.
#include <gtest/gtest.h>

#include "model/BParser.h"
#include "model/Drawing.h"
#include "model/DrawDB.h"
#include "model/Shapes.h"
#include "tests/support/Fixture.h"
#include "text/VPathText.h"

using namespace plotwick;
using namespace plotwick::fixture;

namespace {

class ShapeReadTest : public ::testing::Test {
protected:
    // Reads one shape record (starting with its kind byte) with the shared keep-or-free rule.
    std::unique_ptr<VPath> ReadOne(const Bytes& record)
    {
        const std::string path = dir / "shape.bin";
        WriteFile(path, record);
        BParser r(path, 0);
        auto shape = ShapeFactory::CreateShape(r.ReadTag());
        if (!shape)
            return nullptr;
        return ReadShape(r, std::move(shape));
    }
    TempDir dir;
};

TEST_F(ShapeReadTest, PathWithStrokeAndTwoInstructions)
{
    const auto shape = ReadOne(Bytes().tag('d').u8(0).u8(1).color(0).append(M(1, 2)).append(L(3, 4)).tag('D'));
    ASSERT_TRUE(shape);
    EXPECT_FALSE(shape->FFill);
    ASSERT_TRUE(shape->FStroke);
    EXPECT_EQ(shape->FStroke->Color, 0u);
    ASSERT_EQ(shape->FInstructions.size(), 2u);
    EXPECT_EQ(shape->FInstructions[1].Kind, 'L');
    EXPECT_FALSE(shape->FIsGlyph);
}

TEST_F(ShapeReadTest, AnyNonZeroFlagMeansAColourFollows)
{
    const auto shape = ReadOne(Bytes().tag('d').u8(0x80).color(0x00123456).u8(0).append(M(0, 0)).tag('D'));
    ASSERT_TRUE(shape);
    ASSERT_TRUE(shape->FFill);
    EXPECT_EQ(shape->FFill->Color, 0x00123456u);
}

TEST_F(ShapeReadTest, PathWithoutInstructionsIsDiscardedEmptyGroupKept)
{
    EXPECT_FALSE(ReadOne(Bytes().tag('d').u8(1).color(0xFF).u8(0).tag('D')));
    const auto group = ReadOne(Group({}));
    ASSERT_TRUE(group);
    EXPECT_TRUE(group->IsGroup());
    EXPECT_TRUE(static_cast<VPathGroup&>(*group).FChildren.empty());
}

TEST_F(ShapeReadTest, GroupsSkipStrayBytesAndNest)
{
    const auto outer = ReadOne(Bytes().tag('g').u8(0).u8('p').append(Group({Path(std::nullopt, 0, {M(0, 0)})})).tag('G'));
    ASSERT_TRUE(outer);
    const auto& children = static_cast<VPathGroup&>(*outer).FChildren;
    ASSERT_EQ(children.size(), 1u);
    ASSERT_TRUE(children[0]->IsGroup());
    EXPECT_EQ(static_cast<VPathGroup&>(*children[0]).FChildren.size(), 1u);
    // A group's own colours are never set.
    EXPECT_FALSE(outer->FFill);
    EXPECT_FALSE(outer->FStroke);
}

TEST_F(ShapeReadTest, UnknownInstructionKindsStayInThePath)
{
    const auto shape = ReadOne(Bytes().tag('d').u8(0).u8(1).color(0).append(M(0, 0)).tag('Q').append(Z()).tag('D'));
    ASSERT_TRUE(shape);
    ASSERT_EQ(shape->FInstructions.size(), 3u);
    EXPECT_EQ(shape->FInstructions[1].Kind, 'Q');
}

TEST_F(ShapeReadTest, RecordsEndingBeforeTheirEndByteAreFormatErrors)
{
    EXPECT_THROW(ReadOne(Bytes().tag('d').u8(0).u8(1).color(0).append(M(0, 0))), EBParseException);
    EXPECT_THROW(ReadOne(Bytes().tag('g').append(Path(std::nullopt, 0, {M(0, 0)}))), EBParseException);
    EXPECT_THROW(ReadOne(Bytes().tag('d').u8(1).color(0).u8(1).color(0).tag('L').f32(1)), EBParseException);
}

TEST_F(ShapeReadTest, DeepNestingIsRejectedWithoutExhaustingTheStack)
{
    Bytes deep;
    for (int i = 0; i < 100000; ++i)
        deep.tag('g');
    try {
        ReadOne(deep);
        FAIL() << "no error";
    } catch (const EBParseException& e) {
        EXPECT_STREQ(e.what(), "Incorrect data format.");
    }
    // Nesting well below the limit reads.
    Bytes nested;
    for (int i = 0; i < 100; ++i)
        nested.tag('g');
    for (int i = 0; i < 100; ++i)
        nested.tag('G');
    EXPECT_TRUE(ReadOne(nested));
}

TEST(ShapeFactory, OnlyLowerCaseKindsMakeShapes)
{
    EXPECT_TRUE(dynamic_cast<VPath*>(ShapeFactory::CreateShape('d').get()));
    EXPECT_TRUE(ShapeFactory::CreateShape('g')->IsGroup());
    EXPECT_TRUE(dynamic_cast<VPathText*>(ShapeFactory::CreateShape('x').get()));
    for (int k : {int{'D'}, int{'G'}, int{'X'}, 0, int{'p'}})
        EXPECT_FALSE(ShapeFactory::CreateShape(static_cast<std::uint8_t>(k)));
}

std::unique_ptr<VPath> SamplePath()
{
    auto p = std::make_unique<VPath>();
    p->SetFill(0x00FF0000);
    p->SetStroke(0x000000FF);
    PathInstr m;
    m.Kind = 'M';
    m.X = m.C1X = m.C2X = 3;
    m.Y = m.C1Y = m.C2Y = 4;
    p->AddInstruction(m);
    return p;
}

TEST(ShapeClone, CopiesShareNothing)
{
    auto source = SamplePath();
    source->FIsGlyph = true;
    auto copy = source->Clone();
    EXPECT_FALSE(copy->FIsGlyph);
    copy->SetFill(0x00000001);
    copy->Transform(Matrix3::Translation(1, 1));
    EXPECT_EQ(source->FFill->Color, 0x00FF0000u);
    EXPECT_EQ(source->FInstructions[0].X, 3);
    source.reset();
    EXPECT_EQ(copy->FInstructions[0].X, 4);
}

TEST(ShapeClone, CloneOfATextIsAPlainGroup)
{
    VPathText text;
    text.SetFill(0x00112233);
    text.AddChild(SamplePath());
    auto copy = text.Clone();
    EXPECT_EQ(dynamic_cast<VPathText*>(copy.get()), nullptr);
    ASSERT_TRUE(copy->IsGroup());
    EXPECT_EQ(copy->FFill->Color, 0x00112233u);
    EXPECT_EQ(static_cast<VPathGroup&>(*copy).FChildren.size(), 1u);
}

TEST(ShapeBounds, EmptyGroupLeavesTheRectangleAlone)
{
    VPathGroup group;
    FDirtyRect r;
    group.ExtendBounds(r);
    EXPECT_EQ(r.GetRect(), (IntRect{100000, 100000, -100000, -100000}));
}

TEST(ShapeTransform, SmoothCurveReflectsAboutTheMovedLineEnd)
{
    VPath path;
    PathInstr l;
    l.Kind = 'L';
    l.X = l.C1X = l.C2X = 3;
    l.Y = l.C1Y = l.C2Y = 4;
    PathInstr s;
    s.Kind = 'S';
    s.C2X = 6;
    s.C2Y = 6;
    s.X = s.C1X = 8;
    s.Y = s.C1Y = 8;
    path.AddInstruction(l);
    path.AddInstruction(s);
    path.Transform(Matrix3::Translation(1, 1));
    FDirtyRect r;
    path.ExtendBounds(r);
    // The reflection of the line's second control point about its end is the end itself.
    EXPECT_EQ(r.GetRect(), (IntRect{4, 5, 9, 9}));
}

}  // namespace
