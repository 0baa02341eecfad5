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

// The icons live in the static GUI library; their resources must be registered by hand.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace velmora {

namespace {

constexpr int kThumbnailSizes[] = {48, 64, 80, 96, 128, 160};

bool IsLibraryFileName(const std::string& name) {
    const std::string ext = ExtractFileExt(name);
    return SameText(ext, ".WIL") || SameText(ext, ".WIS") || SameText(ext, ".WZL") ||
           SameText(ext, ".PAK");
}

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

QString MenuText(const QString& path) {
    QString text = path;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

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

const char* const TfrmMain::kDesignedCaption =
    QT_TR_NOOP("[www.velmora.example 2019-09-10] 资源编辑器(Wil, Wis, Wzl, Pak) ");

QString TfrmMain::HomePageAddress() {
    return QStringLiteral("https://www.velmora.example/");
}

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    InitIconResources();
    std::srand(unsigned(std::time(nullptr)));
    g_AppDir = FindAppDir(QCoreApplication::applicationFilePath().toStdString());
    // The language kept in the program folder, before the first text is made.
    LoadTranslations();
    setWindowTitle(tr(kDesignedCaption));
    setFont(InterfaceFont());
    FOpenWorker = new TWorker(this);
    connect(FOpenWorker, &TWorker::Progress, this, [this](int done, int total) {
        FOpenDone = done;
        FOpenTotal = total;
        ShowProgress();
    });
    connect(FOpenWorker, &TWorker::Finished, this, [this] { Guarded([this] { OpenFinished(); }); });
    FAnimation = new TFrmAnimation(this);
    FClipboard = new TLibraryClipboard(*this);
    BuildActions();
    BuildLayout();
    BuildMenus();
    LoadSettings();
    // Library files dropped on the window open; pictures dropped on the grid are imported.
    new TFileDropHandler(*this);

    // The dialogs, created once in their fixed order and kept for the whole run.
    FConvertDlg = new TfrmConvertDlg(this);
    FCreateData = new TFrmCreateData(this);
    FDelDlg = new TfrmDelDlg(this);
    FInPutDlg = new TfrmInPutDlg(this);
    FInPutManyDlg = new TfrmInPutManyDlg(this);
    FOutPutDlg = new TfrmOutPutDlg(this);
    FXYDlg = new TfrmXYDlg(this);
    FPassword = new TFrmPassword(this);
    FChangePassword = new TFrmChangePassword(this);
    FCompareDlg = new TfrmCompareDlg(this);

    g_RecentFiles.clear();
    LoadRecentFiles();
    LoadPakPasswords();

    FTimerStart = new QTimer(this);
    FTimerStart->setObjectName(QStringLiteral("TimerStart"));
    FTimerStart->setInterval(100);
    connect(FTimerStart, &QTimer::timeout, this,
            [this] { Guarded([this] { TimerStartTimer(); }); });
    FTimerStart->start();

    setWindowTitle(windowTitle() + tr(" 64位"));
    UpdateCommandStates();
    ShowRecords();
}

TfrmMain::~TfrmMain() {
    // A library being read is given up, unreported; the open document goes before the views it
    // tells.
    disconnect(FOpenWorker, nullptr, this, nullptr);
    FOpenWorker->Cancel();
    FOpenWorker->Wait();
    FOpening.reset();
    FOutPutDlg->StopRun();
    FAnimation->SetDocument(nullptr);
    FCompareDlg->Forget();
    FDocument = nullptr;
    for (const std::unique_ptr<TDocumentTab>& tab : FTabs) {
        disconnect(tab->Document.get(), nullptr, this, nullptr);
        disconnect(tab->Document->UndoStack(), nullptr, this, nullptr);
        disconnect(tab->Document->Thumbnails(), nullptr, this, nullptr);
    }
    FTabs.clear();
    g_RecentFiles.clear();
}

void TfrmMain::BuildActions() {
    struct TCommand {
        const char* Name;
        const char* Caption;
        const char* Icon;
        QKeySequence Key;
        void (TfrmMain::*Handler)();
    };
    // The toolbar's commands, left to right; the menus hold them too.
    const TCommand commands[] = {
        {"ToolButtonOpenFile", QT_TR_NOOP("打开"), "open", QKeySequence::Open,
         &TfrmMain::ToolButtonOpenFileClick},
        {"ToolButtonCreateFile", QT_TR_NOOP("新建"), "new", QKeySequence::New,
         &TfrmMain::CreateLibraryCommand},
        {"ToolButtonPassWord",
         QT_TR_NOOP("密码管理"),
         "passwords",
         {},
         &TfrmMain::PasswordListCommand},
        {"ToolButtonChangePassWord",
         QT_TR_NOOP("密码更改"),
         "change_password",
         {},
         &TfrmMain::ChangePasswordCommand},
        {"ToolButtonAdd", QT_TR_NOOP("导入"), "import", QKeySequence(Qt::CTRL | Qt::Key_I),
         &TfrmMain::ImportCommand},
        {"ToolButtonSaveBMP", QT_TR_NOOP("导出"), "export",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &TfrmMain::ExportCommand},
        {"ToolButtonAddMany",
         QT_TR_NOOP("批量导入"),
         "batch_import",
         {},
         &TfrmMain::BatchImportCommand},
        {"ToolButtonSaveManyBMP",
         QT_TR_NOOP("批量导出"),
         "batch_export",
         {},
         &TfrmMain::BatchExportCommand},
        {"ToolButtonXY", QT_TR_NOOP("坐标"), "offset", QKeySequence(Qt::CTRL | Qt::Key_K),
         &TfrmMain::OffsetCommand},
        {"ToolButtonDel", QT_TR_NOOP("删除"), "delete", QKeySequence::Delete,
         &TfrmMain::DeleteCommand},
        {"ToolButtonConvertData", QT_TR_NOOP("数据转换"), "convert", {}, &TfrmMain::ConvertCommand},
        {"ToolButtonCloseFile", QT_TR_NOOP("关闭文件"), "close_file",
         QKeySequence(Qt::CTRL | Qt::Key_W), &TfrmMain::CloseLibrary},
        {"ToolButtonHomePage",
         QT_TR_NOOP("官方网站"),
         "home",
         {},
         &TfrmMain::ToolButtonHomePageClick},
        {"ToolButtonClose", QT_TR_NOOP("退出"), "exit", QKeySequence(Qt::CTRL | Qt::Key_Q),
         &TfrmMain::ExitCommand},
    };
    // Shorter words under the icons for the commands whose menu words do not fit there in every
    // language (the button's tool tip keeps the menu words).
    const struct {
        const char* Source;
        const char* Comment;
    } toolbarWords[] = {QT_TRANSLATE_NOOP3("velmora::TfrmMain", "密码更改", "toolbar"),
                        QT_TRANSLATE_NOOP3("velmora::TfrmMain", "批量导入", "toolbar"),
                        QT_TRANSLATE_NOOP3("velmora::TfrmMain", "批量导出", "toolbar")};
    for (const TCommand& command : commands) {
        auto* action =
            new QAction(QIcon(QStringLiteral(":/icons/%1.png").arg(QLatin1String(command.Icon))),
                        tr(command.Caption), this);
        action->setObjectName(QString::fromLatin1(command.Name));
        for (const auto& words : toolbarWords) {
            if (std::strcmp(words.Source, command.Caption) == 0) {
                action->setIconText(tr(words.Source, words.Comment));
                action->setToolTip(action->text());
            }
        }
        if (!command.Key.isEmpty())
            action->setShortcut(command.Key);
        action->setShortcutContext(Qt::WindowShortcut);
        const auto handler = command.Handler;
        connect(action, &QAction::triggered, this,
                [this, handler] { Guarded([&] { (this->*handler)(); }); });
        FToolActions.push_back(action);
    }
    FPopupMenuDown = new QMenu(tr("最近打开的文件"), this);
    FPopupMenuDown->setObjectName(QStringLiteral("PopupMenuDown"));
    Action("ToolButtonOpenFile")->setMenu(FPopupMenuDown);

    const auto extra = [this](const char* name, const QString& caption, auto handler) {
        auto* action = new QAction(caption, this);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, [handler] { Guarded([&] { handler(); }); });
        return action;
    };
    // 导入图集 and 导出图集 in the drop-down menus of the batch buttons, and in 编辑.
    auto* atlasImport =
        extra("MenuAtlasImport", tr("导入图集..."), [this] { AtlasImportCommand(); });
    auto* atlasExport =
        extra("MenuAtlasExport", tr("导出图集..."), [this] { AtlasExportCommand(); });
    auto* importMenu = new QMenu(this);
    importMenu->setObjectName(QStringLiteral("PopupMenuAddMany"));
    importMenu->addAction(atlasImport);
    Action("ToolButtonAddMany")->setMenu(importMenu);
    auto* exportMenu = new QMenu(this);
    exportMenu->setObjectName(QStringLiteral("PopupMenuSaveMany"));
    exportMenu->addAction(atlasExport);
    Action("ToolButtonSaveManyBMP")->setMenu(exportMenu);
    // 修复索引 is always offered for a WIL or WZL library, whatever was answered at opening.
    extra("MenuRepairIndex", tr("修复索引"), [this] { RepairIndex(); });
    // Copy and paste between libraries, in 编辑 and in the grid's menu.
    const auto clipboardCommand = [this, &extra](const char* name, const QString& caption,
                                                 const QKeySequence& key, auto handler) {
        QAction* action = extra(name, caption, handler);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
    };
    clipboardCommand("MenuCopy", tr("复制"), QKeySequence::Copy, [this] {
        if (TLibraryDocument* doc = FDocument)
            FClipboard->Copy(*doc);
    });
    clipboardCommand("MenuPaste", tr("粘贴"), QKeySequence::Paste, [this] {
        if (TLibraryDocument* doc = IdleDocument())
            FClipboard->Paste(*doc, TPasteMode::pmInsert);
    });
    clipboardCommand("MenuPasteReplace", tr("粘贴替换"),
                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V), [this] {
                         if (TLibraryDocument* doc = IdleDocument())
                             FClipboard->Paste(*doc, TPasteMode::pmReplace);
                     });
    clipboardCommand("MenuPasteAppend", tr("粘贴到末尾"),
                     QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_V), [this] {
                         if (TLibraryDocument* doc = IdleDocument())
                             FClipboard->Paste(*doc, TPasteMode::pmAppend);
                     });
    clipboardCommand("MenuCompare", tr("比较..."), QKeySequence(), [this] { CompareCommand(); });

    FTransparentAction = new QAction(tr("透明显示"), this);
    FTransparentAction->setObjectName(QStringLiteral("MenuTransparent"));
    FTransparentAction->setCheckable(true);
    connect(FTransparentAction, &QAction::triggered, this,
            [this] { Guarded([this] { ShowSelection(); }); });
    // The preview shows a picture as the game draws it; this shows the pixels as stored.
    FStoredViewAction = new QAction(tr("显示存储的像素（不透明）"), this);
    FStoredViewAction->setObjectName(QStringLiteral("MenuStoredView"));
    FStoredViewAction->setCheckable(true);
    connect(FStoredViewAction, &QAction::triggered, this,
            [this] { Guarded([this] { ShowSelection(); }); });
}

