// The drawings and library items of the sample folder, drawn as a person would draw them on
// the handheld: coordinates in drawing units, y downwards.
#include <cmath>
#include <numbers>

#include "tools/SampleArt.h"
#include "tools/SampleFolder.h"

namespace plotwick::sample {

namespace {

// Times of the '#' sections, in seconds since 1904 as the handheld counts them.
constexpr std::uint32_t kCreated = 3797366400u;   // 1 May 2024
constexpr std::uint32_t kModified = 3798835200u;  // 18 May 2024

Pt OnCircle(Pt centre, double r, double degrees)
{
    const double t = degrees * std::numbers::pi / 180.0;
    return {centre.x + r * std::cos(t), centre.y - r * std::sin(t)};
}

// A framed window with its cross bars: a group of two paths.
Bytes Window(double x, double y, double w, double h)
{
    Outline bars;
    bars.M(x + w / 2, y).L(x + w / 2, y + h).M(x, y + h / 2).L(x + w, y + h / 2);
    return Group({Shape(Rgb(255, 248, 200), Rgb(90, 60, 40), Rect(x, y, w, h)), Shape(kNone, Rgb(90, 60, 40), bars)});
}

// ---------------------------------------------------------------------------------------
// Sketchbook

SampleRecord House()
{
    std::vector<Bytes> s;
    s.push_back(Shape(Rgb(198, 226, 255), kNone, Rect(0, 0, 400, 300)));  // sky

    const Pt sunAt{330, 62};
    Outline rays;
    for (int i = 0; i < 8; ++i) {
        const Pt a = OnCircle(sunAt, 36, i * 45.0 + 22.5), b = OnCircle(sunAt, 52, i * 45.0 + 22.5);
        rays.M(a.x, a.y).L(b.x, b.y);
    }
    s.push_back(Group({Shape(kNone, Rgb(240, 160, 0), rays),
                       Shape(Rgb(255, 214, 0), Rgb(240, 160, 0), Ellipse(sunAt.x, sunAt.y, 28, 28))}));

    Outline cloud;
    cloud.M(55, 80)
        .C(38, 80, 38, 56, 60, 57)
        .C(62, 38, 92, 34, 100, 50)
        .C(108, 36, 136, 38, 138, 56)
        .C(158, 54, 162, 80, 142, 80)
        .Z();
    s.push_back(Shape(Rgb(255, 255, 255), Rgb(170, 180, 200), cloud));
    s.push_back(Shape(Rgb(255, 255, 255), Rgb(170, 180, 200), cloud.Mapped(Affine::Scale(0.6, 0.6).Then(Affine::Translate(150, 10)))));

    Outline ground;
    ground.M(0, 220).C(80, 200, 140, 235, 220, 222).S(340, 205, 400, 215).L(400, 300).L(0, 300).Z();
    s.push_back(Shape(Rgb(118, 184, 82), kNone, ground));
    s.push_back(Shape(Rgb(214, 196, 160), kNone, Polygon({{150, 250}, {172, 250}, {186, 300}, {136, 300}})));

    Outline fence;
    for (int x = 14; x <= 74; x += 12)
        fence.M(x, 226).L(x, 254);
    fence.M(8, 234).L(80, 234).M(8, 246).L(80, 246);
    s.push_back(Shape(kNone, Rgb(250, 250, 245), fence));

    const Bytes door = Group({Shape(Rgb(140, 90, 50), Rgb(90, 55, 30), Rect(148, 195, 26, 55)),
                              Shape(Rgb(240, 200, 80), kNone, Ellipse(168, 224, 2.5, 2.5))});
    const Bytes windows = Group({Window(104, 170, 30, 28), Window(188, 170, 30, 28)});
    s.push_back(Group({
        Shape(Rgb(150, 70, 50), Rgb(90, 40, 30), Rect(192, 96, 18, 40)),  // chimney
        Shape(Rgb(244, 226, 190), Rgb(120, 80, 50), Rect(90, 150, 140, 100)),
        Shape(Rgb(188, 58, 44), Rgb(110, 30, 20), Polygon({{80, 152}, {160, 92}, {240, 152}})),
        Shape(Rgb(255, 248, 200), Rgb(90, 60, 40), Ellipse(160, 128, 9, 9)),
        door,
        windows,
    }));

    Outline crown;
    crown.M(272, 190)
        .C(255, 185, 258, 158, 276, 154)
        .C(272, 132, 300, 120, 312, 134)
        .C(330, 122, 352, 140, 344, 158)
        .C(360, 168, 350, 196, 330, 192)
        .C(320, 204, 284, 204, 272, 190)
        .Z();
    s.push_back(Group({
        Shape(Rgb(120, 78, 42), Rgb(80, 50, 25), Polygon({{300, 252}, {313, 252}, {310, 188}, {303, 188}})),
        Shape(Rgb(58, 140, 62), Rgb(34, 96, 40), crown),
        Group({Shape(Rgb(214, 40, 40), kNone, Ellipse(290, 170, 4, 4)),
               Shape(Rgb(214, 40, 40), kNone, Ellipse(322, 156, 4, 4)),
               Shape(Rgb(214, 40, 40), kNone, Ellipse(331, 181, 4, 4))}),
    }));

    s.push_back(Label({16, 288}, Rgb(40, 60, 30), kNone, kSansFont, 20, "Our house"));
    return {"House.dat", "House with tree", ShapeStream(s)};
}

SampleRecord Flower()
{
    std::vector<Bytes> s;
    s.push_back(Shape(Rgb(196, 98, 60), Rgb(120, 56, 30), Polygon({{100, 300}, {200, 300}, {188, 370}, {112, 370}})));
    s.push_back(Shape(Rgb(210, 112, 72), Rgb(120, 56, 30), RoundRect(92, 290, 116, 16, 4)));
    s.push_back(Shape(kNone, Rgb(60, 130, 50), Outline().M(150, 290).C(146, 250, 158, 210, 150, 150)));

    Outline leaf;
    leaf.M(149, 250).C(134, 232, 112, 234, 96, 246).C(112, 260, 134, 262, 149, 250).Z();
    Outline vein = Outline().M(147, 249).L(104, 246);
    const Affine mirror = Affine{-1, 0, 0, 1, 300, -30};  // the right leaf, higher on the stem
    s.push_back(Group({Shape(Rgb(90, 170, 70), Rgb(50, 110, 40), leaf), Shape(kNone, Rgb(50, 110, 40), vein)}));
    s.push_back(Group({Shape(Rgb(90, 170, 70), Rgb(50, 110, 40), leaf.Mapped(mirror)),
                       Shape(kNone, Rgb(50, 110, 40), vein.Mapped(mirror))}));

    const Pt centre{150, 120};
    Outline petal;
    petal.M(150, 118).C(134, 100, 136, 76, 150, 64).C(164, 76, 166, 100, 150, 118).Z();
    std::vector<Bytes> petals;
    for (int i = 0; i < 8; ++i) {
        const std::uint32_t colour = i % 2 == 0 ? Rgb(236, 96, 150) : Rgb(248, 140, 180);
        petals.push_back(Shape(colour, Rgb(170, 40, 90), petal.Mapped(Affine::Rotate(i * 45.0 + 22.5, centre))));
    }
    std::vector<Bytes> seeds;
    for (int i = 0; i < 6; ++i) {
        const Pt p = OnCircle(centre, 8, i * 60.0);
        seeds.push_back(Shape(Rgb(130, 80, 20), kNone, Ellipse(p.x, p.y, 1.8, 1.8)));
    }
    s.push_back(Group({GroupOf(petals), Shape(Rgb(250, 200, 40), Rgb(200, 130, 20), Ellipse(150, 120, 16, 16)),
                       GroupOf(seeds)}));

    s.push_back(Label({0, 0}, Rgb(170, 40, 90), kNone, kSansFont, 26, "For you!", TurnedAt({14, 58}, 12)));
    return {"Flower.dat", "Flower in a pot",
            ShapeStream(s, StreamSections().Table().Canvas(300, 380).Times(kCreated, kModified))};
}

SampleRecord TownMap()
{
    std::vector<Bytes> s;
    s.push_back(Shape(Rgb(242, 236, 218), Rgb(160, 150, 120), Rect(0, 0, 420, 320)));

    Outline river;
    river.M(0, 60).C(80, 40, 120, 120, 200, 110).S(330, 150, 420, 130).L(420, 160);
    river.C(330, 180, 280, 140, 200, 142).S(70, 80, 0, 92).Z();
    s.push_back(Shape(Rgb(140, 190, 230), kNone, river));

    std::vector<Bytes> park{Shape(Rgb(160, 210, 130), Rgb(90, 150, 70), RoundRect(40, 196, 110, 78, 12)),
                            Shape(Rgb(140, 190, 230), Rgb(90, 150, 70), Ellipse(110, 246, 22, 12))};
    for (const Pt t : {Pt{58, 214}, Pt{72, 228}, Pt{56, 252}, Pt{132, 214}})
        park.push_back(Shape(Rgb(60, 130, 60), kNone, Ellipse(t.x, t.y, 6, 6)));
    s.push_back(GroupOf(park));

    // Roads: white bands, then their centre lines.
    s.push_back(Group({
        Shape(Rgb(255, 255, 255), kNone, Rect(0, 168, 420, 14)),
        Shape(Rgb(255, 255, 255), kNone, Rect(293, 0, 14, 290)),
        Shape(Rgb(255, 255, 255), kNone, Polygon({{160, 182}, {176, 182}, {246, 290}, {230, 290}})),
        Shape(Rgb(200, 200, 200), Rgb(120, 110, 100), Rect(290, 118, 20, 56)),  // bridge
        Shape(kNone, Rgb(210, 180, 80), Outline().M(0, 175).L(420, 175).M(300, 0).L(300, 168).M(300, 182).L(300, 290)),
    }));

    std::vector<Bytes> blocks;
    for (const Pt b : {Pt{186, 190}, Pt{212, 190}, Pt{252, 190}, Pt{320, 190}, Pt{350, 190}, Pt{380, 190},
                       Pt{320, 218}, Pt{350, 218}, Pt{316, 86}, Pt{340, 86}, Pt{372, 96}, Pt{30, 140},
                       Pt{56, 140}, Pt{90, 146}, Pt{120, 146}, Pt{236, 148}})
        blocks.push_back(Shape(Rgb(200, 170, 150), Rgb(140, 110, 90), Rect(b.x, b.y, 20, 16)));
    s.push_back(GroupOf(blocks));

    Outline rails = Outline().M(0, 300).L(420, 300);
    for (int x = 6; x < 420; x += 12)
        rails.M(x, 296).L(x, 304);
    s.push_back(Shape(kNone, Rgb(60, 60, 60), rails));
    s.push_back(Shape(Rgb(190, 190, 210), Rgb(90, 90, 110), Rect(330, 262, 60, 26)));

    const Pt compass{388, 40};
    s.push_back(Group({Shape(kNone, Rgb(80, 80, 80), Ellipse(compass.x, compass.y, 16, 16)),
                       Shape(Rgb(80, 80, 80), kNone, Star(compass, 22, 5, 4)),
                       Label({384, 14}, Rgb(80, 80, 80), kNone, kSansFont, 10, "N")}));

    s.push_back(Label({0, 0}, Rgb(90, 60, 30), kNone, kSerifFont, 20, "EASTBROOK", TurnedAt({16, 32}, 0, 1.4, 1)));
    s.push_back(Label({0, 0}, Rgb(30, 80, 150), kNone, kSerifFont, 13, "River Lin", TurnedAt({52, 88}, -13)));
    s.push_back(Label({10, 179}, Rgb(70, 70, 70), kNone, kSansFont, 10, "Main Street"));
    s.push_back(Label({0, 0}, Rgb(70, 70, 70), kNone, kSansFont, 10, "Station Rd.", TurnedAt({304, 110}, 90)));
    s.push_back(Label({0, 0}, Rgb(70, 70, 70), kNone, kSansFont, 9, "Mill Lane", TurnedAt({190, 222}, -57)));
    s.push_back(Label({68, 288}, Rgb(40, 90, 30), kNone, "Helvetica", 14, "Park"));  // not on the handheld
    s.push_back(Label({340, 280}, Rgb(40, 40, 70), kNone, kSansFont, 10, "Station"));
    return {"TownMap.dat", "Map of Eastbrook",
            ShapeStream(s, StreamSections().Table().Times(kCreated, kModified))};
}

SampleRecord Logo()
{
    std::vector<Bytes> s;
    const Pt c{150, 140};
    Outline ring = Ellipse(c.x, c.y, 110, 110);
    ring.Append(Ellipse(c.x, c.y, 84, 84));
    s.push_back(Shape(Rgb(20, 120, 130), Rgb(10, 70, 80), ring));

    Outline wave;
    wave.M(84, 156).C(104, 116, 134, 116, 150, 138).S(196, 158, 216, 118).L(216, 160);
    wave.C(196, 196, 166, 196, 150, 174).S(108, 160, 84, 196).Z();
    s.push_back(Shape(Rgb(250, 180, 40), kNone, wave));
    s.push_back(Shape(Rgb(255, 255, 255), Rgb(240, 150, 20), Star({150, 92}, 18, 7, 5)));

    // Letters set one by one round the ring, each turned to follow it.
    const std::string_view word = "FRESH * BREAD";
    const double size = 15, step = 11.5;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] == ' ')
            continue;
        const double angle = 90.0 + step * (static_cast<double>(word.size() - 1) / 2.0 - static_cast<double>(i));
        const Pt base = OnCircle(c, 91, angle);
        const Pt back = OnCircle({0, 0}, 0.3 * size, angle - 90.0);  // half a letter back along the baseline
        s.push_back(Label({0, 0}, Rgb(255, 255, 255), kNone, kSansFont, static_cast<std::uint16_t>(size),
                          std::string(1, word[i]), TurnedAt({base.x - back.x, base.y - back.y}, angle - 90.0)));
    }

    s.push_back(Label({0, 0}, Rgb(10, 70, 80), kNone, kSansFont, 24, "LUMEN & CO", TurnedAt({44, 290}, 0, 1.3, 1)));
    // Typed on the handheld with a tab between the words: the font has no glyph for it.
    s.push_back(Label({104, 312}, Rgb(90, 90, 90), kNone, kSansFont, 12, "Est. 1987"));
    return {"Logo.dat", "Logo draft", ShapeStream(s, StreamSections().Canvas(300, 320))};
}

