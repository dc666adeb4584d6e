// Folders opened by name: the command line's PATH, "Open Folder…", a folder dropped on the
// window and "Open Recent"; the folders remembered between runs; and what the drawing list
// shows while there is nothing to list.
#include <algorithm>

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include "app/EmptyState.h"
#include "app/MainForm.h"
#include "app/Settings.h"

namespace plotwick::app {

namespace {

constexpr int kRecentCount = 10;

QString Shown(const std::string& folder) { return QFile::decodeName(QByteArray::fromStdString(folder)); }

std::string OnDisk(const QString& folder) { return QFile::encodeName(folder).toStdString(); }

bool Opens(userdata::FolderKind kind)
{
    return kind != userdata::FolderKind::Missing && kind != userdata::FolderKind::Other;
}

}  // namespace

QString TMainForm::NotAHotSyncFolder(const userdata::FolderLocation& at)
{
    const QString folder = Shown(at.folder);
    const QString what = at.kind != userdata::FolderKind::Missing ? QStringLiteral("%1 is not a HotSync folder.")
                         : QFileInfo::exists(folder)             ? QStringLiteral("%1 is not a folder.")
                                                                 : QStringLiteral("There is no folder %1.");
    return what.arg(folder) +
           QStringLiteral(" Expected a HotSync user folder (a folder with QNDraw inside), a folder that holds "
                          "user folders, or a database folder inside QNDraw.");
}

userdata::FolderLocation TMainForm::StartLocation()
{
    // The folder named on the command line; else the base folder the environment names; else
    // the last folder opened; else the default base folder (a location without a folder).
    userdata::FolderLocation at;
    if (!FStartPath.isEmpty()) {
        at = userdata::LocateFolder(OnDisk(FStartPath));
        if (!Opens(at.kind))
            FStartProblem = NotAHotSyncFolder(at);
    } else if (qEnvironmentVariableIsEmpty(userdata::kBaseFolderVariable) && !FLastFolder.isEmpty()) {
        at = userdata::LocateFolder(OnDisk(FLastFolder));
        if (!Opens(at.kind))
            at = {};  // it has gone
    }
    FLookedAt = at.folder.empty() ? userdata::DefaultBaseFolder() : at.folder;
    return at;
}

bool TMainForm::OpenFolder(const QString& path)
{
    // Whatever happens, the drawing list then says what there is to see.
    struct Refresh {
        TMainForm& f;
        ~Refresh() { f.UpdateEmptyState(); }
    } refresh{*this};
    const userdata::FolderLocation at = userdata::LocateFolder(OnDisk(path));
    if (!Opens(at.kind)) {
        if (FRecentFolders.removeAll(Shown(at.folder)) + FRecentFolders.removeAll(path) > 0) {
            StoreFolders();
            RebuildRecentMenu();
        }
        ShowProblem(NotAHotSyncFolder(at));
        return false;
    }
    // Until the new folder's users are known, the window keeps showing the old one.
    std::unique_ptr<userdata::IPDUserData> data = FServices.createUserData(at.folder);
    userdata::UserIDArray ids = data->QueryUserIDs();
    FUserData = std::move(data);
    FUserIDs = std::move(ids);
    FLookedAt = at.folder;
    FUserFolder.clear();
    FStartProblem.clear();
    FNoUsers = false;
    RememberFolder(at.folder);
    // The current user stays when the folder holds it too.
    const auto& known = FUserIDs.Values();
    if (std::find(known.begin(), known.end(), FUserID) == known.end())
        FUserID = -1;
    if (FUserID < 0)
        PickUser();
    ApplyUser();
    if (at.kind == userdata::FolderKind::Database)
        SelectDatabase(at.folder);
    return true;
}

void TMainForm::SelectDatabase(const std::string& folder)
{
    const QString wanted = QFileInfo(Shown(folder)).canonicalFilePath();
    for (QTreeWidgetItem* root : {FDrawingsRoot, FLibrariesRoot, FFontsRoot})
        for (int i = 0; i < root->childCount(); ++i) {
            const TDrawDB* db = NodeDatabase(root->child(i));
            if (db && QFileInfo(Shown(db->FPath)).canonicalFilePath() == wanted) {
                dbTree->setCurrentItem(root->child(i));
                dbTree->scrollToItem(root->child(i));
                return;
            }
        }
}

void TMainForm::OpenFolder1Click()
{
    const QString here = Shown(FLookedAt);
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Open Folder"), QFileInfo(here).isDir() ? here : QDir::homePath(),
        QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        OpenFolder(folder);
}

void TMainForm::QueueFolder(const QString& path)
{
    FQueuedFolders.push_back(path);
    RunCommand(&TMainForm::OpenQueuedFolder);
}

void TMainForm::OpenQueuedFolder()
{
    if (FQueuedFolders.empty())
        return;
    const QString path = FQueuedFolders.front();
    FQueuedFolders.erase(FQueuedFolders.begin());
    OpenFolder(path);
}

// --- Folders remembered -----------------------------------------------------------------------

void TMainForm::LoadFolders()
{
    const settings::Store store;
    FRecentFolders.clear();
    for (const QString& folder : store.Read(settings::RecentFolders))
        if (!folder.isEmpty() && !FRecentFolders.contains(folder))
            FRecentFolders << folder;
    FLastFolder = store.Read(settings::LastFolder).value(0);
    ForgetVanishedFolders();
    RebuildRecentMenu();
}

void TMainForm::RememberFolder(const std::string& folder)
{
    const QString shown = Shown(folder);
    FRecentFolders.removeAll(shown);
    FRecentFolders.prepend(shown);
    while (FRecentFolders.size() > kRecentCount)
        FRecentFolders.removeLast();
    FLastFolder = shown;
    StoreFolders();
    RebuildRecentMenu();
}

void TMainForm::ForgetVanishedFolders()
{
    const qsizetype before = FRecentFolders.size();
    FRecentFolders.removeIf([](const QString& folder) { return !QFileInfo(folder).isDir(); });
    while (FRecentFolders.size() > kRecentCount)
        FRecentFolders.removeLast();
    if (FRecentFolders.size() != before)
        StoreFolders();
}

void TMainForm::StoreFolders()
{
    settings::Store store;
    if (!store.Writable())
        return;
    store.Write(settings::RecentFolders, FRecentFolders);
    store.Write(settings::LastFolder, FLastFolder.isEmpty() ? QStringList() : QStringList{FLastFolder});
    store.Flush();
}

void TMainForm::RebuildRecentMenu()
{
    OpenRecent1->clear();
    for (const QString& folder : FRecentFolders) {
        QString caption = folder;
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));  // a folder's name has no mnemonic
        QAction* entry = OpenRecent1->addAction(caption);
        connect(entry, &QAction::triggered, this, [this, folder] { QueueFolder(folder); });
    }
    OpenRecent1->menuAction()->setEnabled(!FRecentFolders.isEmpty());
}

