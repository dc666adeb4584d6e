// The main window: the database tree of the current HotSync user, the drawings of the selected
// database as thumbnails, and the preview of the selected drawing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QStringList>

#include "app/PrintPages.h"
#include "export/Album.h"
#include "model/DrawDB.h"
#include "platform/files/Files.h"
#include "render/PathRender.h"
#include "platform/userdata/UserData.h"

class QAction;
class QCheckBox;
class QFileDialog;
class QItemSelection;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QMimeData;
class QPrinter;
class QSlider;
class QSplitter;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace plotwick {
class TDrawing;
}

namespace plotwick::app {

class TAboutForm;
class TCaptionPanel;
class TDrawingView;
class TEmptyState;
class TImageView;
class TRenderQueue;
class TThumbnailList;
class TTitlePanel;

inline constexpr const char* kApplicationTitle = "Quarnel Plotwick";

// What the window is built on, given by the program (and by the tests).
struct TMainFormServices {
    // Creates the user data of a folder: a base folder's users, or a user folder as a user of
    // its own; an empty folder names the default base. An exception means there is none.
    std::function<std::unique_ptr<userdata::IPDUserData>(const std::string& folder)> createUserData;
    // Loads the drawing's shapes afresh and renders them fitted into an image of the given
    // pixel size.
    std::function<QImage(TDrawing& drawing, QSize pixels, const RenderOptions& options)> renderPreview;
};

// A database node of the tree: it owns its database.
class TDbNode;
// An item of the drawing list: it owns its drawing.
class TDrawingItem;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window and runs FormCreate: the splash and the whole start-up sequence.
    // startPath is the folder named on the command line, or empty.
    explicit TMainForm(TMainFormServices services, const QString& startPath = {}, QWidget* parent = nullptr);
    // Runs FormDestroy.
    ~TMainForm() override;

    // Start-up, users and database discovery.
    void StartUp();
    void PickUser();
    bool ChooseUser();  // false when the dialog closed without a choice
    void ApplyUser();
    void ScanDatabases();
    void ScanFolder(const std::string& folder, QTreeWidgetItem* root, DbKind kind);
    void ReleaseDatabases();

    // Opening a folder by name: a base folder, a user folder or a database folder (then its
    // user folder opens with that database selected). False, with a message, for any other.
    bool OpenFolder(const QString& path);

    // Browsing.
    void ListDrawings(TDrawDB* db);
    void AddDrawing(TDrawDB* db, const std::string& fileName);
    void ReleaseDrawings();
    void RenderPreview();
    void EnableDrawingCommands(bool enabled);

    // Stored settings.
    void LoadSettings();
    void SaveSettings();

    std::int32_t UserID() const { return FUserID; }
    const userdata::UserIDArray& UserIDs() const { return FUserIDs; }
    QString UserName() const { return QString::fromStdString(FUserName); }
    QTreeWidgetItem* DrawingsRoot() const { return FDrawingsRoot; }
    QTreeWidgetItem* LibrariesRoot() const { return FLibrariesRoot; }
    QTreeWidgetItem* FontsRoot() const { return FFontsRoot; }
    TAboutForm* AboutForm() const { return FAboutForm; }
    static TDrawDB* NodeDatabase(QTreeWidgetItem* node);
    static TDrawing* ItemDrawing(QListWidgetItem* item);
    // The drawing of the selected list item, or none.
    TDrawing* SelectedDrawing() const;
    // The database whose drawings are listed, or none.
    TDrawDB* ListedDatabase() const;
    // Prints the selected drawing, or the pages of the range of every drawing of the listed
    // database, on the printer, as many a page as the print dialog last asked for.
    void PrintDatabasePages(QPrinter& printer, bool selectedOnly, const PageRange& range = {});
    // What the last print or preview placed and left out.
    const PagesReport& LastPrint() const { return FLastPrint; }

    // While a drawing's texts are being laid out (and while a database is being listed),
    // pending events are let through; commands that would free the drawing, the databases or
    // the font list in that time are held and run once the work is done.
    bool Busy() const { return FBusyDepth > 0; }
    // The number of previews rendered so far.
    int PreviewCount() const { return FPreviewCount; }
    // Empty, or "Arial" while "Substitute font" is ticked: what the preview, the exports and the
    // copies draw texts with.
    const std::string& SubstituteFontName() const { return FRenderOptions.SubstituteFontName; }
    const RenderOptions& CurrentRenderOptions() const { return FRenderOptions; }
    // The workers every render of the window runs on, and the list's thumbnails.
    TRenderQueue& RenderQueue() const { return *FRenderQueue; }
    TThumbnailList& Thumbnails() const { return *FThumbnails; }