SampleRecord SalesChart()
{
    std::vector<Bytes> s;
    s.push_back(Shape(Rgb(250, 250, 250), Rgb(180, 180, 180), RoundRect(0, 0, 400, 300, 10)));

    Outline grid;
    for (int y = 210; y >= 90; y -= 40)
        grid.M(50, y).L(360, y);
    s.push_back(Shape(kNone, Rgb(215, 215, 215), grid));

    const double values[4] = {95, 140, 120, 185};
    const std::uint32_t colours[4] = {Rgb(70, 130, 200), Rgb(90, 170, 120), Rgb(240, 170, 60), Rgb(220, 90, 80)};
    std::vector<Bytes> bars;
    for (int i = 0; i < 4; ++i)
        bars.push_back(Shape(colours[i], kNone, Rect(75 + 70 * i, 250 - 0.8 * values[i], 40, 0.8 * values[i])));
    s.push_back(GroupOf(bars));

    s.push_back(Group({
        Shape(kNone, Rgb(40, 40, 40), Outline().M(50, 250).L(370, 250).M(50, 250).L(50, 62)),
        Shape(Rgb(40, 40, 40), kNone, Polygon({{370, 246}, {380, 250}, {370, 254}})),
        Shape(Rgb(40, 40, 40), kNone, Polygon({{46, 62}, {50, 52}, {54, 62}})),
    }));

    Outline trend;
    trend.M(95, 174).C(120, 150, 140, 138, 165, 138).S(210, 154, 235, 154).S(280, 110, 305, 102);
    std::vector<Bytes> line{Shape(kNone, Rgb(200, 30, 30), trend)};
    for (const Pt p : {Pt{95, 174}, Pt{165, 138}, Pt{235, 154}, Pt{305, 102}})
        line.push_back(Shape(Rgb(255, 255, 255), Rgb(200, 30, 30), Ellipse(p.x, p.y, 4, 4)));
    s.push_back(GroupOf(line));

    std::vector<Bytes> labels;
    for (int i = 0; i < 4; ++i)
        labels.push_back(Label({85.0 + 70 * i, 268}, Rgb(60, 60, 60), kNone, kSansFont, 12, "Q" + std::to_string(i + 1)));
    for (int v = 50; v <= 200; v += 50)
        labels.push_back(Label({v < 100 ? 32.0 : 26.0, 254 - 0.8 * v}, Rgb(90, 90, 90), kNone, kSansFont, 9,
                               std::to_string(v)));
    labels.push_back(Label({0, 0}, Rgb(60, 60, 60), kNone, kSansFont, 11, "Revenue (k€)", TurnedAt({18, 206}, 90)));
    s.push_back(GroupOf(labels));

    s.push_back(Group({Shape(Rgb(255, 255, 255), Rgb(170, 170, 170), RoundRect(296, 22, 88, 24, 4)),
                       Shape(kNone, Rgb(200, 30, 30), Outline().M(304, 34).L(324, 34)),
                       Label({330, 38}, Rgb(60, 60, 60), kNone, kSansFont, 11, "Trend")}));
    s.push_back(Label({62, 40}, Rgb(30, 30, 30), kNone, kSerifFont, 22, "Sales 2024"));
    return {"SalesChart.dat", "Sales 2024",
            ShapeStream(s, StreamSections().Table().Canvas(400, 300).Times(kCreated, kModified))};
}

