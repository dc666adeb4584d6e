#include "AppTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>

#include "app/AboutForm.h"
#include "app/PreviewRender.h"
#include "app/RenderQueue.h"
#include "app/SelUserForm.h"
#include "app/Settings.h"
#include "app/ThumbnailCache.h"
#include "app/ThumbnailList.h"
#include "model/DrawDB.h"
#include "model/Drawing.h"
#include "text/VFont.h"
#include "text/VPathText.h"

namespace plotwick::apptest {

userdata::UserIDArray FakeUserData::QueryUserIDs()
{
    s_->calls.push_back("QueryUserIDs");
    if (s_->failUserIDs)
        throw userdata::UserDataError("The user list cannot be read.");
    std::vector<std::int32_t> ids;
    for (const auto& u : s_->users)
        ids.push_back(u.id);
    return userdata::UserIDArray(ids, s_->lowerBound);
}

std::string FakeUserData::QueryBaseFolder()
{
    s_->calls.push_back("QueryBaseFolder");
    return s_->base;
}

std::int32_t FakeUserData::QueryUserCount()
{
    s_->calls.push_back("QueryUserCount");
    return static_cast<std::int32_t>(s_->users.size());
}

const FakeUser& FakeUserData::Find(std::int32_t id) const
{
    for (const auto& u : s_->users)
        if (u.id == id)
            return u;
    throw userdata::UserDataError("No HotSync user with the ID " + std::to_string(id) + ".");
}

std::string FakeUserData::QueryUserFolder(std::int32_t userID)
{
    s_->calls.push_back("QueryUserFolder(" + std::to_string(userID) + ")");
    return Find(userID).folder;
}

std::string FakeUserData::QueryUserName(std::int32_t userID)
{
    s_->calls.push_back("QueryUserName(" + std::to_string(userID) + ")");
    return Find(userID).name;
}

app::TMainFormServices Services(std::shared_ptr<FakeState> state, std::shared_ptr<RenderLog> log)
{
    app::TMainFormServices services;
    services.createUserData = [state](const std::string&) -> std::unique_ptr<userdata::IPDUserData> {
        state->calls.push_back("create");
        if (state->failCreate)
            throw userdata::UserDataUnavailable("no base folder");
        ++state->created;
        return std::make_unique<FakeUserData>(state);
    };
    services.renderPreview = [log](TDrawing& drawing, QSize pixels, const RenderOptions& options) {
        if (log->beforeLoad) {
            const auto before = log->beforeLoad;  // it may replace itself
            before();
        }
        if (log->useRealRenderer) {
            QImage image = app::RenderToImage(drawing, pixels, options);
            log->calls.push_back({drawing.FName, pixels, options.SubstituteFontName, drawing.FShapes.size()});
            return image;
        }
        // The shapes are read exactly as the real preview reads them; the picture is a plain
        // fill, so that the test sees which render produced what is shown.
        drawing.LoadShapes(true);
        log->calls.push_back({drawing.FName, pixels, options.SubstituteFontName, drawing.FShapes.size()});
        QImage image(pixels, QImage::Format_RGB32);
        image.fill(log->fill);
        return image;
    };
    return services;
}

app::TMainFormServices FolderServices(std::shared_ptr<RenderLog> log)
{
    app::TMainFormServices services = Services(std::make_shared<FakeState>(), std::move(log));
    services.createUserData = [](const std::string& folder) { return userdata::CreateUserData(folder); };
    return services;
}

ModalResponder::ModalResponder()
{
    connect(&timer_, &QTimer::timeout, this, &ModalResponder::Poll);
    timer_.start(5);
}

ModalResponder::~ModalResponder() = default;

int ModalResponder::Count(const QString& kind) const
{
    int n = 0;
    for (const auto& s : seen)
        n += s.kind == kind ? 1 : 0;
    return n;
}

QStringList ModalResponder::Texts() const
{
    QStringList texts;
    for (const auto& s : seen)
        texts << s.title + QStringLiteral(": ") + s.text;
    return texts;
}

void ModalResponder::Poll()
{
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible()) {
        waited_ = 0;
        return;
    }
    // Answered once it is the active window, as a user sees it: focus changes inside a
    // window that is not active send no focus events, so a field typed into and left
    // would not be committed. A platform that never activates it gets it answered anyway.
    if (QApplication::activeWindow() != w && ++waited_ < 100) {
        w->activateWindow();
        return;
    }
    waited_ = 0;
    if (inspect) {
        inspect(w);
        if (!w->isVisible())
            return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
        seen.push_back({QStringLiteral("message"), box->windowTitle(), box->text(), {}, -1, false,
                        static_cast<int>(box->standardButtons()), box->icon() != QMessageBox::NoIcon});
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        (ok ? ok : box->buttons().value(0))->click();
    } else if (auto* dialog = qobject_cast<app::TselUserForm*>(w)) {
        Seen s{QStringLiteral("users"), dialog->windowTitle(), {}, {}, dialog->cbUsers->currentIndex(), false};
        for (int i = 0; i < dialog->cbUsers->count(); ++i)
            s.entries << dialog->cbUsers->itemText(i);
        if (tryClose) {
            dialog->reject();
            if (!dialog->isVisible()) {
                s.closedWithoutChoice = true;
                seen.push_back(s);
                return;
            }
        }
        if (pick >= 0)
            dialog->cbUsers->setCurrentIndex(pick);
        seen.push_back(s);
        dialog->butOk->click();
    } else if (auto* files = qobject_cast<QFileDialog*>(w); files && files->fileMode() == QFileDialog::Directory) {
        const QString startsIn = files->directory().absolutePath();
        seen.push_back({QStringLiteral("folder"), files->windowTitle(), startsIn, {}, -1, false});
        if (folderToOpen.isEmpty()) {
            files->reject();
            return;
        }
        files->setDirectory(folderToOpen);
        static_cast<QDialog*>(files)->accept();  // as its Choose button does
    } else if (auto* about = qobject_cast<app::TAboutForm*>(w)) {
        seen.push_back({QStringLiteral("about"), about->windowTitle(), {}, {}, -1, false});
        about->Button1->click();
    }
}