void TMainForm::OpenRecent1Show()
{
    ForgetVanishedFolders();
    RebuildRecentMenu();
}

// --- Drops ------------------------------------------------------------------------------------

QString TMainForm::DroppedFolder(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir())
            return url.toLocalFile();
    return {};
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedFolder(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TMainForm::dragMoveEvent(QDragMoveEvent* event)
{
    if (!DroppedFolder(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event)
{
    const QString folder = DroppedFolder(event->mimeData());
    if (folder.isEmpty())
        return;
    event->acceptProposedAction();
    // Opened once the drop is over: the dragging program is not kept waiting by a dialog.
    QTimer::singleShot(0, this, [this, folder] { QueueFolder(folder); });
}

// --- Nothing to list --------------------------------------------------------------------------

void TMainForm::UpdateEmptyState()
{
    QString headline;
    if (!FStartProblem.isEmpty()) {
        headline = FStartProblem;
    } else if (!FUserData) {
        headline = QStringLiteral("No HotSync folder was found at %1.").arg(Shown(FLookedAt));
    } else if (FNoUsers) {
        headline = QStringLiteral("%1 holds no HotSync user folder.").arg(Shown(FLookedAt));
    } else if (FDrawingsRoot->childCount() + FLibrariesRoot->childCount() + FFontsRoot->childCount() == 0) {
        const QString userFolder = QDir::cleanPath(Shown(FUserFolder));
        headline = FUserFolder.empty() ? QStringLiteral("There is nothing to show.")
                                       : QStringLiteral("The user folder %1 holds no drawings.").arg(userFolder);
    }
    emptyState->setHeadline(headline);
    emptyState->setVisible(!headline.isEmpty());
    drList->setVisible(headline.isEmpty());
}

}  // namespace plotwick::app
