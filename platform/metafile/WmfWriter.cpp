#include "platform/metafile/WmfWriter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace plotwick::gdi::metafile {

namespace {

constexpr double kMax16 = 32767;

}  // namespace

// The smallest integer divisor that brings every logical value of the picture inside 16 bits.
std::int32_t Divisor(const Picture& picture)
{
    double largest = 0;
    auto see = [&](double v) {
        if (std::isfinite(v))
            largest = std::max(largest, std::fabs(v));
        else
            FailConversion("a coordinate is not finite");
    };
    see(picture.windowOrgX);
    see(picture.windowOrgY);
    see(picture.windowOrgX + picture.windowExtX);
    see(picture.windowOrgY + picture.windowExtY);
    see(picture.windowExtX);
    see(picture.windowExtY);
    for (const Op& op : picture.ops) {
        if (const auto* path = std::get_if<PathOp>(&op)) {
            for (const Figure& f : path->figures) {
                for (const PointD& p : f.points) {
                    see(p.x);
                    see(p.y);
                }
            }
            if (path->stroke)
                see(path->pen.width);
        } else {
            const auto& text = std::get<TextOp>(op);
            see(text.reference.x);
            see(text.reference.y);
            for (const double d : text.dx)
                see(d);
            if (text.options)
                for (const double v : text.rect)
                    see(v);
            if (text.font) {
                see(text.font->height);
                see(text.font->width);
            }
        }
    }
    const double k = std::ceil(largest / kMax16 - 1e-9);
    if (k > 2147483647.0)
        FailConversion("coordinates too large");
    return k < 1 ? 1 : static_cast<std::int32_t>(k);
}

void WmfWriter::Record(std::uint16_t function, const std::vector<std::uint16_t>& params)
{
    const std::size_t words = 3 + params.size();
    if (words > std::numeric_limits<std::uint32_t>::max() / 2)
        FailConversion("record too large");
    ByteWriter w(body_);
    w.U32(static_cast<std::uint32_t>(words));
    w.U16(function);
    for (const std::uint16_t p : params)
        w.U16(p);
    largest_ = std::max<std::size_t>(largest_, words);
}

void WmfWriter::Push32(std::vector<std::uint16_t>& params, std::uint32_t v)
{
    params.push_back(static_cast<std::uint16_t>(v));
    params.push_back(static_cast<std::uint16_t>(v >> 16));
}

// Objects: kind 0 pen, 1 brush, 2 font. Creates the object unless one with the same
// contents exists, selects it unless it is selected, and deletes the other objects of the
// kind, except those kept for good: at most one of each kind lives besides those.
void WmfWriter::Use(int kind, const std::vector<std::uint16_t>& contents, bool keep)
{
    if (selected_[kind] >= 0 && slots_[selected_[kind]]->contents == contents)
        return;
    int slot = -1;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i] && slots_[i]->kind == kind && slots_[i]->contents == contents) {
            slot = static_cast<int>(i);
            break;
        }
    }
    if (slot < 0) {
        static constexpr std::uint16_t kCreate[3] = {META_CREATEPENINDIRECT, META_CREATEBRUSHINDIRECT,
                                                     META_CREATEFONTINDIRECT};
        Record(kCreate[kind], contents);
        const auto free = std::find_if(slots_.begin(), slots_.end(), [](const auto& s) { return !s; });
        slot = static_cast<int>(free - slots_.begin());
        if (free == slots_.end())
            slots_.emplace_back();
        slots_[slot] = Object{kind, contents, keep};
        if (slots_.size() > 0xFFFF)
            FailConversion("too many objects");
    }
    Record(META_SELECTOBJECT, {static_cast<std::uint16_t>(slot)});
    selected_[kind] = slot;
    // An object kept for good (null pen, null brush) is selected only for a moment: the
    // object it displaces is likely to come back and stays.
    if (keep)
        return;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i] && slots_[i]->kind == kind && !slots_[i]->keep && static_cast<int>(i) != slot) {
            Record(META_DELETEOBJECT, {static_cast<std::uint16_t>(i)});
            slots_[i].reset();
        }
    }
}

void WmfWriter::UsePen(const PenSpec& pen)
{
    std::vector<std::uint16_t> c{pen.style};
    std::int16_t width = 0;
    if (pen.width > 0)
        width = std::max<std::int16_t>(1, Coord(pen.width));
    c.push_back(static_cast<std::uint16_t>(width));
    c.push_back(0);
    Push32(c, pen.color);
    Use(0, c, pen.style == PS_NULL);
}

void WmfWriter::UseBrush(const BrushSpec& brush)
{
    std::vector<std::uint16_t> c{brush.style};
    Push32(c, brush.color);
    c.push_back(brush.hatch);
    Use(1, c, brush.style == BS_NULL);
}

