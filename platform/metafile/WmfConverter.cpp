#include "platform/metafile/WmfConverter.h"

#include "platform/fonts/Codepage.h"
#include "platform/device/DeviceContext.h"
#include "platform/metafile/EmfRecorder.h"
#include "platform/metafile/MetafileFormat.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

namespace plotwick::gdi {

using namespace metafile;

namespace {

// Curves are flattened to within this many reference-device pixels.
constexpr double kFlatnessPixels = 0.05;
constexpr double kMax16 = 32767;
constexpr std::uint32_t R2_COPYPEN = 13;
constexpr std::uint32_t OPAQUE = 2;

[[noreturn]] void Fail(const std::string& message)
{
    throw std::runtime_error("EMF to WMF: " + message);
}

// ---- What the EMF draws, in the logical units of the base mapping ------------------------------

struct PenSpec {
    std::uint16_t style = PS_SOLID;
    double width = 0;  // 0: the thinnest line
    std::uint32_t color = 0;
};

struct BrushSpec {
    std::uint16_t style = BS_SOLID;
    std::uint32_t color = 0x00FFFFFF;
    std::uint16_t hatch = 0;
};

struct FontSpec {
    double height = 0;
    double width = 0;
    std::int32_t escapement = 0;
    std::int32_t orientation = 0;
    std::int32_t weight = 0;
    std::array<std::uint8_t, 8> flags{};  // italic .. pitch and family, as in the LogFont
    std::string face;                     // Windows-1252
};

struct Figure {
    std::vector<PointD> points;
    bool closed = false;
};

struct PathOp {
    std::vector<Figure> figures;
    bool fill = false;
    bool stroke = false;
    PenSpec pen;
    BrushSpec brush;
    std::uint32_t fillMode = ALTERNATE;
};

struct TextOp {
    PointD reference;
    std::string text;          // Windows-1252
    std::vector<double> dx;    // empty: no character-spacing array
    std::uint16_t options = 0; // ETO_OPAQUE | ETO_CLIPPED
    std::array<double, 4> rect{};
    std::optional<FontSpec> font;
    std::uint32_t align = 0;
    std::uint32_t textColor = 0;
    std::uint32_t bkMode = OPAQUE;
    std::uint32_t bkColor = 0x00FFFFFF;
    std::uint32_t mapperFlags = 0;
};

using Op = std::variant<PathOp, TextOp>;

// An EMF object as created; widths and heights in the logical units of the mapping in effect
// when it is used.
struct EmfPen {
    std::uint16_t style;
    std::int32_t width;
    std::uint32_t color;
};
struct EmfFont {
    std::int32_t height, width, escapement, orientation, weight;
    std::array<std::uint8_t, 8> flags;
    std::string face;
};
using EmfObject = std::variant<EmfPen, BrushSpec, EmfFont>;

struct Picture {
    RectL frame;
    Mapping base;
    std::vector<Op> ops;
    // The window: the picture frame in base logical units.
    double windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
};

std::string Utf16ToCp1252(std::span<const std::uint8_t> utf16)
{
    std::string out;
    out.reserve(utf16.size() / 2);
    for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
        const char32_t c = static_cast<char32_t>(utf16[i] | (utf16[i + 1] << 8));
        const int b = codepage::UnicodeToCp1252(c);
        out.push_back(static_cast<char>(b < 0 ? '?' : b));
    }
    return out;
}

// ---- Reading the EMF -------------------------------------------------------------------------

class EmfParser {
public:
    EmfParser(std::span<const std::uint8_t> emf, std::size_t maxPoints)
        : file_(emf, "EMF"), base_(1, 1, 1, 1), mapping_(1, 1, 1, 1), maxPoints_(maxPoints)
    {
    }

