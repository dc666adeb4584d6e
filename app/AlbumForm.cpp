#include "app/AlbumForm.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

namespace plotwick::app {

TSheetBox::TSheetBox(const SheetLayout& sheet, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("sheetBox"));
    setWindowTitle(QStringLiteral("Drawings per page"));
    auto* form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    const auto spin = [this](const char* name, int value) {
        auto* s = new QSpinBox(this);
        s->setObjectName(QString::fromLatin1(name));
        s->setRange(1, kLargestSheetSide);
        s->setValue(value);
        return s;
    };
    seColumns = spin("seColumns", sheet.columns);
    seRows = spin("seRows", sheet.rows);
    form->addRow(QStringLiteral("Drawings &across:"), seColumns);
    form->addRow(QStringLiteral("Drawings &down:"), seRows);
}

SheetLayout TSheetBox::Sheet() const { return {seColumns->value(), seRows->value()}; }

TAlbumForm::TAlbumForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AlbumForm"));
    setWindowTitle(QStringLiteral("Export Database as PDF"));
    auto* form = new QFormLayout(this);
    cbPage = new QComboBox(this);
    cbPage->setObjectName(QStringLiteral("cbPage"));
    cbPage->addItems({QStringLiteral("A4"), QStringLiteral("Letter")});
    cbOrientation = new QComboBox(this);
    cbOrientation->setObjectName(QStringLiteral("cbOrientation"));
    cbOrientation->addItems({QStringLiteral("Portrait"), QStringLiteral("Landscape")});
    sheetBox = new TSheetBox({}, this);
    form->addRow(QStringLiteral("&Page size:"), cbPage);
    form->addRow(QStringLiteral("&Orientation:"), cbOrientation);
    form->addRow(sheetBox);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

PageSetup TAlbumForm::Setup() const
{
    PageSetup setup;
    setup.paper = cbPage->currentIndex() == 1 ? kPageLetter : kPageA4;
    setup.landscape = cbOrientation->currentIndex() == 1;
    setup.sheet = sheetBox->Sheet();
    return setup;
}

}  // namespace plotwick::app
