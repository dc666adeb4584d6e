// Shared pieces of the metafile writers and readers: record numbers of the published EMF and WMF
// formats, little-endian byte writing and bounds-checked reading, the mapping from logical to
// device units, and cubic Bézier helpers. Internal to platform/metafile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace plotwick::gdi::metafile {

// ---- EMF record types (MS-EMF RecordType) ---------------------------------------------------
constexpr std::uint32_t EMR_HEADER = 1;
constexpr std::uint32_t EMR_POLYBEZIERTO = 5;
constexpr std::uint32_t EMR_POLYLINETO = 6;
constexpr std::uint32_t EMR_SETWINDOWEXTEX = 9;
constexpr std::uint32_t EMR_SETWINDOWORGEX = 10;
constexpr std::uint32_t EMR_SETVIEWPORTEXTEX = 11;
constexpr std::uint32_t EMR_SETVIEWPORTORGEX = 12;
constexpr std::uint32_t EMR_SETBRUSHORGEX = 13;
constexpr std::uint32_t EMR_EOF = 14;
constexpr std::uint32_t EMR_SETMAPPERFLAGS = 16;
constexpr std::uint32_t EMR_SETMAPMODE = 17;
constexpr std::uint32_t EMR_SETBKMODE = 18;
constexpr std::uint32_t EMR_SETPOLYFILLMODE = 19;
constexpr std::uint32_t EMR_SETROP2 = 20;
constexpr std::uint32_t EMR_SETSTRETCHBLTMODE = 21;
constexpr std::uint32_t EMR_SETTEXTALIGN = 22;
constexpr std::uint32_t EMR_SETTEXTCOLOR = 24;
constexpr std::uint32_t EMR_SETBKCOLOR = 25;
constexpr std::uint32_t EMR_MOVETOEX = 27;
constexpr std::uint32_t EMR_SELECTOBJECT = 37;
constexpr std::uint32_t EMR_CREATEPEN = 38;
constexpr std::uint32_t EMR_CREATEBRUSHINDIRECT = 39;
constexpr std::uint32_t EMR_DELETEOBJECT = 40;
constexpr std::uint32_t EMR_LINETO = 54;
constexpr std::uint32_t EMR_SETMITERLIMIT = 58;
constexpr std::uint32_t EMR_BEGINPATH = 59;
constexpr std::uint32_t EMR_ENDPATH = 60;
constexpr std::uint32_t EMR_CLOSEFIGURE = 61;
constexpr std::uint32_t EMR_FILLPATH = 62;
constexpr std::uint32_t EMR_STROKEANDFILLPATH = 63;
constexpr std::uint32_t EMR_STROKEPATH = 64;
constexpr std::uint32_t EMR_ABORTPATH = 68;
constexpr std::uint32_t EMR_GDICOMMENT = 70;
constexpr std::uint32_t EMR_EXTCREATEFONTINDIRECTW = 82;
constexpr std::uint32_t EMR_EXTTEXTOUTA = 83;
constexpr std::uint32_t EMR_EXTTEXTOUTW = 84;
constexpr std::uint32_t EMR_POLYBEZIERTO16 = 88;
constexpr std::uint32_t EMR_POLYLINETO16 = 89;
constexpr std::uint32_t EMR_EXTCREATEPEN = 95;
constexpr std::uint32_t EMR_SETICMMODE = 98;

constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr std::uint32_t kEmfVersion = 0x00010000;
// The header record as written here: the base header, the pixel-format fields and the
// micrometre size of the reference device.
constexpr std::uint32_t kEmfHeaderSize = 108;
constexpr std::uint32_t kEmfBaseHeaderSize = 88;

// Stock objects (the high bit marks a stock object in EMR_SELECTOBJECT).
constexpr std::uint32_t kStockWhiteBrush = 0x80000000;
constexpr std::uint32_t kStockNullBrush = 0x80000005;
constexpr std::uint32_t kStockBlackPen = 0x80000007;
constexpr std::uint32_t kStockNullPen = 0x80000008;
constexpr std::uint32_t kStockSystemFont = 0x8000000D;

// ---- WMF record functions (MS-WMF RecordType) -----------------------------------------------
constexpr std::uint16_t META_EOF = 0x0000;
constexpr std::uint16_t META_SETBKCOLOR = 0x0201;
constexpr std::uint16_t META_SETBKMODE = 0x0102;
constexpr std::uint16_t META_SETMAPMODE = 0x0103;
constexpr std::uint16_t META_SETPOLYFILLMODE = 0x0106;
constexpr std::uint16_t META_SETTEXTALIGN = 0x012E;
constexpr std::uint16_t META_SETTEXTCOLOR = 0x0209;
constexpr std::uint16_t META_SETWINDOWORG = 0x020B;
constexpr std::uint16_t META_SETWINDOWEXT = 0x020C;
constexpr std::uint16_t META_SETMAPPERFLAGS = 0x0231;
constexpr std::uint16_t META_SELECTOBJECT = 0x012D;
constexpr std::uint16_t META_DELETEOBJECT = 0x01F0;
constexpr std::uint16_t META_CREATEPENINDIRECT = 0x02FA;
constexpr std::uint16_t META_CREATEFONTINDIRECT = 0x02FB;
constexpr std::uint16_t META_CREATEBRUSHINDIRECT = 0x02FC;
constexpr std::uint16_t META_POLYGON = 0x0324;
constexpr std::uint16_t META_POLYLINE = 0x0325;
constexpr std::uint16_t META_POLYPOLYGON = 0x0538;
constexpr std::uint16_t META_EXTTEXTOUT = 0x0A32;

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableHeaderSize = 22;

