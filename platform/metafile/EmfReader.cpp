#include "platform/metafile/EmfReader.h"

#include "platform/fonts/Codepage.h"
#include "platform/device/DeviceContext.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>

namespace plotwick::gdi::metafile {

void FailConversion(const std::string& message)
{
    throw std::runtime_error("EMF to WMF: " + message);
}

namespace {

// Curves are flattened to within this many reference-device pixels.
constexpr double kFlatnessPixels = 0.05;
constexpr std::uint32_t R2_COPYPEN = 13;

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

class EmfParser {
public:
    EmfParser(std::span<const std::uint8_t> emf, std::size_t maxPoints, double coarseness)
        : file_(emf, "EMF"), base_(1, 1, 1, 1), mapping_(1, 1, 1, 1), maxPoints_(maxPoints), coarseness_(coarseness)
    {
    }

    Picture Parse()
    {
        ReadHeader();
        std::size_t offset = headerSize_;
        bool ended = false;
        while (offset < length_) {
            if (!file_.Has(offset, 8) || offset + 8 > length_)
                FailConversion("record header cut short at offset " + std::to_string(offset));
            const std::uint32_t type = file_.U32(offset);
            const std::uint32_t size = file_.U32(offset + 4);
            if (size < 8 || size % 4 != 0 || size > length_ - offset)
                FailConversion("record of type " + std::to_string(type) + " at offset " +
                               std::to_string(offset) + " has a bad size " + std::to_string(size));
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
            FailConversion("no EOF record");
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
            FailConversion("shorter than an EMF header");
        if (file_.U32(0) != EMR_HEADER)
            FailConversion("the first record is not a header");
        headerSize_ = file_.U32(4);
        if (headerSize_ < kEmfBaseHeaderSize || headerSize_ % 4 != 0 || !file_.Has(0, headerSize_))
            FailConversion("bad header size " + std::to_string(headerSize_));
        if (file_.U32(40) != kEmfSignature)
            FailConversion("no EMF signature");
        length_ = file_.U32(48);
        if (length_ < headerSize_ || length_ > file_.Size())
            FailConversion("nBytes " + std::to_string(length_) + " does not fit the " +
                           std::to_string(file_.Size()) + " bytes given");
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
            FailConversion("the header's reference device has no size");
        if (deviceMicrometresX_ > std::numeric_limits<std::int32_t>::max() ||
            deviceMicrometresY_ > std::numeric_limits<std::int32_t>::max())
            FailConversion("the header's reference device is too large");
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
        return kFlatnessPixels * coarseness_ / scale;
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
            FailConversion("more than " + std::to_string(maxPoints_) + " points once the curves are flattened");
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
            FailConversion("polyline points outside the record");
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
            FailConversion("Bézier record with " + std::to_string(count) + " points");
        if (!r.Has(28, std::size_t(count) * step))
            FailConversion("Bézier points outside the record");
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
            // As in Windows GDI, drawing without a finished path does nothing.
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
            FailConversion("selection of object " + std::to_string(handle) + ", which does not exist");
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
            FailConversion("object created with handle " + std::to_string(handle));
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
            FailConversion("text given as glyph indices cannot be converted");
        std::array<std::int32_t, 4> rect{};
        std::size_t offDxAt = 56;
        if (!(options & ETO_NO_RECT)) {
            for (int i = 0; i < 4; ++i)
                rect[i] = r.I32(56 + 4 * i);
            offDxAt = 72;
        }
        const std::uint32_t offDx = r.U32(offDxAt);
        if (count > 32767)
            FailConversion("text of " + std::to_string(count) + " characters is too long for a Windows metafile");

        TextOp op;
        if (count > 0) {
            const auto bytes = r.Bytes(offString, std::size_t(count) * (wide ? 2 : 1));
            op.text = wide ? Utf16ToCp1252(bytes) : std::string(bytes.begin(), bytes.end());
        }
        if (offDx != 0 && count > 0) {
            const std::size_t step = (options & ETO_PDY) ? 8 : 4;
            if (!r.Has(offDx, std::size_t(count) * step))
                FailConversion("character-spacing array outside the text record");
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
            FailConversion("a second header record");
        case EMR_SETMAPMODE:
            if (!mapping_.SetMapMode(static_cast<int>(r.U32(8))))
                FailConversion("mapping mode " + std::to_string(r.U32(8)) + " cannot be converted");
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
                FailConversion("raster operation " + std::to_string(r.U32(8)) + " cannot be converted");
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
            // A cosmetic pen is one pixel wide whatever the mapping: a Windows Metafile says so
            // with a width of one pixel in logical units, which readers that scale every pen
            // draw as thin, where a width of 0 is a thirty-first of a pixel to them.
            const double pixel = std::fabs(mapping_.ScaleX()) > 0 ? 1 / std::fabs(mapping_.ScaleX()) : 0;
            const auto cosmetic = static_cast<std::int32_t>(std::min(std::floor(pixel + 0.5), 2147483647.0));
            EmfPen pen{static_cast<std::uint16_t>(style & 0xFF0F), geometric ? r.I32(32) : cosmetic, r.U32(40)};
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
            FailConversion("record type " + std::to_string(type) + " cannot be converted");
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
    double coarseness_;
};

}  // namespace

Picture ReadEmfPicture(std::span<const std::uint8_t> emf, std::size_t maxPoints, double coarseness)
{
    return EmfParser(emf, maxPoints, coarseness).Parse();
}

}  // namespace plotwick::gdi::metafile
