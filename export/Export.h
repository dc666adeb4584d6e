// One entry point for every output of a drawing, used by the window and by plotwick-cli alike:
// it loads the shapes as the format needs them, chooses the writer, applies the options and
// writes the file completely or not at all. Adding a format is a writer and one entry in the
// table of export/Export.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/Geometry.h"
#include "platform/codec/Bitmap.h"
#include "platform/codec/JpegWriter.h"
#include "platform/files/Files.h"
#include "svg/SvgWriter.h"

namespace plotwick {

class TDrawing;

enum class ExportFormat { Svg, Emf, Wmf, Bmp, Jpeg, Png, Pdf };

// The extension of each format, lower case and without the dot, in the order of ExportFormat.
const std::vector<std::string>& ExportExtensions();
std::string_view ExtensionOf(ExportFormat format);
// The format an output path names by its extension in any letter case; none for another one.
std::optional<ExportFormat> ExportFormatOfPath(std::string_view path);
// BMP, JPEG and PNG: a pixel size to choose.
bool IsRasterFormat(ExportFormat format);

// The size of a raster export.
struct RasterRequest {
    // As the export settings dialog's fields: a scale in percent of the drawing's bounds, a
    // width and a height in pixels; a width or a height alone keeps the proportions. None of
    // them: 100 %.
    std::optional<long> scale, width, height;
    // Or exactly this many pixels, as the dialog committed them.
    std::optional<std::pair<std::int32_t, std::int32_t>> pixels;
    // Placed as the preview is, proportions kept with a margin, instead of stretched.
    bool fit = false;
};

struct ExportOptions {
    bool substituteFont = false;  // texts in the substitute face ("Arial")
    bool textOutlines = false;    // SVG: texts as their glyph outlines, no embedded fonts
    RasterRequest raster;
    JpegOptions jpeg;
};

// Writing the output file failed (the message names what went wrong, not the path). Every
// other exception out of an export belongs to the drawing: reading or drawing it.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The drawing's bounds after a normalising load: what the export settings dialog starts from.
IntRect ExportBounds(TDrawing& drawing);
// The pixel size a raster request gives for a drawing whose bounds are these.
std::pair<std::int32_t, std::int32_t> RasterSizeFor(const IntRect& bounds, const RasterRequest& request);

// The file's bytes, built completely in memory.
std::vector<std::uint8_t> ExportBytes(TDrawing& drawing, ExportFormat format, const ExportOptions& options);
// Exports to a file, which is replaced only once the whole output is written (OutputError when
// that fails; an existing file is then left as it was).
// target: as files::WriteFileAtomically's.
void Export(TDrawing& drawing, ExportFormat format, const ExportOptions& options, const std::string& path,
            files::Target target = files::Target::Unknown);

// The clipboard: the enhanced metafile and the SVG document of "Copy as Vectors", and the
// bitmap of "Copy as Bitmap" (one pixel per drawing unit). Each reloads the shapes.
std::vector<std::uint8_t> ClipboardMetafile(TDrawing& drawing, const ExportOptions& options);
SvgText ClipboardSvg(TDrawing& drawing, const ExportOptions& options);
gdi::Bitmap24 ClipboardBitmap(TDrawing& drawing, const ExportOptions& options);

}  // namespace plotwick
