// The main window's actions and menus.

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

namespace {

constexpr int kThumbnailSizes[] = {48, 64, 80, 96, 128, 160};

} // namespace

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

} // namespace velmora
