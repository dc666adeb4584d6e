#include "export/Album.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <sys/stat.h>

#include <cmath>
#include <exception>
#include <new>
#include <stdexcept>

#include "export/Export.h"
#include "model/DrawDB.h"
#include "model/Drawing.h"
#include "platform/device/CairoDevice.h"
#include "platform/files/Files.h"
#include "platform/fonts/Codepage.h"
#include "render/Pdf.h"

namespace plotwick {

namespace {

// Captions are drawn in hundredths of a point.
constexpr double kCaptionUnits = 100;

class PdfCanvas : public PageCanvas {
public:
    PdfCanvas(cairo_surface_t* surface, cairo_t* cr) : surface_(surface), cr_(cr) {}

    void NewPage() override { cairo_show_page(cr_); }

    void DrawDrawing(const TDrawing& drawing, const DrawingPlacement& at, const PageRect& cell,
                     const RenderOptions& options) override
    {
        cairo_save(cr_);
        cairo_rectangle(cr_, cell.x, cell.y, cell.width, cell.height);
        cairo_clip(cr_);
        cairo_translate(cr_, at.x, at.y);
        cairo_scale(cr_, at.scale, at.scale);
        std::exception_ptr error;
        try {
            gdi::CairoDevice device(cr_, MetafileScale, gdi::CairoDevice::Target::Vector);
            DrawVectorShapes(drawing, device, options);
        } catch (...) {
            error = std::current_exception();
        }
        cairo_restore(cr_);
        if (error)
            std::rethrow_exception(error);
    }

    void DrawCaption(const Caption& caption, double x, double y) override
    {
        gdi::CairoDevice device(cr_, kCaptionUnits, gdi::CairoDevice::Target::Vector);
        DrawCaptionOn(device, caption, x, y, kCaptionUnits);
    }

    void Bookmark(const std::string& name, int page) override
    {
        const std::string target = "page=" + std::to_string(page);
        cairo_pdf_surface_add_outline(surface_, CAIRO_PDF_OUTLINE_ROOT, name.c_str(), target.c_str(),
                                      static_cast<cairo_pdf_outline_flags_t>(0));
    }

private:
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

}  // namespace

void DrawCaptionOn(gdi::DeviceContext& device, const Caption& caption, double x, double y, double unitsPerPoint)
{
    if (caption.text.empty())
        return;
    gdi::LogFont font;
    font.height = static_cast<std::int32_t>(std::lround(caption.height * unitsPerPoint));
    font.faceName = kCaptionFace;
    device.SelectFont(font);
    device.SetTextColor(0);
    device.SetBkMode(gdi::BK_TRANSPARENT);
    device.SetTextAlign(gdi::CairoDevice::kAlignCenter | gdi::TA_BASELINE);
    device.ExtTextOut(static_cast<std::int32_t>(std::lround(x * unitsPerPoint)),
                      static_cast<std::int32_t>(std::lround(y * unitsPerPoint)), caption.text);
}

std::vector<std::string> DatabaseRecordFiles(const TDrawDB& db)
{
    std::vector<std::string> names;
    for (const auto& entry : files::Enumerate(db.FPath, "*.dat", files::Hidden::Include))
        names.push_back(entry.name);
    return names;
}

PagesReport DrawPages(TDrawDB& db, const std::vector<std::string>& files, const PageSetup& setup,
                      const RenderOptions& options, PageCanvas& canvas, const PageProgress& progress)
{
    PagesReport report;
    const int perPage = setup.sheet.PerPage();
    const gdi::TextMeasure measure = gdi::SystemTextMeasure();
    for (std::size_t i = 0; i < files.size(); ++i) {
        TDrawing drawing(&db, files[i]);
        try {
            drawing.LoadShapes(true);
            const IntRect r = drawing.GetBounds();
            const int slot = report.drawings % perPage;
            if (report.drawings > 0 && slot == 0)
                canvas.NewPage();
            const PageCell cell = CellOnPage(setup, slot);
            canvas.DrawDrawing(drawing, FitDrawing(r.Width(), r.Height(), cell.drawingArea), cell.cell, options);
            canvas.DrawCaption(FitCaption(drawing.FName, cell, measure), cell.captionX, cell.captionY);
            const std::string& name = drawing.FName.empty() ? files[i] : drawing.FName;
            canvas.Bookmark(codepage::Cp1252ToUtf8(name), report.drawings / perPage + 1);
            ++report.drawings;
            struct stat st;
            if (::stat(drawing.FilePath().c_str(), &st) == 0 && st.st_mtime > report.newest)
                report.newest = st.st_mtime;
        } catch (const std::bad_alloc&) {
            report.problems.push_back({drawing.FilePath(), "Not enough memory for this drawing."});
        } catch (const std::exception& e) {
            report.problems.push_back({drawing.FilePath(), e.what()});
        }
        if (progress)
            progress(i + 1, files.size());
    }
    report.pages = (report.drawings + perPage - 1) / perPage;
    return report;
}

AlbumResult BuildAlbum(TDrawDB& db, const PageSetup& setup, const RenderOptions& options, const PageProgress& progress)
{
    AlbumResult result;
    const PageSize page = OrientedPage(setup);
    std::vector<std::uint8_t> bytes = WritePdf(page.width, page.height, [&](cairo_surface_t* surface, cairo_t* cr) {
        cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, codepage::Cp1252ToUtf8(db.FName).c_str());
        PdfCanvas canvas(surface, cr);
        result.report = DrawPages(db, DatabaseRecordFiles(db), setup, options, canvas, progress);
        // Dated with the newest record, so that the same records always give the same file.
        if (result.report.newest)
            SetPdfDates(surface, result.report.newest);
    });
    if (result.report.drawings > 0)
        result.bytes = std::move(bytes);
    return result;
}

PagesReport WriteAlbum(TDrawDB& db, const PageSetup& setup, const RenderOptions& options, const std::string& path,
                       const PageProgress& progress)
{
    AlbumResult album = BuildAlbum(db, setup, options, progress);
    if (album.bytes.empty())
        return album.report;
    try {
        files::WriteFileAtomically(path, album.bytes.data(), album.bytes.size());
    } catch (const std::exception& e) {
        throw OutputError(e.what());
    }
    return album.report;
}

}  // namespace plotwick
