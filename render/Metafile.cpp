#include "render/Metafile.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <exception>
#include <stdexcept>

#include "model/Drawing.h"
#include "model/Rounding.h"
#include "platform/files/Files.h"
#include "platform/gdi/CairoDevice.h"
#include "platform/gdi/WmfConverter.h"
#include "render/PathRender.h"

namespace plotwick {

namespace {

constexpr int MM_ANISOTROPIC = 8;

// a * b / c rounded to the nearest integer, halves away from zero, from a 64-bit product.
std::int64_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c)
{
    const long double q = static_cast<long double>(a) * b / c;
    return static_cast<std::int64_t>(q < 0 ? q - 0.5L : q + 0.5L);
}

std::int32_t ClampToInt32(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

struct MetafileModeOn {
    MetafileModeOn() { MetafileMode = true; }
};

bool EndsWithWmf(const std::string& name)
{
    return name.size() >= 4 && files::NamesEqual(std::string_view(name).substr(name.size() - 4), ".wmf");
}

}  // namespace

MetafileLayout ComputeMetafileLayout(std::int64_t boundsWidth, std::int64_t boundsHeight)
{
    // Drawings are far smaller than this; the limit keeps every extent inside 32 bits.
    constexpr std::int64_t kLargest = 20000000;
    MetafileLayout l;
    l.width = std::clamp<std::int64_t>(boundsWidth, 1, kLargest);
    l.height = std::clamp<std::int64_t>(boundsHeight, 1, kLargest);
    const gdi::ReferenceDevice& dev = kReferenceScreen;
    l.frame = {0, 0,
               ClampToInt32(MulDiv((l.width + 2) * dev.widthMillimetres, 100, dev.widthPixels)),
               ClampToInt32(MulDiv((l.height + 2) * dev.heightMillimetres, 100, dev.heightPixels))};
    l.windowExtX = ClampToInt32(100 * l.width);
    l.windowExtY = ClampToInt32(100 * l.height);
    l.viewportExtX = RoundEven(static_cast<long double>(100 * l.width) / MetafileScale);
    l.viewportExtY = RoundEven(static_cast<long double>(100 * l.height) / MetafileScale);
    return l;
}

std::vector<std::uint8_t> CreateMetafile(TDrawing& drawing)
{
    const IntRect r = drawing.GetBounds();
    const MetafileLayout l = ComputeMetafileLayout(r.Width(), r.Height());
    gdi::EmfRecorder recorder(l.frame, kReferenceScreen);
    recorder.SetMapMode(MM_ANISOTROPIC);
    recorder.SetWindowExtEx(l.windowExtX, l.windowExtY);
    recorder.SetViewportExtEx(l.viewportExtX, l.viewportExtY);
    const MetafileModeOn mode;
    recorder.SelectSolidBrush(0x00FFFFFF);
    drawing.Transform(Matrix3::Translation(1, 1));
    for (const auto& shape : drawing.FShapes)
        if (shape)
            shape->Draw(recorder, {1, 1}, 1.0f);
    return recorder.Finish();
}

void SaveEmf(TDrawing& drawing, const std::string& fileName)
{
    std::vector<std::uint8_t> bytes = CreateMetafile(drawing);
    if (EndsWithWmf(fileName))
        bytes = gdi::ConvertEmfToPlaceableWmf(bytes);
    files::WriteFileAtomically(fileName, bytes.data(), bytes.size());
}

void SaveWmf(TDrawing& drawing, const std::string& fileName) { SaveEmf(drawing, fileName); }

std::vector<std::uint8_t> CopyAsVectors(TDrawing& drawing)
{
    drawing.LoadShapes(true);
    return CreateMetafile(drawing);
}

namespace {

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::vector<std::uint8_t> CreatePdf(TDrawing& drawing)
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
        const MetafileModeOn mode;
        try {
            for (const auto& shape : drawing.FShapes)
                if (shape)
                    shape->Draw(device, {0, 0}, 1.0f);
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