    // Components, named as designed.
    QStatusBar* StatusBar1;
    QSplitter* Splitter1;
    QWidget* panLeft;
    TTitlePanel* Panel3;
    QSplitter* Splitter2;
    QTreeWidget* dbTree;
    TCaptionPanel* panPrevBox;
    TTitlePanel* panPrTitle;
    QCheckBox* CheckBox1;
    TCaptionPanel* panPreview;
    TImageView* imgPreview;
    QWidget* Panel2;
    TTitlePanel* panDrTitle;
    QListWidget* drList;
    QSlider* sldThumbSize;  // the thumbnails' size, in the list's title bar
    TEmptyState* emptyState;  // in the place of drList while there is nothing to list
    QMenu* File1;
    QAction* OpenFolder1;
    QMenu* OpenRecent1;
    QAction* N2;
    QAction* Export1;
    QAction* N1;
    QAction* Copyasvectors1;
    QAction* CopyasBitmap1;
    QAction* ExportDatabase1 = nullptr;  // MainFormPrint.cpp
    QAction* N3 = nullptr;
    QAction* PrintPreview1 = nullptr;
    QAction* Print1 = nullptr;
    QMenu* Options1;
    QAction* SelectUser1;
    QMenu* About1;
    QAction* About2;
    // The drawing view, the list's filter and the commands around them (MainFormView.cpp).
    TDrawingView* drView;
    QLineEdit* edFilter;
    QMenu* View1;
    QAction* OpenDrawing1;
    QAction* ZoomIn1;
    QAction* ZoomOut1;
    QAction* FitToWindow1;
    QAction* ActualSize1;
    QAction* PreviousDrawing1;
    QAction* NextDrawing1;
    QAction* FullScreen1;
    QAction* BackToList1;
    QAction* SelectAll1;
    QAction* ExportSelected1;
    QAction* ExportDatabaseFiles1;
    QAction* Quit1;
    QAction* KeyboardShortcuts1;
    // True while the drawing view stands in the place of the list.
    bool ViewShown() const;
    // The folder the last export went to (empty before the first).
    const QString& LastExportFolder() const { return FLastExportFolder; }

    // The save dialog of "E&xport": it lives as long as the window, so the folder, the filter
    // and the default extension last chosen carry over to the next export.
    QFileDialog* saveDial;

    static constexpr int kDesignedWidth = 704;
    static constexpr int kDesignedHeight = 536;
    static constexpr int kDesignedPanLeft = 225;
    static constexpr int kDesignedPanPreview = 212;

signals:
    // A preview was rendered into imgPreview.
    void previewRendered();

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;  // FormMouseDown
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Marks the window busy: commands that would free what the work is using wait until the
    // outermost scope ends.
    class BusyScope {
    public:
        explicit BusyScope(TMainForm& form) : form_(form) { ++form_.FBusyDepth; }
        ~BusyScope()
        {
            if (--form_.FBusyDepth == 0)
                form_.ScheduleDeferred();
        }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        TMainForm& form_;
    };

    void BuildComponents();
    void BuildThumbnails();  // MainFormThumbnails.cpp
    void ThumbnailSizeChanged(int step);
    void StartThumbnails();
    // Adds the records of names from next on, a first screenful at once and the rest a
    // slice at a time between the window's events, while listing is still the current one.
    void StopRendering();     // cancels every render and waits for the running ones
    // Renders the preview on a worker while the window's events go on; a null image when it
    // was abandoned.
    QImage RenderPreviewOnWorker(TDrawing& drawing, QSize pixels);
    void AbandonPreview();
    void BuildMenus();
    void FormCreate();
    void FormDestroy();

    void dbTreeChange(QTreeWidgetItem* node);
    void drListSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void drListSelectItem(QListWidgetItem* item, bool selected);
    void panPreviewResize();
    void CheckBox1Click();
    void ToggleSubstituteFont();

    // Menu commands; the menu runs them through RunCommand.
    void SelectUser1Click();
    void OpenFolder1Click();
    void OpenQueuedFolder();
    void OpenRecent1Show();
    void About2Click();
    void Export1Click();
    void Copyasvectors1Click();
    void CopyasBitmap1Click();
    void BuildSaveDialog();

