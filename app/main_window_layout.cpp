// The main window's layout, tool bar and status panes.

#include "app/main_window.h"

#include "app/animation_window.h"
#include "app/drop_files.h"
#include "app/exception_handler.h"
#include "app/fonts.h"
#include "app/library_clipboard.h"
#include "app/globals.h"
#include "app/prompts.h"
#include "app/recent_files.h"
#include "app/thumbnail_cache.h"
#include "app/translations.h"
#include "app/worker.h"
#include "core/file_stream.h"
#include "core/utils.h"
#include "files/pak_passwords.h"
#include "app/dialogs/atlas_dialogs.h"
#include "app/dialogs/batch_export_dialog.h"
#include "app/dialogs/batch_import_dialog.h"
#include "app/dialogs/change_password_dialog.h"
#include "app/dialogs/compare_dialog.h"
#include "app/dialogs/convert_library_dialog.h"
#include "app/dialogs/create_library_dialog.h"
#include "app/dialogs/delete_images_dialog.h"
#include "app/dialogs/export_picture_dialog.h"
#include "app/dialogs/import_picture_dialog.h"
#include "app/dialogs/offset_dialog.h"
#include "app/dialogs/password_list_dialog.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDir>
#include <QFileSystemModel>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStringList>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace velmora {

// A status pane: its designed width while the window has room, narrower when it has not, with
// the text cut short by an ellipsis where it does not fit (the hint shows it whole).
class TStatusPane : public QLabel {
public:
    TStatusPane(QWidget* parent, int designedWidth) : QLabel(parent), FWidth(designedWidth) {
        setSizePolicy(designedWidth > 0 ? QSizePolicy::Preferred : QSizePolicy::Expanding,
                      QSizePolicy::Preferred);
        setMinimumWidth(24);
    }
    void SetFullText(const QString& text) {
        FText = text;
        setToolTip(text);
        Elide();
    }
    const QString& FullText() const { return FText; }
    QSize sizeHint() const override {
        return QSize(FWidth > 0 ? FWidth : 24, QLabel::sizeHint().height());
    }
    QSize minimumSizeHint() const override { return QSize(24, QLabel::minimumSizeHint().height()); }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        Elide();
    }

private:
    void Elide() {
        const int room = std::max(0, contentsRect().width() - 4);
        setText(fontMetrics().elidedText(FText, Qt::ElideMiddle, room));
    }
    int FWidth;
    QString FText;
};