    Picture Parse()
    {
        ReadHeader();
        std::size_t offset = headerSize_;
        bool ended = false;
        while (offset < length_) {
            if (!file_.Has(offset, 8) || offset + 8 > length_)
                Fail("record header cut short at offset " + std::to_string(offset));
            const std::uint32_t type = file_.U32(offset);
            const std::uint32_t size = file_.U32(offset + 4);
            if (size < 8 || size % 4 != 0 || size > length_ - offset)
                Fail("record of type " + std::to_string(type) + " at offset " + std::to_string(offset) +
                     " has a bad size " + std::to_string(size));
            const ByteReader record = file_.Sub(offset, size, "EMF record " + std::to_string(type) + " at offset " +
                                                                   std::to_string(offset));
            if (type == EMR_EOF) {
                ended = true;
                break;
            }
            Record(type, record);
            offset += size;
        }
        if (!ended)
            Fail("no EOF record");
        if (!baseFixed_)
            base_ = mapping_;

        Picture picture{frame_, base_, std::move(ops_)};
        // The frame, in 0.01 mm, to reference pixels and on to base logical units.
        const double pxPerHmmX = double(devicePixelsX_) * 10.0 / deviceMicrometresX_;
        const double pxPerHmmY = double(devicePixelsY_) * 10.0 / deviceMicrometresY_;
        const double x0 = base_.ToLogicalX(frame_.left * pxPerHmmX), x1 = base_.ToLogicalX(frame_.right * pxPerHmmX);
        const double y0 = base_.ToLogicalY(frame_.top * pxPerHmmY), y1 = base_.ToLogicalY(frame_.bottom * pxPerHmmY);
        picture.windowOrgX = x0;
        picture.windowOrgY = y0;
        picture.windowExtX = x1 - x0;
        picture.windowExtY = y1 - y0;
        return picture;
    }

private:
    void ReadHeader()
    {
        if (!file_.Has(0, kEmfBaseHeaderSize))
            Fail("shorter than an EMF header");
        if (file_.U32(0) != EMR_HEADER)
            Fail("the first record is not a header");
        headerSize_ = file_.U32(4);
        if (headerSize_ < kEmfBaseHeaderSize || headerSize_ % 4 != 0 || !file_.Has(0, headerSize_))
            Fail("bad header size " + std::to_string(headerSize_));
        if (file_.U32(40) != kEmfSignature)
            Fail("no EMF signature");
        length_ = file_.U32(48);
        if (length_ < headerSize_ || length_ > file_.Size())
            Fail("nBytes " + std::to_string(length_) + " does not fit the " + std::to_string(file_.Size()) +
                 " bytes given");
        frame_ = RectL{file_.I32(24), file_.I32(28), file_.I32(32), file_.I32(36)};
        devicePixelsX_ = file_.I32(72);
        devicePixelsY_ = file_.I32(76);
        deviceMicrometresX_ = std::int64_t(file_.I32(80)) * 1000;
        deviceMicrometresY_ = std::int64_t(file_.I32(84)) * 1000;
        // The micrometre size, when the header carries it, is the more precise one.
        if (headerSize_ >= 108 && file_.I32(100) > 0 && file_.I32(104) > 0) {
            deviceMicrometresX_ = file_.I32(100);
            deviceMicrometresY_ = file_.I32(104);
        }
        if (devicePixelsX_ <= 0 || devicePixelsY_ <= 0 || deviceMicrometresX_ <= 0 || deviceMicrometresY_ <= 0)
            Fail("the header's reference device has no size");
        if (deviceMicrometresX_ > std::numeric_limits<std::int32_t>::max() ||
            deviceMicrometresY_ > std::numeric_limits<std::int32_t>::max())
            Fail("the header's reference device is too large");
        mapping_ = Mapping(devicePixelsX_, devicePixelsY_, static_cast<std::int32_t>(deviceMicrometresX_),
                           static_cast<std::int32_t>(deviceMicrometresY_));
        base_ = mapping_;
    }

    // -- Coordinates --

