// The drawing view in the main window, and the commands added around the designed ones: the
// View menu, Quit, the list's filter, Help's list of keys.
//
// The view stands in the place of the drawing list, in the same window: it always shows the
// drawing selected in the list, so that Page Up and Page Down step through the list, the
// preview and its title follow, and every drawing command (export, copies) acts on what the
// view shows without a second notion of "the current drawing". Full screen leaves the view
// alone on the screen.
#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/DrawingList.h"
#include "app/DrawingView.h"
#include "app/EmptyState.h"
#include "app/MainForm.h"
#include "app/Panels.h"
#include "app/RenderQueue.h"
#include "app/Settings.h"
#include "model/DrawDB.h"
#include "model/Drawing.h"
#include "platform/fonts/Codepage.h"

namespace plotwick::app {

namespace {

// Space on the list opens the selected drawing, as Enter and a double click do.
class SpaceOpens : public QObject {
public:
    SpaceOpens(QObject* parent, std::function<void()> open) : QObject(parent), open_(std::move(open)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space &&
            static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
            open_();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> open_;
};

QAction* AddAction(QMenu* menu, const char* name, const QString& caption)
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

}  // namespace

void TMainForm::BuildView()
{
    // The list: several drawings can be selected, names take two lines (the thumbnails' size
    // sets the grid).
    drList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    drList->setWordWrap(true);
    drList->setTextElideMode(Qt::ElideNone);
    drList->setItemDelegate(new TDrawingNameDelegate(drList));
    connect(drList, &QListWidget::itemActivated, this, [this] { RunCommand(&TMainForm::OpenDrawing1Click); });
    drList->installEventFilter(new SpaceOpens(drList, [this] { RunCommand(&TMainForm::OpenDrawing1Click); }));

    auto* rightLayout = static_cast<QVBoxLayout*>(Panel2->layout());
    edFilter = new QLineEdit(Panel2);
    edFilter->setObjectName(QStringLiteral("edFilter"));
    edFilter->setPlaceholderText(QStringLiteral("Filter by name"));
    edFilter->setClearButtonEnabled(true);
    rightLayout->insertWidget(1, edFilter);
    connect(edFilter, &QLineEdit::textChanged, this, &TMainForm::edFilterChange);

    drView = new TDrawingView(*FRenderQueue, Panel2);
    drView->hide();
    rightLayout->addWidget(drView, 1);
    auto* viewLabel = new QLabel(StatusBar1);
    viewLabel->setObjectName(QStringLiteral("lblView"));
    StatusBar1->addPermanentWidget(viewLabel);
    connect(drView, &TDrawingView::zoomChanged, this, [this, viewLabel] {
        viewLabel->setText(ViewShown() && drView->HasDrawing()
                               ? drView->Caption() + QStringLiteral(" \u2013 ") + drView->ZoomText()
                               : QString());
        UpdateViewCommands();
    });
    connect(drView, &TDrawingView::renderFailed, this, [this](const QString& message) {
        TDrawing* drawing = SelectedDrawing();
        if (!drawing)
            return;
        try {
            try {
                throw std::runtime_error(message.toStdString());
            } catch (...) {
                RethrowNamingDrawing(*drawing);
            }
        } catch (const std::exception& e) {
            ShowError(QString::fromUtf8(e.what()));
        }
    });

    // The File menu: the export of several drawings and Quit.
    Export1->setText(QStringLiteral("E&xport\u2026"));
    Export1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    Copyasvectors1->setShortcut(QKeySequence::Copy);
    ExportSelected1 = new QAction(QStringLiteral("Export &Selected\u2026"), this);
    ExportSelected1->setObjectName(QStringLiteral("ExportSelected1"));
    ExportSelected1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    ExportDatabaseFiles1 = new QAction(QStringLiteral("Export Data&base\u2026"), this);
    ExportDatabaseFiles1->setObjectName(QStringLiteral("ExportDatabaseFiles1"));
    File1->insertActions(N1, {ExportSelected1, ExportDatabaseFiles1});
    File1->addSeparator();
    Quit1 = AddAction(File1, "Quit1", QStringLiteral("&Quit"));
    // The standard key where the platform has one; Ctrl+Q, the usual one, where it has none.
    Quit1->setShortcuts(QKeySequence::keyBindings(QKeySequence::Quit).isEmpty()
                            ? QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Q)}
                            : QKeySequence::keyBindings(QKeySequence::Quit));
    Quit1->setMenuRole(QAction::QuitRole);