void TfrmMain::BuildLayout() {
    // 1004 x 711 pixels of client area, widened where needed so that the grid's ten columns fit
    // beside the folder column without a horizontal scroll bar.
    const int gridWidth = TDrawGrid::kColCount * TDrawGrid::kPitch + 2 +
                          style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8;
    resize(std::max(1004, 198 + gridWidth), 711 + 19 + menuBar()->sizeHint().height());
    setMinimumSize(640, 480);
    if (const QScreen* screen = QApplication::primaryScreen()) {
        // On a smaller screen the window takes the room there is, less some for its frame; the
        // grid then shows fewer columns.
        const QRect available = screen->availableGeometry();
        resize(std::clamp(width(), 640, std::max(640, available.width() - 16)),
               std::clamp(height(), 480, std::max(480, available.height() - 40)));
        move(available.center() - QPoint(width() / 2, height() / 2));
    }

    auto* splitter1 = new QSplitter(Qt::Horizontal, this);
    splitter1->setObjectName(QStringLiteral("Splitter1"));
    setCentralWidget(splitter1);

    // Left column: folder tree over the file list.
    auto* splitter2 = new QSplitter(Qt::Vertical, splitter1);
    splitter2->setObjectName(QStringLiteral("Splitter2"));
    FFolderModel = new QFileSystemModel(this);
    FFolderModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System |
                            QDir::Drives);
    FFolderModel->setRootPath(QDir::rootPath());
    FFolderTree = new QTreeView(splitter2);
    FFolderTree->setObjectName(QStringLiteral("ShellTreeView"));
    FFolderTree->setModel(FFolderModel);
    for (int column = 1; column < FFolderModel->columnCount(); ++column)
        FFolderTree->hideColumn(column);
    FFolderTree->header()->hide();
    FFolderTree->setContextMenuPolicy(Qt::CustomContextMenu);
    const auto onFolder = [this](const QModelIndex& index) {
        Guarded([&] { FolderSelected(FFolderModel->filePath(index)); });
    };
    connect(FFolderTree, &QTreeView::clicked, this, onFolder);
    connect(FFolderTree, &QTreeView::activated, this, onFolder);
    // Folders are read in the background: keep the selected one in view as its parents arrive.
    connect(FFolderModel, &QFileSystemModel::directoryLoaded, this, [this] {
        QTimer::singleShot(0, this, [this] {
            if (FFolderTree->currentIndex().isValid())
                FFolderTree->scrollTo(FFolderTree->currentIndex(),
                                      QAbstractItemView::PositionAtCenter);
        });
    });
    connect(FFolderTree, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { Guarded([&] { ShowFolderContextMenu(pos); }); });

    FListBoxFileName = new QListWidget(splitter2);
    FListBoxFileName->setObjectName(QStringLiteral("ListBoxFileName"));
    FListBoxFileName->setToolTip(tr("Ctrl + F 查找文件"));
    connect(FListBoxFileName, &QListWidget::itemActivated, this,
            [this] { Guarded([this] { OpenSelectedFile(); }); });
    splitter2->setSizes({289, 692 - 289});
    // The file list follows files that come and go in the folder it shows.
    FFolderWatcher = new QFileSystemWatcher(this);
    connect(FFolderWatcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        Guarded([this] {
            if (!g_CurrentDir.empty())
                FillFileList(g_CurrentDir);
        });
    });

    // Right column: toolbar, preview and progress bar over the thumbnail grid.
    auto* splitter3 = new QSplitter(Qt::Vertical, splitter1);
    splitter3->setObjectName(QStringLiteral("Splitter3"));
    auto* top = new QWidget(splitter3);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(0);
    BuildToolBar(top);
    // One tab per open library, over the preview and the grid that show its document.
    FTabBar = new QTabBar(top);
    FTabBar->setObjectName(QStringLiteral("TabBarLibraries"));
    FTabBar->setDocumentMode(true);
    FTabBar->setTabsClosable(true);
    FTabBar->setMovable(true);
    FTabBar->setExpanding(false);
    FTabBar->setElideMode(Qt::ElideMiddle);
    FTabBar->setUsesScrollButtons(true);
    topLayout->addWidget(FTabBar);
    connect(FTabBar, &QTabBar::currentChanged, this,
            [this](int index) { Guarded([&] { CurrentTabChanged(index); }); });
    connect(FTabBar, &QTabBar::tabCloseRequested, this, [this](int index) {
        Guarded([&] {
            const std::vector<TLibraryDocument*> documents = Documents();
            if (index >= 0 && size_t(index) < documents.size())
                CloseTab(*documents[size_t(index)]);
        });
    });
    FPreviewArea = new TPreviewArea(top);
    topLayout->addWidget(FPreviewArea, 1);
    connect(FPreviewArea, &TPreviewArea::OffsetDragged, this,
            [this](QPoint delta) { Guarded([&] { MoveSelectedOffset(delta); }); });
    auto* progressRow = new QHBoxLayout();
    progressRow->setContentsMargins(0, 0, 0, 0);
    FProgressBar = new QProgressBar(top);
    FProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    FProgressBar->setTextVisible(false);
    FProgressBar->setFixedHeight(16);
    FProgressBar->hide();
    FCancelButton = new QPushButton(tr("取消"), top);
    FCancelButton->setObjectName(QStringLiteral("ButtonCancelJob"));
    FCancelButton->setFixedHeight(18);
    FCancelButton->hide();
    connect(FCancelButton, &QPushButton::clicked, this, [this] {
        // Stops what runs: the reading of a library, or the current tab's job.
        if (Opening())
            CancelOpening();
        else if (FDocument)
            FDocument->CancelJob();
    });
    progressRow->addWidget(FProgressBar, 1);
    progressRow->addWidget(FCancelButton);
    topLayout->addLayout(progressRow);

    auto* popupImage = new QMenu(this);
    popupImage->setObjectName(QStringLiteral("PopupMenuImage"));
    popupImage->addAction(FTransparentAction);
    popupImage->addAction(FStoredViewAction);
    popupImage->addAction(Action("MenuRepairIndex"));
    for (QWidget* w : {static_cast<QWidget*>(FPreviewArea->Picture()), FPreviewArea->viewport()}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [popupImage, w](const QPoint& pos) { popupImage->popup(w->mapToGlobal(pos)); });
    }

    FDrawGrid = new TDrawGrid(splitter3);
    FDrawGrid->SetLabelFont(InterfaceFont());
    FDrawGrid->SetOnCell([this](int index, int size) { return CellView(index, size); });
    // Requests for cells scrolled out of view are dropped before they are decoded.
    connect(FDrawGrid->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (TThumbnailCache* thumbnails = Thumbnails()) {
            const auto [first, last] = FDrawGrid->VisibleRange();
            thumbnails->KeepOnly(first, last);
        }
    });
    connect(FDrawGrid, &TDrawGrid::CellSizeRequested, this,
            [this](int size) { SetThumbnailSize(size); });
    connect(FDrawGrid, &TDrawGrid::SelectionRequested, this, [this](int anchor, int current) {
        if (FDocument)
            FDocument->SelectRange(anchor, current);
        else
            FDrawGrid->SetSelection(-1, -1);
    });
    // A selection dragged onto another tab is pasted there.
    connect(FDrawGrid, &TDrawGrid::DragRequested, this, [this] {
        if (TLibraryDocument* doc = FDocument)
            Guarded([&] { FClipboard->StartDrag(*doc, FDrawGrid); });
    });
    FDrawGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FDrawGrid, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu menu(this);
        for (const char* name : {"MenuCopy", "MenuPaste", "MenuPasteReplace", "MenuPasteAppend"})
            menu.addAction(Action(name));
        menu.exec(FDrawGrid->mapToGlobal(pos));
    });
    splitter3->setSizes({350, 692 - 350});
    splitter3->setStretchFactor(0, 0);
    splitter3->setStretchFactor(1, 1);

    splitter1->setSizes({198, width() - 198});
    splitter1->setStretchFactor(0, 0);
    splitter1->setStretchFactor(1, 1);

    for (QWidget* w : {static_cast<QWidget*>(FFolderTree), static_cast<QWidget*>(FListBoxFileName),
                       static_cast<QWidget*>(FDrawGrid)})
        w->installEventFilter(this);

    // Status line: path, position, image data, pixel format, and the notes of the commands.
    // The panes share the width by their designed sizes; the notes keep a fair share of it.
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setFixedHeight(19);
    const int widths[] = {257, 80, 288, 224, 0};
    const int stretches[] = {3, 1, 3, 2, 3};
    for (int i = 0; i < 5; ++i) {
        auto* pane = new TStatusPane(bar, widths[i]);
        pane->setObjectName(QStringLiteral("StatusPane%1").arg(i + 1));
        pane->setFrameShape(QFrame::StyledPanel);
        pane->setFrameShadow(QFrame::Sunken);
        bar->addWidget(pane, stretches[i]);
        FStatusPanes[size_t(i)] = pane;
    }
}

