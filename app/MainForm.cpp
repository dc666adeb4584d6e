#include "app/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QItemSelection>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/AboutForm.h"
#include "app/Artwork.h"
#include "app/BusyCursor.h"
#include "app/DrawingList.h"
#include "app/DrawingView.h"
#include "app/EmptyState.h"
#include "app/Images.h"
#include "app/Panels.h"
#include "app/SelUserForm.h"
#include "app/RenderQueue.h"
#include "app/Settings.h"
#include "app/ThumbnailList.h"
#include "model/DatabaseScan.h"
#include "model/Drawing.h"
#include "platform/files/Files.h"
#include "platform/fonts/Codepage.h"
#include "text/VFont.h"
#include "text/VPathText.h"

namespace plotwick::app {

namespace {

const QString kProblemCaption = QStringLiteral("A problem");

constexpr int kDbNodeType = QTreeWidgetItem::UserType + 1;
constexpr int kDrawingItemType = QListWidgetItem::UserType + 1;

// File and folder names as the file system holds them.
QString FileNameText(const std::string& name) { return QFile::decodeName(QByteArray::fromStdString(name)); }

// Texts written by the handheld: the ANSI code page.
QString HandheldText(const std::string& text) { return QString::fromStdString(codepage::Cp1252ToUtf8(text)); }

// The selection of a view stays visible while another control has the focus.
void KeepSelectionVisible(QWidget* view)
{
    QPalette pal = view->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
    view->setPalette(pal);
}

}  // namespace

class TDbNode : public QTreeWidgetItem {
public:
    explicit TDbNode(std::unique_ptr<TDrawDB> db) : QTreeWidgetItem(kDbNodeType), FDB(std::move(db)) {}
    std::unique_ptr<TDrawDB> FDB;
};

class TDrawingItem : public QListWidgetItem {
public:
    explicit TDrawingItem(std::unique_ptr<TDrawing> drawing)
        : QListWidgetItem(nullptr, kDrawingItemType), FDrawing(std::move(drawing)) {}
    std::unique_ptr<TDrawing> FDrawing;
};

TMainForm::TMainForm(TMainFormServices services, const QString& startPath, QWidget* parent)
    : QMainWindow(parent), FServices(std::move(services)), FStartPath(startPath)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    setWindowIcon(ApplicationIcon());
    BuildComponents();
    BuildThumbnails();
    BuildMenus();
    BuildView();
    BuildSaveDialog();
    setMinimumSize(240, 180);
    resize(kDesignedWidth, kDesignedHeight);
    // The text layout lets pending events through before each character.
    SetLayoutMessageHook([] { QCoreApplication::processEvents(); });
    FormCreate();
}

TMainForm::~TMainForm()
{
    FormDestroy();
    // The list's model still signals while the child widgets are destroyed, after this object's
    // own members are gone: nothing of this window may answer it then.
    disconnect(drList->model(), nullptr, this, nullptr);
}

