// plotwick [PATH]: the desktop viewer and exporter of the drawings in a HotSync user folder.
#include <algorithm>
#include <cstdio>
#include <set>

#include <QApplication>
#include <QCommandLineParser>
#include <QUrl>

#include "app/Artwork.h"
#include "app/MainForm.h"
#include "app/PreviewRender.h"
#include "platform/userdata/UserData.h"

#ifndef PLOTWICK_VERSION
#define PLOTWICK_VERSION "0"
#endif

namespace {

constexpr int kUsageError = 2;

// The options the toolkit takes out of the command line itself, once the window's application
// is made (its platform plugin, style and window options).
bool ToolkitOption(const QString& name)
{
    static const std::set<QString> names = {
        "platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger", "qwindowgeometry",
        "qwindowicon", "qwindowtitle", "reverse", "session", "display", "geometry", "title", "name", "icon",
        "visual", "ncols", "cmap", "nograb", "dograb", "sync", "style", "stylesheet", "widgetcount"};
    return names.count(name) != 0;
}

void Describe(QCommandLineParser& parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Views and exports the drawings of a HotSync user folder.\n"
        "PATH may be a HotSync user folder (a folder with QNDraw inside), a folder that holds\n"
        "user folders, or one database folder (it opens selected). Without PATH the window\n"
        "opens $PLOTWICK_HOTSYNC_BASE when it is set, else the last folder opened, else\n"
        "$XDG_DATA_HOME/quarnel-plotwick/HotSync."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("PATH"), QStringLiteral("The folder to open."),
                                 QStringLiteral("[PATH]"));
}

// The one positional argument as a local path ("Open with" may hand over a file: URL).
QString StartPath(const QStringList& positional)
{
    const QString path = positional.value(0);
    return path.startsWith(QLatin1String("file:")) ? QUrl(path).toLocalFile() : path;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Quarnel"));
    QCoreApplication::setApplicationName(QStringLiteral("plotwick"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PLOTWICK_VERSION));
    const auto usageError = [](const QCommandLineParser& parser) {
        const QString error = parser.errorText().isEmpty() ? QStringLiteral("Only one PATH may be given.")
                                                           : parser.errorText();
        std::fprintf(stderr, "plotwick: %s\nTry 'plotwick --help'.\n", qPrintable(error));
        return kUsageError;
    };
    {
        // Everything about the command line is answered before anything needs a display,
        // except where the toolkit's own options (-platform, -style, ...) are mixed in: those
        // are taken out once the window's application exists.
        QCoreApplication early(argc, argv);
        QCommandLineParser parser;
        Describe(parser);
        const bool parsed = parser.parse(QCoreApplication::arguments());
        if (parser.isSet(QStringLiteral("help")))
            parser.showHelp(0);
        if (parser.isSet(QStringLiteral("help-all")))
            parser.process(QCoreApplication::arguments());
        if (parser.isSet(QStringLiteral("version")))
            parser.showVersion();
        const QStringList unknown = parser.unknownOptionNames();
        const bool toolkit = !unknown.isEmpty() && std::all_of(unknown.begin(), unknown.end(), ToolkitOption);
        if (!toolkit && (!parsed || parser.positionalArguments().size() > 1))
            return usageError(parser);
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("plotwick"));
    QApplication::setWindowIcon(plotwick::app::ApplicationIcon());
    QCommandLineParser parser;
    Describe(parser);
    if (!parser.parse(QCoreApplication::arguments()) || parser.positionalArguments().size() > 1)
        return usageError(parser);

    plotwick::app::TMainForm form(
        {
            [](const std::string& folder) { return plotwick::userdata::CreateUserData(folder); },
            &plotwick::app::RenderToImage,
        },
        StartPath(parser.positionalArguments()));
    form.show();
    return app.exec();
}
