#include "cli/Export.h"

#include <new>

#include "model/Drawing.h"
#include "model/DrawDB.h"

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

const std::vector<std::string>& ExportFormats() { return ExportExtensions(); }

std::string ExportFormatOf(const std::string& path)
{
    const auto format = ExportFormatOfPath(path);
    return format ? std::string(ExtensionOf(*format)) : std::string();
}

OptionSpec ExportOptionSpec()
{
    return {{"user-folder", "scale", "width", "height", "quality", "format", "jobs"},
            {"substitute-font", "fit", "grayscale", "progressive", "text-outlines"}};
}

ExportOptions ReadExportOptions(const ParsedArgs& args)
{
    ExportOptions o;
    o.substituteFont = args.Has("substitute-font");
    o.raster.fit = args.Has("fit");
    o.jpeg.grayscale = args.Has("grayscale");
    o.jpeg.progressive = args.Has("progressive");
    o.textOutlines = args.Has("text-outlines");
    if (auto v = args.Value("scale"))
        o.raster.scale = ParseNumber("scale", *v, 1, 100000);
    if (auto v = args.Value("width"))
        o.raster.width = ParseNumber("width", *v, 1, 1000000);
    if (auto v = args.Value("height"))
        o.raster.height = ParseNumber("height", *v, 1, 1000000);
    if (auto v = args.Value("quality"))
        o.jpeg.quality = static_cast<int>(ParseNumber("quality", *v, 1, 100));
    return o;
}

void ExportRecord(const std::string& record, const std::string& output, const std::string& format,
                  const ExportOptions& options, files::Target target)
{
    const std::size_t slash = record.rfind('/');
    TDrawDB db;
    db.FPath = slash == std::string::npos ? "." : (slash == 0 ? "/" : record.substr(0, slash));
    TDrawing drawing(&db, slash == std::string::npos ? record : record.substr(slash + 1), TDrawing::ShapesOnly{});
    // Loading and rendering errors belong to the record; writing errors to the output.
    try {
        Export(drawing, *ExportFormatOfPath("." + format), options, output, target);
    } catch (const OutputError& e) {
        throw PathError(output, e.what());
    } catch (const std::bad_alloc&) {
        throw PathError(record, "Not enough memory for this export.");
    } catch (const std::exception& e) {
        throw PathError(record, e.what());
    }
}

}  // namespace plotwick::cli
