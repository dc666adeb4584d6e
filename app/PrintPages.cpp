#include "app/PrintPages.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <stdexcept>

#include "app/QPainterDevice.h"
#include "render/Pdf.h"

namespace plotwick::app {

namespace {

// Captions are drawn in hundredths of a point.
constexpr double kCaptionUnits = 100;

// Draws on a painter whose units are points from the paper's top-left corner; the pages
// outside the range asked for are laid out but not printed.
class PrinterCanvas : public PageCanvas {
public:
    PrinterCanvas(QPrinter& printer, QPainter& painter, const PageRange& range)
        : printer_(printer), painter_(painter), range_(range)
    {
    }

    void NewPage() override
    {
        ++page_;
        if (Printed() && started_)
            printer_.newPage();
    }

    void DrawDrawing(const TDrawing& drawing, const DrawingPlacement& at, const PageRect& cell,
                     const RenderOptions& options) override
    {
        if (!Printed())
            return;
        started_ = true;
        painter_.save();
        painter_.setClipRect(QRectF(cell.x, cell.y, cell.width, cell.height));
        painter_.translate(at.x, at.y);
        painter_.scale(at.scale, at.scale);
        try {
            QPainterDevice device(painter_, MetafileScale);
            DrawVectorShapes(drawing, device, options);
        } catch (...) {
            painter_.restore();
            throw;
        }
        painter_.restore();
    }

    void DrawCaption(const Caption& caption, double x, double y) override
    {
        if (!Printed())
            return;
        QPainterDevice device(painter_, kCaptionUnits);
        DrawCaptionOn(device, caption, x, y, kCaptionUnits);
    }

private:
    bool Printed() const { return range_.Contains(page_); }

    QPrinter& printer_;
    QPainter& painter_;
    PageRange range_;
    int page_ = 1;
    bool started_ = false;  // a page has been printed on
};

}  // namespace

PageSetup PrinterPageSetup(const QPrinter& printer, const SheetLayout& sheet)
{
    const QPageLayout layout = printer.pageLayout();
    const QRectF paper = layout.fullRect(QPageLayout::Point);
    const QMarginsF margins = layout.margins(QPageLayout::Point);
    PageSetup setup;
    setup.paper = {paper.width(), paper.height()};
    setup.landscape = paper.width() > paper.height();
    setup.sheet = sheet;
    setup.margin = std::max({setup.margin, margins.left(), margins.top(), margins.right(), margins.bottom()});
    return setup;
}

PagesReport PrintPages(QPrinter& printer, TDrawDB& db, const std::vector<std::string>& files,
                       const SheetLayout& sheet, const RenderOptions& options, const PageRange& range)
{
    const PageSetup setup = PrinterPageSetup(printer, sheet);
    // The painter's units are points from the paper's corner, whatever the printer's margins.
    printer.setFullPage(true);
    QPainter painter;
    if (!painter.begin(&printer))
        throw std::runtime_error("The printer cannot be printed on.");
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double dotsPerPoint = printer.resolution() / 72.0;
    painter.scale(dotsPerPoint, dotsPerPoint);
    PrinterCanvas canvas(printer, painter, range);
    PagesReport report = DrawPages(db, files, setup, options, canvas);
    painter.end();
    return report;
}

}  // namespace plotwick::app
