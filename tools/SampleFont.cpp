#include "tools/SampleFont.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include "platform/fonts/Codepage.h"
#include "platform/fonts/FontResolver.h"

namespace plotwick::sample {

namespace {

struct Point {
    double x, y;
};

// One closed contour: its instructions, and a polygon close to it for area and containment.
struct Contour {
    std::vector<fixture::Bytes> instructions;
    std::vector<Point> polygon;  // font units, y upwards as FreeType has it
};

// Collects the contours of an outline while FreeType walks it.
struct OutlineSink {
    std::vector<Contour> contours;
    double x = 0, y = 0;  // current point

    Contour& Current() { return contours.back(); }
    void End(double tx, double ty)
    {
        x = tx;
        y = ty;
        Current().polygon.push_back({tx, ty});
    }
    // Points along a cubic, for the polygon only.
    void Curve(double c1x, double c1y, double c2x, double c2y, double tx, double ty)
    {
        constexpr int kSteps = 8;
        for (int i = 1; i < kSteps; ++i) {
            const double t = static_cast<double>(i) / kSteps, u = 1 - t;
            const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
            Current().polygon.push_back({a * x + b * c1x + c * c2x + d * tx, a * y + b * c1y + c * c2y + d * ty});
        }
    }
};

float Fx(double v) { return static_cast<float>(v); }
float Fy(double v) { return static_cast<float>(-v); }  // the handheld's y grows downwards

int MoveTo(const FT_Vector* to, void* user)
{
    auto& s = *static_cast<OutlineSink*>(user);
    s.contours.emplace_back();
    s.Current().instructions.push_back(fixture::M(Fx(to->x), Fy(to->y)));
    s.End(to->x, to->y);
    return 0;
}

int LineTo(const FT_Vector* to, void* user)
{
    auto& s = *static_cast<OutlineSink*>(user);
    s.Current().instructions.push_back(fixture::L(Fx(to->x), Fy(to->y)));
    s.End(to->x, to->y);
    return 0;
}

// A quadratic segment is raised to the cubic that draws the same curve:
// C1 = P0 + 2/3 (Q - P0), C2 = P2 + 2/3 (Q - P2).
int ConicTo(const FT_Vector* control, const FT_Vector* to, void* user)
{
    auto& s = *static_cast<OutlineSink*>(user);
    const double qx = control->x, qy = control->y;
    const double c1x = s.x + 2.0 / 3.0 * (qx - s.x), c1y = s.y + 2.0 / 3.0 * (qy - s.y);
    const double c2x = to->x + 2.0 / 3.0 * (qx - to->x), c2y = to->y + 2.0 / 3.0 * (qy - to->y);
    s.Current().instructions.push_back(fixture::C(Fx(c1x), Fy(c1y), Fx(c2x), Fy(c2y), Fx(to->x), Fy(to->y)));
    s.Curve(c1x, c1y, c2x, c2y, to->x, to->y);
    s.End(to->x, to->y);
    return 0;
}

int CubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user)
{
    auto& s = *static_cast<OutlineSink*>(user);
    s.Current().instructions.push_back(
        fixture::C(Fx(c1->x), Fy(c1->y), Fx(c2->x), Fy(c2->y), Fx(to->x), Fy(to->y)));
    s.Curve(c1->x, c1->y, c2->x, c2->y, to->x, to->y);
    s.End(to->x, to->y);
    return 0;
}

double SignedArea(const std::vector<Point>& p)
{
    double twice = 0;
    for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++)
        twice += (p[j].x - p[i].x) * (p[j].y + p[i].y);
    return twice / 2;
}

bool Inside(const std::vector<Point>& polygon, Point q)
{
    bool in = false;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Point a = polygon[i], b = polygon[j];
        if ((a.y > q.y) != (b.y > q.y) && q.x < (b.x - a.x) * (q.y - a.y) / (b.y - a.y) + a.x)
            in = !in;
    }
    return in;
}

