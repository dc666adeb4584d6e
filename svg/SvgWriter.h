// The SVG writer's own pieces besides the shapes' WriteSvg slots: the path data of one
// instruction, the colour text, XML text and the text-outlines option.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/PathInstr.h"
#include "model/Shapes.h"

namespace plotwick {

// When set, every text shape is written as a group of its laid-out glyph outlines, each a path
// with the colours it is drawn with, and no font elements are written: for SVG readers that
// draw no SVG fonts. Off by default; the command-line tool's --text-outlines sets it.
extern bool SvgTextOutlines;

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