void ResetSettings()
{
    QSettings s(QString::fromLatin1(app::settings::kOrganization), QString::fromLatin1(app::settings::kApplication));
    s.clear();
    s.sync();
}

void StartFresh(std::unique_ptr<fixture::TempDir>& dir, std::shared_ptr<FakeState>& state,
                std::shared_ptr<RenderLog>& log)
{
    ResetSettings();
    FontList.Clear();
    dir = std::make_unique<fixture::TempDir>();
    state = std::make_shared<FakeState>();
    state->base = dir->Path() + "/";
    log = std::make_shared<RenderLog>();
}

void WriteSetting(const QString& name, const QVariant& value)
{
    QSettings s(QString::fromLatin1(app::settings::kOrganization), QString::fromLatin1(app::settings::kApplication));
    s.setValue(name, value);
    s.sync();
}

QVariant ReadSetting(const QString& name)
{
    QSettings s(QString::fromLatin1(app::settings::kOrganization), QString::fromLatin1(app::settings::kApplication));
    return s.value(name);
}

QStringList SettingNames()
{
    QSettings s(QString::fromLatin1(app::settings::kOrganization), QString::fromLatin1(app::settings::kApplication));
    QStringList keys = s.childKeys();
    keys.sort();
    return keys;
}

fixture::Bytes SquareRecord(const std::string& name, std::uint32_t color, bool thumbnailWithWhite)
{
    std::array<std::uint8_t, 1024> thumb{};
    // Palette index 0 is white; index 230 is black. A black square in the middle.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            thumb[static_cast<std::size_t>(y * 32 + x)] =
                (x >= 8 && x < 24 && y >= 8 && y < 24) || !thumbnailWithWhite ? 230 : 0;
    using namespace fixture;
    return Record(name, Path(color, std::nullopt, {M(0, 0), L(100, 0), L(100, 100), L(0, 100), Z()}), &thumb);
}

QByteArray ReadFileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::unique_ptr<app::TMainForm> OpenOnDatabase(app::TMainFormServices services, const QString& caption)
{
    auto form = std::make_unique<app::TMainForm>(std::move(services));
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        return nullptr;
    form->activateWindow();
    QTreeWidgetItem* root = form->DrawingsRoot();
    for (int i = 0; i < root->childCount(); ++i)
        if (root->child(i)->text(0) == caption)
            form->dbTree->setCurrentItem(root->child(i));
    return form;
}

QStringList ChildTexts(const QTreeWidgetItem* node)
{
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i)
        texts << node->child(i)->text(0);
    return texts;
}

QTreeWidgetItem* ChildNamed(const QTreeWidgetItem* node, const QString& caption)
{
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == caption)
            return node->child(i);
    return nullptr;
}

QStringList ItemTexts(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

}  // namespace plotwick::apptest

namespace plotwick::apptest {

std::unique_ptr<app::TMainForm> OpenWindow(app::TMainFormServices services, QSize size)
{
    auto form = std::make_unique<app::TMainForm>(std::move(services));
    if (size.isValid())
        form->resize(size);
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        return nullptr;
    return form;
}

void SelectDatabase(app::TMainForm& form, const QString& caption)
{
    form.dbTree->setCurrentItem(ChildNamed(form.DrawingsRoot(), caption));
}

bool WaitForThumbnails(app::TMainForm& form, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    // The range of rows on screen is found once the list has been laid out.
    QCoreApplication::processEvents();
    while (!form.Thumbnails().Complete() || form.RenderQueue().Pending() > 0 || form.Thumbnails().Outstanding() > 0) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(5);
    }
    QCoreApplication::processEvents();
    return true;
}

int IconSide(const QListWidgetItem* item)
{
    const QList<QSize> sizes = item->icon().availableSizes();
    int side = 0;
    for (const QSize& s : sizes)
        side = std::max(side, s.width());
    return side;
}

QImage IconImage(const QListWidgetItem* item, int side)
{
    return item->icon().pixmap(side, side).toImage().convertToFormat(QImage::Format_ARGB32);
}

std::string FontsStampOf(const app::TMainForm& form)
{
    std::vector<std::string> folders;
    for (int i = 0; i < form.FontsRoot()->childCount(); ++i)
        if (TDrawDB* db = app::TMainForm::NodeDatabase(form.FontsRoot()->child(i)))
            folders.push_back(db->FPath);
    return app::FontsStamp(folders);
}

}  // namespace plotwick::apptest