// ---------------------------------------------------------------------------------------
// Doodles

SampleRecord Horizon()
{
    // Nothing but the horizon: a drawing with no height at all.
    return {"Horizon.dat", "Horizon", ShapeStream({Shape(kNone, Rgb(0, 0, 0), Outline().M(20, 120).L(380, 120))})};
}

SampleRecord BlankPage() { return {"Blank.dat", "Blank page", Bytes()}; }

SampleRecord Sailboat()
{
    std::vector<Bytes> s;
    s.push_back(Shape(Rgb(210, 235, 250), kNone, Rect(0, 0, 420, 260)));
    s.push_back(Shape(Rgb(255, 190, 90), kNone, Ellipse(80, 118, 30, 30)));

    Outline sea;
    sea.M(0, 170).C(20, 160, 40, 160, 60, 170);
    for (int x = 60; x < 400; x += 120)
        sea.S(x + 40, 180, x + 60, 170).S(x + 100, 160, x + 120, 170);
    sea.L(420, 260).L(0, 260).Z();
    s.push_back(Shape(Rgb(40, 110, 180), Rgb(20, 70, 130), sea));

    s.push_back(Group({
        Shape(kNone, Rgb(90, 60, 40), Outline().M(220, 162).L(220, 36)),  // mast
        Shape(Rgb(255, 255, 255), Rgb(120, 120, 120),
              Outline().M(223, 42).L(223, 152).L(284, 152).C(272, 110, 252, 68, 223, 42).Z()),
        Shape(Rgb(250, 240, 220), Rgb(120, 120, 120),
              Outline().M(217, 50).L(217, 152).L(166, 152).C(178, 110, 196, 76, 217, 50).Z()),
        Shape(Rgb(220, 40, 40), kNone, Polygon({{220, 36}, {238, 31}, {220, 26}})),
        Shape(Rgb(150, 80, 40), Rgb(90, 45, 20),
              Outline().M(150, 160).L(292, 160).C(284, 176, 268, 188, 246, 188).L(196, 188).C(176, 188, 160, 176, 150, 160).Z()),
        Label({236, 178}, Rgb(255, 255, 255), kNone, kSansFont, 10, "Mira"),
    }));

    Outline foam;
    foam.M(140, 194).C(150, 189, 160, 189, 170, 194).S(190, 199, 200, 194);
    foam.M(250, 200).C(260, 195, 270, 195, 280, 200).S(300, 205, 310, 200);
    s.push_back(Shape(kNone, Rgb(235, 245, 255), foam));

    Outline gulls;
    gulls.M(300, 60).C(305, 53, 312, 53, 316, 60).C(320, 53, 327, 53, 332, 60);
    gulls.M(340, 80).C(344, 75, 349, 75, 352, 80).C(355, 75, 360, 75, 364, 80);
    s.push_back(Shape(kNone, Rgb(60, 60, 60), gulls));
    return {"Sailboat.dat", "Sailing", ShapeStream(s, StreamSections().Times(kCreated, kCreated))};
}

