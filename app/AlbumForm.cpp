#include "app/AlbumForm.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

namespace plotwick::app {

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
    const auto spin = [this](const char* name) {
        auto* s = new QSpinBox(this);
        s->setObjectName(QString::fromLatin1(name));
        s->setRange(1, kLargestSheetSide);
        return s;
    };
    seColumns = spin("seColumns");
    seRows = spin("seRows");
    form->addRow(QStringLiteral("&Page size:"), cbPage);
    form->addRow(QStringLiteral("&Orientation:"), cbOrientation);
    form->addRow(QStringLiteral("Drawings &across:"), seColumns);
    form->addRow(QStringLiteral("Drawings &down:"), seRows);
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
    setup.sheet = {seColumns->value(), seRows->value()};
    return setup;
}

}  // namespace plotwick::app
