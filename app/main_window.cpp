#include "app/main_window.h"

#include "app/drop_files.h"
#include "app/exception_handler.h"
#include "app/fonts.h"
#include "app/forms.h"
#include "app/globals.h"
#include "app/prompts.h"
#include "app/recent_files.h"
#include "app/thumbnail_cache.h"
#include "app/translations.h"
#include "core/file_stream.h"
#include "core/utils.h"
#include "files/pak_passwords.h"
#include "app/dialogs/atlas_dialogs.h"
#include "app/dialogs/batch_export_dialog.h"
#include "app/dialogs/batch_import_dialog.h"
#include "app/dialogs/change_password_dialog.h"
#include "app/dialogs/convert_library_dialog.h"
#include "app/dialogs/create_library_dialog.h"
#include "app/dialogs/delete_images_dialog.h"
#include "app/dialogs/export_picture_dialog.h"
#include "app/dialogs/import_picture_dialog.h"
#include "app/dialogs/offset_dialog.h"
#include "app/dialogs/password_list_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QMenuBar>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <cstdlib>
#include <ctime>
#include <filesystem>

// The icons live in the static GUI library; their resources must be registered by hand.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace velmora {

namespace {

struct TToolButtonDef {
    const char* Name;
    const char* Caption;
    const char* Icon;
};

// Left to right, as the toolbar shows them.
constexpr TToolButtonDef kToolButtons[] = {
    {"ToolButtonOpenFile", "打开", "open"},
    {"ToolButtonCreateFile", "新建", "new"},
    {"ToolButtonPassWord", "密码管理", "passwords"},
    {"ToolButtonChangePassWord", "密码更改", "change_password"},
    {"ToolButtonAdd", "导入", "import"},
    {"ToolButtonSaveBMP", "导出", "export"},
    {"ToolButtonAddMany", "批量导入", "batch_import"},
    {"ToolButtonSaveManyBMP", "批量导出", "batch_export"},
    {"ToolButtonXY", "坐标", "offset"},
    {"ToolButtonDel", "删除", "delete"},
    {"ToolButtonConvertData", "数据转换", "convert"},
    {"ToolButtonCloseFile", "关闭文件", "close_file"},
    {"ToolButtonHomePage", "官方网站", "home"},
    {"ToolButtonClose", "退出", "exit"},
};

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

const QString TfrmMain::kDesignedCaption =
    QStringLiteral("[www.velmora.example 2019-09-10] 资源编辑器(Wil, Wis, Wzl, Pak) ");

QString TfrmMain::HomePageAddress() {
    return QStringLiteral("https://www.velmora.example/");
}

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    InitIconResources();
    std::srand(unsigned(std::time(nullptr)));
    g_AppDir = FindAppDir(QCoreApplication::applicationFilePath().toStdString());
    setWindowTitle(kDesignedCaption);
    setFont(InterfaceFont());
    LoadQtTranslations();
    FThumbnails = new TThumbnailCache(this);
    BuildLayout();
    BuildMenus();
    LoadSettings();
    // Library files dropped on the window open; pictures dropped on the grid are imported.
    new TFileDropHandler(*this);

    g_RecentFiles.clear();
    LoadRecentFiles();
    LoadPakPasswords();

    FTimerStart = new QTimer(this);
    FTimerStart->setObjectName(QStringLiteral("TimerStart"));
    FTimerStart->setInterval(100);
    connect(FTimerStart, &QTimer::timeout, this,
            [this] { Guarded([this] { TimerStartTimer(); }); });
    FTimerStart->start();

    setWindowTitle(windowTitle() + QStringLiteral(" 64位"));
}

