// plotwick: the desktop viewer and exporter of the drawings in a HotSync user folder.
#include <QApplication>

#include "app/Artwork.h"
#include "app/MainForm.h"
#include "app/PreviewRender.h"
#include "platform/userdata/UserData.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quarnel"));
    QApplication::setApplicationName(QStringLiteral("plotwick"));
    QGuiApplication::setDesktopFileName(QStringLiteral("plotwick"));
    QApplication::setWindowIcon(plotwick::app::ApplicationIcon());

    plotwick::app::TMainForm form({
        [] { return plotwick::userdata::CreateUserData(); },
        &plotwick::app::RenderToImage,
    });
    if (form.Terminated())
        return 1;
    form.show();
    return app.exec();
}