    void FixBase()
    {
        if (!baseFixed_) {
            base_ = mapping_;
            baseFixed_ = true;
        }
    }

    PointD ToBase(PointD logical)
    {
        FixBase();
        if (mapping_ == base_)
            return logical;
        return PointD{base_.ToLogicalX(mapping_.ToDeviceX(logical.x)), base_.ToLogicalY(mapping_.ToDeviceY(logical.y))};
    }
    // A length along x (pen width, character advance), sign kept.
    double WidthToBase(double w)
    {
        FixBase();
        return mapping_ == base_ ? w : w * std::fabs(mapping_.ScaleX() / base_.ScaleX());
    }
    double HeightToBase(double h)
    {
        FixBase();
        return mapping_ == base_ ? h : h * std::fabs(mapping_.ScaleY() / base_.ScaleY());
    }
    double FlatnessLogical() const
    {
        const double scale = std::max(std::fabs(mapping_.ScaleX()), std::fabs(mapping_.ScaleY()));
        return kFlatnessPixels / scale;
    }

    // -- Path construction --

    void StartFigureIfNeeded()
    {
        if (!figureOpen_) {
            path_.push_back(Figure{{ToBase(PointD{double(position_.x), double(position_.y)})}, false});
            figureOpen_ = true;
        }
    }

    // Adds n points to the picture's count; past maxPoints_ the conversion fails.
    void CountPoints(std::size_t n)
    {
        points_ += n;
        if (points_ > maxPoints_)
            Fail("more than " + std::to_string(maxPoints_) + " points once the curves are flattened");
    }

    // Appends line or curve points after the current position, either to the path or, outside
    // a bracket, as a line drawn at once with the pen.
    void AddSegments(const std::vector<PointD>& basePoints)
    {
        CountPoints(basePoints.size() + 1);
        if (inPath_) {
            StartFigureIfNeeded();
            auto& pts = path_.back().points;
            pts.insert(pts.end(), basePoints.begin(), basePoints.end());
            return;
        }
        PathOp op;
        op.stroke = true;
        op.pen = CurrentPen();
        Figure figure{{ToBase(PointD{double(position_.x), double(position_.y)})}, false};
        figure.points.insert(figure.points.end(), basePoints.begin(), basePoints.end());
        op.figures.push_back(std::move(figure));
        ops_.push_back(std::move(op));
    }

    void LinePoints(const ByteReader& r, bool small)
    {
        const std::uint32_t count = r.U32(24);
        const std::size_t step = small ? 4 : 8;
        if (!r.Has(28, std::size_t(count) * step))
            Fail("polyline points outside the record");
        std::vector<PointD> points;
        points.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const Point p = ReadPoint(r, 28 + i * step, small);
            points.push_back(ToBase(PointD{double(p.x), double(p.y)}));
            if (i + 1 == count) {
                AddSegments(points);
                position_ = p;
            }
        }
    }

    void BezierPoints(const ByteReader& r, bool small)
    {
        const std::uint32_t count = r.U32(24);
        const std::size_t step = small ? 4 : 8;
        if (count % 3 != 0)
            Fail("Bézier record with " + std::to_string(count) + " points");
        if (!r.Has(28, std::size_t(count) * step))
            Fail("Bézier points outside the record");
        if (count == 0)
            return;
        std::vector<PointD> logical;
        PointD from{double(position_.x), double(position_.y)};
        const double tolerance = FlatnessLogical();
        Point last{};
        for (std::uint32_t i = 0; i < count; i += 3) {
            const Point c1 = ReadPoint(r, 28 + i * step, small);
            const Point c2 = ReadPoint(r, 28 + (i + 1) * step, small);
            last = ReadPoint(r, 28 + (i + 2) * step, small);
            const PointD to{double(last.x), double(last.y)};
            FlattenCubic(from, PointD{double(c1.x), double(c1.y)}, PointD{double(c2.x), double(c2.y)}, to, tolerance,
                         logical);
            if (points_ + logical.size() > maxPoints_)
                CountPoints(logical.size());
            from = to;
        }
        std::vector<PointD> points;
        points.reserve(logical.size());
        for (const PointD& p : logical)
            points.push_back(ToBase(p));
        AddSegments(points);
        position_ = last;
    }

