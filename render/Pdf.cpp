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
    return WritePdf(static_cast<double>(l.width) * kPointsPerUnit, static_cast<double>(l.height) * kPointsPerUnit,
                    [&](cairo_surface_t* surface, cairo_t* cr) {
                        // Dated with the record's own modification time.
                        struct stat st;
                        if (::stat(drawing.FilePath().c_str(), &st) == 0)
                            SetPdfDates(surface, st.st_mtime);
                        cairo_scale(cr, kPointsPerUnit, kPointsPerUnit);
                        // The metafile's fine logical units keep sub-unit precision in the page.
                        gdi::CairoDevice device(cr, MetafileScale, gdi::CairoDevice::Target::Vector);
                        DrawVectorShapes(drawing, device, options);
                    });
}

std::vector<std::uint8_t> WritePdf(double width, double height, const PdfDrawing& draw)
{
    std::vector<std::uint8_t> bytes;
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(AppendBytes, &bytes, width, height);
    cairo_t* cr = cairo_create(surface);
    std::exception_ptr error;
    try {
        draw(surface, cr);
    } catch (...) {
        error = std::current_exception();
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

void SetPdfDates(cairo_surface_t* surface, std::time_t time)
{
    char date[32];
    std::tm utc{};
    if (!::gmtime_r(&time, &utc) || !std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", &utc))
        return;
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATE_DATE, date);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_MOD_DATE, date);
}

}  // namespace plotwick