TfrmMain::~TfrmMain() {
    FThumbnails->SetLibrary(nullptr);
    g_Images.reset();
    g_RecentFiles.clear();
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
    FListBoxFileName->setToolTip(QStringLiteral("Ctrl + F 查找文件"));
    connect(FListBoxFileName, &QListWidget::itemActivated, this,
            [this] { Guarded([this] { OpenSelectedFile(); }); });
    splitter2->setSizes({289, 692 - 289});

    // Right column: toolbar, preview and progress bar over the thumbnail grid.
    auto* splitter3 = new QSplitter(Qt::Vertical, splitter1);
    splitter3->setObjectName(QStringLiteral("Splitter3"));
    auto* top = new QWidget(splitter3);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(0);
    BuildToolBar(top);
    FPreviewArea = new TPreviewArea(top);
    topLayout->addWidget(FPreviewArea, 1);
    connect(FPreviewArea, &TPreviewArea::OffsetDragged, this,
            [this](QPoint delta) { Guarded([&] { MoveSelectedOffset(delta); }); });
    FProgressBar = new QProgressBar(top);
    FProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    FProgressBar->setTextVisible(false);
    FProgressBar->setFixedHeight(16);
    FProgressBar->hide();
    topLayout->addWidget(FProgressBar);

    auto* popupImage = new QMenu(this);
    popupImage->setObjectName(QStringLiteral("PopupMenuImage"));
    FTransparentAction = popupImage->addAction(QStringLiteral("透明显示"));
    FTransparentAction->setObjectName(QStringLiteral("MenuTransparent"));
    FTransparentAction->setCheckable(true);
    connect(FTransparentAction, &QAction::triggered, this,
            [this] { Guarded([this] { DrawGridSelectCell(g_Selection.Col, g_Selection.Row); }); });
    QAction* repair = popupImage->addAction(QStringLiteral("修复索引"));
    repair->setObjectName(QStringLiteral("MenuRepairIndex"));
    connect(repair, &QAction::triggered, this, [this] {
        Guarded([this] {
            if (g_Images && !g_Busy) {
                TBusyGuard busy;
                RepairIndex();
            }
        });
    });
    for (QWidget* w : {static_cast<QWidget*>(FPreviewArea->Picture()), FPreviewArea->viewport()}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [popupImage, w](const QPoint& pos) { popupImage->popup(w->mapToGlobal(pos)); });
    }

    FDrawGrid = new TDrawGrid(splitter3);
    FDrawGrid->SetLabelFont(InterfaceFont());
    FDrawGrid->SetOnCell([this](int index, int size) { return CellView(index, size); });
    connect(FThumbnails, &TThumbnailCache::ThumbnailReady, FDrawGrid, &TDrawGrid::UpdateIndex);
    // Requests for cells scrolled out of view are dropped before they are decoded.
    connect(FDrawGrid->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        const auto [first, last] = FDrawGrid->VisibleRange();
        FThumbnails->KeepOnly(first, last);
    });
    connect(FDrawGrid, &TDrawGrid::ColumnsChanged, this, [this](int cols) {
        if (g_Selection.Index >= 0) {
            g_Selection.Col = g_Selection.Index % cols;
            g_Selection.Row = g_Selection.Index / cols;
        }
    });
    connect(FDrawGrid, &TDrawGrid::CellSizeRequested, this,
            [this](int size) { SetThumbnailSize(size); });
    connect(FDrawGrid, &TDrawGrid::CellSelected, this,
            [this](int col, int row) { Guarded([&] { DrawGridSelectCell(col, row); }); });
    splitter3->setSizes({350, 692 - 350});
    splitter3->setStretchFactor(0, 0);
    splitter3->setStretchFactor(1, 1);

    splitter1->setSizes({198, width() - 198});
    splitter1->setStretchFactor(0, 0);
    splitter1->setStretchFactor(1, 1);

    for (QWidget* w : {static_cast<QWidget*>(FFolderTree), static_cast<QWidget*>(FListBoxFileName),
                       static_cast<QWidget*>(FDrawGrid)})
        w->installEventFilter(this);

    // Status line: path, position, image data, pixel format, and a pane the program leaves empty.
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setFixedHeight(19);
    const int widths[] = {257, 80, 288, 224, 0};
    for (int i = 0; i < 5; ++i) {
        auto* pane = new TStatusPane(bar, widths[i]);
        pane->setObjectName(QStringLiteral("StatusPane%1").arg(i + 1));
        pane->setFrameShape(QFrame::StyledPanel);
        pane->setFrameShadow(QFrame::Sunken);
        // The designed widths share what the window has; pane 5 takes the rest.
        bar->addWidget(pane, widths[i] > 0 ? widths[i] : 1);
        FStatusPanes[size_t(i)] = pane;
    }
}

