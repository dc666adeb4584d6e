// A database as pages: every drawing of its list fitted into a cell of a page with its name as
// caption, one drawing a page or a contact sheet of several. The album is the vector PDF of
// those pages; the window prints the same pages through its own canvas.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "render/PageLayout.h"
#include "render/PathRender.h"

namespace plotwick {

namespace gdi {
class DeviceContext;
}
class TDrawDB;
class TDrawing;

// What the pages are drawn on.
class PageCanvas {
public:
    virtual ~PageCanvas() = default;
    // Starts the next page; called before every page but the first.
    virtual void NewPage() = 0;
    // Draws the loaded, normalised shapes with one drawing unit = at.scale points, the
    // drawing's (0, 0) at (at.x, at.y), cut to the cell.
    virtual void DrawDrawing(const TDrawing& drawing, const DrawingPlacement& at, const PageRect& cell,
                             const RenderOptions& options) = 0;
    // Draws a caption in the caption face, black, centred on its baseline point.
    virtual void DrawCaption(const Caption& caption, double x, double y) = 0;
    // The drawing (its name in UTF-8) begins on this page (counted from 1).
    virtual void Bookmark(const std::string& name, int page) {}
};

// Draws a caption on a device whose logical units are unitsPerPoint to a point.
void DrawCaptionOn(gdi::DeviceContext& device, const Caption& caption, double x, double y, double unitsPerPoint);

// A record left out, with the error's own text.
struct PageProblem {
    std::string path;
    std::string message;
};

struct PagesReport {
    int drawings = 0;  // drawings placed
    int pages = 0;
    std::vector<PageProblem> problems;
    std::time_t newest = 0;  // the latest modification time of the records placed, 0 for none
};

// The record files of a database, in the order its drawing list shows them.
std::vector<std::string> DatabaseRecordFiles(const TDrawDB& db);

// Called after each record with the number done and the total.
using PageProgress = std::function<void(std::size_t done, std::size_t total)>;

// Loads each record in turn and lays it out on the canvas; a record that cannot be read or
// drawn is reported and left out, and the rest goes on.
PagesReport DrawPages(TDrawDB& db, const std::vector<std::string>& files, const PageSetup& setup,
                      const RenderOptions& options, PageCanvas& canvas, const PageProgress& progress = {});

// The album of a database: the pages above on a Cairo PDF surface, with a bookmark per
// drawing, the database's name as title, and the newest record's date as its dates, so the
// same records give the same bytes.
struct AlbumResult {
    std::vector<std::uint8_t> bytes;
    PagesReport report;
};
// The bytes are empty when no drawing could be placed: there is nothing to write.
AlbumResult BuildAlbum(TDrawDB& db, const PageSetup& setup, const RenderOptions& options,
                       const PageProgress& progress = {});
// BuildAlbum, written to a file completely or not at all (OutputError when writing fails);
// nothing is written when no drawing could be placed.
PagesReport WriteAlbum(TDrawDB& db, const PageSetup& setup, const RenderOptions& options, const std::string& path,
                       const PageProgress& progress = {});

}  // namespace plotwick