// ---- GDI values -----------------------------------------------------------------------------
constexpr int MM_TEXT = 1;
constexpr int MM_LOMETRIC = 2;
constexpr int MM_HIMETRIC = 3;
constexpr int MM_LOENGLISH = 4;
constexpr int MM_HIENGLISH = 5;
constexpr int MM_TWIPS = 6;
constexpr int MM_ISOTROPIC = 7;
constexpr int MM_ANISOTROPIC = 8;

constexpr std::uint32_t ALTERNATE = 1;
constexpr std::uint32_t WINDING = 2;

constexpr std::uint32_t PS_SOLID = 0;
constexpr std::uint32_t PS_NULL = 5;
constexpr std::uint32_t PS_COSMETIC = 0x00000000;
constexpr std::uint32_t PS_STYLE_MASK = 0x0000000F;
constexpr std::uint32_t BS_SOLID = 0;
constexpr std::uint32_t BS_NULL = 1;
constexpr std::uint32_t BS_HATCHED = 2;

constexpr std::uint32_t ETO_OPAQUE = 0x0002;
constexpr std::uint32_t ETO_CLIPPED = 0x0004;
constexpr std::uint32_t ETO_GLYPH_INDEX = 0x0010;
constexpr std::uint32_t ETO_NO_RECT = 0x0100;
constexpr std::uint32_t ETO_PDY = 0x2000;

constexpr std::uint32_t TA_UPDATECP = 1;
constexpr std::uint32_t TA_RIGHT = 2;
constexpr std::uint32_t TA_CENTER = 6;
constexpr std::uint32_t TA_HORZ_MASK = 6;
constexpr std::uint32_t TA_BOTTOM = 8;
constexpr std::uint32_t TA_BASELINE = 24;
constexpr std::uint32_t TA_VERT_MASK = 24;

// ---- Little-endian output -------------------------------------------------------------------
class ByteWriter {
public:
    explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    std::size_t Size() const { return out_.size(); }
    void U8(std::uint8_t v) { out_.push_back(v); }
    // Each value appended in one go (one check of the capacity, one store).
    void U16(std::uint16_t v)
    {
        const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
        out_.insert(out_.end(), b, b + 2);
    }
    void I16(std::int16_t v) { U16(static_cast<std::uint16_t>(v)); }
    void U32(std::uint32_t v)
    {
        const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                   static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
        out_.insert(out_.end(), b, b + 4);
    }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void F32(float v);
    void Zeros(std::size_t n) { out_.insert(out_.end(), n, 0); }
    void PatchU16(std::size_t at, std::uint16_t v)
    {
        out_.at(at) = static_cast<std::uint8_t>(v);
        out_.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
    }
    void PatchU32(std::size_t at, std::uint32_t v)
    {
        PatchU16(at, static_cast<std::uint16_t>(v));
        PatchU16(at + 2, static_cast<std::uint16_t>(v >> 16));
    }

private:
    std::vector<std::uint8_t>& out_;
};

// ---- Bounds-checked little-endian input -----------------------------------------------------
// Every read names an offset inside the viewed bytes; a read past the end throws
// std::runtime_error with the context given at construction.
class ByteReader {
public:
    ByteReader(std::span<const std::uint8_t> bytes, std::string context)
        : bytes_(bytes), context_(std::move(context)) {}

    std::size_t Size() const { return bytes_.size(); }
    bool Has(std::size_t at, std::size_t count) const
    {
        return at <= bytes_.size() && count <= bytes_.size() - at;
    }
    std::uint8_t U8(std::size_t at) const { Need(at, 1); return bytes_[at]; }
    std::uint16_t U16(std::size_t at) const
    {
        Need(at, 2);
        return static_cast<std::uint16_t>(bytes_[at] | (bytes_[at + 1] << 8));
    }
    std::int16_t I16(std::size_t at) const { return static_cast<std::int16_t>(U16(at)); }
    std::uint32_t U32(std::size_t at) const
    {
        return static_cast<std::uint32_t>(U16(at)) | (static_cast<std::uint32_t>(U16(at + 2)) << 16);
    }
    std::int32_t I32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }
    float F32(std::size_t at) const;
    std::span<const std::uint8_t> Bytes(std::size_t at, std::size_t count) const
    {
        Need(at, count);
        return bytes_.subspan(at, count);
    }
    ByteReader Sub(std::size_t at, std::size_t count, std::string context) const
    {
        return ByteReader(Bytes(at, count), std::move(context));
    }