    // The View menu.
    View1 = new QMenu(QStringLiteral("&View"), menuBar());
    View1->setObjectName(QStringLiteral("View1"));
    menuBar()->insertMenu(Options1->menuAction(), View1);
    OpenDrawing1 = AddAction(View1, "OpenDrawing1", QStringLiteral("Open Drawing"));
    View1->addSeparator();
    ZoomIn1 = AddAction(View1, "ZoomIn1", QStringLiteral("Zoom &In"));
    ZoomIn1->setShortcuts(QKeySequence::keyBindings(QKeySequence::ZoomIn) << QKeySequence(Qt::CTRL | Qt::Key_Equal));
    ZoomOut1 = AddAction(View1, "ZoomOut1", QStringLiteral("Zoom &Out"));
    ZoomOut1->setShortcuts(QKeySequence::ZoomOut);
    FitToWindow1 = AddAction(View1, "FitToWindow1", QStringLiteral("&Fit to Window"));
    FitToWindow1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_9));
    ActualSize1 = AddAction(View1, "ActualSize1", QStringLiteral("&Actual Size (100 %)"));
    ActualSize1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    View1->addSeparator();
    PreviousDrawing1 = AddAction(View1, "PreviousDrawing1", QStringLiteral("&Previous Drawing"));
    PreviousDrawing1->setShortcut(QKeySequence(Qt::Key_PageUp));
    NextDrawing1 = AddAction(View1, "NextDrawing1", QStringLiteral("&Next Drawing"));
    NextDrawing1->setShortcut(QKeySequence(Qt::Key_PageDown));
    View1->addSeparator();
    FullScreen1 = AddAction(View1, "FullScreen1", QStringLiteral("F&ull Screen"));
    QList<QKeySequence> fullScreenKeys = QKeySequence::keyBindings(QKeySequence::FullScreen);
    if (!fullScreenKeys.contains(QKeySequence(Qt::Key_F11)))
        fullScreenKeys << QKeySequence(Qt::Key_F11);
    FullScreen1->setShortcuts(fullScreenKeys);
    FullScreen1->setCheckable(true);
    BackToList1 = AddAction(View1, "BackToList1", QStringLiteral("&Back to the List"));
    BackToList1->setShortcut(QKeySequence(Qt::Key_Escape));
    View1->addSeparator();
    SelectAll1 = AddAction(View1, "SelectAll1", QStringLiteral("Select &All Drawings"));
    SelectAll1->setShortcut(QKeySequence::SelectAll);

    KeyboardShortcuts1 = new QAction(QStringLiteral("Keyboard Shortcuts"), this);
    KeyboardShortcuts1->setObjectName(QStringLiteral("KeyboardShortcuts1"));
    KeyboardShortcuts1->setShortcut(QKeySequence::HelpContents);
    About1->insertAction(About2, KeyboardShortcuts1);

    // The keys of the view work while it has the focus; Select All while the list has it (the
    // filter field keeps its own). The others work anywhere in the window, full screen too,
    // where the menu bar is hidden.
    for (QAction* a : {ZoomIn1, ZoomOut1, FitToWindow1, ActualSize1, PreviousDrawing1, NextDrawing1, BackToList1}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        drView->addAction(a);
    }
    SelectAll1->setShortcutContext(Qt::WidgetShortcut);
    drList->addAction(SelectAll1);
    for (QAction* a : {Export1, ExportSelected1, ExportDatabaseFiles1, Copyasvectors1, CopyasBitmap1, Quit1, FullScreen1,
                       KeyboardShortcuts1, OpenFolder1}) {
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }

    connect(OpenDrawing1, &QAction::triggered, this, [this] { RunCommand(&TMainForm::OpenDrawing1Click); });
    connect(ZoomIn1, &QAction::triggered, drView, &TDrawingView::ZoomIn);
    connect(ZoomOut1, &QAction::triggered, drView, &TDrawingView::ZoomOut);
    connect(FitToWindow1, &QAction::triggered, drView, &TDrawingView::FitToWindow);
    connect(ActualSize1, &QAction::triggered, drView, &TDrawingView::ActualSize);
    // Stepping is left out while a drawing is being read; the key can simply be pressed again.
    connect(PreviousDrawing1, &QAction::triggered, this, [this] {
        if (!Busy())
            StepDrawing(-1);
    });
    connect(NextDrawing1, &QAction::triggered, this, [this] {
        if (!Busy())
            StepDrawing(1);
    });
    connect(FullScreen1, &QAction::triggered, this, [this] { RunCommand(&TMainForm::FullScreen1Click); });
    connect(BackToList1, &QAction::triggered, this, [this] { RunCommand(&TMainForm::BackToList1Click); });
    connect(SelectAll1, &QAction::triggered, drList, &QListWidget::selectAll);
    connect(ExportSelected1, &QAction::triggered, this, [this] { RunCommand(&TMainForm::ExportSelected1Click); });
    connect(ExportDatabaseFiles1, &QAction::triggered, this, [this] { RunCommand(&TMainForm::ExportDatabaseFiles1Click); });
    connect(Quit1, &QAction::triggered, this, &QWidget::close);
    connect(KeyboardShortcuts1, &QAction::triggered, this, [this] { RunCommand(&TMainForm::KeyboardShortcuts1Click); });
    connect(drList->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TMainForm::UpdateViewCommands);
    connect(drList->model(), &QAbstractItemModel::rowsInserted, this, &TMainForm::UpdateViewCommands);
    connect(drList->model(), &QAbstractItemModel::modelReset, this, &TMainForm::UpdateViewCommands);

    const settings::Store store;
    FLastExportFolder = store.Read(settings::LastExportFolder).value(0);
    UpdateViewCommands();
}

