// "Export Database as PDF": the page size, the orientation and the sheet layout of the album.
#pragma once

#include <QDialog>

#include "render/PageLayout.h"

class QComboBox;
class QSpinBox;

namespace plotwick::app {

class TAlbumForm : public QDialog {
    Q_OBJECT
public:
    explicit TAlbumForm(QWidget* parent = nullptr);

    // The choices as the album writer takes them.
    PageSetup Setup() const;

    QComboBox* cbPage;         // "A4", "Letter"
    QComboBox* cbOrientation;  // "Portrait", "Landscape"
    QSpinBox* seColumns;       // drawings across a page
    QSpinBox* seRows;          // drawings down a page
};

}  // namespace plotwick::app