void TfrmMain::BuildToolBar(QWidget* parent) {
    auto* toolBar = new QToolBar(parent);
    toolBar->setObjectName(QStringLiteral("ToolBar1"));
    toolBar->setIconSize(QSize(24, 24));
    toolBar->setMovable(false);
    parent->layout()->addWidget(toolBar);

    FPopupMenuDown = new QMenu(this);
    FPopupMenuDown->setObjectName(QStringLiteral("PopupMenuDown"));

    for (const TToolButtonDef& def : kToolButtons) {
        auto* button = new QToolButton(toolBar);
        button->setObjectName(QString::fromLatin1(def.Name));
        button->setText(QString::fromUtf8(def.Caption));
        button->setIcon(QIcon(QStringLiteral(":/icons/%1.png").arg(QLatin1String(def.Icon))));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setFixedHeight(50);
        button->setMinimumWidth(52);
        button->setAutoRaise(true);
        // The close-file button has no hint; every other button's hint is its caption.
        if (qstrcmp(def.Name, "ToolButtonCloseFile") != 0)
            button->setToolTip(button->text());
        toolBar->addWidget(button);
    }

    QToolButton* open = ToolButton("ToolButtonOpenFile");
    open->setMenu(FPopupMenuDown);
    open->setPopupMode(QToolButton::MenuButtonPopup);

    // Every command ends with the window showing what the library holds; edits become undo steps.
    const auto bind = [this](const char* name, auto handler, bool undoable = false) {
        QToolButton* button = ToolButton(name);
        connect(button, &QToolButton::clicked, this, [this, button, handler, undoable] {
            Guarded([&] { RunCommand(button->text(), undoable, [&] { handler(this); }); });
        });
    };
    bind("ToolButtonOpenFile", [](TfrmMain* m) { m->ToolButtonOpenFileClick(); });
    bind("ToolButtonCreateFile", [](TfrmMain*) {
        if (FormsCreated())
            Forms().FrmCreateData->ToolButtonCreateFileClick();
    });
    bind("ToolButtonPassWord", [](TfrmMain*) {
        if (FormsCreated())
            Forms().FrmPassword->ToolButtonPassWordClick();
    });
    bind("ToolButtonChangePassWord", [](TfrmMain*) {
        if (FormsCreated())
            Forms().FrmChangePassword->ToolButtonChangePassWordClick();
    });
    bind(
        "ToolButtonAdd",
        [](TfrmMain*) {
            if (FormsCreated())
                Forms().frmInPutDlg->ToolButtonAddClick();
        },
        true);
    bind("ToolButtonSaveBMP", [](TfrmMain* m) { ToolButtonSaveBMPClick(*m); });
    bind(
        "ToolButtonAddMany",
        [](TfrmMain*) {
            if (FormsCreated())
                Forms().frmInPutManyDlg->ToolButtonAddManyClick();
        },
        true);
    bind("ToolButtonSaveManyBMP", [](TfrmMain*) {
        if (FormsCreated())
            Forms().frmOutPutDlg->ToolButtonSaveManyBMPClick();
    });
    bind(
        "ToolButtonXY",
        [](TfrmMain*) {
            if (FormsCreated())
                Forms().frmXYDlg->ToolButtonXYClick();
        },
        true);
    bind(
        "ToolButtonDel",
        [](TfrmMain*) {
            if (FormsCreated())
                Forms().frmDelDlg->ToolButtonDelClick();
        },
        true);
    bind("ToolButtonConvertData", [](TfrmMain*) {
        if (FormsCreated())
            Forms().frmConvertDlg->ToolButtonConvertDataClick();
    });
    // 导入图集 and 导出图集 in the drop-down menus of the batch buttons.
    InstallAtlasMenus(*this);
    bind("ToolButtonCloseFile", [](TfrmMain* m) { m->CloseLibrary(); });
    bind("ToolButtonHomePage", [](TfrmMain* m) { m->ToolButtonHomePageClick(); });
    bind("ToolButtonClose", [](TfrmMain* m) { m->close(); });
}

