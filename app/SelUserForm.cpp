#include "app/SelUserForm.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace plotwick::app {

TselUserForm::TselUserForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      cbUsers(new QComboBox(this)), butOk(new QPushButton(QStringLiteral("Ok"), this))
{
    setObjectName(QStringLiteral("selUserForm"));
    setWindowTitle(QStringLiteral("Select user"));
    cbUsers->setObjectName(QStringLiteral("cbUsers"));
    cbUsers->setEditable(false);
    cbUsers->setFixedWidth(217);
    butOk->setObjectName(QStringLiteral("butOk"));
    butOk->setDefault(true);
    butOk->setFixedWidth(75);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(12);
    layout->addWidget(cbUsers);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(butOk);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(butOk, &QPushButton::clicked, this, &TselUserForm::butOkClick);
}

bool TselUserForm::Empty() const { return FUserIDs.Empty() || !FUserData || cbUsers->count() == 0; }

void TselUserForm::FormShow()
{
    cbUsers->clear();
    currentListed_ = false;
    if (!FUserIDs.Empty() && FUserData) {
        for (std::int32_t i = FUserIDs.LowerBound(); i <= FUserIDs.UpperBound(); ++i) {
            const std::int32_t id = FUserIDs.At(i);
            cbUsers->addItem(QString::fromStdString(FUserData->QueryUserName(id)));
            if (id == FUserID) {
                cbUsers->setCurrentIndex(cbUsers->count() - 1);
                currentListed_ = true;
            }
        }
    }
    if (!currentListed_ && cbUsers->count() > 0)
        cbUsers->setCurrentIndex(0);
    butOk->setFocus();
    // Centred on the screen.
    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

void TselUserForm::butOkClick()
{
    if (Empty()) {
        // Nothing to choose: Ok closes the dialog.
        QDialog::reject();
        return;
    }
    result_ = FUserIDs.At(FUserIDs.LowerBound() + cbUsers->currentIndex());
    accept();
}

void TselUserForm::reject()
{
    if (Empty() || currentListed_)
        QDialog::reject();
}

}  // namespace plotwick::app