void TMainForm::BuildComponents()
{
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(5);
    Splitter1->setChildrenCollapsible(false);
    setCentralWidget(Splitter1);

    // The left column: the tree over the preview.
    panLeft = new QWidget(Splitter1);
    panLeft->setObjectName(QStringLiteral("panLeft"));
    panLeft->setMinimumWidth(20);
    auto* leftLayout = new QVBoxLayout(panLeft);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    Panel3 = new TTitlePanel(QStringLiteral("Databases"), 16, 2, panLeft);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    leftLayout->addWidget(Panel3);
    Splitter2 = new QSplitter(Qt::Vertical, panLeft);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setHandleWidth(5);
    Splitter2->setChildrenCollapsible(false);
    leftLayout->addWidget(Splitter2, 1);

    dbTree = new QTreeWidget(Splitter2);
    dbTree->setObjectName(QStringLiteral("dbTree"));
    dbTree->setColumnCount(1);
    dbTree->setHeaderHidden(true);
    dbTree->setIndentation(19);
    dbTree->setIconSize(QSize(16, 16));
    dbTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dbTree->setSelectionMode(QAbstractItemView::SingleSelection);
    dbTree->setUniformRowHeights(true);
    KeepSelectionVisible(dbTree);
    // The three roots are part of the window's design.
    for (const char* caption : {"Drawing databases", "Shape Libraries", "Fonts"}) {
        auto* root = new QTreeWidgetItem(dbTree, QStringList(QString::fromLatin1(caption)));
        root->setIcon(0, TreeIcon(kIconRoot));
    }

    panPrevBox = new TCaptionPanel(QStringLiteral("No drawing selected"), false, Splitter2);
    panPrevBox->setObjectName(QStringLiteral("panPrevBox"));
    auto* boxLayout = new QVBoxLayout(panPrevBox);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    boxLayout->setSpacing(0);
    panPrTitle = new TTitlePanel(QStringLiteral("Preview"), 17, 1, panPrevBox);
    panPrTitle->setObjectName(QStringLiteral("panPrTitle"));
    CheckBox1 = new QCheckBox(QStringLiteral("Substitute font"), panPrTitle);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(false);
    panPrTitle->addRightWidget(CheckBox1);
    boxLayout->addWidget(panPrTitle);
    panPreview = new TCaptionPanel(QStringLiteral("No drawing selected"), true, panPrevBox);
    panPreview->setObjectName(QStringLiteral("panPreview"));
    imgPreview = new TImageView;
    imgPreview->setObjectName(QStringLiteral("imgPreview"));
    panPreview->setClient(imgPreview);
    boxLayout->addWidget(panPreview, 1);
    Splitter2->addWidget(dbTree);
    Splitter2->addWidget(panPrevBox);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);

    // The right side: the drawings of the selected database.
    Panel2 = new QWidget(Splitter1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setMinimumWidth(20);
    auto* rightLayout = new QVBoxLayout(Panel2);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    panDrTitle = new TTitlePanel(QStringLiteral("Drawings"), 17, 2, Panel2);
    panDrTitle->setObjectName(QStringLiteral("panDrTitle"));
    rightLayout->addWidget(panDrTitle);
    drList = new QListWidget(Panel2);
    drList->setObjectName(QStringLiteral("drList"));
    drList->setViewMode(QListView::IconMode);
    drList->setIconSize(QSize(32, 32));
    drList->setMovement(QListView::Static);
    drList->setResizeMode(QListView::Adjust);  // the icons are arranged again on every resize
    drList->setFlow(QListView::LeftToRight);
    drList->setWrapping(true);
    drList->setWordWrap(false);
    drList->setTextElideMode(Qt::ElideRight);
    drList->setSelectionMode(QAbstractItemView::SingleSelection);
    drList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    drList->setSortingEnabled(false);
    drList->setUniformItemSizes(true);
    drList->setGridSize(QSize(88, 32 + drList->fontMetrics().height() + 16));
    KeepSelectionVisible(drList);
    rightLayout->addWidget(drList, 1);
    emptyState = new TEmptyState(Panel2);
    emptyState->hide();
    rightLayout->addWidget(emptyState, 1);
    connect(emptyState->butOpenFolder, &QPushButton::clicked, this,
            [this] { RunCommand(&TMainForm::OpenFolder1Click); });
    setAcceptDrops(true);  // a folder dropped anywhere on the window opens

    Splitter1->addWidget(panLeft);
    Splitter1->addWidget(Panel2);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({kDesignedPanLeft, kDesignedWidth - kDesignedPanLeft - 5});
    Splitter2->setSizes({300, kDesignedPanPreview});

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);

    connect(dbTree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { dbTreeChange(current); });
    connect(drList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TMainForm::drListSelectionChanged);
    connect(panPreview, &TCaptionPanel::resized, this, &TMainForm::panPreviewResize);
    connect(CheckBox1, &QCheckBox::clicked, this, &TMainForm::CheckBox1Click);
}

