#include "app/AboutForm.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "app/Artwork.h"

#ifndef PLOTWICK_VERSION
#define PLOTWICK_VERSION "0"
#endif

namespace plotwick::app {

QString ProgramVersion()
{
    return QStringLiteral(PLOTWICK_VERSION);
}

void TClickImage::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked();
    QLabel::mousePressEvent(event);
}

TAboutForm::TAboutForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      Image1(new TClickImage(this)), VersionLabel(new QLabel(QStringLiteral("Version ") + ProgramVersion(), this)),
      Button1(new QPushButton(QStringLiteral("&Close"), this)), timer(new QTimer(this))
{
    setObjectName(QStringLiteral("aboutForm"));
    setWindowTitle(QStringLiteral("QN Plotwick"));
    setFixedSize(350, 292);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, 350, 293);
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap::fromImage(AboutPicture()));
    VersionLabel->setObjectName(QStringLiteral("VersionLabel"));
    VersionLabel->setGeometry(24, 166, 200, 18);
    VersionLabel->setStyleSheet(QStringLiteral("color: #8a9bb3; background: transparent; font-size: 12px;"));
    // A click on it is a click on the picture.
    VersionLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(256, 256, 75, 25);
    Button1->raise();
    timer->setObjectName(QStringLiteral("timer"));
    timer->setInterval(kSplashMilliseconds);
    timer->setSingleShot(false);
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
    connect(timer, &QTimer::timeout, this, &TAboutForm::timerTimer);
    connect(Image1, &TClickImage::clicked, this, &TAboutForm::timerTimer);
}

void TAboutForm::ShowSplash()
{
    splash_ = true;
    Button1->setVisible(false);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    timer->start();
    show();
}

void TAboutForm::EndSplash()
{
    timer->stop();
    Button1->setVisible(true);
    if (splash_) {
        splash_ = false;
        // Changing the flags takes the window down; it is shown again by whoever needs it.
        setWindowFlag(Qt::WindowStaysOnTopHint, false);
    }
}

void TAboutForm::timerTimer()
{
    EndSplash();
    close();
}

void TAboutForm::showEvent(QShowEvent* event)
{
    // Centred on the screen.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    QDialog::showEvent(event);
}

}  // namespace plotwick::app
