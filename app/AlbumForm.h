// "Export Database as PDF": the page size, the orientation and the sheet layout of the album;
// and the sheet layout alone, as the print dialog shows it on a tab of its own.
#pragma once

#include <QDialog>
#include <QWidget>

#include "render/PageLayout.h"

class QComboBox;
class QSpinBox;

namespace plotwick::app {

// Drawings across and down a page.
class TSheetBox : public QWidget {
    Q_OBJECT
public:
    explicit TSheetBox(const SheetLayout& sheet, QWidget* parent = nullptr);
    SheetLayout Sheet() const;

    QSpinBox* seColumns;  // drawings across a page
    QSpinBox* seRows;     // drawings down a page
};

class TAlbumForm : public QDialog {
    Q_OBJECT
public:
    explicit TAlbumForm(QWidget* parent = nullptr);

    // The choices as the album writer takes them.
    PageSetup Setup() const;

    QComboBox* cbPage;         // "A4", "Letter"
    QComboBox* cbOrientation;  // "Portrait", "Landscape"
    TSheetBox* sheetBox;
};

}  // namespace plotwick::app