void TMainForm::BuildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    const auto makeAction = [this](QMenu* menu, const char* name, const char* caption) {
        QAction* a = menu->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    File1 = bar->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    OpenFolder1 = File1->addAction(QStringLiteral("Open Folder\u2026"));
    OpenFolder1->setObjectName(QStringLiteral("OpenFolder1"));
    OpenFolder1->setShortcut(QKeySequence::Open);
    OpenRecent1 = File1->addMenu(QStringLiteral("Open Recent"));
    OpenRecent1->setObjectName(QStringLiteral("OpenRecent1"));
    N2 = File1->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    Export1 = makeAction(File1, "Export1", "E&xport");
    N1 = File1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    Copyasvectors1 = makeAction(File1, "Copyasvectors1", "Copy as &Vectors");
    Copyasvectors1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    CopyasBitmap1 = makeAction(File1, "CopyasBitmap1", "Copy as &Bitmap");
    CopyasBitmap1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    Options1 = bar->addMenu(QStringLiteral("&User"));
    Options1->setObjectName(QStringLiteral("Options1"));
    SelectUser1 = makeAction(Options1, "SelectUser1", "Select &User");
    About1 = bar->addMenu(QStringLiteral("&Help"));
    About1->setObjectName(QStringLiteral("About1"));
    About2 = makeAction(About1, "About2", "&About");
    // The shortcuts work wherever the focus is in the window, the item views included.
    for (QAction* a : {OpenFolder1, Copyasvectors1, CopyasBitmap1})
        a->setShortcutContext(Qt::WindowShortcut);
    BuildPrintActions();
    EnableDrawingCommands(false);

    connect(Export1, &QAction::triggered, this, [this] { RunCommand(&TMainForm::Export1Click); });
    connect(Copyasvectors1, &QAction::triggered, this, [this] { RunCommand(&TMainForm::Copyasvectors1Click); });
    connect(CopyasBitmap1, &QAction::triggered, this, [this] { RunCommand(&TMainForm::CopyasBitmap1Click); });
    connect(SelectUser1, &QAction::triggered, this, [this] { RunCommand(&TMainForm::SelectUser1Click); });
    connect(OpenFolder1, &QAction::triggered, this, [this] { RunCommand(&TMainForm::OpenFolder1Click); });
    connect(OpenRecent1, &QMenu::aboutToShow, this, &TMainForm::OpenRecent1Show);
    connect(About2, &QAction::triggered, this, [this] { RunCommand(&TMainForm::About2Click); });
}

// --- Start-up, users and database discovery -------------------------------------------------

void TMainForm::FormCreate()
{
    // The splash stands on its own: giving it this window as its parent would bring this
    // window's native window up before its stored placement and state are set.
    FAboutForm = new TAboutForm(nullptr);
    FAboutForm->ShowSplash();
    QCoreApplication::processEvents();
    Guarded([this] { StartUp(); });
    UpdateEmptyState();
}

void TMainForm::StartUp()
{
    FDrawingsRoot = dbTree->topLevelItem(0);
    FLibrariesRoot = dbTree->topLevelItem(1);
    FFontsRoot = dbTree->topLevelItem(2);
    FontList.Clear();
    LoadFolders();
    const userdata::FolderLocation at = StartLocation();
    if (FStartProblem.isEmpty() && FServices.createUserData) {
        try {
            FUserData = FServices.createUserData(at.folder);
        } catch (...) {
            FUserData.reset();  // no folder there: the window opens empty and says where it looked
        }
    }
    LoadSettings();
    if (FUserData) {
        FUserIDs = FUserData->QueryUserIDs();
        if (!FStartPath.isEmpty())
            RememberFolder(at.folder);
    }
    if (FUserID < 0)
        PickUser();
    ApplyUser();
    if (at.kind == userdata::FolderKind::Database)
        SelectDatabase(at.folder);
    FRenderOptions.SubstituteFontName.clear();
}

void TMainForm::PickUser()
{
    FNoUsers = false;
    const std::int32_t count = FUserData ? FUserData->QueryUserCount() : 0;
    if (count >= 2) {
        ChooseUser();
    } else if (count == 1) {
        FUserID = FUserIDs.At(FUserIDs.LowerBound());
    } else {
        // Nobody to show: the drawing list says where the program looked and what to open.
        FNoUsers = true;
    }
}

bool TMainForm::ChooseUser()
{
    TselUserForm form(this);
    form.FUserData = FUserData.get();
    form.FUserIDs = FUserIDs;
    form.FUserID = FUserID;
    form.FormShow();
    if (form.exec() != QDialog::Accepted)
        return false;
    FUserID = form.Result();
    FNoUsers = false;
    return true;
}

