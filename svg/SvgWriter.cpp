// The SVG document: frame, definitions, paths, groups, texts and the fonts they use.
#include "svg/SvgWriter.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <memory>
#include <vector>

#include "model/Drawing.h"
#include "platform/fonts/Codepage.h"
#include "svg/SvgNumbers.h"
#include "text/VFont.h"
#include "text/VPathText.h"

namespace plotwick {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr char16_t kReplacement = 0xFFFD;

void Tabs(SvgText& d, int level)
{
    if (level > 0)
        d.append(static_cast<std::size_t>(level), u'\t');
}

void Line(SvgText& d, int level, std::string_view text)
{
    Tabs(d, level);
    AppendAscii(d, text);
    AppendAscii(d, kLineEnd);
}

// XML 1.0 allows TAB, LF and CR among the control codes; the others cannot appear in a
// document, not even as character references.
bool IsForbiddenControl(char32_t c)
{
    return c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D;
}

void AppendCodePoint(SvgText& d, char32_t c)
{
    if (c >= 0x10000) {
        c -= 0x10000;
        d.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        d.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        d.push_back(static_cast<char16_t>(c));
    }
}

void AppendXmlChar(SvgText& d, char32_t c, XmlPlace place)
{
    if (IsForbiddenControl(c) || c == 0xFFFE || c == 0xFFFF) {
        d.push_back(kReplacement);
        return;
    }
    switch (c) {
    case U'&':
        AppendAscii(d, "&amp;");
        return;
    case U'<':
        AppendAscii(d, "&lt;");
        return;
    case U'"':
        if (place == XmlPlace::Attribute) {
            AppendAscii(d, "&quot;");
            return;
        }
        break;
    case U'>':
        // "]]>" may not stand in character data.
        if (place == XmlPlace::Content && d.size() >= 2 && d[d.size() - 1] == u']' && d[d.size() - 2] == u']') {
            AppendAscii(d, "&gt;");
            return;
        }
        break;
    case U'\t':
    case U'\n':
    case U'\r':
        if (place == XmlPlace::Attribute) {
            AppendAscii(d, c == U'\t' ? "&#9;" : (c == U'\n' ? "&#10;" : "&#13;"));
            return;
        }
        break;
    default:
        break;
    }
    AppendCodePoint(d, c);
}

// Decodes valid UTF-8 into code points; false on any malformed, overlong or surrogate sequence.
bool DecodeUtf8(std::string_view s, std::u32string& out)
{
    out.clear();
    for (std::size_t i = 0; i < s.size();) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        int extra = 0;
        char32_t c = 0;
        char32_t min = 0;
        if (b0 < 0x80) {
            c = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            extra = 1, c = b0 & 0x1F, min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2, c = b0 & 0x0F, min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3, c = b0 & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (static_cast<std::size_t>(extra) > s.size() - i - 1)
            return false;
        for (int k = 1; k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((b & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (b & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        out.push_back(c);
        i += 1 + static_cast<std::size_t>(extra);
    }
    return true;
}

void AppendHex2(std::string& s, unsigned v)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    s.push_back(kDigits[(v >> 4) & 0xF]);
    s.push_back(kDigits[v & 0xF]);
}

// The six values of a matrix in transform-number format, space separated.
void AppendMatrix(SvgText& d, const Matrix3& m)
{
    const Affine a = m.GetAffine();
    const float values[6] = {a.a, a.b, a.c, a.d, a.e, a.f};
    AppendAscii(d, "matrix(");
    for (int i = 0; i < 6; ++i) {
        if (i > 0)
            AppendAscii(d, " ");
        AppendAscii(d, FormatTransformNumber(values[i]));
    }
    AppendAscii(d, ")");
}

// ` name="#RRGGBB" ` or ` name="none" `, each attribute followed by one space.
void AppendPaint(SvgText& d, std::string_view name, const std::optional<VColor>& color)
{
    AppendAscii(d, name);
    AppendAscii(d, "=\"");
    AppendAscii(d, color ? SvgColorText(color->Color) : std::string("none"));
    AppendAscii(d, "\" ");
}

// One path element; colours are left out for glyph outlines in a font or text element.
void WritePathElement(const VPath& path, SvgText& d, int level, bool withColours)
{
    Tabs(d, level);
    AppendAscii(d, "<path fill-rule=\"evenodd\" ");
    if (withColours) {
        AppendPaint(d, "stroke", path.FStroke);
        AppendPaint(d, "fill", path.FFill);
    }
    AppendAscii(d, "d=\"");
    for (const PathInstr& instr : path.FInstructions)
        WriteSvgData(instr, d);
    AppendAscii(d, "\" />");
    AppendAscii(d, kLineEnd);
}

// A laid-out outline of a text, written with the colours it is drawn with: paths with their
// own fill and stroke, groups as groups.
void WriteOutlineShape(const VPath& shape, SvgText& d, int level)
{
    const auto* group = shape.IsGroup() ? dynamic_cast<const VPathGroup*>(&shape) : nullptr;
    if (group) {
        Line(d, level, "<g>");
        for (const auto& child : group->FChildren) {
            if (child)
                WriteOutlineShape(*child, d, level + 1);
        }
        Line(d, 0, "</g>");
        return;
    }
    WritePathElement(shape, d, level, true);
}

// A copy of a cached glyph outline with every kind kept (a text stays a text), to be mirrored
// and written while the cache itself is left untouched for other readers.
std::unique_ptr<VPath> CopyOutline(const VPath& shape)
{
    std::unique_ptr<VPath> copy;
    if (shape.IsText()) {
        const auto& text = static_cast<const VPathText&>(shape);
        auto t = std::make_unique<VPathText>();
        t->FPosX = text.FPosX;
        t->FPosY = text.FPosY;
        t->FBaseStart = text.FBaseStart;
        t->FBaseEnd = text.FBaseEnd;
        t->FFontName = text.FFontName;
        t->FText = text.FText;
        t->FFontSize = text.FFontSize;
        t->FMatrix = text.FMatrix;
        t->FFont = text.FFont;
        copy = std::move(t);
    } else if (shape.IsGroup()) {
        copy = std::make_unique<VPathGroup>();
    } else {
        copy = std::make_unique<VPath>();
    }
    copy->FEndTag = shape.FEndTag;
    copy->FFill = shape.FFill;
    copy->FStroke = shape.FStroke;
    copy->FInstructions = shape.FInstructions;
    copy->FIsGlyph = shape.FIsGlyph;
    if (shape.IsGroup()) {
        auto& children = static_cast<VPathGroup&>(*copy).FChildren;
        for (const auto& child : static_cast<const VPathGroup&>(shape).FChildren)
            children.push_back(child ? CopyOutline(*child) : nullptr);
    }
    return copy;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pieces

void WriteSvgData(const PathInstr& instr, SvgText& d)
{
    const auto point = [&d](float x, float y) {
        AppendAscii(d, FormatPathNumber(x));
        AppendAscii(d, ",");
        AppendAscii(d, FormatPathNumber(y));
    };
    switch (instr.Kind) {
    case 'M':
    case 'L':
        d.push_back(static_cast<char16_t>(instr.Kind));
        point(instr.X, instr.Y);
        break;
    case 'C':
        AppendAscii(d, "C");
        point(instr.C1X, instr.C1Y);
        AppendAscii(d, " ");
        point(instr.C2X, instr.C2Y);
        AppendAscii(d, " ");
        point(instr.X, instr.Y);
        break;
    case 'S':
        // The first control point is the reflection of the previous one; readers derive it.
        AppendAscii(d, "S");
        point(instr.C2X, instr.C2Y);
        AppendAscii(d, " ");
        point(instr.X, instr.Y);
        break;
    case 'z':
        AppendAscii(d, "z");
        break;
    default:
        break;
    }
}

std::string SvgColorText(std::uint32_t color)
{
    std::string s = "#";
    AppendHex2(s, color & 0xFF);
    AppendHex2(s, (color >> 8) & 0xFF);
    AppendHex2(s, (color >> 16) & 0xFF);
    return s;
}

void AppendXmlText(SvgText& d, std::string_view ansi, XmlPlace place)
{
    for (const char b : ansi)
        AppendXmlChar(d, codepage::Cp1252ToUnicode(static_cast<std::uint8_t>(b)), place);
}

void AppendXmlName(SvgText& d, std::string_view name, XmlPlace place)
{
    std::u32string decoded;
    if (!DecodeUtf8(name, decoded)) {
        AppendXmlText(d, name, place);
        return;
    }
    for (const char32_t c : decoded)
        AppendXmlChar(d, c, place);
}

// ---------------------------------------------------------------------------------------------
// Shapes

namespace {

void WriteSvgPaint(const VPathText& text, SvgText& d)
{
    AppendPaint(d, "stroke", text.FStroke);
    AppendPaint(d, "fill", text.FFill);
}

// A text drawn with a stroke and no fill, in its vector font: no reader draws it as the
// preview does from a text element (readers draw a system face, its stroke ten units wide), so
// it is written as its outlines in every document.
bool StrokeOnlyVectorText(const VPathText& text, const SvgOptions& options)
{
    return text.FStroke && !text.FFill && options.SubstituteFontName.empty();
}

void WriteTextSvg(const VPathText& text, SvgText& d, int level, const SvgOptions& options)
{
    if (options.TextOutlines || StrokeOnlyVectorText(text, options)) {
        Line(d, level, "<g>");
        for (const auto& child : text.FChildren) {
            if (child)
                WriteOutlineShape(*child, d, level + 1);
        }
        Line(d, 0, "</g>");
        return;
    }

    Line(d, level, "<text ");
    AppendAscii(d, "x=\"");
    AppendAscii(d, FormatTransformNumber(text.FPosX));
    AppendAscii(d, "\" y=\"");
    AppendAscii(d, FormatTransformNumber(text.FPosY));
    AppendAscii(d, "\" transform=\"");
    AppendMatrix(d, text.FMatrix);
    AppendAscii(d, "\" font-family=\"");
    const bool substitute = !options.SubstituteFontName.empty();
    if (substitute)
        AppendAscii(d, "Arial, Helvetica");
    else if (text.FFont)
        AppendXmlName(d, text.FFont->FName, XmlPlace::Attribute);
    else
        AppendXmlText(d, text.FFontName, XmlPlace::Attribute);  // no font: the name the record asks for
    AppendAscii(d, "\" font-size=\"");
    AppendAscii(d, std::to_string(text.FFontSize));
    AppendAscii(d, "\" ");

    if (substitute && text.FStroke && !text.FFill) {
        // The substitute face fills the string in the stroke colour, as on screen.
        AppendPaint(d, "fill", text.FStroke);
        AppendAscii(d, "stroke=\"none\" ");
    } else {
        WriteSvgPaint(text, d);
    }

    AppendAscii(d, ">");
    AppendXmlText(d, text.FText, XmlPlace::Content);
    AppendAscii(d, "</text>");
    AppendAscii(d, kLineEnd);
}

}  // namespace

void WriteSvg(const VPath& shape, SvgText& d, int level, const SvgOptions& options)
{
    if (shape.IsText()) {
        WriteTextSvg(static_cast<const VPathText&>(shape), d, level, options);
    } else if (shape.IsGroup()) {
        Line(d, level, "<g>");
        for (const auto& child : static_cast<const VPathGroup&>(shape).FChildren) {
            if (child)
                WriteSvg(*child, d, level + 1, options);
        }
        // The closing tag starts its line whatever the level.
        Line(d, 0, "</g>");
    } else {
        WritePathElement(shape, d, level, !shape.FIsGlyph);
    }
}

void CollectFonts(const VPath& shape, SvgFontUse& fonts)
{
    if (shape.IsGroup() && !shape.IsText()) {
        for (const auto& child : static_cast<const VPathGroup&>(shape).FChildren)
            if (child)
                CollectFonts(*child, fonts);
        return;
    }
    if (!shape.IsText())
        return;
    const auto& text = static_cast<const VPathText&>(shape);
    if (!text.FFont || StrokeOnlyVectorText(text, {}))
        return;  // no font was found for this text, or it is written as outlines: nothing to embed
    auto known = std::find_if(fonts.begin(), fonts.end(),
                              [&](const SvgFontUse::value_type& f) { return f.font->FName == text.FFont->FName; });
    if (known == fonts.end()) {
        fonts.push_back({text.FFont, {}});
        known = fonts.end() - 1;
    }
    for (const char c : text.FText)
        known->usedChars[static_cast<std::uint8_t>(c)] = true;
}

// ---------------------------------------------------------------------------------------------
// Fonts

namespace {

void WriteSvgOutlines(const VGlyph& glyph, SvgText& d, int level, const SvgOptions& options)
{
    // Fonts in SVG have y upwards from the baseline; the cached outlines have y downwards. Each
    // outline is mirrored as a copy, so the cache, which other renders may be reading, stays as
    // it is.
    const Matrix3 mirror(1, 0, 0, 0, -1, 0, 0, 0, 1);
    for (const auto& outline : glyph.FOutlines) {
        if (!outline)
            continue;
        const std::unique_ptr<VPath> copy = CopyOutline(*outline);
        copy->Transform(mirror);
        WriteSvg(*copy, d, level, options);
    }
}

void WriteSvgFont(const SvgFontUsed& use, SvgText& d, int index, const SvgOptions& options)
{
    VFont& font = *use.font;
    Line(d, 2, "<font id=\"Font" + std::to_string(index + 1) + "\">");
    Tabs(d, 3);
    AppendAscii(d, "<font-face font-family=\"");
    AppendXmlName(d, font.FName, XmlPlace::Attribute);
    AppendAscii(d, "\" units-per-em=\"" + std::to_string(font.UnitsPerEm()) + "\">");
    AppendAscii(d, kLineEnd);
    Line(d, 3, "</font-face>");

    // A font without a missing glyph still gets the element, with advance 0 and no outlines.
    VGlyph* missing = font.GetGlyph(0);
    Line(d, 3, "<missing-glyph horiz-adv-x=\"" + std::to_string(missing ? missing->Advance() : 0) + "\">");
    if (missing)
        WriteSvgOutlines(*missing, d, 4, options);
    Line(d, 3, "</missing-glyph>");

    for (int c = 1; c < 256; ++c) {
        const auto code = static_cast<std::uint8_t>(c);
        if (!use.usedChars[code])
            continue;
        font.GetGlyph(code);
        VGlyph* glyph = font.CachedGlyph(code);
        if (!glyph)
            continue;  // drawn with the missing glyph
        const char32_t ch = codepage::Cp1252ToUnicode(code);
        if (IsForbiddenControl(ch))
            continue;  // no character can name it; the text holds U+FFFD there
        Tabs(d, 3);
        AppendAscii(d, "<glyph unicode=\"");
        AppendXmlChar(d, ch, XmlPlace::Attribute);
        AppendAscii(d, "\" horiz-adv-x=\"" + std::to_string(glyph->Advance()) + "\">");
        AppendAscii(d, kLineEnd);
        WriteSvgOutlines(*glyph, d, 4, options);
        Line(d, 3, "</glyph>");
    }
    Line(d, 2, "</font>");
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Document

void BuildSvg(const TDrawing& drawing, SvgText& d, const SvgOptions& options)
{
    // The frame: the size of the drawing's integer bounds, and a group that moves the drawing
    // so that its bounds start at the origin.
    FDirtyRect bounds;
    bounds.Reset();
    for (const auto& shape : drawing.FShapes) {
        if (shape)
            shape->ExtendBounds(bounds);
    }
    const IntRect r = bounds.GetRect();
    std::int64_t width = r.Width();
    std::int64_t height = r.Height();
    const bool empty = width < 0 || height < 0;
    if (empty) {
        width = height = 0;  // no points (no shapes, or texts without a font): empty bounds
    } else {
        // A straight line or a dot has no extent on an axis; a picture of at least one unit
        // keeps it visible, and readers refuse a document with no size.
        width = std::max<std::int64_t>(width, 1);
        height = std::max<std::int64_t>(height, 1);
    }
    const std::string w = std::to_string(width);
    const std::string h = std::to_string(height);
    Line(d, 0, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h +
                   "\" viewBox=\"0 0 " + w + " " + h + "\" >");
    AppendAscii(d, "<g transform=\"");
    // An empty drawing is not moved: its bounds have no corner to move to the origin.
    AppendMatrix(d, empty ? Matrix3::Translation(0, 0) : Matrix3::Translation(drawing.FOffsetX, drawing.FOffsetY));
    AppendAscii(d, "\" >");
    AppendAscii(d, kLineEnd);

    if (options.SubstituteFontName.empty()) {
        SvgFontUse fonts;
        if (!options.TextOutlines) {
            for (const auto& shape : drawing.FShapes) {
                if (shape)
                    CollectFonts(*shape, fonts);
            }
        }
        Line(d, 1, "<defs>");
        for (std::size_t i = 0; i < fonts.size(); ++i)
            WriteSvgFont(fonts[i], d, static_cast<int>(i), options);
        Line(d, 1, "</defs>");
    }

    for (const auto& shape : drawing.FShapes) {
        if (shape)
            WriteSvg(*shape, d, 1, options);
    }
    Line(d, 0, "</g>");
    Line(d, 0, "</svg>");
}

SvgFile BuildSvgFile(const TDrawing& drawing, const SvgOptions& options)
{
    SvgFile file;
    if constexpr (std::endian::native == std::endian::little) {
        // The code units in memory are already the file's bytes: the document is built after
        // its byte-order mark and written as it stands, without a copy.
        file.units.assign(1, char16_t{0xFEFF});
        BuildSvg(drawing, file.units, options);
    } else {
        SvgText doc;
        BuildSvg(drawing, doc, options);
        file.bytes = SvgFileBytes(doc);
    }
    return file;
}

std::span<const std::uint8_t> SvgFile::Bytes() const
{
    if (!bytes.empty())
        return bytes;
    return {reinterpret_cast<const std::uint8_t*>(units.data()), units.size() * sizeof(char16_t)};
}

std::vector<std::uint8_t> SvgFileBytes(const SvgText& d)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(2 + 2 * d.size());
    bytes.push_back(0xFF);  // byte-order mark U+FEFF, little-endian
    bytes.push_back(0xFE);
    for (const char16_t unit : d) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

}  // namespace plotwick