void WmfWriter::UseFont(const FontSpec& font)
{
    std::vector<std::uint16_t> c;
    c.push_back(static_cast<std::uint16_t>(Coord(font.height)));
    c.push_back(static_cast<std::uint16_t>(Coord(font.width)));
    c.push_back(static_cast<std::uint16_t>(std::clamp(font.escapement, -32768, 32767)));
    c.push_back(static_cast<std::uint16_t>(std::clamp(font.orientation, -32768, 32767)));
    c.push_back(static_cast<std::uint16_t>(std::clamp(font.weight, -32768, 32767)));
    for (int i = 0; i < 8; i += 2)
        c.push_back(static_cast<std::uint16_t>(font.flags[i] | (font.flags[i + 1] << 8)));
    std::array<std::uint8_t, 32> face{};  // zero-terminated, at most 31 bytes
    std::copy_n(font.face.begin(), std::min<std::size_t>(font.face.size(), 31), face.begin());
    for (int i = 0; i < 32; i += 2)
        c.push_back(static_cast<std::uint16_t>(face[i] | (face[i + 1] << 8)));
    Use(2, c, false);
}

// A simple state record, written when the value differs from the one last written.
void WmfWriter::State(std::optional<std::uint32_t>& last, std::uint32_t value, std::uint16_t function, bool wide)
{
    if (last == value)
        return;
    last = value;
    std::vector<std::uint16_t> p;
    if (wide)
        Push32(p, value);
    else
        p.push_back(static_cast<std::uint16_t>(value));
    Record(function, p);
}

// Points of one figure on the 16-bit grid, without repeats.
std::vector<std::int16_t> WmfWriter::Grid(const std::vector<PointD>& points) const
{
    std::vector<std::int16_t> out;
    out.reserve(points.size() * 2);
    for (const PointD& p : points) {
        const std::int16_t x = Coord(p.x), y = Coord(p.y);
        if (out.size() >= 2 && out[out.size() - 2] == x && out.back() == y)
            continue;
        out.push_back(x);
        out.push_back(y);
    }
    return out;
}

void WmfWriter::Poly(std::uint16_t function, const std::int16_t* xy, std::size_t count)
{
    std::vector<std::uint16_t> p{static_cast<std::uint16_t>(count)};
    for (std::size_t i = 0; i < 2 * count; ++i)
        p.push_back(static_cast<std::uint16_t>(xy[i]));
    Record(function, p);
}

void WmfWriter::Path(const PathOp& op)
{
    const bool penDraws = op.stroke && (op.pen.style & PS_STYLE_MASK) != PS_NULL;
    const bool brushDraws = op.fill && op.brush.style != BS_NULL;
    if (!penDraws && !brushDraws)
        return;
    if (op.fill) {
        // Every figure closed; filled together so that the fill mode applies across them.
        std::vector<std::vector<std::int16_t>> polygons;
        for (const Figure& f : op.figures) {
            auto g = Grid(f.points);
            if (g.size() / 2 >= (penDraws ? 2u : 3u))
                polygons.push_back(std::move(g));
        }
        if (polygons.empty())
            return;
        if (polygons.size() > 0xFFFF)
            FailConversion("a path of more than 65535 figures");
        for (const auto& g : polygons) {
            if (g.size() / 2 > 32767)
                FailConversion("a filled figure of more than 32767 points");
        }
        UsePen(penDraws ? op.pen : PenSpec{PS_NULL, 0, 0});
        UseBrush(brushDraws ? op.brush : BrushSpec{BS_NULL, 0, 0});
        State(fillMode_, op.fillMode, META_SETPOLYFILLMODE, false);
        if (polygons.size() == 1) {
            Poly(META_POLYGON, polygons[0].data(), polygons[0].size() / 2);
            return;
        }
        std::vector<std::uint16_t> p{static_cast<std::uint16_t>(polygons.size())};
        for (const auto& g : polygons)
            p.push_back(static_cast<std::uint16_t>(g.size() / 2));
        for (const auto& g : polygons)
            for (const std::int16_t v : g)
                p.push_back(static_cast<std::uint16_t>(v));
        Record(META_POLYPOLYGON, p);
        return;
    }
    // Stroke only: open figures as polylines, closed ones as unfilled polygons.
    bool penSelected = false;
    for (const Figure& f : op.figures) {
        const auto g = Grid(f.points);
        const std::size_t n = g.size() / 2;
        if (f.points.size() < 2 || n < 1)
            continue;
        if (!penSelected) {
            UsePen(op.pen);
            penSelected = true;
        }
        if (f.closed && n >= 3 && n <= 32767) {
            UseBrush(BrushSpec{BS_NULL, 0, 0});
            Poly(META_POLYGON, g.data(), n);
            continue;
        }
        if (n == 1) {
            // A figure that has shrunk to one grid point: a zero-length line.
            const std::int16_t dot[4] = {g[0], g[1], g[0], g[1]};
            Poly(META_POLYLINE, dot, 2);
            continue;
        }
        std::vector<std::int16_t> line = g;
        if (f.closed) {
            line.push_back(g[0]);
            line.push_back(g[1]);
        }
        // Long polylines are split into pieces that share their end points.
        const std::size_t total = line.size() / 2;
        for (std::size_t start = 0; start + 1 < total; start += 32766) {
            const std::size_t count = std::min<std::size_t>(32767, total - start);
            Poly(META_POLYLINE, line.data() + 2 * start, count);
        }
    }
}

