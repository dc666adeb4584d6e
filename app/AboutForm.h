// The About box: the program's picture, shown as a splash at start-up and by "&About".
#pragma once

#include <QDialog>
#include <QLabel>

class QPushButton;
class QTimer;

namespace plotwick::app {

// A picture that reports clicks.
class TClickImage : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// The program's version, as plotwick --version and plotwick-cli --version give it.
QString ProgramVersion();

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* owner);

    // Shown without being modal, above other windows, with the Close button hidden; it
    // closes itself after 4000 ms or when the picture is clicked.
    void ShowSplash();
    // Turns the splash back into the ordinary box: timer stopped, Close button visible, no
    // longer kept above other windows. Hides it when it was showing.
    void EndSplash();
    bool IsSplash() const { return splash_; }

    TClickImage* Image1;
    QLabel* VersionLabel;  // "Version " and the program's version, on the picture
    QPushButton* Button1;
    QTimer* timer;

    static constexpr int kSplashMilliseconds = 4000;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The timer fired or the picture was clicked.
    void timerTimer();

    bool splash_ = false;
};

}  // namespace plotwick::app
