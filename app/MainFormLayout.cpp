// The main window's stored layout: placement, state and the two panel sizes.
#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>
#include <QTimer>

#include "app/AboutForm.h"
#include "app/MainForm.h"
#include "app/Panels.h"
#include "app/Settings.h"

namespace plotwick::app {

namespace {

// Sets the size of one side of a two-part splitter, the other side taking the rest.
void SetSplitterPart(QSplitter* splitter, int part, int size)
{
    const QList<int> sizes = splitter->sizes();
    if (sizes.size() != 2)
        return;
    const int total = sizes[0] + sizes[1];
    if (total <= 0)
        return;
    size = std::clamp(size, 0, total);
    if (part == 0)
        splitter->setSizes({size, total - size});
    else
        splitter->setSizes({total - size, size});
}

}  // namespace

void TMainForm::LoadSettings()
{
    FSettingsLoaded = true;
    const settings::Store store;
    if (!store.Readable()) {
        CentreWindow();
        FUserID = -1;
        return;
    }
    const auto userID = store.Read(settings::UserID);
    FUserID = userID && *userID > 0 ? *userID : -1;

    // A stored state decides whether any layout value is used. A state that is not a whole
    // number counts as absent; a number other than 1 or 2 is the normal state.
    const auto state = store.Read(settings::WinState);
    if (!state) {
        CentreWindow();
        return;
    }
    const QRect outer = frameGeometry();
    const int left = store.Read(settings::WinLeft).value_or(outer.x());
    const int top = store.Read(settings::WinTop).value_or(outer.y());
    const int width = store.Read(settings::WinWidth).value_or(outer.width());
    const int height = store.Read(settings::WinHeight).value_or(outer.height());
    move(left, top);
    ApplyOuterSize(width, height);
    BringOntoScreen();
    if (*state == 1)
        setWindowState(Qt::WindowMinimized);
    else if (*state == 2)
        setWindowState(Qt::WindowMaximized);
    else
        setWindowState(Qt::WindowNoState);
    if (const auto w = store.Read(settings::PanLeft))
        SetPanLeftWidth(*w);
    if (const auto h = store.Read(settings::PanPreview))
        SetPanPreviewHeight(*h);
}

void TMainForm::SaveSettings()
{
    // Start-up that ended before the settings were read has learnt nothing worth keeping.
    if (!FSettingsLoaded)
        return;
    settings::Store store;
    if (!store.Writable())
        return;
    if (FUserID > 0)
        store.Write(settings::UserID, FUserID);
    const int state = CurrentWinState();
    store.Write(settings::WinState, state);
    if (state == 0) {
        const QRect outer = frameGeometry();
        store.Write(settings::WinLeft, outer.x());
        store.Write(settings::WinTop, outer.y());
        store.Write(settings::WinWidth, outer.width());
        store.Write(settings::WinHeight, outer.height());
    }
    store.Write(settings::PanLeft, FEverShown ? panLeft->width() : FPanLeftWidth);
    store.Write(settings::PanPreview, FEverShown ? panPrevBox->height() : FPanPreviewHeight);
    store.Flush();
}

int TMainForm::CurrentWinState() const
{
    const Qt::WindowStates s = windowState();
    if (s & Qt::WindowMinimized)
        return 1;
    if (s & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return 2;
    return 0;
}

void TMainForm::CentreWindow()
{
    // The first start: the designed size, or 70 % of a larger screen, centred in the part of
    // the screen that windows may take (panels and docks left out), and never larger than it,
    // whatever the scale factor makes of the screen's size; the division truncates toward zero.
    // The left column and the preview then take a useful share of it.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, kDesignedWidth, kDesignedHeight);
    const int width = std::min(std::max(kDesignedWidth, area.width() * 7 / 10), area.width());
    const int height = std::min(std::max(kDesignedHeight, area.height() * 7 / 10), area.height());
    move(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2);
    ApplyOuterSize(width, height);
    SetPanLeftWidth(width * 2 / 5);
    SetPanPreviewHeight(height / 2);
}

void TMainForm::ApplyOuterSize(int width, int height)
{
    // Stored sizes are outer sizes, frame included. Where the frame is not known yet (it may
    // only come once the window is up), the size is taken as it is and corrected as soon as
    // the frame shows.
    const QSize frame = frameGeometry().size() - size();
    resize(width - frame.width(), height - frame.height());
    FWantedOuterSize = frame.isNull() && !FEverShown ? QSize(width, height) : QSize();
}

void TMainForm::FixOuterSize()
{
    if (!FWantedOuterSize.isValid() || !FShownTimer.isValid())
        return;
    // A window that starts maximised or minimised gets its frame once it is first restored.
    if (windowState() != Qt::WindowNoState)
        return;
    // Only right after the window shows or is restored: later changes are the user's.
    if (FShownTimer.elapsed() > 3000) {
        FWantedOuterSize = QSize();
        return;
    }
    const QSize frame = frameGeometry().size() - size();
    if (frame.isNull())
        return;
    const QSize wanted = FWantedOuterSize;
    FWantedOuterSize = QSize();
    resize(wanted - frame);
}

void TMainForm::BringOntoScreen()
{
    // A placement stored on a screen that is no longer there (or values edited by hand) would
    // open the window where nobody can reach it: then it comes back centred on the main
    // screen, no larger than that screen.
    const QRect outer(pos(), QSize(std::max(1, width()), std::max(1, height())));
    const int needW = std::min(outer.width(), 100);
    const int needH = std::min(outer.height(), 50);
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect common = outer.intersected(screen->availableGeometry());
        if (common.width() >= needW && common.height() >= needH && common.top() <= outer.top() + 8) {
            // On that screen, but it may be larger than the screen is now (a larger scale factor
            // since): then it is made to fit, its title bar inside the screen.
            const QRect area = screen->availableGeometry();
            const QSize wanted = FWantedOuterSize.isValid() ? FWantedOuterSize : frameGeometry().size();
            if (wanted.width() <= area.width() && wanted.height() <= area.height() && outer.top() >= area.top())
                return;
            const int w = std::min(wanted.width(), area.width());
            const int h = std::min(wanted.height(), area.height());
            move(std::clamp(outer.left(), area.left(), area.right() + 1 - w),
                 std::clamp(outer.top(), area.top(), area.bottom() + 1 - h));
            ApplyOuterSize(w, h);
            return;
        }
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return;
    const QRect area = primary->availableGeometry();
    const QSize wanted = FWantedOuterSize.isValid() ? FWantedOuterSize : frameGeometry().size();
    const int w = std::min(wanted.width(), area.width());
    const int h = std::min(wanted.height(), area.height());
    move(area.x() + (area.width() - w) / 2, area.y() + (area.height() - h) / 2);
    ApplyOuterSize(w, h);
}

void TMainForm::SetPanLeftWidth(int width)
{
    FPanLeftWidth = width;
    if (FEverShown)
        SetSplitterPart(Splitter1, 0, width);
}

void TMainForm::SetPanPreviewHeight(int height)
{
    FPanPreviewHeight = height;
    if (FEverShown)
        SetSplitterPart(Splitter2, 1, height);
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (FEverShown)
        return;
    FEverShown = true;
    FShownTimer.start();
    // The splitters have their real extent now.
    SetSplitterPart(Splitter1, 0, FPanLeftWidth);
    SetSplitterPart(Splitter2, 1, FPanPreviewHeight);
    FixOuterSize();
    // The splash stays above the window that has just come up.
    if (AboutForm() && AboutForm()->isVisible() && AboutForm()->IsSplash())
        AboutForm()->raise();
}

void TMainForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && FWantedOuterSize.isValid() &&
        windowState() == Qt::WindowNoState) {
        FShownTimer.start();
        // The normal geometry comes back after the state change itself.
        QTimer::singleShot(0, this, &TMainForm::FixOuterSize);
    }
}

void TMainForm::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    FixOuterSize();
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FixOuterSize();
}

}  // namespace plotwick::app