void TMainForm::ApplyUser()
{
    ReleaseDrawings();
    if (!FUserData)
        FNoUsers = true;
    if (!FNoUsers) {
        try {
            FUserName = FUserData->QueryUserName(FUserID);
        } catch (const std::exception&) {
            // The stored user is gone: pick again, and ask once more.
            PickUser();
            if (!FNoUsers)
                FUserName = FUserData->QueryUserName(FUserID);
        }
    }
    if (FNoUsers) {
        // No HotSync user at all: the window opens with its roots empty.
        FUserName.clear();
        setWindowTitle(QString::fromLatin1(kApplicationTitle));
        ReleaseDatabases();
        FontList.Clear();
        return;
    }
    setWindowTitle(QStringLiteral("Quarnel Plotwick - ") + QString::fromStdString(FUserName));
    ScanDatabases();
}

void TMainForm::ScanDatabases()
{
    ReleaseDatabases();
    FontList.Clear();
    // The base folder first, then the user's part, joined with nothing in between.
    std::string userFolder = FUserData->QueryBaseFolder();
    userFolder += FUserData->QueryUserFolder(FUserID);
    FUserFolder = userFolder;
    ScanFolder(KindFolder(userFolder, kDrawings), FDrawingsRoot, kDrawings);
    ScanFolder(KindFolder(userFolder, kLibrary), FLibrariesRoot, kLibrary);
    ScanFolder(KindFolder(userFolder, kFonts), FFontsRoot, kFonts);
    for (QTreeWidgetItem* root : {FDrawingsRoot, FLibrariesRoot, FFontsRoot})
        root->setExpanded(true);
}

void TMainForm::ScanFolder(const std::string& folder, QTreeWidgetItem* root, DbKind kind)
{
    const auto add = [&](std::unique_ptr<TDrawDB> db) {
        auto* node = new TDbNode(std::move(db));
        node->setText(0, FileNameText(node->FDB->FName));
        node->setIcon(0, TreeIcon(kind));
        root->addChild(node);
        if (kind == kFonts)
            FontList.AddFontDatabase(node->FDB.get());
    };
    try {
        ::plotwick::ScanFolder(folder, kind, add);
    } catch (...) {
        // The nodes added so far stay; the rest of the scan is not done.
        root->setExpanded(true);
        throw;
    }
}

void TMainForm::ReleaseDatabases()
{
    StopListing();
    StopRendering();  // the workers read the databases and the fonts
    const QTreeWidgetItem* roots[3] = {FDrawingsRoot, FLibrariesRoot, FFontsRoot};
    // First detach the databases, so that selection changes while the nodes go find none.
    for (const QTreeWidgetItem* root : roots) {
        if (!root)
            continue;
        for (int i = 0; i < root->childCount(); ++i)
            if (root->child(i)->type() == kDbNodeType)
                static_cast<TDbNode*>(root->child(i))->FDB.reset();
    }
    for (const QTreeWidgetItem* root : roots)
        if (root)
            qDeleteAll(const_cast<QTreeWidgetItem*>(root)->takeChildren());
}

void TMainForm::SelectUser1Click()
{
    if (ChooseUser())
        ApplyUser();
    UpdateEmptyState();
}

// --- Browsing ---------------------------------------------------------------------------------

TDrawDB* TMainForm::NodeDatabase(QTreeWidgetItem* node)
{
    if (!node || node->type() != kDbNodeType)
        return nullptr;
    return static_cast<TDbNode*>(node)->FDB.get();
}

TDrawing* TMainForm::ItemDrawing(QListWidgetItem* item)
{
    if (!item || item->type() != kDrawingItemType)
        return nullptr;
    return static_cast<TDrawingItem*>(item)->FDrawing.get();
}

TDrawing* TMainForm::SelectedDrawing() const
{
    // With several selected, the one the keyboard is on (the last clicked).
    if (QListWidgetItem* current = drList->currentItem(); current && current->isSelected())
        return ItemDrawing(current);
    const QList<QListWidgetItem*> selected = drList->selectedItems();
    return selected.isEmpty() ? nullptr : ItemDrawing(selected.first());
}

void TMainForm::dbTreeChange(QTreeWidgetItem* node)
{
    if (Busy()) {
        FDeferTreeChange = true;
        AbandonPreview();
        return;
    }
    if (TDrawDB* db = NodeDatabase(node))
        Guarded([&] { ListDrawings(db); });
}

