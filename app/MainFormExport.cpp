// The export and copy commands of the main window. They act on the drawing of the selected
// list item (SelectedDrawing()), load its shapes afresh, and do nothing without one.
//
// They are run through RunCommand, so they never start while a drawing's texts are being
// laid out; anything else that loads shapes must hold a BusyScope for as long as it does.
#include "app/MainForm.h"

namespace plotwick::app {

// Not written yet: the export settings dialog and the writers' hook-up come with them.
void TMainForm::Export1Click() {}

void TMainForm::Copyasvectors1Click() {}

void TMainForm::CopyasBitmap1Click() {}

}  // namespace plotwick::app
