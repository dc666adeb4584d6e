// A device context that records what is drawn on it as an Enhanced Metafile (records of the
// published EMF format) in memory.
//
// The picture is recorded against a reference device (the screen: its size in pixels and in
// millimetres) and declares a picture frame in 0.01 mm. Coordinates are logical units, mapped
// to the reference device's pixels by the recorder's mapping mode and window and viewport
// extents (origins stay at 0), and DPtoLP follows that mapping.
//
// The header's bounds, in the reference device's pixels, hold everything drawn and the picture
// frame.
//
// Records written: the header; SETMAPMODE, SETWINDOWEXTEX, SETVIEWPORTEXTEX; CREATEPEN (or,
// for a pen of width 0 or 1, EXTCREATEPEN with a cosmetic pen, the thinnest line),
// CREATEBRUSHINDIRECT and EXTCREATEFONTINDIRECTW with SELECTOBJECT and DELETEOBJECT, an object
// being created only when the selection changes and the one it replaces deleted right after;
// BEGINPATH, MOVETOEX, LINETO, POLYBEZIERTO16 (POLYBEZIERTO when a point needs more than 16
// bits), CLOSEFIGURE, ENDPATH, FILLPATH, STROKEPATH; SETTEXTALIGN, SETMAPPERFLAGS, SETBKMODE,
// SETTEXTCOLOR, EXTTEXTOUTW (with a character-spacing array measured from the font's face);
// and, when the recording is finished, the selection of the stock objects, the deletion of the
// recorder's own objects and EOF. The polygon fill mode is never set: the device default,
// alternate, is the mode of every fill.
//
// Errors are sticky: the first failing call (a Bézier point count that is not a multiple of
// three, a path operation outside its bracket, an unsupported mapping mode, a metafile past
// 4 GiB, drawing after Finish) is remembered, every later call does nothing, and Finish throws
// it.
#pragma once

#include "platform/device/DeviceContext.h"
#include "platform/metafile/MetafileFormat.h"
#include "platform/fonts/TextMeasure.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plotwick::gdi {

// The device a metafile is recorded against: its size in pixels and in millimetres.
struct ReferenceDevice {
    std::int32_t widthPixels = 1920;
    std::int32_t heightPixels = 1080;
    std::int32_t widthMillimetres = 508;
    std::int32_t heightMillimetres = 286;
};

// A rectangle of 32-bit integers (left, top, right, bottom).
struct RectL {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    friend bool operator==(const RectL&, const RectL&) = default;
};

class EmfRecorder final : public DeviceContext {
public:
    // frame: the picture frame in 0.01 mm, written to the header as it is. measure: how texts
    // are measured for their character-spacing arrays and bounds; empty means
    // SystemTextMeasure().
    explicit EmfRecorder(const RectL& frame, const ReferenceDevice& device = ReferenceDevice{},
                         TextMeasure measure = {});

    // The page mapping. Recorded as called; a zero extent fails (nothing is recorded, the
    // mapping is unchanged) as it does in Windows GDI, MM_ISOTROPIC is not supported.
    void SetMapMode(int mode);
    void SetWindowExtEx(std::int32_t cx, std::int32_t cy);
    void SetViewportExtEx(std::int32_t cx, std::int32_t cy);

    void BeginPath() override;
    void EndPath() override;
    void FillPath() override;
    void StrokePath() override;
    void MoveToEx(std::int32_t x, std::int32_t y) override;
    void LineTo(std::int32_t x, std::int32_t y) override;
    void PolyBezierTo(const Point* points, std::size_t count) override;
    // Recorded inside a path bracket only, as Windows GDI ignores it elsewhere.
    void CloseFigure() override;
    Point CurrentPosition() const override { return position_; }

    void SelectSolidPen(ColorRef color, std::int32_t width) override;
    void SelectSolidBrush(ColorRef color) override;
    void SelectFont(const LogFont& font) override;

    void SetTextColor(ColorRef color) override;
    void SetBkMode(int mode) override;
    void SetTextAlign(std::uint32_t align) override;
    void SetMapperFlags(std::uint32_t flags) override;
    // The text is Windows-1252 and is recorded as UTF-16, with the advances of the selected
    // font as its spacing array. A font of height 0 (size left to the reader) gets no spacing
    // array and is bounded as a cell of 16 pixels.
    void ExtTextOut(std::int32_t x, std::int32_t y, std::string_view text) override;

    Point DPtoLP(Point device) override;
    // Recorded as a path of the rectangle filled with a brush of the colour; the selected
    // brush is selected again afterwards and the current position is kept. Not allowed inside
    // a path bracket.
    void FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                  ColorRef color) override;
    // GM_COMPATIBLE (1) or GM_ADVANCED (2); other values are ignored. No record of its own: it
    // is written into the text records.
    void SetGraphicsMode(int mode) override;

    // The first error, empty while there is none.
    const std::string& Error() const { return error_; }
    bool Ok() const { return error_.empty(); }

    // Ends the recording and returns the metafile. A path bracket still open is closed (its
    // path is not drawn). Throws std::runtime_error with the first error. Later calls return
    // the same bytes.
    const std::vector<std::uint8_t>& Finish();

private:
    struct Pen {
        std::uint32_t handle;
        ColorRef color;
        std::int32_t width;
    };
    struct Brush {
        std::uint32_t handle;
        ColorRef color;
    };
    struct Font {
        std::uint32_t handle;
        LogFont font;
    };

    bool Recording();
    void Fail(std::string message);
    // Starts a record of the given type; EndRecord patches its size.
    std::size_t BeginRecord(std::uint32_t type);
    void EndRecord(std::size_t start);
    void SimpleRecord(std::uint32_t type, std::uint32_t value);
    void WriteRect(const RectL& r);

    std::uint32_t AllocateHandle();
    void FreeHandle(std::uint32_t handle);
    void SelectObject(std::uint32_t handle);
    void DeleteObject(std::uint32_t handle);
    std::uint32_t CreateBrush(ColorRef color);

    // Device-pixel bounds of a box of logical coordinates, widened by a margin of device pixels.
    std::optional<RectL> DeviceBounds(const metafile::BoxD& logical, double marginPixels) const;
    void AddBounds(const std::optional<RectL>& r);
    // The picture frame in the reference device's pixels; none when it is empty.
    std::optional<RectL> FramePixels() const;
    void AddPathPoint(metafile::PointD p);

    RectL frame_;
    ReferenceDevice device_;
    TextMeasure measure_;
    metafile::Mapping mapping_;
    int graphicsMode_ = GM_COMPATIBLE;
    std::uint32_t textAlign_ = 0;

    std::vector<std::uint8_t> bytes_;
    metafile::ByteWriter out_;
    std::uint32_t records_ = 0;
    std::string error_;
    bool finished_ = false;

    std::vector<bool> handles_;  // index 0 is the metafile itself
    std::uint32_t handleLimit_ = 1;
    std::optional<Pen> pen_;
    std::optional<Brush> brush_;
    std::optional<Font> font_;

    enum class PathState { None, Open, Closed };
    PathState path_ = PathState::None;
    metafile::BoxD pathBox_;     // logical extent of the path being built
    Point position_;             // the current position, logical
    Point figureStart_;          // where the current figure started, logical
    std::optional<RectL> bounds_;  // device-pixel bounds of everything drawn
};

}  // namespace plotwick::gdi
