// The main window's commands around the toolbar: running a command and showing its outcome, undo
// and redo, the menus, going to an image, the library check, offsets moved in the preview, and
// the settings kept between runs.
#include "app/main_window.h"

#include "app/animation_window.h"
#include "app/exception_handler.h"
#include "app/globals.h"
#include "app/prompts.h"
#include "app/status_texts.h"
#include "app/thumbnail_cache.h"
#include "files/log.h"
#include "formats/indexed_library.h"
#include "operations/check_library.h"
#include "operations/delete_images.h"

#include <QActionGroup>
#include <QColorDialog>
#include <QCoreApplication>
#include <QMenuBar>
#include <QProgressBar>
#include <QSettings>
#include <QTimer>
#include <QToolButton>

namespace velmora {

namespace {

constexpr int kThumbnailSizes[] = {48, 64, 80, 96, 128, 160};

// A failure is shown to the user; a log that cannot be written (a full disk) must not hide it.
void LogQuietly(const std::string& text) {
    try {
        WriteLog(text, true);
    } catch (...) {
    }
}

} // namespace

void TfrmMain::RunCommand(const QString& name, bool undoable, const std::function<void()>& body) {
    TGameImages* library = g_Images.get();
    const std::shared_ptr<const TRecordList> before = library ? library->Snapshot() : nullptr;
    struct TAfter {
        TfrmMain* Window;
        TGameImages* Library;
        const std::shared_ptr<const TRecordList>& Before;
        const QString& Name;
        bool Undoable;
        ~TAfter() {
            try {
                Window->FinishCommand(Library, Before, Name, Undoable);
            } catch (...) {
            }
        }
    } after{this, library, before, name, undoable};
    body();
}

void TfrmMain::FinishCommand(TGameImages* library, const std::shared_ptr<const TRecordList>& before,
                             const QString& name, bool undoable) {
    if (!g_Images || g_Images.get() != library) {
        // Another library was opened (or this one closed): its steps went with it.
        UpdateCommandStates();
        return;
    }
    if (before && g_Images->Snapshot() != before) {
        if (undoable) {
            const int dropped = FHistory.Push(name, before, g_Images->Snapshot());
            if (dropped > 0)
                SetStatusText(
                    5, QStringLiteral("撤销记录超过 256 MB，已放弃最早的 %1 步").arg(dropped));
        } else {
            // Written anew by a command that cannot be undone (a new password, a new index):
            // the old steps no longer lead anywhere sound.
            FHistory.Clear();
        }
    }
    RefreshView();
    UpdateCommandStates();
}

void TfrmMain::RefreshView() {
    UpdateGridRows();
    if (!g_Images) {
        ClearPreview();
        return;
    }
    const int count = g_Images->ImageCount();
    const auto* indexed = dynamic_cast<const TIndexedLibrary*>(g_Images.get());
    const bool damagedIndex = indexed && indexed->IndexState() != TIndexState::isGood;
    SetStatusText(1, QString::fromStdString(g_Images->FileName()) +
                         (damagedIndex ? QStringLiteral(" (索引文件丢失或损坏)") : QString()));
    if (g_Selection.Index < 0 || g_Selection.Index >= count) {
        SetStatusText(2, QStringLiteral("0/%1").arg(count));
        SetStatusText(3, QString());
        ClearPreview();
        return;
    }
    // The selected cell may show another image now: select it again so that the preview and
    // the panes show what it holds.
    const int cols = FDrawGrid->ColCount();
    g_Selection.Width = 0;
    g_Selection.Height = 0;
    ClearPreview();
    DrawGridSelectCell(g_Selection.Index % cols, g_Selection.Index / cols);
    SetStatusText(2, PositionText(g_Selection.Index, count));
    if (!StatusText(3).contains(QStringLiteral("损坏")))
        SetStatusText(3, ImageDataText(g_Selection.Index, g_Selection.Width, g_Selection.Height,
                                       g_Selection.X, g_Selection.Y));
}

void TfrmMain::Undo() {
    if (!g_Images || g_Busy || !FHistory.CanUndo())
        return;
    const QString name = FHistory.UndoName();
    try {
        TBusyGuard busy;
        FHistory.Undo(*g_Images);
        SetStatusText(5, QStringLiteral("已撤销: %1").arg(name));
    } catch (const std::exception& e) {
        LogQuietly(std::string("undo: ") + e.what());
        Prompts().ShowError(QStringLiteral("撤销失败 ！！！\n") + EditErrorText(e));
    }
    RefreshView();
    UpdateCommandStates();
}

void TfrmMain::Redo() {
    if (!g_Images || g_Busy || !FHistory.CanRedo())
        return;
    const QString name = FHistory.RedoName();
    try {
        TBusyGuard busy;
        FHistory.Redo(*g_Images);
        SetStatusText(5, QStringLiteral("已重做: %1").arg(name));
    } catch (const std::exception& e) {
        LogQuietly(std::string("redo: ") + e.what());
        Prompts().ShowError(QStringLiteral("重做失败 ！！！\n") + EditErrorText(e));
    }
    RefreshView();
    UpdateCommandStates();
}

void TfrmMain::UpdateCommandStates() {
    const bool open = g_Images != nullptr;
    const bool editable = open && g_Images->ImageType() != t_Wis;
    for (const char* name : {"ToolButtonChangePassWord", "ToolButtonSaveBMP",
                             "ToolButtonSaveManyBMP", "ToolButtonXY", "ToolButtonCloseFile"})
        ToolButton(name)->setEnabled(open);
    for (const char* name : {"ToolButtonAdd", "ToolButtonAddMany", "ToolButtonDel"})
        ToolButton(name)->setEnabled(editable);
    for (QAction* action : FLibraryActions)
        action->setEnabled(open);
    FUndoAction->setEnabled(open && FHistory.CanUndo());
    FRedoAction->setEnabled(open && FHistory.CanRedo());
    FUndoAction->setText(FHistory.CanUndo() ? QStringLiteral("撤销 %1").arg(FHistory.UndoName())
                                            : QStringLiteral("撤销"));
    FRedoAction->setText(FHistory.CanRedo() ? QStringLiteral("重做 %1").arg(FHistory.RedoName())
                                            : QStringLiteral("重做"));
}

void TfrmMain::GoToImage() {
    if (!g_Images || g_Images->ImageCount() == 0)
        return;
    QString text = QString::number(std::max(0, g_Selection.Index));
    if (!Prompts().InputQuery(QStringLiteral("转到图片"),
                              QStringLiteral("图片编号 (0 - %1):").arg(g_Images->ImageCount() - 1),
                              text))
        return;
    bool ok = false;
    const int index = text.trimmed().toInt(&ok);
    if (!ok || index < 0 || index >= g_Images->ImageCount()) {
        Prompts().ShowError(QStringLiteral("没有编号为 %1 的图片 ！！！").arg(text.trimmed()));
        return;
    }
    FDrawGrid->FocusIndex(index);
}

void TfrmMain::FindEmptyImage(int direction) {
    if (!g_Images)
        return;
    const int count = g_Images->ImageCount();
    for (int i = FDrawGrid->FocusIndex() + direction; i >= 0 && i < count; i += direction) {
        const std::optional<TImageDescription> d = g_Images->Describe(i, false);
        if (d && d->Empty) {
            FDrawGrid->FocusIndex(i);
            return;
        }
    }
    SetStatusText(5, direction > 0 ? QStringLiteral("后面没有空图片")
                                   : QStringLiteral("前面没有空图片"));
}

void TfrmMain::CheckLibraryCommand() {
    if (!g_Images || g_Busy)
        return;
    TBusyGuard busy;
    const int total = g_Images->ImageCount();
    FProgressBar->setRange(0, std::max(1, total));
    FProgressBar->setValue(0);
    FProgressBar->show();
    QElapsedTimer sinceMessages;
    sinceMessages.start();
    const TLibraryCheck check = CheckLibrary(*g_Images, [&](int done, int) {
        if (sinceMessages.elapsed() >= 15) {
            FProgressBar->setValue(done);
            ProcessMessages();
            sinceMessages.restart();
        }
        return true;
    });
    FProgressBar->hide();
    for (const TDamagedRecord& d : check.Damaged)
        WriteLog(g_Images->FileName() + ": image " + std::to_string(d.Index) + ": " +
                     RecordDamageText(d.Check.Damage),
                 true);
    if (check.Damaged.empty()) {
        Prompts().ShowMessage(
            QStringLiteral("文件检查完成 ！！！\n%1 张图片全部完好。").arg(check.Checked));
        return;
    }
    QString text = QStringLiteral("文件检查完成 ！！！\n%1 张图片中有 %2 张损坏:")
                       .arg(check.Checked)
                       .arg(check.Damaged.size());
    constexpr size_t kListed = 20;
    for (size_t i = 0; i < check.Damaged.size() && i < kListed; ++i)
        text +=
            QStringLiteral("\n%1  %2")
                .arg(CellNumberText(check.Damaged[i].Index), DamageText(check.Damaged[i].Check));
    if (check.Damaged.size() > kListed)
        text += QStringLiteral("\n…… 另有 %1 张").arg(check.Damaged.size() - kListed);
    Prompts().ShowError(text);
    FDrawGrid->FocusIndex(check.Damaged.front().Index);
}

void TfrmMain::ShowAnimation() {
    if (!g_Images)
        return;
    const auto [first, last] = FDrawGrid->SelectedRange();
    const int count = g_Images->ImageCount();
    int start = std::clamp(first, 0, std::max(0, count - 1));
    int frames = std::min(last, count - 1) - start + 1;
    if (frames <= 1)
        frames = std::min(8, count - start);
    FAnimation->ShowRange(start, std::max(1, frames));
}

void TfrmMain::MoveSelectedOffset(QPoint delta) {
    if (!g_Images || g_Busy || delta.isNull())
        return;
    const int index = g_Selection.Index;
    if (index < 0 || index >= g_Images->ImageCount())
        return;
    RunCommand(QStringLiteral("坐标"), true, [&] {
        const TOffsetResult current = ReadOffset(*g_Images, index);
        if (!current.Done)
            return;
        const TPoint wanted{current.Offset.X + delta.x(), current.Offset.Y + delta.y()};
        TOffsetResult stored;
        try {
            TBusyGuard busy;
            stored = WriteOffset(*g_Images, index, wanted);
        } catch (const std::exception& e) {
            LogQuietly(std::string("偏移坐标: ") + e.what());
            stored.Error = EditErrorText(e).toStdString();
        }
        if (stored.Refusal != TEditRefusal::erNone)
            Prompts().ShowError(EditRefusalMessage(stored.Refusal));
        else if (!stored.Done)
            Prompts().ShowError(QStringLiteral("图片坐标修改失败 ！！！\n") +
                                  ErrorDetailText(stored.Error));
    });
    FPreviewArea->SetDragShift({});
}

void TfrmMain::NudgeSelectedOffset(QPoint delta) {
    if (!g_Images || g_Busy || g_Selection.Index < 0)
        return;
    FNudge += delta;
    FPreviewArea->SetDragShift(FNudge);
    FNudgeTimer->start();
}

void TfrmMain::SetThumbnailSize(int size) {
    size = std::clamp(size, TDrawGrid::kMinCellSize, TDrawGrid::kMaxCellSize);
    FDrawGrid->SetCellSize(size);
    Settings().setValue(QStringLiteral("thumbnailSize"), size);
    Settings().sync();
    for (QAction* action : findChildren<QAction*>(QStringLiteral("MenuThumbnailSize")))
        action->setChecked(action->data().toInt() == size);
}

void TfrmMain::SetPreviewBackground(TPreviewBackground background, const QColor& color) {
    FPreviewArea->SetBackground(background, color);
    FAnimation->SetBackground(background, color);
    Settings().setValue(QStringLiteral("previewBackground"), int(background));
    Settings().setValue(QStringLiteral("previewColor"), color.name());
    Settings().sync();
}

QSettings& TfrmMain::Settings() {
    if (!FSettings)
        FSettings = std::make_unique<QSettings>(
            QString::fromStdString(g_AppDir) + QStringLiteral("Editor.ini"), QSettings::IniFormat);
    return *FSettings;
}

void TfrmMain::LoadSettings() {
    QSettings& settings = Settings();
    const int size = settings.value(QStringLiteral("thumbnailSize"), TDrawGrid::kCellSize).toInt();
    FDrawGrid->SetCellSize(size);
    for (QAction* action : findChildren<QAction*>(QStringLiteral("MenuThumbnailSize")))
        action->setChecked(action->data().toInt() == FDrawGrid->CellSize());
    const int background =
        std::clamp(settings.value(QStringLiteral("previewBackground"), 0).toInt(), 0,
                   int(TPreviewBackground::pbColor));
    const QColor color(
        settings.value(QStringLiteral("previewColor"), QStringLiteral("#808080")).toString());
    FPreviewArea->SetBackground(TPreviewBackground(background), color);
    FAnimation->SetBackground(TPreviewBackground(background), color);
    for (QAction* action : findChildren<QAction*>(QStringLiteral("MenuBackground")))
        action->setChecked(action->data().toInt() == background);
}

void TfrmMain::BuildMenus() {
    FAnimation = new TFrmAnimation(this);
    FNudgeTimer = new QTimer(this);
    FNudgeTimer->setSingleShot(true);
    FNudgeTimer->setInterval(500);
    connect(FNudgeTimer, &QTimer::timeout, this, [this] {
        const QPoint nudge = FNudge;
        FNudge = {};
        Guarded([&] { MoveSelectedOffset(nudge); });
        FPreviewArea->SetDragShift({});
    });

    QMenuBar* bar = menuBar();
    const auto add = [this](QMenu* menu, const QString& text, const QKeySequence& key,
                            const char* name, auto handler, bool needsLibrary = true) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty())
            action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this,
                [this, handler] { Guarded([&] { handler(); }); });
        if (needsLibrary)
            FLibraryActions.push_back(action);
        return action;
    };

    QMenu* edit = bar->addMenu(QStringLiteral("编辑(&E)"));
    FUndoAction = add(
        edit, QStringLiteral("撤销"), QKeySequence::Undo, "MenuUndo", [this] { Undo(); }, false);
    FRedoAction = add(
        edit, QStringLiteral("重做"), QKeySequence(Qt::CTRL | Qt::Key_Y), "MenuRedo",
        [this] { Redo(); }, false);
    edit->addSeparator();
    add(edit, QStringLiteral("转到图片..."), QKeySequence(Qt::CTRL | Qt::Key_G), "MenuGoTo",
        [this] { GoToImage(); });
    add(edit, QStringLiteral("下一个空图片"), QKeySequence(Qt::CTRL | Qt::Key_E), "MenuNextEmpty",
        [this] { FindEmptyImage(1); });
    add(edit, QStringLiteral("上一个空图片"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
        "MenuPreviousEmpty", [this] { FindEmptyImage(-1); });
    edit->addSeparator();
    add(edit, QStringLiteral("检查文件"), QKeySequence(), "MenuCheckLibrary",
        [this] { CheckLibraryCommand(); });
    // Alt + arrows move the selected image against its anchor.
    const std::pair<Qt::Key, QPoint> nudges[] = {{Qt::Key_Left, {-1, 0}},
                                                 {Qt::Key_Right, {1, 0}},
                                                 {Qt::Key_Up, {0, -1}},
                                                 {Qt::Key_Down, {0, 1}}};
    for (const auto& [key, delta] : nudges) {
        auto* action = new QAction(this);
        action->setShortcut(QKeySequence(Qt::ALT | key));
        action->setShortcutContext(Qt::WindowShortcut);
        const QPoint d = delta;
        connect(action, &QAction::triggered, this, [this, d] { NudgeSelectedOffset(d); });
        addAction(action);
    }

    QMenu* view = bar->addMenu(QStringLiteral("查看(&V)"));
    add(
        view, QStringLiteral("放大预览"), QKeySequence(Qt::CTRL | Qt::Key_Plus), "MenuZoomIn",
        [this] { FPreviewArea->ZoomIn(); }, false)
        ->setShortcuts(
            {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    add(
        view, QStringLiteral("缩小预览"), QKeySequence(Qt::CTRL | Qt::Key_Minus), "MenuZoomOut",
        [this] { FPreviewArea->ZoomOut(); }, false);
    add(
        view, QStringLiteral("实际大小 1:1"), QKeySequence(Qt::CTRL | Qt::Key_0), "MenuZoomActual",
        [this] { FPreviewArea->SetZoom(1); }, false);
    add(
        view, QStringLiteral("适合窗口"), QKeySequence(Qt::CTRL | Qt::Key_9), "MenuZoomFit",
        [this] { FPreviewArea->ZoomFit(); }, false);
    QMenu* backgrounds = view->addMenu(QStringLiteral("预览背景"));
    auto* backgroundGroup = new QActionGroup(this);
    const std::pair<const char*, TPreviewBackground> kinds[] = {
        {"棋盘格", TPreviewBackground::pbChecker},
        {"黑色", TPreviewBackground::pbBlack},
        {"白色", TPreviewBackground::pbWhite},
        {"其他颜色...", TPreviewBackground::pbColor}};
    for (const auto& [text, kind] : kinds) {
        QAction* action = backgrounds->addAction(QString::fromUtf8(text));
        action->setObjectName(QStringLiteral("MenuBackground"));
        action->setCheckable(true);
        action->setData(int(kind));
        backgroundGroup->addAction(action);
        const TPreviewBackground k = kind;
        connect(action, &QAction::triggered, this, [this, k] {
            QColor color(Settings().value(QStringLiteral("previewColor"), "#808080").toString());
            if (k == TPreviewBackground::pbColor) {
                const QColor chosen =
                    QColorDialog::getColor(color, this, QStringLiteral("预览背景颜色"));
                if (!chosen.isValid())
                    return;
                color = chosen;
            }
            SetPreviewBackground(k, color);
        });
    }
    QMenu* sizes = view->addMenu(QStringLiteral("缩略图大小"));
    auto* sizeGroup = new QActionGroup(this);
    for (int size : kThumbnailSizes) {
        QAction* action = sizes->addAction(QStringLiteral("%1 × %1").arg(size));
        action->setObjectName(QStringLiteral("MenuThumbnailSize"));
        action->setCheckable(true);
        action->setData(size);
        sizeGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, size] { SetThumbnailSize(size); });
    }
    view->addSeparator();
    add(view, QStringLiteral("动画预览..."), QKeySequence(Qt::CTRL | Qt::Key_P), "MenuAnimation",
        [this] { ShowAnimation(); });
    UpdateCommandStates();
}

} // namespace velmora
