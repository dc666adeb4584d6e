// What the window's tests share: a user-data provider that the test controls, a responder that
// answers the modal boxes and dialogs the window opens, a preview renderer that records what
// it was asked, and settings helpers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QColor>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include "app/MainForm.h"
#include "platform/userdata/UserData.h"
#include "tests/support/Fixture.h"

namespace plotwick::apptest {

struct FakeUser {
    std::int32_t id;
    std::string name;
    std::string folder;
};

// The state behind FakeUserData, kept by the test after the window took the provider.
struct FakeState {
    std::string base;  // ends with "/"
    std::vector<FakeUser> users;
    std::int32_t lowerBound = 0;
    bool failCreate = false;
    bool failUserIDs = false;
    std::vector<std::string> calls;  // every request, in order, e.g. "QueryUserName(12)"
    int created = 0;
};

class FakeUserData : public userdata::IPDUserData {
public:
    explicit FakeUserData(std::shared_ptr<FakeState> state) : s_(std::move(state)) {}
    userdata::UserIDArray QueryUserIDs() override;
    std::string QueryBaseFolder() override;
    std::int32_t QueryUserCount() override;
    std::string QueryUserFolder(std::int32_t userID) override;
    std::string QueryUserName(std::int32_t userID) override;

private:
    const FakeUser& Find(std::int32_t id) const;
    std::shared_ptr<FakeState> s_;
};

// What the preview renderer was asked to do.
struct RenderLog {
    struct Call {
        std::string name;  // the drawing's FName
        QSize pixels;
        std::string substitute;  // the substitute face the render was asked for
        std::size_t shapes = 0;  // shapes loaded
    };
    std::vector<Call> calls;
    QColor fill = QColor(0x20, 0x60, 0xA0);
    // Runs after the shapes were loaded; before, when set, runs beforeLoad.
    std::function<void()> beforeLoad;
    bool useRealRenderer = false;
};

app::TMainFormServices Services(std::shared_ptr<FakeState> state, std::shared_ptr<RenderLog> log);
// The program's own user data over the folders on disk, with the recording preview renderer.
app::TMainFormServices FolderServices(std::shared_ptr<RenderLog> log);

// Answers every modal box and dialog the window opens and records what it saw.
class ModalResponder : public QObject {
    Q_OBJECT
public:
    struct Seen {
        QString kind;  // "message", "users", "about", "folder"
        QString title;
        QString text;
        QStringList entries;  // the user dialog's list
        int preselected = -1;
        bool closedWithoutChoice = false;
        int buttons = 0;  // a message box's standard buttons
        bool hasIcon = false;
    };
    ModalResponder();
    ~ModalResponder() override;

    std::vector<Seen> seen;
    // The user dialog: the entry to pick (-1: the preselected one); first try to close it
    // without a choice when tryClose is set.
    int pick = -1;
    bool tryClose = false;
    // The folder dialog: the folder to choose; empty: cancel the dialog.
    QString folderToOpen;
    // Called with each modal widget before it is answered.
    std::function<void(QWidget*)> inspect;

    int Count(const QString& kind) const;
    QStringList Texts() const;

private:
    void Poll();
    QTimer timer_;
    int waited_ = 0;  // polls since the current modal widget appeared, not yet active
};

// The test's own settings store, emptied.
void ResetSettings();
// What each window test starts from: the settings emptied, no fonts, the substitute face off,
// a new temporary folder as the provider's base (no users yet) and a new render log.
void StartFresh(std::unique_ptr<fixture::TempDir>& dir, std::shared_ptr<FakeState>& state,
                std::shared_ptr<RenderLog>& log);
void WriteSetting(const QString& name, const QVariant& value);
QVariant ReadSetting(const QString& name);
QStringList SettingNames();

// A record with one filled square of the given colour (0x00BBGGRR) and a thumbnail.
fixture::Bytes SquareRecord(const std::string& name, std::uint32_t color = 0x000000FF,
                            bool thumbnailWithWhite = true);

// A file's bytes, empty when it cannot be read.
QByteArray ReadFileBytes(const QString& path);
// The window shown and exposed, with the drawing database of that caption selected in the
// tree; none when the window could not be shown.
std::unique_ptr<app::TMainForm> OpenOnDatabase(app::TMainFormServices services, const QString& caption);

// The texts of a tree node's children.
QStringList ChildTexts(const class QTreeWidgetItem* node);
// The child of a tree node with that caption, or none.
class QTreeWidgetItem* ChildNamed(const class QTreeWidgetItem* node, const QString& caption);
// The captions of the list items.
QStringList ItemTexts(const class QListWidget* list);

}  // namespace plotwick::apptest

namespace plotwick::apptest {

// A window on these services, shown (at that size, when one is given) and exposed; none when it
// could not be exposed.
std::unique_ptr<app::TMainForm> OpenWindow(app::TMainFormServices services, QSize size = {});
// Selects the drawing database of that caption in the tree.
void SelectDatabase(app::TMainForm& form, const QString& caption);
// Waits until the list is complete and its thumbnails have all been rendered and shown; false on a time-out.
bool WaitForThumbnails(app::TMainForm& form, int timeoutMs = 20000);
// The side of the largest picture of an item's icon, and the icon at that side as ARGB.
int IconSide(const class QListWidgetItem* item);
QImage IconImage(const class QListWidgetItem* item, int side);
// The font databases' stamp the window's thumbnails are keyed with.
std::string FontsStampOf(const app::TMainForm& form);

}  // namespace plotwick::apptest