void TfrmMain::BuildToolBar(QWidget* parent) {
    auto* toolBar = new QToolBar(parent);
    toolBar->setObjectName(QStringLiteral("ToolBar1"));
    toolBar->setIconSize(QSize(24, 24));
    toolBar->setMovable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    parent->layout()->addWidget(toolBar);
    // Buttons stand for the commands: the "»" of a narrow window lists the ones it hides.
    for (QAction* action : FToolActions) {
        toolBar->addAction(action);
        auto* button = qobject_cast<QToolButton*>(toolBar->widgetForAction(action));
        if (!button)
            continue;
        button->setObjectName(action->objectName());
        button->setFixedHeight(50);
        button->setMinimumWidth(52);
        if (action->menu())
            button->setPopupMode(QToolButton::MenuButtonPopup);
    }
}

void TfrmMain::SetStatusText(int pane, const QString& text) {
    if (pane < 1 || pane > 5)
        return;
    // The notes pane belongs to the current tab.
    if (pane == 5 && FDocument)
        if (TDocumentTab* tab = TabOf(*FDocument))
            tab->Note = text;
    FStatusPanes[size_t(pane - 1)]->SetFullText(text);
}

QString TfrmMain::StatusText(int pane) const {
    return pane >= 1 && pane <= 5 ? FStatusPanes[size_t(pane - 1)]->FullText() : QString();
}

} // namespace velmora