bool TMainForm::ViewShown() const
{
    return drView && !drView->isHidden();
}

void TMainForm::UpdateViewCommands()
{
    const bool view = ViewShown() && drView->HasDrawing();
    for (QAction* a : {ZoomIn1, ZoomOut1, FitToWindow1, ActualSize1})
        a->setEnabled(view);
    // Stepping needs no shapes: it works while the drawing is still being read.
    for (QAction* a : {PreviousDrawing1, NextDrawing1})
        a->setEnabled(ViewShown() && (drView->HasDrawing() || drView->Loading()));
    BackToList1->setEnabled(ViewShown() || isFullScreen());
    const bool selected = SelectedDrawing() != nullptr;
    OpenDrawing1->setEnabled(selected && !ViewShown());
    FullScreen1->setEnabled(selected || isFullScreen());
    FullScreen1->setChecked(isFullScreen());
    ExportSelected1->setEnabled(!drList->selectedItems().isEmpty());
    ExportDatabaseFiles1->setEnabled(drList->count() > 0);
    SelectAll1->setEnabled(drList->count() > 0);
}

void TMainForm::OpenDrawing1Click()
{
    if (!SelectedDrawing())
        return;
    drList->hide();
    edFilter->hide();
    emptyState->hide();
    drView->show();
    drView->setFocus();
    ShowSelectedInView();
    UpdateViewCommands();
}

void TMainForm::ShowSelectedInView()
{
    // A load still under way is for a drawing no longer asked for: it stops at its next shape.
    FRenderQueue->Cancel(kViewLoadGroup);
    TDrawing* drawing = SelectedDrawing();
    if (!drawing) {
        drView->Clear();
        return;
    }
    QString caption;
    for (QListWidgetItem* item : drList->selectedItems())
        if (ItemDrawing(item) == drawing)
            caption = item->text();
    drView->SetRenderOptions(CurrentRenderOptions());
    drView->SetLoading(caption);
    // The shapes are read on a worker, from its own drawing of the record through its own copy
    // of the database, and handed over through the queue with the result.
    auto db = drawing->FDB ? std::make_shared<const TDrawDB>(*drawing->FDB) : nullptr;
    auto loaded = std::make_shared<std::shared_ptr<ViewDrawing>>();
    FRenderQueue->Submit(
        kViewLoadGroup,
        [db, fileName = drawing->FFileName, loaded](const std::atomic<bool>& cancelled) {
            TDrawing own(const_cast<TDrawDB*>(db.get()), fileName);
            own.LoadShapes(true, &cancelled);
            auto shown = std::make_shared<ViewDrawing>();
            const IntRect r = own.GetBounds();
            shown->width = static_cast<double>(r.Width());
            shown->height = static_cast<double>(r.Height());
            shown->shapes = std::move(own.FShapes);
            own.ClearShapes();
            *loaded = std::move(shown);
            return RenderResult{};
        },
        [this, drawing, caption, loaded](const RenderResult& result) {
            if (SelectedDrawing() != drawing)
                return;  // the list moved on meanwhile
            if (!result.Failed()) {
                drView->SetDrawing(std::move(*loaded), caption);
                return;
            }
            drView->Clear();
            try {
                try {
                    throw std::runtime_error(result.error.toStdString());
                } catch (...) {
                    RethrowNamingDrawing(*drawing);
                }
            } catch (const std::exception& e) {
                ShowError(QString::fromUtf8(e.what()));
            }
        });
}

void TMainForm::CloseView()
{
    if (!ViewShown())
        return;
    FRenderQueue->Cancel(kViewLoadGroup);
    drView->Clear();
    drView->hide();
    edFilter->show();
    UpdateEmptyState();
    if (drList->isVisible())
        drList->setFocus();
    UpdateViewCommands();
    emit drView->zoomChanged();
}