// Sorts the contours into paths: every contour that runs the way the outline's outer contours
// run starts a path; every contour running the other way is a hole and joins the smallest outer
// contour around it. The font fills with the non-zero rule, so a hole runs against its outer
// contour; kept apart this way, each path fills the same under the even-odd rule.
std::vector<std::vector<fixture::Bytes>> SortIntoPaths(std::vector<Contour>& contours)
{
    std::vector<double> area;
    double total = 0;
    for (const Contour& c : contours) {
        area.push_back(c.polygon.size() < 3 ? 0.0 : SignedArea(c.polygon));
        total += area.back();
    }
    const auto isOuter = [&](std::size_t i) { return area[i] == 0 || (area[i] > 0) == (total > 0); };

    std::vector<std::size_t> outers;
    for (std::size_t i = 0; i < contours.size(); ++i)
        if (isOuter(i))
            outers.push_back(i);
    std::vector<std::vector<fixture::Bytes>> paths(outers.size());
    const auto add = [&](std::size_t path, Contour& c) {
        for (fixture::Bytes& b : c.instructions)
            paths[path].push_back(std::move(b));
        paths[path].push_back(fixture::Z());
    };
    for (std::size_t k = 0; k < outers.size(); ++k)
        add(k, contours[outers[k]]);
    for (std::size_t i = 0; i < contours.size(); ++i) {
        if (isOuter(i))
            continue;
        // The hole goes to the smallest outer contour holding its first point; with none
        // around it (a font that breaks the rule), to the largest, where even-odd still cuts it.
        std::size_t best = outers.size();
        for (std::size_t k = 0; k < outers.size(); ++k) {
            const std::size_t o = outers[k];
            const bool holds = Inside(contours[o].polygon, contours[i].polygon.front());
            if (holds && (best == outers.size() || std::abs(area[o]) < std::abs(area[outers[best]])))
                best = k;
        }
        if (best == outers.size()) {
            for (std::size_t k = 0; k < outers.size(); ++k)
                if (best == outers.size() || std::abs(area[outers[k]]) > std::abs(area[outers[best]]))
                    best = k;
        }
        if (best == outers.size()) {  // holes only: one path of them all
            paths.emplace_back();
            outers.push_back(i);
            best = outers.size() - 1;
        }
        add(best, contours[i]);
    }
    return paths;
}

std::uint16_t SplitWidth(long advance, std::int16_t spacing)
{
    const long width = advance - spacing;
    if (width < 0 || width > 0xFFFF)
        throw std::runtime_error("glyph advance " + std::to_string(advance) + " does not fit the metrics");
    return static_cast<std::uint16_t>(width);
}

}  // namespace

SystemFace FindSystemFace(std::initializer_list<const char*> families)
{
    std::string tried;
    for (const char* family : families) {
        // The family itself, upright, of normal width and a regular weight (book to medium):
        // fontconfig would otherwise answer with whatever face it substitutes.
        if (const auto face = gdi::ResolveFont(gdi::FontRequest{family, 400, false, true}))
            return SystemFace{family, face->file, face->index};
        tried += tried.empty() ? "" : ", ";
        tried += family;
    }
    throw std::runtime_error("none of the font families " + tried + " is installed");
}

struct FaceConverter::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
};

FaceConverter::FaceConverter(const SystemFace& face) : impl_(new Impl)
{
    if (FT_Init_FreeType(&impl_->library) != 0) {
        delete impl_;
        throw std::runtime_error("FreeType cannot be initialised");
    }
    if (FT_New_Face(impl_->library, face.file.c_str(), face.index, &impl_->face) != 0 ||
        FT_Select_Charmap(impl_->face, FT_ENCODING_UNICODE) != 0 || !FT_IS_SCALABLE(impl_->face)) {
        if (impl_->face)
            FT_Done_Face(impl_->face);
        FT_Done_FreeType(impl_->library);
        delete impl_;
        throw std::runtime_error("cannot read the outlines of " + face.file);
    }
}

FaceConverter::~FaceConverter()
{
    FT_Done_Face(impl_->face);
    FT_Done_FreeType(impl_->library);
    delete impl_;
}

