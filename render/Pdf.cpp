#include "render/Pdf.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <exception>
#include <stdexcept>

#include "model/Drawing.h"
#include "platform/device/CairoDevice.h"
#include "render/Metafile.h"
#include "render/PathRender.h"

namespace plotwick {

namespace {

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

void DrawVectorShapes(const TDrawing& drawing, gdi::DeviceContext& device, const RenderOptions& options)
{
    const RenderContext context = RenderContext::Metafile(options);
    for (const auto& shape : drawing.FShapes)
        if (shape)
            Draw(*shape, device, context, {0, 0}, 1.0f);
}

std::vector<std::uint8_t> CreatePdf(TDrawing& drawing, const RenderOptions& options)
{
    const IntRect r = drawing.GetBounds();
    // The page stays inside the range of Cairo's fixed-point coordinates, where the device's
    // clipping of far-reaching paths to the page keeps every coordinate Cairo sees: a larger
    // page let a path reaching far out wrap around, and Cairo's PDF output then took gigabytes.
    // Larger drawings are cut at the page's edges.
    const MetafileLayout l = ComputeMetafileLayout(std::min(r.Width(), kLargestPdfPageUnits),
                                                   std::min(r.Height(), kLargestPdfPageUnits));
    constexpr double kPointsPerUnit = 72.0 / 96.0;
    std::vector<std::uint8_t> bytes;
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(
        AppendBytes, &bytes, static_cast<double>(l.width) * kPointsPerUnit, static_cast<double>(l.height) * kPointsPerUnit);
    // The page is dated with the record's own modification time, so that the same record always
    // gives the same file.
    struct stat st;
    if (::stat(drawing.FilePath().c_str(), &st) == 0) {
        char date[32];
        std::tm utc{};
        if (::gmtime_r(&st.st_mtime, &utc) && std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", &utc)) {
            cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATE_DATE, date);
            cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_MOD_DATE, date);
        }
    }
    cairo_t* cr = cairo_create(surface);
    std::exception_ptr error;
    {
        cairo_scale(cr, kPointsPerUnit, kPointsPerUnit);
        // The metafile's fine logical units keep sub-unit precision in the page as well.
        gdi::CairoDevice device(cr, MetafileScale, gdi::CairoDevice::Target::Vector);
        try {
            DrawVectorShapes(drawing, device, options);
        } catch (...) {
            error = std::current_exception();
        }
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const cairo_status_t status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (error)
        std::rethrow_exception(error);
    if (status != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error(std::string("PDF error: ") + cairo_status_to_string(status));
    return bytes;
}

}  // namespace plotwick
