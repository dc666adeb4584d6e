#include "platform/metafile/EmfRecorder.h"

#include "platform/fonts/Codepage.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>

namespace plotwick::gdi {

using namespace metafile;

namespace {

constexpr std::uint32_t kMaxBytes = std::numeric_limits<std::uint32_t>::max();
// EXTCREATEFONTINDIRECTW with a LogFontPanose: type, size, handle and 320 bytes of font.
constexpr std::uint32_t kFontRecordSize = 332;
// EXTTEXTOUTW up to the end of its fixed part; the string follows.
constexpr std::uint32_t kTextRecordFixedSize = 76;
// The cell height, in device pixels, assumed for bounding a text in a font of height 0.
constexpr double kDefaultCellPixels = 16.0;

bool Fits16(std::int32_t v)
{
    return v >= std::numeric_limits<std::int16_t>::min() && v <= std::numeric_limits<std::int16_t>::max();
}

std::int32_t Saturate(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

constexpr RectL kEmptyBounds{0, 0, -1, -1};

std::int32_t Micrometres(std::int32_t millimetres)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t(millimetres) * 1000,
                                                              std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

EmfRecorder::EmfRecorder(const RectL& frame, const ReferenceDevice& device, TextMeasure measure)
    : frame_(frame),
      device_(device),
      measure_(measure ? std::move(measure) : SystemTextMeasure()),
      mapping_(device.widthPixels, device.heightPixels, Micrometres(device.widthMillimetres),
               Micrometres(device.heightMillimetres)),
      out_(bytes_),
      handles_{true}
{
    // The header; its bounds and counts are filled in by Finish.
    out_.U32(EMR_HEADER);
    out_.U32(kEmfHeaderSize);
    WriteRect(kEmptyBounds);                 // rclBounds
    WriteRect(frame_);                       // rclFrame
    out_.U32(kEmfSignature);                 // dSignature
    out_.U32(kEmfVersion);                   // nVersion
    out_.U32(0);                             // nBytes
    out_.U32(0);                             // nRecords
    out_.U16(0);                             // nHandles
    out_.U16(0);                             // sReserved
    out_.U32(0);                             // nDescription
    out_.U32(0);                             // offDescription
    out_.U32(0);                             // nPalEntries
    out_.I32(device_.widthPixels);           // szlDevice
    out_.I32(device_.heightPixels);
    out_.I32(device_.widthMillimetres);      // szlMillimeters
    out_.I32(device_.heightMillimetres);
    out_.U32(0);                             // cbPixelFormat
    out_.U32(0);                             // offPixelFormat
    out_.U32(0);                             // bOpenGL
    out_.I32(Micrometres(device_.widthMillimetres));   // szlMicrometers
    out_.I32(Micrometres(device_.heightMillimetres));
    records_ = 1;
}

// ---- Recording plumbing -------------------------------------------------------------------------

void EmfRecorder::Fail(std::string message)
{
    if (error_.empty())
        error_ = "EMF recording: " + std::move(message);
}

bool EmfRecorder::Recording()
{
    if (finished_)
        Fail("drawing after the recording was finished");
    return error_.empty();
}

std::size_t EmfRecorder::BeginRecord(std::uint32_t type)
{
    const std::size_t start = bytes_.size();
    out_.U32(type);
    out_.U32(0);
    return start;
}

void EmfRecorder::EndRecord(std::size_t start)
{
    while ((bytes_.size() - start) % 4 != 0)
        out_.U8(0);
    const std::size_t size = bytes_.size() - start;
    // Leave room for the closing records.
    if (bytes_.size() > kMaxBytes - 4096) {
        Fail("the metafile would exceed 4 GiB");
        bytes_.resize(start);
        return;
    }
    out_.PatchU32(start + 4, static_cast<std::uint32_t>(size));
    ++records_;
}

void EmfRecorder::SimpleRecord(std::uint32_t type, std::uint32_t value)
{
    const std::size_t r = BeginRecord(type);
    out_.U32(value);
    EndRecord(r);
}

void EmfRecorder::WriteRect(const RectL& r)
{
    out_.I32(r.left);
    out_.I32(r.top);
    out_.I32(r.right);
    out_.I32(r.bottom);
}

std::optional<RectL> EmfRecorder::DeviceBounds(const BoxD& logical, double marginPixels) const
{
    if (logical.empty)
        return std::nullopt;
    const double x0 = mapping_.ToDeviceX(logical.left), x1 = mapping_.ToDeviceX(logical.right);
    const double y0 = mapping_.ToDeviceY(logical.top), y1 = mapping_.ToDeviceY(logical.bottom);
    return RectL{Saturate(std::floor(std::min(x0, x1) - marginPixels)),
                 Saturate(std::floor(std::min(y0, y1) - marginPixels)),
                 Saturate(std::ceil(std::max(x0, x1) + marginPixels)),
                 Saturate(std::ceil(std::max(y0, y1) + marginPixels))};
}

std::optional<RectL> EmfRecorder::FramePixels() const
{
    if (frame_.right <= frame_.left || frame_.bottom <= frame_.top || device_.widthMillimetres <= 0 ||
        device_.heightMillimetres <= 0)
        return std::nullopt;
    const double perX = device_.widthPixels / (device_.widthMillimetres * 100.0);
    const double perY = device_.heightPixels / (device_.heightMillimetres * 100.0);
    // Inclusive-inclusive: the last pixel inside the frame.
    return RectL{Saturate(std::floor(frame_.left * perX + 0.5)), Saturate(std::floor(frame_.top * perY + 0.5)),
                 Saturate(std::floor(frame_.right * perX + 0.5)) - 1,
                 Saturate(std::floor(frame_.bottom * perY + 0.5)) - 1};
}

void EmfRecorder::AddBounds(const std::optional<RectL>& r)
{
    if (!r)
        return;
    if (!bounds_) {
        bounds_ = *r;
        return;
    }
    bounds_->left = std::min(bounds_->left, r->left);
    bounds_->top = std::min(bounds_->top, r->top);
    bounds_->right = std::max(bounds_->right, r->right);
    bounds_->bottom = std::max(bounds_->bottom, r->bottom);
}

void EmfRecorder::AddPathPoint(PointD p)
{
    pathBox_.Add(p);
}

// ---- Mapping ------------------------------------------------------------------------------------

void EmfRecorder::SetMapMode(int mode)
{
    if (!Recording())
        return;
    if (!mapping_.SetMapMode(mode)) {
        Fail("mapping mode " + std::to_string(mode) + " is not supported");
        return;
    }
    SimpleRecord(EMR_SETMAPMODE, static_cast<std::uint32_t>(mode));
}

void EmfRecorder::SetWindowExtEx(std::int32_t cx, std::int32_t cy)
{
    if (!Recording() || !mapping_.SetWindowExt(cx, cy))
        return;
    const std::size_t r = BeginRecord(EMR_SETWINDOWEXTEX);
    out_.I32(cx);
    out_.I32(cy);
    EndRecord(r);
}

void EmfRecorder::SetViewportExtEx(std::int32_t cx, std::int32_t cy)
{
    if (!Recording() || !mapping_.SetViewportExt(cx, cy))
        return;
    const std::size_t r = BeginRecord(EMR_SETVIEWPORTEXTEX);
    out_.I32(cx);
    out_.I32(cy);
    EndRecord(r);
}

Point EmfRecorder::DPtoLP(Point device)
{
    return Point{mapping_.DeviceToLogicalX(device.x), mapping_.DeviceToLogicalY(device.y)};
}

void EmfRecorder::SetGraphicsMode(int mode)
{
    if (mode == 1 || mode == 2)
        graphicsMode_ = mode;
}

// ---- Paths --------------------------------------------------------------------------------------

void EmfRecorder::BeginPath()
{
    if (!Recording())
        return;
    // As in Windows GDI, a new bracket discards a path not yet drawn.
    const std::size_t r = BeginRecord(EMR_BEGINPATH);
    EndRecord(r);
    path_ = PathState::Open;
    pathBox_ = BoxD{};
}

void EmfRecorder::EndPath()
{
    if (!Recording())
        return;
    if (path_ != PathState::Open) {
        Fail("EndPath without BeginPath");
        return;
    }
    const std::size_t r = BeginRecord(EMR_ENDPATH);
    EndRecord(r);
    path_ = PathState::Closed;
}

void EmfRecorder::FillPath()
{
    if (!Recording())
        return;
    if (path_ != PathState::Closed) {
        Fail("FillPath without a closed path bracket");
        return;
    }
    const auto bounds = DeviceBounds(pathBox_, 0);
    const std::size_t r = BeginRecord(EMR_FILLPATH);
    WriteRect(bounds.value_or(kEmptyBounds));
    EndRecord(r);
    AddBounds(bounds);
    path_ = PathState::None;
}

void EmfRecorder::StrokePath()
{
    if (!Recording())
        return;
    if (path_ != PathState::Closed) {
        Fail("StrokePath without a closed path bracket");
        return;
    }
    const double halfPen = pen_ ? std::max(0.5, pen_->width * std::fabs(mapping_.ScaleX()) / 2) : 0.5;
    const auto bounds = DeviceBounds(pathBox_, halfPen);
    const std::size_t r = BeginRecord(EMR_STROKEPATH);
    WriteRect(bounds.value_or(kEmptyBounds));
    EndRecord(r);
    AddBounds(bounds);
    path_ = PathState::None;
}

void EmfRecorder::MoveToEx(std::int32_t x, std::int32_t y)
{
    if (!Recording())
        return;
    const std::size_t r = BeginRecord(EMR_MOVETOEX);
    out_.I32(x);
    out_.I32(y);
    EndRecord(r);
    position_ = figureStart_ = Point{x, y};
}

void EmfRecorder::LineTo(std::int32_t x, std::int32_t y)
{
    if (!Recording())
        return;
    const std::size_t r = BeginRecord(EMR_LINETO);
    out_.I32(x);
    out_.I32(y);
    EndRecord(r);
    BoxD segment;
    segment.Add(PointD{double(position_.x), double(position_.y)});
    segment.Add(PointD{double(x), double(y)});
    if (path_ == PathState::Open) {
        pathBox_.Add(segment);
    } else {
        // Outside a bracket the line is drawn at once with the pen.
        const double halfPen = pen_ ? std::max(0.5, pen_->width * std::fabs(mapping_.ScaleX()) / 2) : 0.5;
        AddBounds(DeviceBounds(segment, halfPen));
    }
    position_ = Point{x, y};
}

void EmfRecorder::PolyBezierTo(const Point* points, std::size_t count)
{
    if (!Recording())
        return;
    if (count % 3 != 0) {
        Fail("PolyBezierTo with " + std::to_string(count) + " points, not a multiple of three");
        return;
    }
    if (count == 0)
        return;
    if (count > (kMaxBytes - 28) / 8) {
        Fail("PolyBezierTo with too many points");
        return;
    }
    bool small = true;
    BoxD hull, curve;
    hull.Add(PointD{double(position_.x), double(position_.y)});
    PointD from{double(position_.x), double(position_.y)};
    for (std::size_t i = 0; i < count; ++i) {
        small = small && Fits16(points[i].x) && Fits16(points[i].y);
        hull.Add(PointD{double(points[i].x), double(points[i].y)});
        if (i % 3 == 2) {
            const PointD c1{double(points[i - 2].x), double(points[i - 2].y)};
            const PointD c2{double(points[i - 1].x), double(points[i - 1].y)};
            const PointD to{double(points[i].x), double(points[i].y)};
            curve.Add(CubicBounds(from, c1, c2, to));
            from = to;
        }
    }

    const std::size_t r = BeginRecord(small ? EMR_POLYBEZIERTO16 : EMR_POLYBEZIERTO);
    WriteRect(DeviceBounds(hull, 0).value_or(kEmptyBounds));
    out_.U32(static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        if (small) {
            out_.I16(static_cast<std::int16_t>(points[i].x));
            out_.I16(static_cast<std::int16_t>(points[i].y));
        } else {
            out_.I32(points[i].x);
            out_.I32(points[i].y);
        }
    }
    EndRecord(r);

    if (path_ == PathState::Open) {
        pathBox_.Add(curve);
    } else {
        const double halfPen = pen_ ? std::max(0.5, pen_->width * std::fabs(mapping_.ScaleX()) / 2) : 0.5;
        AddBounds(DeviceBounds(curve, halfPen));
    }
    position_ = points[count - 1];
}

void EmfRecorder::CloseFigure()
{
    if (!Recording() || path_ != PathState::Open)
        return;
    const std::size_t r = BeginRecord(EMR_CLOSEFIGURE);
    EndRecord(r);
    position_ = figureStart_;
}

// ---- Objects ------------------------------------------------------------------------------------

std::uint32_t EmfRecorder::AllocateHandle()
{
    auto it = std::find(handles_.begin() + 1, handles_.end(), false);
    const auto index = static_cast<std::uint32_t>(it - handles_.begin());
    if (it == handles_.end())
        handles_.push_back(true);
    else
        *it = true;
    handleLimit_ = std::max(handleLimit_, index + 1);
    if (handleLimit_ > 0xFFFF)
        Fail("more than 65535 object handles");
    return index;
}

void EmfRecorder::FreeHandle(std::uint32_t handle)
{
    if (handle > 0 && handle < handles_.size())
        handles_[handle] = false;
}

void EmfRecorder::SelectObject(std::uint32_t handle)
{
    SimpleRecord(EMR_SELECTOBJECT, handle);
}

void EmfRecorder::DeleteObject(std::uint32_t handle)
{
    SimpleRecord(EMR_DELETEOBJECT, handle);
    FreeHandle(handle);
}

void EmfRecorder::SelectSolidPen(ColorRef color, std::int32_t width)
{
    if (!Recording())
        return;
    width = std::max(width, 0);
    if (pen_ && pen_->color == color && pen_->width == width)
        return;
    const std::uint32_t handle = AllocateHandle();
    if (width <= 1) {
        // The thinnest line: a cosmetic pen, one pixel wide whatever the mapping, where a
        // geometric pen of one logical unit would be a thirty-first of a pixel to a reader
        // that scales it.
        const std::size_t r = BeginRecord(EMR_EXTCREATEPEN);
        out_.U32(handle);
        out_.U32(0);                     // offBmi, cbBmi, offBits, cbBits: no pattern
        out_.U32(0);
        out_.U32(0);
        out_.U32(0);
        out_.U32(PS_COSMETIC | PS_SOLID);  // elpPenStyle
        out_.U32(1);                     // elpWidth: 1 for a cosmetic pen
        out_.U32(BS_SOLID);              // elpBrushStyle
        out_.U32(color);                 // elpColor
        out_.U32(0);                     // elpHatch
        out_.U32(0);                     // elpNumEntries
        EndRecord(r);
    } else {
        const std::size_t r = BeginRecord(EMR_CREATEPEN);
        out_.U32(handle);
        out_.U32(PS_SOLID);  // lopnStyle
        out_.I32(width);     // lopnWidth.x
        out_.I32(0);         // lopnWidth.y, unused
        out_.U32(color);
        EndRecord(r);
    }
    SelectObject(handle);
    if (pen_)
        DeleteObject(pen_->handle);
    pen_ = Pen{handle, color, width};
}

std::uint32_t EmfRecorder::CreateBrush(ColorRef color)
{
    const std::uint32_t handle = AllocateHandle();
    const std::size_t r = BeginRecord(EMR_CREATEBRUSHINDIRECT);
    out_.U32(handle);
    out_.U32(BS_SOLID);  // lbStyle
    out_.U32(color);     // lbColor
    out_.U32(0);         // lbHatch
    EndRecord(r);
    SelectObject(handle);
    return handle;
}

void EmfRecorder::SelectSolidBrush(ColorRef color)
{
    if (!Recording())
        return;
    if (brush_ && brush_->color == color)
        return;
    const std::uint32_t handle = CreateBrush(color);
    if (brush_)
        DeleteObject(brush_->handle);
    brush_ = Brush{handle, color};
}

void EmfRecorder::SelectFont(const LogFont& font)
{
    if (!Recording())
        return;
    if (font_ && font_->font == font)
        return;
    const std::uint32_t handle = AllocateHandle();
    const std::size_t r = BeginRecord(EMR_EXTCREATEFONTINDIRECTW);
    out_.U32(handle);
    // LogFont.
    out_.I32(font.height);
    out_.I32(font.width);
    out_.I32(font.escapement);
    out_.I32(font.orientation);
    out_.I32(font.weight);
    out_.U8(font.italic ? 1 : 0);
    out_.U8(font.underline ? 1 : 0);
    out_.U8(font.strikeOut ? 1 : 0);
    out_.U8(font.charSet);
    out_.U8(font.outPrecision);
    out_.U8(font.clipPrecision);
    out_.U8(font.quality);
    out_.U8(font.pitchAndFamily);
    // FaceName: 32 UTF-16 units, the last one always the terminating zero.
    const std::u16string face = codepage::Cp1252ToUtf16(font.faceName);
    for (std::size_t i = 0; i < 32; ++i)
        out_.U16(i < 31 && i < face.size() ? static_cast<std::uint16_t>(face[i]) : 0);
    // The rest of a LogFontPanose: full name, style, version, style size, match, reserved,
    // vendor, culture, PANOSE and padding, all left empty as for a font made from a LogFont.
    out_.Zeros(kFontRecordSize - (bytes_.size() - r));
    EndRecord(r);
    SelectObject(handle);
    if (font_)
        DeleteObject(font_->handle);
    font_ = Font{handle, font};
}

// ---- Text ---------------------------------------------------------------------------------------

void EmfRecorder::SetTextColor(ColorRef color)
{
    if (Recording())
        SimpleRecord(EMR_SETTEXTCOLOR, color);
}

void EmfRecorder::SetBkMode(int mode)
{
    if (Recording())
        SimpleRecord(EMR_SETBKMODE, static_cast<std::uint32_t>(mode));
}

void EmfRecorder::SetTextAlign(std::uint32_t align)
{
    if (!Recording())
        return;
    textAlign_ = align;
    SimpleRecord(EMR_SETTEXTALIGN, align);
}

void EmfRecorder::SetMapperFlags(std::uint32_t flags)
{
    if (Recording())
        SimpleRecord(EMR_SETMAPPERFLAGS, flags);
}

void EmfRecorder::ExtTextOut(std::int32_t x, std::int32_t y, std::string_view text)
{
    if (!Recording())
        return;
    const std::u16string chars = codepage::Cp1252ToUtf16(text);
    if (chars.size() > (kMaxBytes - kTextRecordFixedSize) / 8) {
        Fail("text too long for a text record");
        return;
    }
    TextMetrics metrics;
    bool spacing = true;  // whether the measured advances go into the record
    if (font_) {
        LogFont measured = font_->font;
        if (measured.height == 0) {
            // A height of 0 leaves the size to the reader's font mapper. The text is bounded as
            // if its cell were the usual default, but no spacing array imposes that guess.
            measured.height = RoundToInt32(kDefaultCellPixels / std::fabs(mapping_.ScaleY()));
            spacing = false;
        }
        if (measured.height != 0)
            metrics = measure_(measured, chars);
    }
    if (metrics.valid && metrics.advances.size() != chars.size())
        metrics.valid = false;
    spacing = spacing && metrics.valid;

    // The cell of the text, laid out along its baseline and turned by the escapement
    // (counter-clockwise as seen on the device).
    const double refX = mapping_.ToDeviceX(x), refY = mapping_.ToDeviceY(y);
    std::optional<RectL> bounds;
    if (metrics.valid) {
        double total = 0;
        for (const std::int32_t a : metrics.advances)
            total += a;
        double along = 0;
        if ((textAlign_ & TA_HORZ_MASK) == TA_CENTER)
            along = -total / 2;
        else if ((textAlign_ & TA_HORZ_MASK) == TA_RIGHT)
            along = -total;
        double baseline = 0;  // distance of the baseline below the reference point
        if ((textAlign_ & TA_VERT_MASK) == 0)
            baseline = metrics.ascent;
        else if ((textAlign_ & TA_VERT_MASK) == TA_BOTTOM)
            baseline = -double(metrics.descent);
        const double angle = (font_ ? font_->font.escapement : 0) / 10.0 * std::numbers::pi / 180.0;
        const double sx = std::fabs(mapping_.ScaleX()), sy = std::fabs(mapping_.ScaleY());
        const double dirX = std::cos(angle), dirY = -std::sin(angle);    // along the baseline
        const double downX = std::sin(angle), downY = std::cos(angle);   // towards the descent
        BoxD cell;
        for (const double u : {along, along + total}) {
            for (const double v : {baseline - metrics.ascent, baseline + metrics.descent}) {
                cell.Add(PointD{refX + u * sx * dirX + v * sy * downX, refY + u * sx * dirY + v * sy * downY});
            }
        }
        bounds = RectL{Saturate(std::floor(cell.left)), Saturate(std::floor(cell.top)),
                       Saturate(std::ceil(cell.right)), Saturate(std::ceil(cell.bottom))};
    } else {
        bounds = RectL{Saturate(std::floor(refX)), Saturate(std::floor(refY)), Saturate(std::ceil(refX)),
                       Saturate(std::ceil(refY))};
    }

    const auto n = static_cast<std::uint32_t>(chars.size());
    const std::uint32_t stringBytes = (2 * n + 3) / 4 * 4;
    const std::size_t r = BeginRecord(EMR_EXTTEXTOUTW);
    WriteRect(*bounds);
    out_.U32(static_cast<std::uint32_t>(graphicsMode_));
    // Page units to 0.01 mm, used by readers in the compatible graphics mode.
    float exScale = 0, eyScale = 0;
    if (graphicsMode_ == GM_COMPATIBLE) {
        exScale = static_cast<float>(std::fabs(mapping_.ScaleX()) * device_.widthMillimetres * 100.0 /
                                     device_.widthPixels);
        eyScale = static_cast<float>(std::fabs(mapping_.ScaleY()) * device_.heightMillimetres * 100.0 /
                                     device_.heightPixels);
    }
    out_.F32(exScale);
    out_.F32(eyScale);
    out_.I32(x);  // ptlReference
    out_.I32(y);
    out_.U32(n);                          // nChars
    out_.U32(kTextRecordFixedSize);       // offString
    out_.U32(0);                          // fOptions
    WriteRect(kEmptyBounds);              // rcl: no clipping or opaque rectangle
    out_.U32(spacing ? kTextRecordFixedSize + stringBytes : 0);  // offDx
    for (const char16_t c : chars)
        out_.U16(static_cast<std::uint16_t>(c));
    out_.Zeros(stringBytes - 2 * n);
    if (spacing) {
        for (const std::int32_t a : metrics.advances)
            out_.I32(a);
    }
    EndRecord(r);
    AddBounds(bounds);
}

// ---- Rectangles ---------------------------------------------------------------------------------

void EmfRecorder::FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                           ColorRef color)
{
    if (!Recording())
        return;
    if (path_ != PathState::None) {
        Fail("FillRect inside a path bracket");
        return;
    }
    if (left >= right || top >= bottom)
        return;
    const Point savedPosition = position_;
    std::optional<std::uint32_t> temporary;
    if (!brush_ || brush_->color != color)
        temporary = CreateBrush(color);

    BeginPath();
    MoveToEx(left, top);
    LineTo(right, top);
    LineTo(right, bottom);
    LineTo(left, bottom);
    CloseFigure();
    EndPath();
    FillPath();

    if (temporary) {
        SelectObject(brush_ ? brush_->handle : kStockWhiteBrush);
        DeleteObject(*temporary);
    }
    if (savedPosition != Point{left, top})
        MoveToEx(savedPosition.x, savedPosition.y);
    position_ = savedPosition;
}

// ---- Closing ------------------------------------------------------------------------------------

const std::vector<std::uint8_t>& EmfRecorder::Finish()
{
    if (!error_.empty())
        throw std::runtime_error(error_);
    if (finished_)
        return bytes_;

    if (path_ == PathState::Open) {
        const std::size_t r = BeginRecord(EMR_ENDPATH);
        EndRecord(r);
    }
    path_ = PathState::None;
    // Our objects are deselected before they are deleted.
    if (pen_) {
        SelectObject(kStockBlackPen);
        DeleteObject(pen_->handle);
        pen_.reset();
    }
    if (brush_) {
        SelectObject(kStockWhiteBrush);
        DeleteObject(brush_->handle);
        brush_.reset();
    }
    if (font_) {
        SelectObject(kStockSystemFont);
        DeleteObject(font_->handle);
        font_.reset();
    }

    const std::size_t r = BeginRecord(EMR_EOF);
    out_.U32(0);   // nPalEntries
    out_.U32(16);  // offPalEntries: where the (absent) entries would start
    out_.U32(20);  // nSizeLast: the size of this record
    EndRecord(r);
    if (!error_.empty())
        throw std::runtime_error(error_);

    // The picture's bounds in the reference device's pixels: what was drawn, together with
    // the picture frame it lies in, so that a reader placing the picture by its bounds puts
    // the frame's corner at the origin.
    AddBounds(FramePixels());
    const RectL bounds = bounds_.value_or(kEmptyBounds);
    out_.PatchU32(8, static_cast<std::uint32_t>(bounds.left));
    out_.PatchU32(12, static_cast<std::uint32_t>(bounds.top));
    out_.PatchU32(16, static_cast<std::uint32_t>(bounds.right));
    out_.PatchU32(20, static_cast<std::uint32_t>(bounds.bottom));
    out_.PatchU32(48, static_cast<std::uint32_t>(bytes_.size()));  // nBytes
    out_.PatchU32(52, records_);                                    // nRecords
    out_.PatchU16(56, static_cast<std::uint16_t>(handleLimit_));   // nHandles
    finished_ = true;
    return bytes_;
}

}  // namespace plotwick::gdi
