// The export settings dialog: for the raster formats scale, pixel width and pixel height kept
// consistent as each field is left, and the JPEG options; for SVG whether texts are written
// as outlines.
#pragma once

#include <cstdint>

#include <QDialog>

#include "render/ExportSize.h"
#include "platform/codec/JpegWriter.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace plotwick::app {

class TExportForm : public QDialog {
    Q_OBJECT
public:
    explicit TExportForm(QWidget* parent = nullptr);

    // The drawing's width and height at 100 %, set before the dialog is shown. A zero or
    // negative extent counts as one pixel (see ExportSize).
    std::int32_t FSourceWidth = 0;
    std::int32_t FSourceHeight = 0;

    // Runs when the dialog is shown: scale 100, width and height those of the source.
    void FormShow();
    void SizeFromScale();
    void ScaleFromSize();
    // Shows or hides the JPEG group; the dialog narrows to the two size groups without it.
    void ShowJpegOptions(bool show);
    // Shows only the SVG group in place of the size and JPEG groups.
    void ShowSvgOptions();
    bool TextOutlines() const;
    void SetTextOutlines(bool outlines);

    // The committed values: what the arithmetic uses and what the caller reads after OK.
    std::int32_t CommittedScale() const { return size_.Scale(); }
    std::int32_t CommittedWidth() const { return size_.Width(); }
    std::int32_t CommittedHeight() const { return size_.Height(); }
    // The JPEG settings as the encoder takes them.
    JpegOptions JpegSettings() const;

    // The width including the frame the dialog was designed with (3 pixels a side).
    int OuterWidth() const { return width() + 2 * kDesignedFrame; }

    static constexpr int kDesignedWidth = 405;
    static constexpr int kDesignedHeight = 207;
    static constexpr int kDesignedFrame = 3;
    static constexpr qreal kDesignedPointSize = 8;

    // Components, named as designed.
    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLineEdit* eScale;
    QLabel* Label2;
    QGroupBox* GroupBox2;
    QLabel* Label4;
    QLineEdit* eWidth;
    QLabel* Label3;
    QLabel* Label5;
    QLineEdit* eHeight;
    QLabel* Label6;
    QCheckBox* chbProps;
    QGroupBox* grJpeg;
    QLabel* Label7;
    QSlider* tbQuality;
    QLabel* Label8;
    QLabel* Label9;
    QCheckBox* chbProgressive;
    QCheckBox* chbSmoothing;
    QCheckBox* chbGrayscale;
    QGroupBox* grSvg;
    QCheckBox* chbTextOutlines;
    QPushButton* Button1;
    QPushButton* Button2;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // A field (the scale, width or height) loses the input focus; nothing for other widgets.
    void ExitField(QObject* widget);
    void chbPropsClick();
    void Button1Click();
    void Button2Click();

    // Copies the left field's text into the arithmetic, runs its exit rule and shows the texts
    // the rule rewrote; the field that was left keeps what the user typed.
    void CommitField(QLineEdit* field);
    void ShowTexts(bool all, const ExportSize& before);
    // "&Ok" and "&Cancel" keep their distance to the right edge.
    void PlaceButtons();

    ExportSize size_;
};

}  // namespace plotwick::app