    // The drawing view and the commands added around the designed ones (MainFormView.cpp).
    void BuildView();
    void OpenDrawing1Click();
    void ShowSelectedInView();
    void CloseView();
    void StepDrawing(int step);
    void FullScreen1Click();
    void BackToList1Click();
    void UpdateViewCommands();
    // The list was emptied or replaced: no preview, no drawing commands, no view.
    void ForgetSelection();
    void edFilterChange(const QString& text);
    void KeyboardShortcuts1Click();
    void ExportSelected1Click();
    void ExportDatabaseFiles1Click();
    void ExportDrawings(const std::vector<TDrawing*>& drawings, const QString& title);
    // Listing a database: a first slice at once, the rest from the event loop (MainFormListing.cpp).
    // spentNs: what the click took before (reading the folder), counted in the first slice.
    void StartListing(TDrawDB* db, std::vector<files::DirEntry> entries, std::int64_t spentNs = 0);
    void ContinueListing(std::uint64_t generation, std::int64_t spentNs = 0);
    void StopListing();
    void RememberExportFolder(const QString& folder);
    // Rethrows the error being handled with the drawing's name and file before its message.
    [[noreturn]] static void RethrowNamingDrawing(const TDrawing& drawing);
    void saveDialTypeChange(const QString& filter);
    void BuildPrintActions();
    void ExportDatabase1Click();
    void PrintPreview1Click();
    void Print1Click();

    // Runs a user command: held while busy, its error shown in the standard error box.
    void RunCommand(void (TMainForm::*command)());
    void RunDeferred();
    void ScheduleDeferred();

    template <class F>
    void Guarded(F&& f);
    void ShowProblem(const QString& text);
    void ShowError(const QString& text);

    // Folders opened by name.
    userdata::FolderLocation StartLocation();
    void SelectDatabase(const std::string& folder);
    void RememberFolder(const std::string& folder);
    void LoadFolders();
    void ForgetVanishedFolders();
    void RebuildRecentMenu();
    void StoreFolders();
    void QueueFolder(const QString& path);
    static QString DroppedFolder(const QMimeData* data);
    static QString NotAHotSyncFolder(const userdata::FolderLocation& at);
    void UpdateEmptyState();

    void CentreWindow();
    void ApplyOuterSize(int width, int height);
    void BringOntoScreen();
    void FixOuterSize();
    void SetPanLeftWidth(int width);
    void SetPanPreviewHeight(int height);
    int CurrentWinState() const;

    TMainFormServices FServices;
    QTreeWidgetItem* FDrawingsRoot = nullptr;
    QTreeWidgetItem* FLibrariesRoot = nullptr;
    QTreeWidgetItem* FFontsRoot = nullptr;
    std::int32_t FUserID = -1;
    userdata::UserIDArray FUserIDs;
    std::unique_ptr<userdata::IPDUserData> FUserData;
    std::string FUserName;
    TAboutForm* FAboutForm = nullptr;

    bool FNoUsers = false;         // PickUser found no HotSync user
    bool FSettingsLoaded = false;  // LoadSettings ran: there is a layout worth storing
    int FPreviewCount = 0;
    RenderOptions FRenderOptions;
    PagesReport FLastPrint;
    SheetLayout FPrintSheet;  // drawings a page on the printer, as last chosen
    std::unique_ptr<TRenderQueue> FRenderQueue;
    std::unique_ptr<TThumbnailList> FThumbnails;
    class QEventLoop* FPreviewLoop = nullptr;  // runs while a preview renders

    // Folders.
    QString FStartPath;           // named on the command line
    QString FStartProblem;        // why the folder named on the command line did not open
    std::string FLookedAt;        // the folder the user data was asked for
    std::string FUserFolder;      // the folder of the user last scanned
    QStringList FRecentFolders;   // the latest first
    QString FLastFolder;
    std::vector<QString> FQueuedFolders;  // dropped or picked from "Open Recent", not yet opened

    // Held commands.
    int FBusyDepth = 0;
    bool FDeferredScheduled = false;
    bool FRunningDeferred = false;
    bool FDeferTreeChange = false;
    bool FDeferRender = false;
    int FDeferToggles = 0;
    bool FDeferClose = false;
    std::vector<void (TMainForm::*)()> FDeferredCommands;

    // The view and the exports.
    QString FLastExportFolder;
    // The records of the database being listed that are not in the list yet.
    TDrawDB* FListingDb = nullptr;
    std::vector<files::DirEntry> FListingEntries;
    std::size_t FListingNext = 0;
    std::uint64_t FListingGeneration = 0;
    bool FFullScreenFromList = false;  // full screen opened the view: leaving it goes back

    // Layout.
    bool FEverShown = false;
    int FPanLeftWidth = kDesignedPanLeft;
    int FPanPreviewHeight = kDesignedPanPreview;
    QSize FWantedOuterSize;  // a stored outer size, until the window frame is known
    QElapsedTimer FShownTimer;
};

}  // namespace plotwick::app
