// The export of one drawing to a file, and its copies to the clipboard. The files are written
// by the same core functions plotwick-cli uses, so both write the same bytes.
#pragma once

#include <QString>

class QMimeData;
class QWidget;

#include "export/Export.h"
#include "render/PathRender.h"

namespace plotwick {
class TDrawing;
}

namespace plotwick::app {

enum class ExportOutcome {
    Written,      // the file was written
    Cancelled,    // the export settings dialog was cancelled: nothing written
    Unsupported,  // the extension names none of the seven formats: nothing loaded or written
};

// The extensions ExportToFile writes, as the user is told when a name has another one.
extern const char* const kExportExtensionsText;

// The extension of a file name, from its last "." after the last "/", ASCII letters lower-cased;
// empty when there is none.
QString ExportExtension(const QString& fileName);

// The export options of the window's current choices: the substitute face, and the stored
// choice of texts as outlines in SVG (on when none is stored).
ExportOptions WindowExportOptions(const RenderOptions& render);

// Writes the drawing in the format the extension names (.wmf, .emf, .bmp, .jpg, .svg, .png,
// .pdf) through
// the one export entry point. BMP and JPEG first ask for the pixel size (and the JPEG
// settings) in the export settings dialog, owned by parent; SVG asks there whether texts are
// written as outlines (starting from options.textOutlines) and stores the answer. Loading, rendering and writing
// errors are raised; an existing file of that name is then left as it was.
ExportOutcome ExportToFile(TDrawing& drawing, const QString& fileName, QWidget* parent,
                           const ExportOptions& options = {});

// What "Copy as Vectors" puts on the clipboard: the enhanced metafile as "image/x-emf" and the
// SVG export of the drawing as "image/svg+xml" (texts as outlines as options say). Reloads the
// shapes.
QMimeData* VectorClipboardData(TDrawing& drawing, const ExportOptions& options = {});
// Reloads the shapes normalised and puts one pixel per drawing unit on the clipboard.
void CopyAsBitmap(TDrawing& drawing, const ExportOptions& options = {});
// Reloads the shapes and puts VectorClipboardData on the clipboard.
void CopyAsVectorsToClipboard(TDrawing& drawing, const ExportOptions& options = {});

}  // namespace plotwick::app