private:
    void Need(std::size_t at, std::size_t count) const
    {
        if (!Has(at, count))
            throw std::runtime_error(context_ + ": read of " + std::to_string(count) + " bytes at offset " +
                                     std::to_string(at) + " past the end (" + std::to_string(bytes_.size()) +
                                     " bytes)");
    }

    std::span<const std::uint8_t> bytes_;
    std::string context_;
};

// ---- Rounding ---------------------------------------------------------------------------------
// n / d to the nearest integer, halves away from zero (d != 0).
std::int64_t RoundDiv(std::int64_t n, std::int64_t d);
// To the nearest integer, halves away from zero, saturating at the 32-bit limits.
std::int32_t RoundToInt32(double v);
// The same, saturating at the 16-bit limits.
std::int16_t RoundToInt16(double v);

// ---- Logical-to-device mapping ----------------------------------------------------------------
// The page transform of a device context: mapping mode, window and viewport origins and
// extents. device = (logical - windowOrg) * viewportExt / windowExt + viewportOrg, per axis.
class Mapping {
public:
    // The reference device sets the extents of the fixed metric modes.
    Mapping(std::int32_t devicePixelsX, std::int32_t devicePixelsY, std::int32_t deviceMicrometresX,
            std::int32_t deviceMicrometresY);

    int Mode() const { return mode_; }
    // False (and nothing changes) for a mode this mapping does not implement (MM_ISOTROPIC)
    // or an unknown one.
    bool SetMapMode(int mode);
    // False (nothing changes) for a zero extent. Extents count only in MM_ANISOTROPIC; in the
    // other modes the call succeeds and changes nothing, as in Windows GDI.
    bool SetWindowExt(std::int32_t cx, std::int32_t cy);
    bool SetViewportExt(std::int32_t cx, std::int32_t cy);
    void SetWindowOrg(std::int32_t x, std::int32_t y) { winOrgX_ = x; winOrgY_ = y; }
    void SetViewportOrg(std::int32_t x, std::int32_t y) { vpOrgX_ = x; vpOrgY_ = y; }

    std::int64_t WindowExtX() const { return winExtX_; }
    std::int64_t WindowExtY() const { return winExtY_; }
    std::int64_t ViewportExtX() const { return vpExtX_; }
    std::int64_t ViewportExtY() const { return vpExtY_; }

    double ToDeviceX(double x) const { return (x - winOrgX_) * double(vpExtX_) / double(winExtX_) + vpOrgX_; }
    double ToDeviceY(double y) const { return (y - winOrgY_) * double(vpExtY_) / double(winExtY_) + vpOrgY_; }
    double ToLogicalX(double x) const { return (x - vpOrgX_) * double(winExtX_) / double(vpExtX_) + winOrgX_; }
    double ToLogicalY(double y) const { return (y - vpOrgY_) * double(winExtY_) / double(vpExtY_) + winOrgY_; }
    // Device units per logical unit along each axis (signed).
    double ScaleX() const { return double(vpExtX_) / double(winExtX_); }
    double ScaleY() const { return double(vpExtY_) / double(winExtY_); }

    // Exact integer device-to-logical conversion, rounded to the nearest integer with halves
    // away from zero and saturated to 32 bits.
    std::int32_t DeviceToLogicalX(std::int32_t x) const;
    std::int32_t DeviceToLogicalY(std::int32_t y) const;

    friend bool operator==(const Mapping&, const Mapping&) = default;

private:
    void SetFixedExtents(std::int64_t numerator, std::int64_t denominator);

    std::int32_t devicePixelsX_, devicePixelsY_, deviceMicrometresX_, deviceMicrometresY_;
    int mode_ = MM_TEXT;
    std::int64_t winOrgX_ = 0, winOrgY_ = 0, vpOrgX_ = 0, vpOrgY_ = 0;
    std::int64_t winExtX_ = 1, winExtY_ = 1, vpExtX_ = 1, vpExtY_ = 1;
};

// ---- Cubic Bézier curves ----------------------------------------------------------------------
struct PointD {
    double x = 0;
    double y = 0;
    friend bool operator==(const PointD&, const PointD&) = default;
};

struct BoxD {
    double left = 0, top = 0, right = 0, bottom = 0;
    bool empty = true;
    void Add(PointD p);
    void Add(const BoxD& b);
};

// The exact extent of the cubic p0..p3 (end points and the extremes in between).
BoxD CubicBounds(PointD p0, PointD p1, PointD p2, PointD p3);

// Appends the points of the cubic after p0 (p0 itself is not appended, p3 is), uniform in the
// curve parameter, with enough segments that no point of the curve is farther than tolerance
// (> 0, same units) from the polyline.
void FlattenCubic(PointD p0, PointD p1, PointD p2, PointD p3, double tolerance, std::vector<PointD>& out);

// The number of segments FlattenCubic uses.
int CubicSegments(PointD p0, PointD p1, PointD p2, PointD p3, double tolerance);

}  // namespace plotwick::gdi::metafile
