// The main window's commands: the toolbar and menu commands handed to their dialogs with the open
// document, undo and redo, going to an image, the library check, offsets moved in the preview,
// and the settings kept between runs.
#include "app/main_window.h"

#include "app/animation_window.h"
#include "app/exception_handler.h"
#include "app/globals.h"
#include "app/prompts.h"
#include "app/status_texts.h"
#include "app/thumbnail_cache.h"
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
#include "files/log.h"
#include "operations/check_library.h"

#include <QAction>
#include <QSettings>
#include <QToolButton>

namespace velmora {

namespace {

// Tells of an undo or redo that failed; one that met another program's change says nothing more
// than the document's note.
void ReportStepFailure(const TJobEnd& end, const QString& failed) {
    if (!end.Error)
        return;
    try {
        std::rethrow_exception(end.Error);
    } catch (const EChangedOutside&) {
    } catch (const std::exception& e) {
        LogQuietly(failed.toStdString() + ": " + e.what());
        Prompts().ShowError(TfrmMain::tr("%1 ！！！\n%2").arg(failed, EditErrorText(e)));
    } catch (...) {
        Prompts().ShowError(TfrmMain::tr("%1 ！！！").arg(failed));
    }
}

} // namespace

void TfrmMain::CreateLibraryCommand() {
    FCreateData->ToolButtonCreateFileClick(*this, g_CurrentDir);
}

void TfrmMain::PasswordListCommand() {
    FPassword->ToolButtonPassWordClick();
}

void TfrmMain::ChangePasswordCommand() {
    if (TLibraryDocument* doc = IdleDocument())
        FChangePassword->ToolButtonChangePassWordClick(*doc);
}

void TfrmMain::ImportCommand() {
    if (TLibraryDocument* doc = IdleDocument())
        FInPutDlg->ToolButtonAddClick(*doc);
}

void TfrmMain::ExportCommand() {
    if (TLibraryDocument* doc = IdleDocument())
        ToolButtonSaveBMPClick(*doc);
}

void TfrmMain::BatchImportCommand() {
    if (TLibraryDocument* doc = IdleDocument())
        FInPutManyDlg->ToolButtonAddManyClick(*doc);
}

void TfrmMain::BatchExportCommand() {
    if (TLibraryDocument* doc = IdleDocument())
        FOutPutDlg->ToolButtonSaveManyBMPClick(*doc);
}

void TfrmMain::OffsetCommand() {
    if (TLibraryDocument* doc = IdleDocument())
        FXYDlg->ToolButtonXYClick(*doc);
}

void TfrmMain::DeleteCommand() {
    if (TLibraryDocument* doc = IdleDocument())
        FDelDlg->ToolButtonDelClick(*doc);
}

void TfrmMain::ConvertCommand() {
    FConvertDlg->ToolButtonConvertDataClick(*this);
}

void TfrmMain::CompareCommand() {
    if (TLibraryDocument* doc = IdleDocument())
        FCompareDlg->CompareClick(*doc, Documents());
}

void TfrmMain::ExitCommand() {
    close();
}

void TfrmMain::AtlasImportCommand() {
    if (TLibraryDocument* doc = IdleDocument())
        AtlasImportDialog(*this).AtlasImportClick(*doc);
}

void TfrmMain::AtlasExportCommand() {
    if (TLibraryDocument* doc = IdleDocument())
        AtlasExportDialog(*this).AtlasExportClick(*doc);
}

void TfrmMain::Undo() {
    TLibraryDocument* doc = IdleDocument();
    if (!doc || !doc->CanUndo())
        return;
    doc->Undo({{}, [](const TJobEnd& end) { ReportStepFailure(end, tr("撤销失败")); }});
}

void TfrmMain::Redo() {
    TLibraryDocument* doc = IdleDocument();
    if (!doc || !doc->CanRedo())
        return;
    doc->Redo({{}, [](const TJobEnd& end) { ReportStepFailure(end, tr("重做失败")); }});
}

void TfrmMain::UpdateCommandStates() {
    TLibraryDocument* doc = FDocument;
    const bool opening = Opening();
    const bool idle = doc && !doc->Busy() && !opening;
    const TImageType kind = doc ? doc->Kind() : t_Wil;
    const bool editable = idle && kind != t_Wis;
    const bool current = idle && doc->Current() >= 0;
    const auto enable = [this](const char* name, bool on) {
        if (QAction* action = Action(name))
            action->setEnabled(on);
    };
    // A library asked for while another is read opens after it, in a tab of its own.
    enable("ToolButtonOpenFile", true);
    enable("ToolButtonCloseFile", idle);
    enable("ToolButtonChangePassWord", idle && kind == t_Quillrand);
    enable("ToolButtonSaveBMP", current);
    enable("ToolButtonSaveManyBMP", idle && doc->ImageCount() > 0);
    enable("MenuAtlasExport", idle && doc->ImageCount() > 0);
    enable("ToolButtonXY", current);
    enable("ToolButtonAdd", editable);
    enable("ToolButtonAddMany", editable);
    enable("MenuAtlasImport", editable);
    enable("ToolButtonDel", editable && doc->Current() >= 0);
    enable("MenuCheckLibrary", idle);
    enable("MenuRepairIndex", idle && (kind == t_Wil || kind == t_Wzl ||
                                       (doc && !doc->Library().RecoveryProblem().empty())));
    enable("MenuGoTo", doc && doc->ImageCount() > 0);
    enable("MenuNextEmpty", doc != nullptr);
    enable("MenuPreviousEmpty", doc != nullptr);
    enable("MenuAnimation", doc && doc->ImageCount() > 0);
    enable("MenuCopy", doc && doc->Current() >= 0);
    enable("MenuPaste", editable);
    enable("MenuPasteReplace", editable && doc->Current() >= 0);
    enable("MenuPasteAppend", editable);
    enable("MenuCompare", idle && FTabs.size() >= 2);
    QAction* undo = UndoAction();
    QAction* redo = RedoAction();
    undo->setEnabled(idle && doc->CanUndo());
    redo->setEnabled(idle && doc->CanRedo());
    undo->setText(doc && doc->CanUndo() ? tr("撤销 %1").arg(doc->UndoName()) : tr("撤销"));
    redo->setText(doc && doc->CanRedo() ? tr("重做 %1").arg(doc->RedoName()) : tr("重做"));
}

void TfrmMain::GoToImage() {
    TLibraryDocument* doc = FDocument;
    if (!doc || doc->ImageCount() == 0)
        return;
    int index = std::max(0, doc->Current());
    if (!Prompts().InputNumber(tr("转到图片"), tr("图片编号 (0 - %1):").arg(doc->ImageCount() - 1),
                               index, 0, doc->ImageCount() - 1))
        return;
    doc->Select(index);
}

void TfrmMain::FindEmptyImage(int direction) {
    TLibraryDocument* doc = FDocument;
    if (!doc)
        return;
    const int count = doc->ImageCount();
    const int from = doc->Current() < 0 && direction > 0 ? -1 : doc->Current();
    for (int i = from + direction; i >= 0 && i < count; i += direction) {
        const std::optional<TImageDescription> d = doc->Library().Describe(i, false);
        if (d && d->Empty) {
            doc->Select(i);
            return;
        }
    }
    SetStatusText(5, direction > 0 ? tr("后面没有空图片") : tr("前面没有空图片"));
}

void TfrmMain::CheckLibraryCommand() {
    TLibraryDocument* doc = IdleDocument();
    if (!doc)
        return;
    auto check = std::make_shared<TLibraryCheck>();
    const std::string file = doc->FileName();
    doc->StartJob(
        [check](TGameImages& library, TJobControl& control) {
            *check = CheckLibrary(library, [&](int done, int total) {
                control.Report(done, total);
                return true;
            });
        },
        {{}, [doc, check, file](const TJobEnd& end) {
             if (end.Cancelled) {
                 Prompts().ShowMessage(tr("文件检查已取消 ！！！\n已检查 %1/%2 张图片。")
                                           .arg(end.Cancelled->Done)
                                           .arg(end.Cancelled->Total));
                 return;
             }
             if (end.Error) {
                 ReportStepFailure(end, tr("文件检查失败"));
                 return;
             }
             for (const TDamagedRecord& d : check->Damaged)
                 LogDamageOnce(file, d.Index, d.Check);
             if (check->Damaged.empty()) {
                 Prompts().ShowMessage(
                     tr("文件检查完成 ！！！\n%1 张图片全部完好。").arg(check->Checked));
                 return;
             }
             QString text = tr("文件检查完成 ！！！\n%1 张图片中有 %2 张损坏:")
                                .arg(check->Checked)
                                .arg(check->Damaged.size());
             constexpr size_t kListed = 20;
             for (size_t i = 0; i < check->Damaged.size() && i < kListed; ++i)
                 text += QStringLiteral("\n%1  %2")
                             .arg(CellNumberText(check->Damaged[i].Index),
                                  DamageText(check->Damaged[i].Check));
             if (check->Damaged.size() > kListed)
                 text += tr("\n…… 另有 %1 张").arg(check->Damaged.size() - kListed);
             Prompts().ShowError(text);
             doc->Select(check->Damaged.front().Index);
         }});
}

void TfrmMain::ShowAnimation() {
    TLibraryDocument* doc = FDocument;
    if (!doc || doc->ImageCount() == 0)
        return;
    const int count = doc->ImageCount();
    auto [first, last] = doc->SelectedRange();
    if (first < 0)
        first = last = 0;
    int frames = last - first + 1;
    // One image selected: the animation that starts at it.
    if (frames <= 1)
        frames = std::min(8, count - first);
    FAnimation->ShowRange(first, std::max(1, frames));
}

void TfrmMain::MoveSelectedOffset(QPoint delta) {
    FPreviewArea->SetDragShift({});
    TLibraryDocument* doc = IdleDocument();
    if (!doc || delta.isNull() || doc->Current() < 0)
        return;
    TOffsetResult stored;
    try {
        stored = doc->MoveOffset(doc->Current(), delta);
    } catch (const std::exception& e) {
        LogQuietly(std::string("偏移坐标: ") + e.what());
        Prompts().ShowError(tr("图片坐标修改失败 ！！！\n") + EditErrorText(e));
        return;
    }
    if (stored.Refusal != TEditRefusal::erNone)
        Prompts().ShowError(EditRefusalMessage(stored.Refusal));
    else if (!stored.Done)
        Prompts().ShowError(tr("图片坐标修改失败 ！！！\n") + ErrorDetailText(stored.Error));
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

} // namespace velmora
