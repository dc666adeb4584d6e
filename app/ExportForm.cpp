#include "app/ExportForm.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>

namespace plotwick::app {

namespace {

// The buttons keep their distance to the right edge when the JPEG group comes or goes.
constexpr int kButtonTop = 176;
constexpr int kButton1FromRight = TExportForm::kDesignedWidth - 246;
constexpr int kButton2FromRight = TExportForm::kDesignedWidth - 326;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

constexpr QRect kJpegGroup(176, 8, 225, 161);

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, QRect geometry)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, QRect geometry)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(geometry);
    return edit;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const char* text, QRect geometry)
{
    auto* box = new QCheckBox(QString::fromLatin1(text), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    return box;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, const char* title, QRect geometry)
{
    auto* group = new QGroupBox(QString::fromLatin1(title), parent);
    group->setObjectName(QString::fromLatin1(name));
    group->setGeometry(geometry);
    return group;
}

}  // namespace

TExportForm::TExportForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("ExportForm"));
    setWindowTitle(QStringLiteral("Export drawing"));
    setFixedSize(kDesignedWidth, kDesignedHeight);
    // The layout is fixed, as designed for an 8-point face; a larger desktop font would not fit
    // the groups, so the dialog keeps the desktop's face at 8 points at most.
    QFont face = font();
    if (face.pointSizeF() > kDesignedPointSize)
        face.setPointSizeF(kDesignedPointSize);
    setFont(face);

    // Created in the order the focus moves through them.
    GroupBox1 = MakeGroup(this, "GroupBox1", "Image scale", QRect(8, 8, 161, 57));
    Label1 = MakeLabel(GroupBox1, "Label1", "Scale:", QRect(12, 27, 48, 17));
    eScale = MakeEdit(GroupBox1, "eScale", QRect(64, 24, 49, 22));
    Label2 = MakeLabel(GroupBox1, "Label2", "%", QRect(118, 27, 20, 17));

    GroupBox2 = MakeGroup(this, "GroupBox2", "Pixel Dimensions", QRect(8, 72, 161, 97));
    Label4 = MakeLabel(GroupBox2, "Label4", "Width:", QRect(12, 25, 48, 17));
    eWidth = MakeEdit(GroupBox2, "eWidth", QRect(64, 22, 65, 22));
    Label3 = MakeLabel(GroupBox2, "Label3", "px", QRect(134, 25, 20, 17));
    Label5 = MakeLabel(GroupBox2, "Label5", "Height:", QRect(12, 51, 48, 17));
    eHeight = MakeEdit(GroupBox2, "eHeight", QRect(64, 48, 65, 22));
    Label6 = MakeLabel(GroupBox2, "Label6", "px", QRect(134, 51, 20, 17));
    chbProps = MakeCheckBox(GroupBox2, "chbProps", "Constrain &Proportions", QRect(10, 74, 148, 19));
    chbProps->setChecked(true);

    grJpeg = MakeGroup(this, "grJpeg", "JPEG ", kJpegGroup);
    Label7 = MakeLabel(grJpeg, "Label7", "Compression Quality", QRect(10, 22, 205, 17));
    tbQuality = new QSlider(Qt::Horizontal, grJpeg);
    tbQuality->setObjectName(QStringLiteral("tbQuality"));
    tbQuality->setGeometry(8, 40, 209, 28);
    tbQuality->setRange(1, 100);
    tbQuality->setValue(75);
    tbQuality->setTickInterval(20);
    tbQuality->setTickPosition(QSlider::TicksBelow);
    Label8 = MakeLabel(grJpeg, "Label8", "Low", QRect(10, 68, 80, 17));
    Label9 = MakeLabel(grJpeg, "Label9", "Maximum", QRect(115, 68, 100, 17));
    Label9->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    chbProgressive = MakeCheckBox(grJpeg, "chbProgressive", "Progressive", QRect(10, 92, 205, 19));
    chbSmoothing = MakeCheckBox(grJpeg, "chbSmoothing", "Smoothing", QRect(10, 113, 205, 19));
    chbGrayscale = MakeCheckBox(grJpeg, "chbGrayscale", "Grayscale", QRect(10, 134, 205, 19));

    // Shown for SVG only, in place of the two size groups.
    grSvg = MakeGroup(this, "grSvg", "SVG ", QRect(8, 8, 161, 57));
    chbTextOutlines = MakeCheckBox(grSvg, "chbTextOutlines", "Text as outlines", QRect(10, 26, 145, 19));
    chbTextOutlines->setChecked(true);
    grSvg->setVisible(false);

    Button1 = new QPushButton(QStringLiteral("&Ok"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("&Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAutoDefault(false);

    // Each label's buddy, so that clicking or its mnemonic would reach the field.
    Label1->setBuddy(eScale);
    Label4->setBuddy(eWidth);
    Label5->setBuddy(eHeight);

    for (QLineEdit* field : {eScale, eWidth, eHeight})
        field->installEventFilter(this);
    connect(chbProps, &QCheckBox::clicked, this, &TExportForm::chbPropsClick);
    connect(Button1, &QPushButton::clicked, this, &TExportForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TExportForm::Button2Click);
    PlaceButtons();
}

JpegOptions TExportForm::JpegSettings() const
{
    JpegOptions options;
    options.quality = tbQuality->value();
    options.grayscale = chbGrayscale->isChecked();
    options.progressive = chbProgressive->isChecked();
    options.smoothing = chbSmoothing->isChecked();
    return options;
}

void TExportForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    FormShow();
    // Centred on the screen.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

void TExportForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    PlaceButtons();
}

void TExportForm::PlaceButtons()
{
    Button1->setGeometry(width() - kButton1FromRight, kButtonTop, kButtonWidth, kButtonHeight);
    Button2->setGeometry(width() - kButton2FromRight, kButtonTop, kButtonWidth, kButtonHeight);
}

void TExportForm::FormShow()
{
    size_.SetConstrain(chbProps->isChecked());
    size_.Show(FSourceWidth, FSourceHeight);
    ShowTexts(true, size_);
}

void TExportForm::SizeFromScale()
{
    const ExportSize before = size_;
    size_.SizeFromScale();
    ShowTexts(false, before);
}

void TExportForm::ScaleFromSize()
{
    const ExportSize before = size_;
    size_.ScaleFromSize();
    ShowTexts(false, before);
}

void TExportForm::ShowTexts(bool all, const ExportSize& before)
{
    if (all || size_.scaleText != before.scaleText)
        eScale->setText(QString::fromStdString(size_.scaleText));
    if (all || size_.widthText != before.widthText)
        eWidth->setText(QString::fromStdString(size_.widthText));
    if (all || size_.heightText != before.heightText)
        eHeight->setText(QString::fromStdString(size_.heightText));
}

void TExportForm::CommitField(QLineEdit* field)
{
    // Field texts are digits, signs and letters; anything outside ASCII fails to parse as it
    // should, whatever bytes it becomes.
    const std::string text = field->text().toStdString();
    if (field == eScale)
        size_.scaleText = text;
    else if (field == eWidth)
        size_.widthText = text;
    else
        size_.heightText = text;
    const ExportSize before = size_;
    if (field == eScale)
        size_.ScaleExit();
    else if (field == eWidth)
        size_.WidthExit();
    else
        size_.HeightExit();
    ShowTexts(false, before);
}

void TExportForm::ExitField(QObject* widget)
{
    if (widget == eScale || widget == eWidth || widget == eHeight)
        CommitField(static_cast<QLineEdit*>(widget));
}

bool TExportForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        // Switching to another window or opening the field's context menu does not leave it.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            ExitField(watched);
    }
    return QDialog::eventFilter(watched, event);
}