    static Point ReadPoint(const ByteReader& r, std::size_t at, bool small)
    {
        if (small)
            return Point{r.I16(at), r.I16(at + 2)};
        return Point{r.I32(at), r.I32(at + 4)};
    }

    void DrawPath(bool fill, bool stroke)
    {
        if (inPath_ || !pathReady_) {
            // As on the original platform, drawing without a finished path does nothing.
            return;
        }
        PathOp op;
        op.figures = std::move(path_);
        op.fill = fill;
        op.stroke = stroke;
        op.pen = CurrentPen();
        op.brush = brush_;
        op.fillMode = fillMode_;
        path_.clear();
        pathReady_ = false;
        figureOpen_ = false;
        ops_.push_back(std::move(op));
    }

    PenSpec CurrentPen()
    {
        return PenSpec{pen_.style, WidthToBase(pen_.width), pen_.color};
    }

    // -- Objects --

    void Select(std::uint32_t handle)
    {
        if (handle & 0x80000000u) {
            switch (handle & 0x7FFFFFFFu) {
            case 0: brush_ = BrushSpec{BS_SOLID, 0x00FFFFFF, 0}; break;
            case 1: brush_ = BrushSpec{BS_SOLID, 0x00C0C0C0, 0}; break;
            case 2: brush_ = BrushSpec{BS_SOLID, 0x00808080, 0}; break;
            case 3: brush_ = BrushSpec{BS_SOLID, 0x00404040, 0}; break;
            case 4: brush_ = BrushSpec{BS_SOLID, 0x00000000, 0}; break;
            case 5: brush_ = BrushSpec{BS_NULL, 0, 0}; break;
            case 6: pen_ = EmfPen{PS_SOLID, 0, 0x00FFFFFF}; break;
            case 7: pen_ = EmfPen{PS_SOLID, 0, 0}; break;
            case 8: pen_ = EmfPen{PS_NULL, 0, 0}; break;
            case 10: case 11: case 12: case 13: case 14: case 16: case 17: font_.reset(); break;
            case 18: brush_ = BrushSpec{BS_SOLID, 0x00FFFFFF, 0}; break;  // DC brush, default white
            case 19: pen_ = EmfPen{PS_SOLID, 0, 0}; break;                 // DC pen, default black
            default: break;  // the default palette: nothing to draw with
            }
            return;
        }
        const auto it = objects_.find(handle);
        if (it == objects_.end())
            Fail("selection of object " + std::to_string(handle) + ", which does not exist");
        if (const auto* p = std::get_if<EmfPen>(&it->second))
            pen_ = *p;
        else if (const auto* b = std::get_if<BrushSpec>(&it->second))
            brush_ = *b;
        else
            font_ = std::get<EmfFont>(it->second);
    }

    void CreateObject(std::uint32_t handle, EmfObject object)
    {
        if (handle == 0 || (handle & 0x80000000u))
            Fail("object created with handle " + std::to_string(handle));
        objects_[handle] = std::move(object);
    }

    std::optional<FontSpec> CurrentFont()
    {
        if (!font_)
            return std::nullopt;
        FontSpec f;
        f.height = HeightToBase(font_->height);
        f.width = WidthToBase(font_->width);
        f.escapement = font_->escapement;
        f.orientation = font_->orientation;
        f.weight = font_->weight;
        f.flags = font_->flags;
        f.face = font_->face;
        return f;
    }

    // -- Text --