SampleRecord Sampler()
{
    std::vector<Bytes> s;
    s.push_back(Label({10, 30}, Rgb(30, 30, 30), kNone, kSerifFont, 22, "Character sampler"));
    const char* rows[] = {
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ",
        "abcdefghijklmnopqrstuvwxyz",
        "0123456789 !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~",
        "€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ",
        "\u00A0¡¢£¤¥¦§¨©ª«¬\u00AD®¯°±²³´µ¶·¸¹º»¼½¾¿",
        "ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖ×ØÙÚÛÜÝÞß",
        "àáâãäåæçèéêëìíîïðñòóôõö÷øùúûüýþÿ",
    };
    double y = 60;
    for (const char* row : rows) {
        s.push_back(Label({10, y}, Rgb(0, 0, 0), kNone, kSansFont, 16, row));
        y += 24;
    }
    // Coloured letters: a fill and an outline, and an outline over the glyphs' own black.
    s.push_back(Label({10, y + 6}, Rgb(250, 220, 120), Rgb(120, 80, 0), kSansFont, 28, "Outlined"));
    s.push_back(Label({200, y + 6}, kNone, Rgb(200, 40, 40), kSansFont, 28, "Edged"));
    y += 40;
    s.push_back(Label({10, y}, Rgb(20, 40, 120), kNone, kSerifFont, 16, "The quick brown fox jumps over the lazy dog."));
    y += 24;
    // VU Serif has only the ASCII letters: the others show its missing-glyph box.
    s.push_back(Label({10, y}, Rgb(20, 40, 120), kNone, kSerifFont, 16, "Grüße aus Köln"));
    y += 24;
    // Codes without a glyph: a tab and the five codes the character set leaves unassigned.
    s.push_back(Label({10, y}, Rgb(120, 0, 0), kNone, kSansFont, 16, "Tab\there, unassigned: \u0081\u008D\u008F\u0090\u009D"));
    return {"Sampler.dat", "Character sampler", ShapeStream(s, StreamSections().Canvas(420, 330))};
}