QToolButton* TfrmMain::ToolButton(const char* objectName) const {
    return findChild<QToolButton*>(QString::fromLatin1(objectName));
}

void TfrmMain::ToolButtonOpenFileClick() {
    if (g_Busy)
        return;
    const QString file = Prompts().OpenFileName(
        QStringLiteral("打开"),
        QStringLiteral("游戏资源(*.Wil,*.Wis,*.Wzl,*.Pak,*.Data)|*.Wil;*.Wis;*.Wzl;*.Pak;*.Data"),
        QString::fromStdString(g_CurrentDir));
    if (!file.isEmpty())
        OpenLibrary(file.toStdString());
}

void TfrmMain::ToolButtonHomePageClick() {
    if (!Prompts().OpenUrl(QUrl(HomePageAddress())))
        Prompts().ShowError(
            QStringLiteral("无法启动浏览器 ！！！\n请手动打开网址：%1").arg(HomePageAddress()));
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // A library being read or edited must not lose its window: closing waits until it is done.
    if (g_Busy)
        event->ignore();
    else
        event->accept();
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
    connect(item, &QAction::triggered, this, [this, item] {
        Guarded([this, item] { OpenLibrary(item->toolTip().toStdString()); });
    });
    return item;
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
    const int generation = ++FFillGeneration;
    const std::string dir = WithSeparator(folder);
    FListBoxFileName->clear();
    std::error_code ec;
    fs::directory_iterator it(fs::path(dir), ec);
    int seen = 0;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        // Large folders stay responsive; a newer fill (the user clicked another folder meanwhile)
        // or the end of the program stops this one.
        if (++seen % 32 == 0) {
            ProcessMessages();
            if (QCoreApplication::closingDown() || generation != FFillGeneration)
                return;
        }
        std::error_code typeError;
        if (it->is_directory(typeError))
            continue;
        const std::string name = it->path().filename().string();
        if (IsLibraryFileName(name))
            FListBoxFileName->addItem(QString::fromStdString(name));
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
    if (!Prompts().InputQuery(QStringLiteral("文件查找"), QStringLiteral("输入文件名称:"), input) ||
        input.isEmpty())
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
    QAction* open = menu.addAction(QStringLiteral("在文件管理器中打开"));
    QAction* copy = menu.addAction(QStringLiteral("复制路径"));
    menu.addSeparator();
    QAction* show = menu.addAction(QStringLiteral("显示库文件"));
    QAction* chosen = menu.exec(FFolderTree->viewport()->mapToGlobal(pos));
    if (chosen == open)
        Prompts().OpenUrl(QUrl::fromLocalFile(path));
    else if (chosen == copy)
        QApplication::clipboard()->setText(QDir::toNativeSeparators(path));
    else if (chosen == show)
        FolderSelected(path);
}

void TfrmMain::ProcessMessages() {
    QCoreApplication::processEvents();
}

void TfrmMain::SetStatusText(int pane, const QString& text) {
    if (pane < 1 || pane > 5)
        return;
    FStatusPanes[size_t(pane - 1)]->SetFullText(text);
}

QString TfrmMain::StatusText(int pane) const {
    return pane >= 1 && pane <= 5 ? FStatusPanes[size_t(pane - 1)]->FullText() : QString();
}

} // namespace velmora