    void Text(const ByteReader& r, bool wide)
    {
        const std::int32_t x = r.I32(36), y = r.I32(40);
        const std::uint32_t count = r.U32(44);
        const std::uint32_t offString = r.U32(48);
        const std::uint32_t options = r.U32(52);
        if (options & ETO_GLYPH_INDEX)
            Fail("text given as glyph indices cannot be converted");
        std::array<std::int32_t, 4> rect{};
        std::size_t offDxAt = 56;
        if (!(options & ETO_NO_RECT)) {
            for (int i = 0; i < 4; ++i)
                rect[i] = r.I32(56 + 4 * i);
            offDxAt = 72;
        }
        const std::uint32_t offDx = r.U32(offDxAt);
        if (count > 32767)
            Fail("text of " + std::to_string(count) + " characters is too long for a Windows metafile");

        TextOp op;
        if (count > 0) {
            const auto bytes = r.Bytes(offString, std::size_t(count) * (wide ? 2 : 1));
            op.text = wide ? Utf16ToCp1252(bytes) : std::string(bytes.begin(), bytes.end());
        }
        if (offDx != 0 && count > 0) {
            const std::size_t step = (options & ETO_PDY) ? 8 : 4;
            if (!r.Has(offDx, std::size_t(count) * step))
                Fail("character-spacing array outside the text record");
            for (std::uint32_t i = 0; i < count; ++i)
                op.dx.push_back(WidthToBase(r.I32(offDx + i * step)));
        }
        op.reference = ToBase(PointD{double(x), double(y)});
        op.options = static_cast<std::uint16_t>(options & (ETO_OPAQUE | ETO_CLIPPED));
        if (op.options) {
            const PointD a = ToBase(PointD{double(rect[0]), double(rect[1])});
            const PointD b = ToBase(PointD{double(rect[2]), double(rect[3])});
            op.rect = {a.x, a.y, b.x, b.y};
        }
        op.font = CurrentFont();
        op.align = textAlign_;
        op.textColor = textColor_;
        op.bkMode = bkMode_;
        op.bkColor = bkColor_;
        op.mapperFlags = mapperFlags_;
        ops_.push_back(std::move(op));
    }

    // -- One record --