void TMainForm::StepDrawing(int step)
{
    // The next drawing the filter leaves in the list, in the list's order.
    int row = drList->currentRow();
    for (row += step; row >= 0 && row < drList->count(); row += step) {
        if (!drList->item(row)->isHidden())
            break;
    }
    if (row < 0 || row >= drList->count())
        return;
    drList->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    drList->scrollToItem(drList->item(row));
}

void TMainForm::FullScreen1Click()
{
    if (isFullScreen()) {
        setWindowState(windowState() & ~Qt::WindowFullScreen);
        menuBar()->show();
        StatusBar1->show();
        panLeft->show();
        panDrTitle->show();
        if (FFullScreenFromList)
            CloseView();
        FFullScreenFromList = false;
    } else {
        if (!ViewShown()) {
            if (!SelectedDrawing())
                return;
            OpenDrawing1Click();
            FFullScreenFromList = true;
        }
        menuBar()->hide();
        StatusBar1->hide();
        panLeft->hide();
        panDrTitle->hide();
        setWindowState(windowState() | Qt::WindowFullScreen);
        drView->setFocus();
    }
    UpdateViewCommands();
}

void TMainForm::BackToList1Click()
{
    if (isFullScreen()) {
        FullScreen1Click();
        return;
    }
    CloseView();
}

void TMainForm::ForgetSelection()
{
    imgPreview->setImage({});
    panPrTitle->setCaption(QStringLiteral("Preview"));
    EnableDrawingCommands(false);
    if (isFullScreen())
        FullScreen1Click();
    CloseView();
    if (edFilter && !edFilter->text().isEmpty())
        edFilter->clear();
    UpdateViewCommands();
}

void TMainForm::edFilterChange(const QString& text)
{
    FilterDrawingList(drList, text);
}

void TMainForm::KeyboardShortcuts1Click()
{
    QDialog box(this);
    box.setObjectName(QStringLiteral("shortcutsBox"));
    box.setWindowTitle(QStringLiteral("Keyboard Shortcuts"));
    auto* layout = new QVBoxLayout(&box);
    auto* table = new QTableWidget(&box);
    table->setObjectName(QStringLiteral("shortcutsTable"));
    table->setColumnCount(2);
    table->setHorizontalHeaderLabels({QStringLiteral("Command"), QStringLiteral("Keys")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const auto add = [table](const QString& command, const QString& keys) {
        const int row = table->rowCount();
        table->insertRow(row);
        table->setItem(row, 0, new QTableWidgetItem(command));
        table->setItem(row, 1, new QTableWidgetItem(keys));
    };
    for (QMenu* menu : {File1, View1, Options1, About1}) {
        for (QAction* a : menu->actions()) {
            if (a->isSeparator() || a->menu() || a->shortcuts().isEmpty())
                continue;
            QStringList keys;
            for (const QKeySequence& k : a->shortcuts())
                keys << k.toString(QKeySequence::NativeText);
            add(a->text().remove(QLatin1Char('&')), keys.join(QStringLiteral(", ")));
        }
    }
    add(QStringLiteral("Open the selected drawing"), QStringLiteral("Enter, Space, double click"));
    add(QStringLiteral("Zoom the drawing"), QStringLiteral("Ctrl+wheel, pinch"));
    add(QStringLiteral("Move the drawing"), QStringLiteral("drag, scroll bars, wheel"));
    add(QStringLiteral("Select several drawings"), QStringLiteral("Ctrl+click, Shift+click"));
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &box);
    connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    layout->addWidget(buttons);
    box.resize(460, 480);
    box.exec();
}

void TMainForm::RethrowNamingDrawing(const TDrawing& drawing)
{
    const QString name = drawing.FName.empty()
                             ? QString::fromStdString(drawing.FFileName)
                             : QString::fromStdString(codepage::Cp1252ToUtf8(drawing.FName));
    const QString file = drawing.FDB ? QString::fromStdString(drawing.FilePath())
                                     : QString::fromStdString(drawing.FFileName);
    const QString prefix = QStringLiteral("Drawing \u201C%1\u201D, file %2:\n").arg(name, file);
    try {
        throw;
    } catch (const std::bad_alloc&) {
        throw std::runtime_error((prefix + QStringLiteral("Out of memory.")).toStdString());
    } catch (const std::exception& e) {
        throw std::runtime_error((prefix + QString::fromUtf8(e.what())).toStdString());
    }
}

}  // namespace plotwick::app
