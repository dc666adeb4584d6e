// Writing a picture read from an EMF as a Windows Metafile: the standard header and the
// records, and the placeable header in front of them.
//
// Coordinates are 16-bit: Divisor gives the smallest integer that divides every logical value
// of the picture into -32767..32767 (1 when they all fit), and the writer divides by it.
// Objects are created when a different one is needed, selected, and deleted once another of
// their kind has replaced them (the null pen and null brush are kept); state records are
// written when their value changes.
#pragma once

#include "platform/metafile/EmfReader.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace plotwick::gdi::metafile {

std::int32_t Divisor(const Picture& picture);

class WmfWriter {
public:
    explicit WmfWriter(std::int32_t divisor) : k_(divisor) {}

    // A logical value on the 16-bit grid: divided by the divisor, rounded, saturated.
    std::int16_t Coord(double v) const { return RoundToInt16(v / k_); }
    std::int32_t Divisor() const { return k_; }

    // One record of parameter words.
    void Record(std::uint16_t function, const std::vector<std::uint16_t>& params);

    // A filled path as POLYGON or POLYPOLYGON (with a null pen unless also stroked); a stroked
    // path as POLYLINE for every open figure and POLYGON with a null brush for a closed one.
    void Path(const PathOp& op);
    // EXTTEXTOUT with its character-spacing array, after the font and state records it needs.
    void Text(const TextOp& op);

    // The standard header and the records, closed with META_EOF.
    std::vector<std::uint8_t> Finish();

private:
    struct Object {
        int kind;
        std::vector<std::uint16_t> contents;
        bool keep;
    };

    static void Push32(std::vector<std::uint16_t>& params, std::uint32_t v);
    void Use(int kind, const std::vector<std::uint16_t>& contents, bool keep);
    void UsePen(const PenSpec& pen);
    void UseBrush(const BrushSpec& brush);
    void UseFont(const FontSpec& font);
    void State(std::optional<std::uint32_t>& last, std::uint32_t value, std::uint16_t function, bool wide);
    std::vector<std::int16_t> Grid(const std::vector<PointD>& points) const;
    void Poly(std::uint16_t function, const std::int16_t* xy, std::size_t count);

    std::int32_t k_;
    std::vector<std::uint8_t> body_;
    std::size_t largest_ = 0;
    std::vector<std::optional<Object>> slots_;
    int selected_[3] = {-1, -1, -1};
    std::optional<std::uint32_t> fillMode_, textAlign_, textColor_, bkMode_, bkColor_, mapperFlags_;
};

// The placeable header's box and units per inch: the picture's window in the records' own
// (divided) units, and as many of those units to the inch as make the frame's physical size.
struct PlaceableBox {
    std::int16_t left = 0, top = 0, right = 0, bottom = 0;
    std::uint16_t inch = 0;
};
PlaceableBox PlaceableBoxOf(const Picture& picture, const WmfWriter& writer);

// The 22-byte placeable header with its checksum, followed by the metafile.
std::vector<std::uint8_t> Placeable(const PlaceableBox& box, std::span<const std::uint8_t> metafile);

}  // namespace plotwick::gdi::metafile