    void Record(std::uint32_t type, const ByteReader& r)
    {
        switch (type) {
        case EMR_HEADER:
            Fail("a second header record");
        case EMR_SETMAPMODE:
            if (!mapping_.SetMapMode(static_cast<int>(r.U32(8))))
                Fail("mapping mode " + std::to_string(r.U32(8)) + " cannot be converted");
            break;
        case EMR_SETWINDOWEXTEX:
            mapping_.SetWindowExt(r.I32(8), r.I32(12));
            break;
        case EMR_SETVIEWPORTEXTEX:
            mapping_.SetViewportExt(r.I32(8), r.I32(12));
            break;
        case EMR_SETWINDOWORGEX:
            mapping_.SetWindowOrg(r.I32(8), r.I32(12));
            break;
        case EMR_SETVIEWPORTORGEX:
            mapping_.SetViewportOrg(r.I32(8), r.I32(12));
            break;
        case EMR_SETPOLYFILLMODE:
            fillMode_ = r.U32(8) == WINDING ? WINDING : ALTERNATE;
            break;
        case EMR_SETTEXTALIGN:
            textAlign_ = r.U32(8);
            break;
        case EMR_SETTEXTCOLOR:
            textColor_ = r.U32(8);
            break;
        case EMR_SETBKMODE:
            bkMode_ = r.U32(8);
            break;
        case EMR_SETBKCOLOR:
            bkColor_ = r.U32(8);
            break;
        case EMR_SETMAPPERFLAGS:
            mapperFlags_ = r.U32(8);
            break;
        case EMR_SETROP2:
            if (r.U32(8) != R2_COPYPEN)
                Fail("raster operation " + std::to_string(r.U32(8)) + " cannot be converted");
            break;
        case EMR_SETBRUSHORGEX:
        case EMR_SETSTRETCHBLTMODE:
        case EMR_SETMITERLIMIT:
        case EMR_GDICOMMENT:
        case EMR_SETICMMODE:
            break;  // no effect on what is drawn here

        case EMR_CREATEPEN:
            CreateObject(r.U32(8), EmfPen{static_cast<std::uint16_t>(r.U32(12)), r.I32(16), r.U32(24)});
            break;
        case EMR_EXTCREATEPEN: {
            const std::uint32_t style = r.U32(28);
            const bool geometric = (style & 0x00010000u) != 0;
            EmfPen pen{static_cast<std::uint16_t>(style & 0xFF0F), geometric ? r.I32(32) : 0, r.U32(40)};
            if ((pen.style & PS_STYLE_MASK) == 7)  // user-defined dashes: drawn solid
                pen.style = static_cast<std::uint16_t>(pen.style & ~PS_STYLE_MASK);
            if (r.U32(36) == BS_NULL)
                pen.style = PS_NULL;
            CreateObject(r.U32(8), pen);
            break;
        }
        case EMR_CREATEBRUSHINDIRECT: {
            std::uint32_t style = r.U32(12);
            if (style != BS_NULL && style != BS_HATCHED)
                style = BS_SOLID;
            CreateObject(r.U32(8), BrushSpec{static_cast<std::uint16_t>(style), r.U32(16),
                                             static_cast<std::uint16_t>(r.U32(20))});
            break;
        }
        case EMR_EXTCREATEFONTINDIRECTW: {
            EmfFont font{r.I32(12), r.I32(16), r.I32(20), r.I32(24), r.I32(28), {}, {}};
            for (int i = 0; i < 8; ++i)
                font.flags[i] = r.U8(32 + i);
            const auto face = r.Bytes(40, 64);
            std::size_t length = 0;
            while (length < 32 && (face[2 * length] | face[2 * length + 1]) != 0)
                ++length;
            font.face = Utf16ToCp1252(face.first(2 * length));
            CreateObject(r.U32(8), font);
            break;
        }
        case EMR_SELECTOBJECT:
            Select(r.U32(8));
            break;
        case EMR_DELETEOBJECT:
            objects_.erase(r.U32(8));
            break;

        case EMR_BEGINPATH:
            inPath_ = true;
            pathReady_ = false;
            figureOpen_ = false;
            path_.clear();
            break;
        case EMR_ENDPATH:
            if (inPath_) {
                inPath_ = false;
                pathReady_ = true;
                figureOpen_ = false;
            }
            break;
        case EMR_ABORTPATH:
            inPath_ = pathReady_ = figureOpen_ = false;
            path_.clear();
            break;
        case EMR_CLOSEFIGURE:
            if (inPath_ && figureOpen_) {
                path_.back().closed = true;
                figureOpen_ = false;
                position_ = figureStart_;
            }
            break;
        case EMR_MOVETOEX:
            position_ = figureStart_ = Point{r.I32(8), r.I32(12)};
            figureOpen_ = false;
            break;
        case EMR_LINETO: {
            const Point p{r.I32(8), r.I32(12)};
            AddSegments({ToBase(PointD{double(p.x), double(p.y)})});
            position_ = p;
            break;
        }
        case EMR_POLYLINETO:
        case EMR_POLYLINETO16:
            LinePoints(r, type == EMR_POLYLINETO16);
            break;
        case EMR_POLYBEZIERTO:
        case EMR_POLYBEZIERTO16:
            BezierPoints(r, type == EMR_POLYBEZIERTO16);
            break;
        case EMR_FILLPATH:
            DrawPath(true, false);
            break;
        case EMR_STROKEPATH:
            DrawPath(false, true);
            break;
        case EMR_STROKEANDFILLPATH:
            DrawPath(true, true);
            break;

        case EMR_EXTTEXTOUTW:
        case EMR_EXTTEXTOUTA:
            Text(r, type == EMR_EXTTEXTOUTW);
            break;

        default:
            Fail("record type " + std::to_string(type) + " cannot be converted");
        }
    }