// ---------------------------------------------------------------------------------------
// Stencils

SampleRecord Arrow()
{
    return {"Arrow.dat", "Arrow",
            ShapeStream({Shape(Rgb(70, 130, 200), Rgb(30, 70, 130),
                               Polygon({{0, 30}, {80, 30}, {80, 10}, {120, 50}, {80, 90}, {80, 70}, {0, 70}}))},
                        StreamSections().Canvas(120, 90))};
}

SampleRecord StarItem()
{
    return {"Star.dat", "Star",
            ShapeStream({Shape(Rgb(255, 210, 0), Rgb(220, 140, 0), Star({60, 60}, 56, 24, 5))},
                        StreamSections().Times(kCreated, kModified))};
}

SampleRecord SpeechBubble()
{
    Outline bubble;
    bubble.M(20, 0).L(160, 0).C(171, 0, 180, 9, 180, 20).L(180, 80).C(180, 91, 171, 100, 160, 100);
    bubble.L(70, 100).L(36, 132).L(46, 100).L(20, 100).C(9, 100, 0, 91, 0, 80).L(0, 20).C(0, 9, 9, 0, 20, 0).Z();
    return {"Bubble.dat", "Speech bubble",
            ShapeStream({Group({Shape(Rgb(255, 255, 255), Rgb(0, 0, 0), bubble),
                                Label({40, 62}, Rgb(0, 0, 0), kNone, kSansFont, 26, "Hello!")})},
                        StreamSections().Table())};
}

SampleRecord Heart()
{
    Outline heart;
    heart.M(60, 30).C(60, 10, 30, 0, 15, 15).C(0, 30, 10, 55, 60, 100).C(110, 55, 120, 30, 105, 15).C(90, 0, 60, 10, 60, 30).Z();
    return {"Heart.dat", "Heart", ShapeStream({Shape(Rgb(220, 40, 60), Rgb(140, 20, 30), heart)})};
}

SampleRecord CheckMark()
{
    return {"Check.dat", "Check mark",
            ShapeStream({Shape(Rgb(60, 160, 70), kNone,
                               Polygon({{0, 50}, {15, 35}, {40, 60}, {95, 5}, {110, 20}, {40, 90}}))})};
}

}  // namespace

std::vector<SampleRecord> SketchbookRecords() { return {House(), Flower(), TownMap(), Logo(), SalesChart()}; }
std::vector<SampleRecord> DoodlesRecords() { return {Horizon(), BlankPage(), Sailboat(), Sampler()}; }
std::vector<SampleRecord> StencilsRecords() { return {Arrow(), StarItem(), SpeechBubble(), Heart(), CheckMark()}; }

}  // namespace plotwick::sample