void TExportForm::chbPropsClick()
{
    size_.SetConstrain(chbProps->isChecked());
    eScale->setEnabled(size_.ScaleEnabled());
}

void TExportForm::Button1Click()
{
    // Enter in a field presses "Ok" while the field still has the focus: what it shows is
    // committed first, as leaving it would.
    ExitField(focusWidget());
    accept();
}

void TExportForm::Button2Click() { reject(); }

void TExportForm::ShowJpegOptions(bool show)
{
    grJpeg->setVisible(show);
    grJpeg->setEnabled(show);
    const int outer = show ? kJpegGroup.left() + kJpegGroup.width() + 10 : kJpegGroup.left() + 5;
    setFixedSize(outer - 2 * kDesignedFrame, height());
    PlaceButtons();  // a hidden dialog gets its resize event only when shown
}

void TExportForm::ShowSvgOptions()
{
    ShowJpegOptions(false);
    GroupBox1->setVisible(false);
    GroupBox2->setVisible(false);
    grSvg->setVisible(true);
    chbTextOutlines->setFocus();
}

bool TExportForm::TextOutlines() const { return chbTextOutlines->isChecked(); }

void TExportForm::SetTextOutlines(bool outlines) { chbTextOutlines->setChecked(outlines); }

}  // namespace plotwick::app