QAction* TfrmMain::Action(const char* objectName) const {
    return findChild<QAction*>(QString::fromLatin1(objectName));
}

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

void TfrmMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    const auto add = [this](QMenu* menu, const QString& text, const QKeySequence& key,
                            const char* name, auto handler) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty())
            action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [handler] { Guarded([&] { handler(); }); });
        return action;
    };

    QMenu* file = bar->addMenu(tr("文件(&F)"));
    file->setObjectName(QStringLiteral("MenuFile"));
    file->addAction(Action("ToolButtonOpenFile"));
    file->addMenu(FPopupMenuDown);
    file->addAction(Action("ToolButtonCreateFile"));
    file->addAction(Action("ToolButtonCloseFile"));
    file->addSeparator();
    file->addAction(Action("ToolButtonConvertData"));
    file->addSeparator();
    file->addAction(Action("ToolButtonClose"));

    QMenu* edit = bar->addMenu(tr("编辑(&E)"));
    edit->setObjectName(QStringLiteral("MenuEdit"));
    add(edit, tr("撤销"), QKeySequence::Undo, "MenuUndo", [this] { Undo(); });
    add(edit, tr("重做"), QKeySequence(Qt::CTRL | Qt::Key_Y), "MenuRedo", [this] { Redo(); });
    edit->addSeparator();
    for (const char* name : {"MenuCopy", "MenuPaste", "MenuPasteReplace", "MenuPasteAppend"})
        edit->addAction(Action(name));
    edit->addSeparator();
    edit->addAction(Action("ToolButtonAdd"));
    edit->addAction(Action("ToolButtonAddMany"));
    edit->addAction(Action("MenuAtlasImport"));
    edit->addSeparator();
    edit->addAction(Action("ToolButtonSaveBMP"));
    edit->addAction(Action("ToolButtonSaveManyBMP"));
    edit->addAction(Action("MenuAtlasExport"));
    edit->addSeparator();
    edit->addAction(Action("ToolButtonXY"));
    edit->addAction(Action("ToolButtonDel"));
    edit->addSeparator();
    add(edit, tr("转到图片..."), QKeySequence(Qt::CTRL | Qt::Key_G), "MenuGoTo",
        [this] { GoToImage(); });
    add(edit, tr("下一个空图片"), QKeySequence(Qt::CTRL | Qt::Key_E), "MenuNextEmpty",
        [this] { FindEmptyImage(1); });
    add(edit, tr("上一个空图片"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
        "MenuPreviousEmpty", [this] { FindEmptyImage(-1); });
    // Alt + arrows move the current image against its anchor.
    const std::pair<Qt::Key, QPoint> nudges[] = {{Qt::Key_Left, {-1, 0}},
                                                 {Qt::Key_Right, {1, 0}},
                                                 {Qt::Key_Up, {0, -1}},
                                                 {Qt::Key_Down, {0, 1}}};
    for (const auto& [key, delta] : nudges) {
        auto* action = new QAction(this);
        action->setShortcut(QKeySequence(Qt::ALT | key));
        action->setShortcutContext(Qt::WindowShortcut);
        const QPoint d = delta;
        connect(action, &QAction::triggered, this,
                [this, d] { Guarded([&] { MoveSelectedOffset(d); }); });
        addAction(action);
    }

    QMenu* view = bar->addMenu(tr("查看(&V)"));
    view->setObjectName(QStringLiteral("MenuView"));
    add(view, tr("放大预览"), QKeySequence(Qt::CTRL | Qt::Key_Plus), "MenuZoomIn",
        [this] { FPreviewArea->ZoomIn(); })
        ->setShortcuts(
            {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    add(view, tr("缩小预览"), QKeySequence(Qt::CTRL | Qt::Key_Minus), "MenuZoomOut",
        [this] { FPreviewArea->ZoomOut(); });
    add(view, tr("实际大小 1:1"), QKeySequence(Qt::CTRL | Qt::Key_0), "MenuZoomActual",
        [this] { FPreviewArea->SetZoom(1); });
    add(view, tr("适合窗口"), QKeySequence(Qt::CTRL | Qt::Key_9), "MenuZoomFit",
        [this] { FPreviewArea->ZoomFit(); });
    view->addSeparator();
    view->addAction(FTransparentAction);
    view->addAction(FStoredViewAction);
    QMenu* backgrounds = view->addMenu(tr("预览背景"));
    auto* backgroundGroup = new QActionGroup(this);
    const std::pair<const char*, TPreviewBackground> kinds[] = {
        {QT_TR_NOOP("棋盘格"), TPreviewBackground::pbChecker},
        {QT_TR_NOOP("黑色"), TPreviewBackground::pbBlack},
        {QT_TR_NOOP("白色"), TPreviewBackground::pbWhite},
        {QT_TR_NOOP("其他颜色..."), TPreviewBackground::pbColor}};
    for (const auto& [text, kind] : kinds) {
        QAction* action = backgrounds->addAction(tr(text));
        action->setObjectName(QStringLiteral("MenuBackground"));
        action->setCheckable(true);
        action->setData(int(kind));
        backgroundGroup->addAction(action);
        const TPreviewBackground k = kind;
        connect(action, &QAction::triggered, this, [this, k] {
            QColor color(Settings().value(QStringLiteral("previewColor"), "#808080").toString());
            if (k == TPreviewBackground::pbColor) {
                const QColor chosen = QColorDialog::getColor(color, this, tr("预览背景颜色"));
                if (!chosen.isValid())
                    return;
                color = chosen;
            }
            SetPreviewBackground(k, color);
        });
    }
    QMenu* sizes = view->addMenu(tr("缩略图大小"));
    auto* sizeGroup = new QActionGroup(this);
    for (int size : kThumbnailSizes) {
        QAction* action = sizes->addAction(tr("%1 × %1").arg(size));
        action->setObjectName(QStringLiteral("MenuThumbnailSize"));
        action->setCheckable(true);
        action->setData(size);
        sizeGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, size] { SetThumbnailSize(size); });
    }
    view->addSeparator();
    add(view, tr("动画预览..."), QKeySequence(Qt::CTRL | Qt::Key_P), "MenuAnimation",
        [this] { ShowAnimation(); });

    QMenu* tools = bar->addMenu(tr("工具(&T)"));
    tools->setObjectName(QStringLiteral("MenuTools"));
    tools->addAction(Action("ToolButtonPassWord"));
    tools->addAction(Action("ToolButtonChangePassWord"));
    tools->addSeparator();
    add(tools, tr("检查文件"), QKeySequence(), "MenuCheckLibrary",
        [this] { CheckLibraryCommand(); });
    tools->addAction(Action("MenuCompare"));
    tools->addAction(Action("MenuRepairIndex"));
    tools->addSeparator();
    tools->addAction(Action("ToolButtonHomePage"));

    bar->addMenu(CreateLanguageMenu(this));
}