    ByteReader file_;
    std::size_t headerSize_ = 0;
    std::size_t length_ = 0;
    RectL frame_;
    std::int32_t devicePixelsX_ = 1, devicePixelsY_ = 1;
    std::int64_t deviceMicrometresX_ = 1, deviceMicrometresY_ = 1;

    Mapping base_;
    bool baseFixed_ = false;
    Mapping mapping_;

    std::map<std::uint32_t, EmfObject> objects_;
    EmfPen pen_{PS_SOLID, 0, 0};
    BrushSpec brush_{};
    std::optional<EmfFont> font_;
    std::uint32_t fillMode_ = ALTERNATE;
    std::uint32_t textAlign_ = 0;
    std::uint32_t textColor_ = 0;
    std::uint32_t bkMode_ = OPAQUE;
    std::uint32_t bkColor_ = 0x00FFFFFF;
    std::uint32_t mapperFlags_ = 0;

    bool inPath_ = false;
    bool pathReady_ = false;
    bool figureOpen_ = false;
    std::vector<Figure> path_;
    Point position_;
    Point figureStart_;
    std::vector<Op> ops_;
    std::size_t points_ = 0;  // points of the picture so far, curves flattened
    std::size_t maxPoints_;
};

// ---- The 16-bit scale ---------------------------------------------------------------------------

