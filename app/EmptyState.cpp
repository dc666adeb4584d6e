#include "app/EmptyState.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace plotwick::app {

namespace {

QLabel* TextLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);  // folder names are shown as they are
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

TEmptyState::TEmptyState(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("emptyState"));
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);

    headline_ = TextLabel({}, this);
    headline_->setObjectName(QStringLiteral("lbHeadline"));
    QFont bold = headline_->font();
    bold.setBold(true);
    headline_->setFont(bold);
    explanation_ = TextLabel(
        QStringLiteral("A HotSync user folder is a folder with QNDraw/DDRW inside, as the HotSync software "
                       "kept it for each user on a Windows desktop. Copy it to this computer, then open it "
                       "here or drop it onto this window. A folder that holds several user folders, or one "
                       "database folder, opens the same way."),
        this);
    explanation_->setObjectName(QStringLiteral("lbExplanation"));
    butOpenFolder = new QPushButton(QStringLiteral("Open Folder\u2026"), this);
    butOpenFolder->setObjectName(QStringLiteral("butOpenFolder"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(12);
    layout->addStretch(1);
    layout->addWidget(headline_);
    layout->addWidget(explanation_);
    layout->addWidget(butOpenFolder, 0, Qt::AlignHCenter);
    layout->addStretch(2);
}

void TEmptyState::setHeadline(const QString& headline) { headline_->setText(headline); }

QString TEmptyState::headline() const { return headline_->text(); }

QString TEmptyState::explanation() const { return explanation_->text(); }

}  // namespace plotwick::app