QToolButton* TfrmMain::ToolButton(const char* objectName) const {
    return findChild<QToolButton*>(QString::fromLatin1(objectName));
}

void TfrmMain::ToolButtonOpenFileClick() {
    const QString file = Prompts().OpenFileName(
        tr("打开"), tr("游戏资源(*.Wil,*.Wis,*.Wzl,*.Pak,*.Data)|*.Wil;*.Wis;*.Wzl;*.Pak;*.Data"),
        QString::fromStdString(g_CurrentDir));
    if (!file.isEmpty())
        OpenLibrary(file.toStdString());
}

void TfrmMain::ToolButtonHomePageClick() {
    if (!Prompts().OpenUrl(QUrl(HomePageAddress())))
        Prompts().ShowError(tr("无法启动浏览器 ！！！\n请手动打开网址：%1").arg(HomePageAddress()));
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // A library being read or edited must not lose its window: closing waits until it is done,
    // after the jobs were cancelled when the user agreed.
    const bool working = Opening() || std::any_of(FTabs.begin(), FTabs.end(), [](const auto& tab) {
                             return tab->Document->Busy();
                         });
    if (!working) {
        event->accept();
        return;
    }
    event->ignore();
    if (FQuitWhenIdle || !Prompts().Confirm(tr("有任务正在运行 ！！！\n取消任务并退出吗？")))
        return;
    FQuitWhenIdle = true;
    if (Opening())
        CancelOpening();
    for (const std::unique_ptr<TDocumentTab>& tab : FTabs)
        if (tab->Document->Busy())
            tab->Document->CancelJob();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F && (key->modifiers() & Qt::ControlModifier)) {
            Guarded([this] { FindFile(); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- Recent files ---

void TfrmMain::LoadRecentFiles() {
    g_RecentFiles = LoadRecentFileList(RecentFilesPath());
    RebuildRecentMenu();
}

QAction* TfrmMain::AddRecentMenuItem(const QString& path) {
    QAction* item = FPopupMenuDown->addAction(MenuText(path));
    item->setToolTip(path);
    connect(item, &QAction::triggered, this,
            [this, item] { Guarded([this, item] { OpenRecentFile(item->toolTip()); }); });
    return item;
}

void TfrmMain::OpenRecentFile(const QString& path) {
    if (FileExists(path.toStdString())) {
        OpenLibrary(path.toStdString());
        return;
    }
    // A file deleted or moved since: said so, and it leaves the list.
    Prompts().ShowError(tr("文件不存在 ！！！\n%1").arg(path));
    const auto gone =
        std::remove_if(g_RecentFiles.begin(), g_RecentFiles.end(), [&](const std::string& entry) {
            return SameText(entry, path.toStdString());
        });
    if (gone != g_RecentFiles.end()) {
        g_RecentFiles.erase(gone, g_RecentFiles.end());
        SaveRecentFileList(RecentFilesPath(), g_RecentFiles);
        RebuildRecentMenu();
    }
}

void TfrmMain::RebuildRecentMenu() {
    FPopupMenuDown->clear();
    for (const std::string& path : g_RecentFiles)
        AddRecentMenuItem(QString::fromStdString(path));
}

void TfrmMain::AddRecentFile(const std::string& path) {
    const QString qpath = QString::fromStdString(path);
    const QList<QAction*> items = FPopupMenuDown->actions();
    for (QAction* item : items) {
        if (SameText(item->toolTip().toStdString(), path)) {
            FPopupMenuDown->removeAction(item);
            FPopupMenuDown->insertAction(FPopupMenuDown->actions().value(0), item);
            // The item opens the path as last opened: on a case-sensitive file system the old
            // spelling may name no file at all.
            item->setText(MenuText(qpath));
            item->setToolTip(qpath);
            break;
        }
    }
    const bool moved = PutRecentFirst(g_RecentFiles, path);
    SaveRecentFileList(RecentFilesPath(), g_RecentFiles);
    if (!moved)
        RebuildRecentMenu();
}

// --- Browsing ---

void TfrmMain::FolderSelected(const QString& folder) {
    g_CurrentDir = folder.isEmpty() ? std::string() : WithSeparator(folder.toStdString());
    if (!g_CurrentDir.empty())
        FillFileList(g_CurrentDir);
}

void TfrmMain::SelectFolder(const QString& folder) {
    QString path = QDir::cleanPath(folder);
    const QModelIndex index = FFolderModel->index(path);
    if (index.isValid()) {
        FFolderTree->setCurrentIndex(index);
        FFolderTree->scrollTo(index, QAbstractItemView::PositionAtCenter);
    }
    FolderSelected(path);
}

void TfrmMain::FillFileList(const std::string& folder) {
    namespace fs = std::filesystem;
    const std::string dir = WithSeparator(folder);
    const QString selected =
        FListBoxFileName->currentItem() ? FListBoxFileName->currentItem()->text() : QString();
    QStringList names;
    std::error_code ec;
    fs::directory_iterator it(fs::path(dir), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError))
            continue;
        const std::string name = it->path().filename().string();
        if (IsLibraryFileName(name))
            names << QString::fromStdString(name);
    }
    // By name, as a file manager shows them; the line that was selected stays selected.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int order = QString::compare(a, b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    FListBoxFileName->clear();
    FListBoxFileName->addItems(names);
    if (!selected.isEmpty())
        if (const int row = int(names.indexOf(selected)); row >= 0)
            FListBoxFileName->setCurrentRow(row);
    // The list follows the folder it shows.
    const QString shown = QString::fromStdString(dir);
    if (FFolderWatcher->directories() != QStringList{shown}) {
        if (!FFolderWatcher->directories().isEmpty())
            FFolderWatcher->removePaths(FFolderWatcher->directories());
        if (!ec)
            FFolderWatcher->addPath(shown);
    }
}

void TfrmMain::OpenSelectedFile() {
    const QListWidgetItem* item = FListBoxFileName->currentItem();
    if (g_CurrentDir.empty() || !item)
        return;
    const std::string path = WithSeparator(g_CurrentDir) + item->text().toStdString();
    if (FileExists(path))
        OpenLibrary(path);
}

void TfrmMain::FindFile() {
    QString input;
    if (!Prompts().InputQuery(tr("文件查找"), tr("输入文件名称:"), input) || input.isEmpty())
        return;
    const std::string wanted = FileNameWithoutExt(input.toStdString());
    for (int row = 0; row < FListBoxFileName->count(); ++row) {
        if (FileNameWithoutExt(FListBoxFileName->item(row)->text().toStdString()) == wanted) {
            FListBoxFileName->setCurrentRow(row);
            OpenSelectedFile();
            return;
        }
    }
}

void TfrmMain::TimerStartTimer() {
    FTimerStart->stop();
    if (g_RecentFiles.empty())
        return;
    const std::string newest = g_RecentFiles.front();
    const std::string folder = ExtractFilePath(newest);
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec))
        return;
    SelectFolder(QString::fromStdString(folder));
    const std::string name = ExtractFileName(newest);
    for (int row = 0; row < FListBoxFileName->count(); ++row) {
        if (SameText(FListBoxFileName->item(row)->text().toStdString(), name)) {
            FListBoxFileName->setCurrentRow(row);
            return;
        }
    }
}

void TfrmMain::ShowFolderContextMenu(const QPoint& pos) {
    const QModelIndex index = FFolderTree->indexAt(pos);
    if (!index.isValid())
        return;
    const QString path = FFolderModel->filePath(index);
    QMenu menu(this);
    QAction* open = menu.addAction(tr("在文件管理器中打开"));
    QAction* copy = menu.addAction(tr("复制路径"));
    menu.addSeparator();
    QAction* show = menu.addAction(tr("显示库文件"));
    QAction* chosen = menu.exec(FFolderTree->viewport()->mapToGlobal(pos));
    if (chosen == open)
        Prompts().OpenUrl(QUrl::fromLocalFile(path));
    else if (chosen == copy)
        QApplication::clipboard()->setText(QDir::toNativeSeparators(path));
    else if (chosen == show)
        FolderSelected(path);
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
