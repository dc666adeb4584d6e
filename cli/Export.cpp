#include "cli/Export.h"

#include <algorithm>

#include "model/BParser.h"
#include "model/Drawing.h"
#include "model/DrawDB.h"
#include "platform/gdi/BmpWriter.h"
#include "platform/gdi/PngWriter.h"
#include "render/ExportSize.h"
#include "render/JpegWriter.h"
#include "render/Metafile.h"
#include "render/Rasteriser.h"
#include "platform/gdi/WmfConverter.h"
#include "platform/files/Files.h"
#include "svg/SvgWriter.h"
#include "text/VPathText.h"

namespace plotwick::cli {

const char* const kExportOptionHelp =
    "  --user-folder DIR    the HotSync user folder whose fonts are loaded first\n"
    "                       (default: the one the record lies in)\n"
    "  --substitute-font    texts in the substitute face\n"
    "  --scale PERCENT      raster size from the drawing's bounds (default 100)\n"
    "  --width N            raster width in pixels (alone: keeps the proportions)\n"
    "  --height N           raster height in pixels (alone: keeps the proportions)\n"
    "  --fit                place the drawing as the preview does instead of stretching it\n"
    "  --quality N          JPEG quality, 1 to 100 (default 75)\n"
    "  --grayscale          JPEG in grey scale\n"
    "  --progressive        progressive JPEG\n"
    "  --text-outlines      SVG: texts as groups of their glyph outlines, no embedded fonts";

const std::vector<std::string>& ExportFormats()
{
    static const std::vector<std::string> formats = {"svg", "emf", "wmf", "bmp", "jpg", "png", "pdf"};
    return formats;
}

std::string ExportFormatOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    const auto& formats = ExportFormats();
    return std::find(formats.begin(), formats.end(), ext) != formats.end() ? ext : std::string();
}

OptionSpec ExportOptionSpec()
{
    return {{"user-folder", "scale", "width", "height", "quality", "format"},
            {"substitute-font", "fit", "grayscale", "progressive", "text-outlines"}};
}

ExportOptions ReadExportOptions(const ParsedArgs& args)
{
    ExportOptions o;
    o.substituteFont = args.Has("substitute-font");
    o.fit = args.Has("fit");
    o.grayscale = args.Has("grayscale");
    o.progressive = args.Has("progressive");
    o.textOutlines = args.Has("text-outlines");
    if (auto v = args.Value("scale"))
        o.scale = ParseNumber("scale", *v, 1, 100000);
    if (auto v = args.Value("width"))
        o.width = ParseNumber("width", *v, 1, 1000000);
    if (auto v = args.Value("height"))
        o.height = ParseNumber("height", *v, 1, 1000000);
    if (auto v = args.Value("quality"))
        o.quality = static_cast<int>(ParseNumber("quality", *v, 1, 100));
    return o;
}

namespace {

// The raster size as the export settings dialog computes it from these choices.
std::pair<std::int32_t, std::int32_t> RasterSize(TDrawing& drawing, const ExportOptions& o)
{
    const IntRect r = drawing.GetBounds();
    ExportSize size;
    size.Show(r.Width(), r.Height());
    if (o.scale) {
        size.scaleText = std::to_string(*o.scale);
        size.ScaleExit();
    }
    if (o.width && o.height)
        size.SetConstrain(false);
    if (o.width) {
        size.widthText = std::to_string(*o.width);
        size.WidthExit();
    }
    if (o.height) {
        size.heightText = std::to_string(*o.height);
        size.HeightExit();
    }
    return {size.Width(), size.Height()};
}

struct SubstituteFace {
    explicit SubstituteFace(bool on) : saved(SubstituteFontName) { SubstituteFontName = on ? "Arial" : ""; }
    ~SubstituteFace() { SubstituteFontName = saved; }
    std::string saved;
};

struct TextOutlines {
    explicit TextOutlines(bool on) : saved(SvgTextOutlines) { SvgTextOutlines = on; }
    ~TextOutlines() { SvgTextOutlines = saved; }
    bool saved;
};

}  // namespace

void ExportRecord(const std::string& record, const std::string& output, const std::string& format,
                  const ExportOptions& options)
{
    const std::size_t slash = record.rfind('/');
    TDrawDB db;
    db.FPath = slash == std::string::npos ? "." : (slash == 0 ? "/" : record.substr(0, slash));
    TDrawing drawing(&db, slash == std::string::npos ? record : record.substr(slash + 1));
    const SubstituteFace face(options.substituteFont);

    // Loading and rendering errors belong to the record; writing errors to the output.
    std::vector<std::uint8_t> bytes;
    try {
        drawing.LoadShapes(true);
        if (format == "svg") {
            // The window exports SVG after the preview's normalising load, so the offsets of
            // that load are in place when the export loads the file's own coordinates. The
            // document is built completely before the file is written.
            const TextOutlines outlines(options.textOutlines);
            drawing.LoadShapes(false);
            try {
                drawing.SaveSvg(output);
            } catch (const EBParseException&) {
                throw;
            } catch (const std::exception& e) {
                throw PathError(output, e.what());
            }
            return;
        }
        if (format == "emf" || format == "wmf") {
            bytes = CreateMetafile(drawing);
            if (format == "wmf")
                bytes = gdi::ConvertEmfToPlaceableWmf(bytes);
        } else if (format == "pdf") {
            bytes = CreatePdf(drawing);
        } else if (format == "bmp" || format == "png" || format == "jpg") {
            const auto [w, h] = RasterSize(drawing, options);
            CheckRasterTargetSize(w, h);
            gdi::Bitmap24 bitmap(w, h);
            drawing.RenderToBitmap(bitmap, options.fit);
            if (format == "bmp")
                bytes = gdi::EncodeBmp(bitmap);
            else if (format == "png")
                bytes = gdi::EncodePng(bitmap);
            else
                bytes = EncodeJpeg(bitmap, {options.quality, options.grayscale, options.progressive, false});
        }
    } catch (const PathError&) {
        throw;
    } catch (const EBParseException& e) {
        throw PathError(record, e.what());
    } catch (const std::bad_alloc&) {
        throw PathError(record, "Not enough memory for this export.");
    } catch (const std::exception& e) {
        throw PathError(record, e.what());
    }
    try {
        files::WriteFileAtomically(output, bytes.data(), bytes.size());
    } catch (const std::exception& e) {
        throw PathError(output, e.what());
    }
}

}  // namespace plotwick::cli