void WmfWriter::Text(const TextOp& op)
{
    if (op.font) {
        UseFont(*op.font);
    } else if (selected_[2] >= 0) {
        FontSpec system;
        system.face = "System";
        UseFont(system);
    }
    State(textAlign_, op.align & 0xFFFF, META_SETTEXTALIGN, false);
    State(textColor_, op.textColor, META_SETTEXTCOLOR, true);
    State(bkMode_, op.bkMode, META_SETBKMODE, false);
    if (op.bkMode == OPAQUE || (op.options & ETO_OPAQUE))
        State(bkColor_, op.bkColor, META_SETBKCOLOR, true);
    State(mapperFlags_, op.mapperFlags, META_SETMAPPERFLAGS, true);

    const std::size_t n = op.text.size();
    std::vector<std::uint16_t> p;
    p.push_back(static_cast<std::uint16_t>(Coord(op.reference.y)));
    p.push_back(static_cast<std::uint16_t>(Coord(op.reference.x)));
    p.push_back(static_cast<std::uint16_t>(n));
    p.push_back(op.options);
    if (op.options) {
        for (const double v : op.rect)
            p.push_back(static_cast<std::uint16_t>(Coord(v)));
    }
    for (std::size_t i = 0; i < n; i += 2) {
        const auto lo = static_cast<std::uint8_t>(op.text[i]);
        const auto hi = i + 1 < n ? static_cast<std::uint8_t>(op.text[i + 1]) : 0;
        p.push_back(static_cast<std::uint16_t>(lo | (hi << 8)));
    }
    if (!op.dx.empty()) {
        // Positions rounded, then differenced, so that rounding errors do not add up.
        double position = 0;
        std::int32_t placed = 0;
        for (const double d : op.dx) {
            position += d;
            const std::int32_t next = Coord(position);
            p.push_back(static_cast<std::uint16_t>(static_cast<std::int16_t>(next - placed)));
            placed = next;
        }
    }
    Record(META_EXTTEXTOUT, p);
}

// The standard header and the records, closed with META_EOF.
std::vector<std::uint8_t> WmfWriter::Finish()
{
    Record(META_EOF, {});
    std::vector<std::uint8_t> out;
    ByteWriter w(out);
    const std::size_t words = (18 + body_.size()) / 2;
    if (words > std::numeric_limits<std::uint32_t>::max())
        FailConversion("metafile too large");
    w.U16(1);                                         // Type: memory metafile
    w.U16(9);                                         // HeaderSize in words
    w.U16(0x0300);                                    // Version
    w.U32(static_cast<std::uint32_t>(words));         // Size in words
    w.U16(static_cast<std::uint16_t>(slots_.size())); // NumberOfObjects
    w.U32(static_cast<std::uint32_t>(largest_));      // MaxRecord in words
    w.U16(0);                                         // NumberOfMembers
    out.insert(out.end(), body_.begin(), body_.end());
    return out;
}

PlaceableBox PlaceableBoxOf(const Picture& picture, const WmfWriter& writer)
{
    PlaceableBox box;
    box.left = writer.Coord(picture.windowOrgX);
    box.top = writer.Coord(picture.windowOrgY);
    box.right = writer.Coord(picture.windowOrgX + picture.windowExtX);
    box.bottom = writer.Coord(picture.windowOrgY + picture.windowExtY);
    // Units per inch of the records: the window's width over the frame's width in inches,
    // divided as the coordinates are, so that the physical size holds.
    const double frameInches = (double(picture.frame.right) - picture.frame.left) / 2540.0;
    const double perInch = frameInches > 0 ? std::fabs(picture.windowExtX) / frameInches / writer.Divisor() : 0;
    if (!(perInch >= 0.5 && perInch < 65535.5))
        FailConversion("picture frame cannot be expressed in a placeable metafile");
    box.inch = static_cast<std::uint16_t>(std::lround(perInch));
    return box;
}

std::vector<std::uint8_t> Placeable(const PlaceableBox& box, std::span<const std::uint8_t> metafile)
{
    std::vector<std::uint8_t> out;
    ByteWriter w(out);
    w.U32(kPlaceableKey);
    w.U16(0);  // handle
    w.I16(box.left);
    w.I16(box.top);
    w.I16(box.right);
    w.I16(box.bottom);
    w.U16(box.inch);
    w.U32(0);  // reserved
    std::uint16_t checksum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        checksum ^= static_cast<std::uint16_t>(out[i] | (out[i + 1] << 8));
    w.U16(checksum);
    out.insert(out.end(), metafile.begin(), metafile.end());
    return out;
}

}  // namespace plotwick::gdi::metafile