std::uint16_t FaceConverter::UnitsPerEm() const { return impl_->face->units_per_EM; }

std::optional<ConvertedGlyph> FaceConverter::Convert(char32_t character, std::int16_t spacing) const
{
    FT_Face face = impl_->face;
    const FT_UInt index = FT_Get_Char_Index(face, character);
    if (index == 0)
        return std::nullopt;
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        throw std::runtime_error("cannot load the outline of character " + std::to_string(character));

    ConvertedGlyph glyph;
    // Unscaled, the advance is in font units.
    glyph.width = SplitWidth(face->glyph->advance.x, spacing);
    glyph.spacing = spacing;
    OutlineSink sink;
    const FT_Outline_Funcs funcs{MoveTo, LineTo, ConicTo, CubicTo, 0, 0};
    if (FT_Outline_Decompose(&face->glyph->outline, &funcs, &sink) != 0)
        throw std::runtime_error("cannot walk the outline of character " + std::to_string(character));
    glyph.paths = SortIntoPaths(sink.contours);
    return glyph;
}

ConvertedGlyph FaceConverter::MissingGlyph(std::int16_t spacing) const
{
    const double em = impl_->face->units_per_EM;
    const auto u = [em](double fraction) { return static_cast<float>(static_cast<long>(fraction * em + 0.5)); };
    const float left = u(0.08), right = u(0.52), top = -u(0.70), bottom = 0, t = u(0.06);
    ConvertedGlyph glyph;
    glyph.width = SplitWidth(static_cast<long>(u(0.60)), spacing);
    glyph.spacing = spacing;
    // The frame, and inside it the hole, running the other way round.
    glyph.paths = {{fixture::M(left, bottom), fixture::L(left, top), fixture::L(right, top),
                    fixture::L(right, bottom), fixture::Z(),
                    fixture::M(left + t, bottom - t), fixture::L(right - t, bottom - t),
                    fixture::L(right - t, top + t), fixture::L(left + t, top + t), fixture::Z()}};
    return glyph;
}

std::vector<std::uint8_t> PrintableCodes()
{
    std::vector<std::uint8_t> codes;
    for (int c = 0x20; c <= 0xFF; ++c) {
        if (c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D)
            continue;
        codes.push_back(static_cast<std::uint8_t>(c));
    }
    return codes;
}

namespace {

// Black filled paths without outline; a blank glyph has metrics only.
fixture::Bytes GlyphShapes(const ConvertedGlyph& glyph)
{
    fixture::Bytes shapes;
    for (const auto& path : glyph.paths)
        shapes.append(fixture::PathOf(0x000000u, std::nullopt, path));
    return shapes;
}

}  // namespace

void WriteFontDatabase(fixture::UserFolder& user, const std::string& fontName, const SystemFace& face,
                       const std::vector<std::uint8_t>& codes, std::int16_t spacing)
{
    const FaceConverter converter(face);
    const std::string db = user.AddDatabase(2, fontName, 1.0f, converter.UnitsPerEm());
    const ConvertedGlyph missing = converter.MissingGlyph(spacing);
    user.AddRecord(db, "missing.dat",
                   fixture::GlyphRecord(std::nullopt, std::make_pair(missing.width, missing.spacing),
                                        GlyphShapes(missing)));
    for (const std::uint8_t code : codes) {
        const char32_t character = codepage::Cp1252ToUnicode(code);
        const auto glyph = converter.Convert(character, spacing);
        if (!glyph) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%02X", code);
            throw std::runtime_error(face.family + " has no glyph for the code " + hex + " of font " + fontName);
        }
        char fileName[32];
        std::snprintf(fileName, sizeof fileName, "g%04X.dat", static_cast<unsigned>(character));
        user.AddRecord(db, fileName,
                       fixture::GlyphRecord(code, std::make_pair(glyph->width, glyph->spacing), GlyphShapes(*glyph)));
    }
}

}  // namespace plotwick::sample
