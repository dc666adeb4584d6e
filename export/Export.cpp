#include "export/Export.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "model/Drawing.h"
#include "platform/codec/BmpWriter.h"
#include "platform/codec/PngWriter.h"
#include "platform/device/RasterDevice.h"
#include "platform/files/Files.h"
#include "platform/metafile/WmfConverter.h"
#include "render/ExportSize.h"
#include "render/Metafile.h"
#include "render/Pdf.h"
#include "render/Rasteriser.h"

namespace plotwick {

namespace {

RenderOptions RenderOptionsOf(const ExportOptions& o) { return {o.substituteFont ? "Arial" : ""}; }

SvgOptions SvgOptionsOf(const ExportOptions& o) { return {o.substituteFont ? "Arial" : "", o.textOutlines}; }

// What a writer produces: the bytes, or for SVG the document whose code units are the bytes.
struct Output {
    std::vector<std::uint8_t> bytes;
    SvgFile svg;
    bool isSvg = false;
    static Output Of(std::vector<std::uint8_t> bytes)
    {
        Output out;
        out.bytes = std::move(bytes);
        return out;
    }
    std::span<const std::uint8_t> Bytes() const { return isSvg ? svg.Bytes() : std::span<const std::uint8_t>(bytes); }
};

gdi::Bitmap24 Render(TDrawing& drawing, const ExportOptions& o)
{
    const auto [w, h] = RasterSizeFor(drawing.GetBounds(), o.raster);
    CheckRasterTargetSize(w, h);
    gdi::Bitmap24 bitmap(w, h, gdi::Bitmap24::Unfilled{});  // the rendering writes every pixel
    RenderToBitmap(drawing, bitmap, o.raster.fit, RenderOptionsOf(o));
    return bitmap;
}

// Each writer gets the shapes loaded with normalisation.
using Writer = Output (*)(TDrawing&, const ExportOptions&);

struct FormatEntry {
    ExportFormat format;
    const char* extension;
    Writer write;
};

const std::array<FormatEntry, 7> kFormats = {{
    {ExportFormat::Svg, "svg",
     [](TDrawing& d, const ExportOptions& o) {
         // The document carries the offsets of the normalising load (the preview's, in the
         // window) around the file's own coordinates, loaded after it.
         d.LoadShapes(false);
         Output out;
         out.isSvg = true;
         out.svg = BuildSvgFile(d, SvgOptionsOf(o));
         return out;
     }},
    {ExportFormat::Emf, "emf", [](TDrawing& d, const ExportOptions& o) { return Output::Of(CreateMetafile(d, RenderOptionsOf(o))); }},
    {ExportFormat::Wmf, "wmf",
     [](TDrawing& d, const ExportOptions& o) {
         return Output::Of(gdi::ConvertEmfToPlaceableWmf(CreateMetafile(d, RenderOptionsOf(o))));
     }},
    {ExportFormat::Bmp, "bmp", [](TDrawing& d, const ExportOptions& o) { return Output::Of(gdi::EncodeBmp(Render(d, o))); }},
    {ExportFormat::Jpeg, "jpg", [](TDrawing& d, const ExportOptions& o) { return Output::Of(EncodeJpeg(Render(d, o), o.jpeg)); }},
    {ExportFormat::Png, "png",
     [](TDrawing& d, const ExportOptions& o) {
         // The work bitmap is reduced row by row as the encoder needs the rows, on its thread
         // that makes them, while the writing thread compresses.
         const auto [w, h] = RasterSizeFor(d.GetBounds(), o.raster);
         const std::unique_ptr<gdi::RasterDevice> work = DrawForTarget(d, w, h, o.raster.fit, RenderOptionsOf(o));
         gdi::Bitmap24 bitmap(w, h, gdi::Bitmap24::Unfilled{});
         return Output::Of(gdi::EncodePng(
             bitmap, [&](std::int32_t from, std::int32_t to) { work->ReduceRowsTo(bitmap, from, to); }));
     }},
    {ExportFormat::Pdf, "pdf", [](TDrawing& d, const ExportOptions& o) { return Output::Of(CreatePdf(d, RenderOptionsOf(o))); }},
}};

const FormatEntry& EntryOf(ExportFormat format)
{
    return *std::find_if(kFormats.begin(), kFormats.end(), [&](const FormatEntry& e) { return e.format == format; });
}

Output Produce(TDrawing& drawing, ExportFormat format, const ExportOptions& options)
{
    drawing.LoadShapes(true);
    return EntryOf(format).write(drawing, options);
}

}  // namespace

const std::vector<std::string>& ExportExtensions()
{
    static const std::vector<std::string> extensions = [] {
        std::vector<std::string> v;
        for (const FormatEntry& e : kFormats)
            v.emplace_back(e.extension);
        return v;
    }();
    return extensions;
}

std::string_view ExtensionOf(ExportFormat format) { return EntryOf(format).extension; }

std::optional<ExportFormat> ExportFormatOfPath(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::nullopt;
    const std::string_view ext = path.substr(dot + 1);
    for (const FormatEntry& e : kFormats)
        if (files::NamesEqual(ext, e.extension))
            return e.format;
    return std::nullopt;
}

bool IsRasterFormat(ExportFormat format)
{
    return format == ExportFormat::Bmp || format == ExportFormat::Jpeg || format == ExportFormat::Png;
}

IntRect ExportBounds(TDrawing& drawing)
{
    drawing.LoadShapes(true);
    return drawing.GetBounds();
}

std::pair<std::int32_t, std::int32_t> RasterSizeFor(const IntRect& bounds, const RasterRequest& request)
{
    if (request.pixels)
        return *request.pixels;
    ExportSize size;
    size.Show(bounds.Width(), bounds.Height());
    if (request.scale) {
        size.scaleText = std::to_string(*request.scale);
        size.ScaleExit();
    }
    if (request.width && request.height)
        size.SetConstrain(false);
    if (request.width) {
        size.widthText = std::to_string(*request.width);
        size.WidthExit();
    }
    if (request.height) {
        size.heightText = std::to_string(*request.height);
        size.HeightExit();
    }
    return {size.Width(), size.Height()};
}

std::vector<std::uint8_t> ExportBytes(TDrawing& drawing, ExportFormat format, const ExportOptions& options)
{
    Output out = Produce(drawing, format, options);
    if (!out.isSvg)
        return std::move(out.bytes);
    const auto bytes = out.Bytes();
    return {bytes.begin(), bytes.end()};
}

void Export(TDrawing& drawing, ExportFormat format, const ExportOptions& options, const std::string& path,
            files::Target target)
{
    const Output out = Produce(drawing, format, options);
    const auto bytes = out.Bytes();
    try {
        files::WriteFileAtomically(path, bytes.data(), bytes.size(), target);
    } catch (const std::exception& e) {
        throw OutputError(e.what());
    }
}

std::vector<std::uint8_t> ClipboardMetafile(TDrawing& drawing, const ExportOptions& options)
{
    drawing.LoadShapes(true);
    return CreateMetafile(drawing, RenderOptionsOf(options));
}

SvgText ClipboardSvg(TDrawing& drawing, const ExportOptions& options)
{
    // As the file: the file's own coordinates after a normalising load.
    drawing.LoadShapes(true);
    drawing.LoadShapes(false);
    SvgText document;
    BuildSvg(drawing, document, SvgOptionsOf(options));
    return document;
}

gdi::Bitmap24 ClipboardBitmap(TDrawing& drawing, const ExportOptions& options)
{
    drawing.LoadShapes(true);
    const IntRect r = drawing.GetBounds();
    // One pixel per drawing unit. A line, a dot or a drawing without shapes has no extent on
    // an axis; it gets one pixel there, as in the raster export.
    const auto side = [](std::int64_t v) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 1, INT32_MAX));
    };
    ExportOptions o = options;
    o.raster = {};
    o.raster.pixels = {{side(r.Width()), side(r.Height())}};
    return Render(drawing, o);
}

}  // namespace plotwick
