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

} // namespace velmora