void TMainForm::ListDrawings(TDrawDB* db)
{
    panDrTitle->setCaption(QStringLiteral("Drawings from: ") + FileNameText(db->FName));
    BusyScope busy(*this);
    BusyCursor cursor(Qt::WaitCursor);
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    ReleaseDrawings();
    // A first slice at once, the rest in slices while the window stays responsive; the first
    // slice is shorter by the time the folder took to read.
    std::vector<files::DirEntry> entries = files::Enumerate(db->FPath, "*.dat", files::Hidden::Include);
    StartListing(db, std::move(entries), clock.nsecsElapsed());
}

void TMainForm::AddDrawing(TDrawDB* db, const std::string& fileName)
{
    auto drawing = std::make_unique<TDrawing>(db, fileName);
    QString caption;
    QImage picture;
    if (drawing->FThumbnail) {
        caption = HandheldText(drawing->FName);
        picture = ThumbnailToImage(*drawing->FThumbnail);
    } else {
        // The record could not be opened: it has neither name nor thumbnail. It is listed
        // under its file name with a picture saying so.
        caption = FileNameText(fileName);
        picture = UnreadableRecordImage();
    }
    auto* item = new TDrawingItem(std::move(drawing));
    item->setText(caption);
    item->setIcon(PlaceholderIcon(picture));
    const std::int64_t bytes = QFileInfo(FileNameText(item->FDrawing->FilePath())).size();
    item->setToolTip(DrawingToolTip(item->FDrawing->FThumbnail ? caption
                                                               : caption + QStringLiteral(" (the record cannot be read)"),
                                    FileNameText(fileName), bytes));
    drList->addItem(item);
}

void TMainForm::ReleaseDrawings()
{
    StopListing();
    FThumbnails->Stop();
    for (int i = 0; i < drList->count(); ++i)
        if (drList->item(i)->type() == kDrawingItemType)
            static_cast<TDrawingItem*>(drList->item(i))->FDrawing.reset();
    drList->clear();
    ForgetSelection();
}

void TMainForm::drListSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    for (const QModelIndex& index : deselected.indexes())
        drListSelectItem(drList->item(index.row()), false);
    // Several selected at once (Select All, Shift+click) change neither the preview nor the view.
    if (const QModelIndexList added = selected.indexes(); added.size() == 1)
        drListSelectItem(drList->item(added.first().row()), true);
    // With several selected, the commands follow whether any drawing is left selected.
    EnableDrawingCommands(SelectedDrawing() != nullptr);
}

void TMainForm::drListSelectItem(QListWidgetItem* item, bool selected)
{
    if (!ItemDrawing(item))
        return;
    EnableDrawingCommands(selected);
    if (selected) {
        panPrTitle->setCaption(QStringLiteral("Preview: ") + item->text());
        Guarded([this] { RenderPreview(); });
        if (ViewShown())
            Guarded([this] { ShowSelectedInView(); });
    }
}

void TMainForm::EnableDrawingCommands(bool enabled)
{
    for (QAction* a : {Export1, Copyasvectors1, CopyasBitmap1})
        a->setEnabled(enabled);
}

void TMainForm::RenderPreview()
{
    if (Busy()) {
        FDeferRender = true;
        AbandonPreview();  // the one being rendered is for what was selected before
        return;
    }
    BusyCursor cursor(Qt::BusyCursor);
    QCoreApplication::processEvents();
    TDrawing* drawing = SelectedDrawing();
    if (!drawing)
        return;
    const qreal ratio = imgPreview->devicePixelRatioF();
    const QSize pixels(qRound(imgPreview->width() * ratio), qRound(imgPreview->height() * ratio));
    if (pixels.isEmpty())
        return;  // the preview is squeezed to nothing: there is no pixel to draw
    QImage image;
    try {
        BusyScope busy(*this);
        image = RenderPreviewOnWorker(*drawing, pixels);
    } catch (...) {
        // A preview of another drawing must not stay under this drawing's title.
        imgPreview->setImage({});
        RethrowNamingDrawing(*drawing);
    }
    if (image.isNull())
        return;  // abandoned for a newer request
    image.setDevicePixelRatio(ratio);
    imgPreview->setImage(image);
    ++FPreviewCount;
    emit previewRendered();
}

void TMainForm::panPreviewResize()
{
    // Resizes come in bursts while a splitter is dragged: the preview is rendered once the
    // burst has been handled.
    if (!SelectedDrawing())
        return;
    QTimer::singleShot(0, this, [this] { Guarded([this] { RenderPreview(); }); });
}

