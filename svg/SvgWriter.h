// The SVG document of a drawing: the shapes, the fonts their texts use, the frame, and the
// pieces they are made of (the path data of one instruction, colours, XML text).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/PathInstr.h"
#include "model/Shapes.h"
#include "svg/SvgNumbers.h"

namespace plotwick {

class TDrawing;
class VFont;

// What one document is written with.
struct SvgOptions {
    // Empty, or "Arial": texts are written as strings in that face and no fonts are embedded.
    std::string SubstituteFontName;
    // Every text shape written as a group of its laid-out glyph outlines, each a path with the
    // colours it is drawn with, and no font elements: for SVG readers that draw no SVG fonts.
    bool TextOutlines = false;
};

// The document of the loaded shapes: the frame with namespace, size and view box, the group
// that moves the drawing by the offsets of the last normalising load, the fonts, the shapes.
void BuildSvg(const TDrawing& drawing, SvgText& d, const SvgOptions& options = {});

// A document ready to be written as a file.
struct SvgFile {
    SvgText units;                    // the byte-order mark and the document, on a little-endian machine
    std::vector<std::uint8_t> bytes;  // the file's bytes, elsewhere
    std::span<const std::uint8_t> Bytes() const;
};
SvgFile BuildSvgFile(const TDrawing& drawing, const SvgOptions& options = {});

// Appends one shape: a path element, a group with its children, or a text.
void WriteSvg(const VPath& shape, SvgText& d, int level, const SvgOptions& options);

// The vector fonts a document embeds, in the order their texts come, each with the codes its
// texts use.
struct SvgFontUsed {
    VFont* font = nullptr;
    std::array<bool, 256> usedChars{};
};
using SvgFontUse = std::vector<SvgFontUsed>;
// Adds the fonts of a shape's texts (not those of texts inside glyph outlines).
void CollectFonts(const VPath& shape, SvgFontUse& fonts);

// The bytes of an SVG file holding document d: the byte-order mark FF FE, then every UTF-16
// code unit low byte first; no terminating zero. 2 + 2 x d.size() bytes.
std::vector<std::uint8_t> SvgFileBytes(const SvgText& d);

// Appends the path data of one instruction: "M", "L", "C", "S" with their numbers in path
// format, "z", nothing for any other kind.
void WriteSvgData(const PathInstr& instr, SvgText& d);

// "#RRGGBB" of a 0x00BBGGRR colour value, upper-case hexadecimal.
std::string SvgColorText(std::uint32_t color);

// Where a piece of text taken from data is written.
enum class XmlPlace { Content, Attribute };

// Appends single-byte text from the data (handheld strings, record font names) converted
// through Windows-1252 and escaped for its place:
// - "&" and "<" become entity references everywhere, '"' inside attribute values, and a ">"
//   that would close "]]>" in content;
// - the control codes XML does not allow (0-31 other than TAB, LF, CR) become U+FFFD;
// - inside attribute values TAB, LF and CR are written as character references, so that
//   attribute normalisation does not turn them into spaces.
void AppendXmlText(SvgText& d, std::string_view ansi, XmlPlace place);

// The same for a name from the file system (a font folder): UTF-8 when the bytes are valid
// UTF-8, otherwise Windows-1252.
void AppendXmlName(SvgText& d, std::string_view name, XmlPlace place);

}  // namespace plotwick
