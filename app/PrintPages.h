// Printing a database's drawings: the pages of the album (export/Album.h), drawn with a
// QPainter on a printer, at its resolution, through QPainterDevice. The print preview paints
// the same pages on its own printer.
#pragma once

#include <string>
#include <vector>

#include "export/Album.h"
#include "render/PageLayout.h"
#include "render/PathRender.h"

class QPrinter;

namespace plotwick {
class TDrawDB;
}

namespace plotwick::app {

// The page setup on the printer's paper as the printer has it turned, the sheet as given, the
// margins at least the album's and at least the printer's own.
PageSetup PrinterPageSetup(const QPrinter& printer, const SheetLayout& sheet);

// Pages from first to last, counted from 1; 0 for either end leaves that end open.
struct PageRange {
    int first = 0, last = 0;
    bool Contains(int page) const { return (first <= 0 || page >= first) && (last <= 0 || page <= last); }
};

// Prints the record files of db (in the order given) on the printer, the pages of the range
// only; a record that cannot be read or drawn is left out and reported. Raises when the printer
// cannot be painted on.
PagesReport PrintPages(QPrinter& printer, TDrawDB& db, const std::vector<std::string>& files,
                       const SheetLayout& sheet, const RenderOptions& options, const PageRange& range = {});

}  // namespace plotwick::app