// The smallest integer divisor that brings every logical value of the picture inside 16 bits.
std::int32_t Divisor(const Picture& picture)
{
    double largest = 0;
    auto see = [&](double v) {
        if (std::isfinite(v))
            largest = std::max(largest, std::fabs(v));
        else
            Fail("a coordinate is not finite");
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
        Fail("coordinates too large");
    return k < 1 ? 1 : static_cast<std::int32_t>(k);
}

// ---- Writing the WMF ----------------------------------------------------------------------------

class WmfWriter {
public:
    explicit WmfWriter(std::int32_t divisor) : k_(divisor) {}

    std::int16_t Coord(double v) const { return RoundToInt16(v / k_); }

    void Record(std::uint16_t function, const std::vector<std::uint16_t>& params)
    {
        const std::size_t words = 3 + params.size();
        if (words > std::numeric_limits<std::uint32_t>::max() / 2)
            Fail("record too large");
        ByteWriter w(body_);
        w.U32(static_cast<std::uint32_t>(words));
        w.U16(function);
        for (const std::uint16_t p : params)
            w.U16(p);
        largest_ = std::max<std::size_t>(largest_, words);
    }

    static void Push32(std::vector<std::uint16_t>& params, std::uint32_t v)
    {
        params.push_back(static_cast<std::uint16_t>(v));
        params.push_back(static_cast<std::uint16_t>(v >> 16));
    }

    // Objects: kind 0 pen, 1 brush, 2 font. Creates the object unless one with the same
    // contents exists, selects it unless it is selected, and deletes the other objects of the
    // kind, except those kept for good: at most one of each kind lives besides those.
    void Use(int kind, const std::vector<std::uint16_t>& contents, bool keep)
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
                Fail("too many objects");
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

    void UsePen(const PenSpec& pen)
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
    void UseBrush(const BrushSpec& brush)
    {
        std::vector<std::uint16_t> c{brush.style};
        Push32(c, brush.color);
        c.push_back(brush.hatch);
        Use(1, c, brush.style == BS_NULL);
    }
    void UseFont(const FontSpec& font)
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
    void State(std::optional<std::uint32_t>& last, std::uint32_t value, std::uint16_t function, bool wide)
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
    std::vector<std::int16_t> Grid(const std::vector<PointD>& points) const
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

    void Poly(std::uint16_t function, const std::int16_t* xy, std::size_t count)
    {
        std::vector<std::uint16_t> p{static_cast<std::uint16_t>(count)};
        for (std::size_t i = 0; i < 2 * count; ++i)
            p.push_back(static_cast<std::uint16_t>(xy[i]));
        Record(function, p);
    }

    void Path(const PathOp& op)
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
                Fail("a path of more than 65535 figures");
            for (const auto& g : polygons) {
                if (g.size() / 2 > 32767)
                    Fail("a filled figure of more than 32767 points");
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

    void Text(const TextOp& op)
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
    std::vector<std::uint8_t> Finish()
    {
        Record(META_EOF, {});
        std::vector<std::uint8_t> out;
        ByteWriter w(out);
        const std::size_t words = (18 + body_.size()) / 2;
        if (words > std::numeric_limits<std::uint32_t>::max())
            Fail("metafile too large");
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

private:
    struct Object {
        int kind;
        std::vector<std::uint16_t> contents;
        bool keep;
    };

    std::int32_t k_;
    std::vector<std::uint8_t> body_;
    std::size_t largest_ = 0;
    std::vector<std::optional<Object>> slots_;
    int selected_[3] = {-1, -1, -1};
    std::optional<std::uint32_t> fillMode_, textAlign_, textColor_, bkMode_, bkColor_, mapperFlags_;
};

std::int16_t PlaceableExtent(std::int64_t hundredthsOfMm)
{
    // 0.01 mm to 1/96 inch, rounded to the nearest integer.
    const std::int64_t v = RoundDiv(hundredthsOfMm * kPlaceableUnitsPerInch, 2540);
    if (v < -32768 || v > 32767)
        Fail("picture frame too large for a placeable metafile");
    return static_cast<std::int16_t>(v);
}

}  // namespace

std::vector<std::uint8_t> ConvertEmfToPlaceableWmf(std::span<const std::uint8_t> emf, std::size_t maxPoints)
{
    const Picture picture = EmfParser(emf, maxPoints).Parse();
    const std::int32_t k = Divisor(picture);

    WmfWriter wmf(k);
    wmf.Record(META_SETMAPMODE, {static_cast<std::uint16_t>(MM_ANISOTROPIC)});
    // Parameters in the order of the format: y first.
    wmf.Record(META_SETWINDOWORG, {static_cast<std::uint16_t>(wmf.Coord(picture.windowOrgY)),
                                   static_cast<std::uint16_t>(wmf.Coord(picture.windowOrgX))});
    std::int16_t extX = wmf.Coord(picture.windowExtX), extY = wmf.Coord(picture.windowExtY);
    if (extX == 0)
        extX = picture.windowExtX < 0 ? -1 : 1;
    if (extY == 0)
        extY = picture.windowExtY < 0 ? -1 : 1;
    wmf.Record(META_SETWINDOWEXT, {static_cast<std::uint16_t>(extY), static_cast<std::uint16_t>(extX)});
    for (const Op& op : picture.ops) {
        if (const auto* path = std::get_if<PathOp>(&op))
            wmf.Path(*path);
        else
            wmf.Text(std::get<TextOp>(op));
    }
    const std::vector<std::uint8_t> body = wmf.Finish();

    std::vector<std::uint8_t> out;
    ByteWriter w(out);
    w.U32(kPlaceableKey);
    w.U16(0);  // handle
    w.I16(0);  // left
    w.I16(0);  // top
    w.I16(PlaceableExtent(std::int64_t(picture.frame.right) - picture.frame.left));
    w.I16(PlaceableExtent(std::int64_t(picture.frame.bottom) - picture.frame.top));
    w.U16(kPlaceableUnitsPerInch);
    w.U32(0);  // reserved
    std::uint16_t checksum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        checksum ^= static_cast<std::uint16_t>(out[i] | (out[i + 1] << 8));
    w.U16(checksum);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace plotwick::gdi