void TMainForm::CheckBox1Click()
{
    if (Busy()) {
        ++FDeferToggles;
        return;
    }
    Guarded([this] { ToggleSubstituteFont(); });
}

void TMainForm::ToggleSubstituteFont()
{
    // The switch follows the variable, not the box.
    std::string& face = FRenderOptions.SubstituteFontName;
    if (!face.empty())
        face.clear();
    else
        face = "Arial";
    drView->SetRenderOptions(FRenderOptions);
    StartThumbnails();
    RenderPreview();
}

void TMainForm::About2Click()
{
    // The splash may still be up: it becomes the ordinary box, shown modally.
    FAboutForm->EndSplash();
    FAboutForm->hide();
    if (FAboutForm->parentWidget() != this)
        FAboutForm->setParent(this, FAboutForm->windowFlags());
    FAboutForm->exec();
}

// The export and copy commands live in MainFormExport.cpp.

// --- Commands held while busy -------------------------------------------------------------

void TMainForm::RunCommand(void (TMainForm::*command)())
{
    if (Busy()) {
        FDeferredCommands.push_back(command);
        return;
    }
    Guarded([&] { (this->*command)(); });
}

void TMainForm::ScheduleDeferred()
{
    const bool pending = FDeferTreeChange || FDeferRender || FDeferToggles != 0 || FDeferClose ||
                         !FDeferredCommands.empty();
    if (!pending || FDeferredScheduled || Busy())
        return;
    FDeferredScheduled = true;
    QTimer::singleShot(0, this, &TMainForm::RunDeferred);
}

void TMainForm::RunDeferred()
{
    FDeferredScheduled = false;
    // A busy scope schedules this again when it ends; a held command that opens a dialog
    // must not see the rest run inside its dialog.
    if (Busy() || FRunningDeferred)
        return;
    FRunningDeferred = true;
    struct Reset {
        TMainForm& f;
        ~Reset()
        {
            f.FRunningDeferred = false;
            f.ScheduleDeferred();
        }
    } reset{*this};
    if (FDeferTreeChange) {
        FDeferTreeChange = false;
        dbTreeChange(dbTree->currentItem());
    }
    if (FDeferToggles != 0) {
        const bool odd = FDeferToggles % 2 != 0;
        FDeferToggles = 0;
        if (odd)
            Guarded([this] { ToggleSubstituteFont(); });
    }
    while (!FDeferredCommands.empty() && !Busy()) {
        const auto command = FDeferredCommands.front();
        FDeferredCommands.erase(FDeferredCommands.begin());
        RunCommand(command);
    }
    if (FDeferRender && !Busy()) {
        FDeferRender = false;
        Guarded([this] { RenderPreview(); });
    }
    if (FDeferClose && !Busy()) {
        FDeferClose = false;
        close();
    }
}

// --- Messages -------------------------------------------------------------------------------

template <class F>
void TMainForm::Guarded(F&& f)
{
    try {
        f();
    } catch (const std::bad_alloc&) {
        ShowError(QStringLiteral("Out of memory."));
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}

void TMainForm::ShowProblem(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, kProblemCaption, text, QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("problemBox"));
    box.exec();  // either answer goes on the same way
}

void TMainForm::ShowError(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("errorBox"));
    box.exec();
}

// --- Window events --------------------------------------------------------------------------

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (Busy()) {
        // Closing now would free the drawing being read; the window closes when it is done.
        FDeferClose = true;
        AbandonPreview();
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    // A splash still up would keep the program running after its window has gone.
    if (event->isAccepted() && FAboutForm && FAboutForm->isVisible())
        FAboutForm->close();
}

void TMainForm::mousePressEvent(QMouseEvent* event)
{
    if (FAboutForm && FAboutForm->isVisible() && FAboutForm->IsSplash())
        FAboutForm->close();
    QMainWindow::mousePressEvent(event);
}

void TMainForm::FormDestroy()
{
    StopRendering();
    delete FAboutForm;
    FAboutForm = nullptr;
    FontList.Clear();
    SaveSettings();
    ReleaseDatabases();
    ReleaseDrawings();
    FUserData.reset();
    FUserIDs.Clear();
    SetLayoutMessageHook({});
}

}  // namespace plotwick::app
