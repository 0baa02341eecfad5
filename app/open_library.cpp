// Opening and closing libraries, and the grid, preview and status line of the open one.
#include "app/main_window.h"

#include "app/globals.h"
#include "app/prompts.h"
#include "app/status_texts.h"
#include "core/file_stream.h"
#include "files/log.h"
#include "files/pak_passwords.h"
#include "formats/indexed_library.h"
#include "app/thumbnail_cache.h"
#include "core/utils.h"
#include "formats/pak.h"
#include "operations/check_library.h"
#include "operations/library_files.h"
#include "operations/library_kind.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QProgressBar>
#include <QScrollBar>
#include <QToolButton>

#include <exception>
#include <filesystem>

namespace velmora {

namespace {

// Messages are handled at most this often while a library is read: often enough for a moving
// progress bar and a responsive window, rarely enough not to slow down reading 100,000 images.
constexpr int kMessageIntervalMs = 15;

void LogQuietly(const std::string& text) {
    try {
        WriteLog(text, true);
    } catch (...) {
    }
}

} // namespace

QString TfrmMain::OpenRefusal(const std::string& fileName, TImageType kind) const {
    const QString name = QString::fromStdString(ExtractFileName(fileName));
    const std::string data = DataFileOfIndex(fileName);
    if (!data.empty())
        return QStringLiteral("%1 是 %2 的索引文件，请打开数据文件 ！！！")
            .arg(name, QString::fromStdString(ExtractFileName(data)));
    std::error_code ec;
    const auto size = std::filesystem::file_size(fileName, ec);
    if (!ec && size == 0)
        return QStringLiteral("无法打开 %1 ！！！\n文件是空的，不是资源文件。").arg(name);
    if (kind == t_Quillrand && !ec && size < kPakShortestHeaderEnd)
        return QStringLiteral("无法打开 %1 ！！！\nPak文件头不完整，文件已损坏。").arg(name);
    return {};
}

void TfrmMain::OpenLibrary(const std::string& fileName) {
    if (g_Busy)
        return;
    TBusyGuard busy;
    if (!FileExists(fileName))
        return;
    const TImageType kind = LibraryKindOf(fileName);
    if (const QString refusal = OpenRefusal(fileName, kind); !refusal.isEmpty()) {
        Prompts().ShowError(refusal);
        return;
    }
    try {
        std::unique_ptr<TGameImages> library = CreateLibrary(kind, fileName);
        if (!library)
            return;
        // The password is settled before the open library is let go: a cancelled prompt keeps
        // it open.
        if (kind == t_Quillrand && !RunPasswordFlow(*library, fileName))
            return;
        if (g_Images) {
            for (int pane = 1; pane <= 4; ++pane)
                SetStatusText(pane, QString());
            ReleaseLibrary();
            UpdateGridRows();
            ClearPreview();
        }
        // A new library starts with nothing selected.
        g_Selection = {};
        FDrawGrid->FocusCell(0, 0);
        AddRecentFile(fileName);
        g_Images = std::move(library);
        FProgressBar->setRange(0, 0);
        FProgressBar->setValue(0);
        FProgressBar->show();
        ProcessMessages();
        HookReadEvents(*g_Images);
        g_Images->Initialize();
        if (!g_Images->Initialized()) {
            ReleaseLibrary();
            Prompts().ShowError(
                QStringLiteral("无法打开 %1 ！！！\n文件不是%2资源文件，或已损坏。")
                    .arg(QString::fromStdString(ExtractFileName(fileName)),
                         LibraryKindText(kind, 8).section(QLatin1Char(' '), 0, 0)));
        } else {
            FThumbnails->SetLibrary(g_Images.get());
            SetStatusText(4, LibraryKindText(kind, g_Images->BitCount()));
            UpdateGridRows();
            SetStatusText(1, QString::fromStdString(fileName));
            SetStatusText(2, QStringLiteral("0/%1").arg(g_Images->ImageCount()));
            OfferIndexRepair();
        }
    } catch (const std::exception& e) {
        LogQuietly(fileName + ": " + e.what());
    } catch (...) {
        LogQuietly(fileName + ": unknown error");
    }
    // A read that ended in an error never reached its end event: leave the window usable.
    if (FReading || !FProgressBar->isHidden()) {
        FReading = false;
        FProgressBar->hide();
        FListBoxFileName->setEnabled(true);
        ToolButton("ToolButtonOpenFile")->setEnabled(true);
        UpdateGridRows();
    }
    if (g_Images && !FThumbnails->Library())
        FThumbnails->SetLibrary(g_Images.get());
    UpdateCommandStates();
}

void TfrmMain::ReleaseLibrary() {
    FThumbnails->SetLibrary(nullptr);
    FHistory.Clear();
    g_Images.reset();
    UpdateCommandStates();
}

// A library whose index is missing or does not match its data file says so once, in the status
// line and a question that offers to rebuild the index.
void TfrmMain::OfferIndexRepair() {
    auto* indexed = dynamic_cast<TIndexedLibrary*>(g_Images.get());
    if (!indexed || indexed->IndexState() == TIndexState::isGood)
        return;
    const QString file = QString::fromStdString(g_Images->FileName());
    SetStatusText(1, file + QStringLiteral(" (索引文件丢失或损坏)"));
    const QString question =
        QStringLiteral("索引文件丢失或损坏，请先修复！！！\n显示 %1 张图片，文件头记录 %2 张。\n"
                       "现在修复索引吗？")
            .arg(g_Images->ImageCount())
            .arg(g_Images->HeaderImageCount());
    if (Prompts().Confirm(question))
        RepairIndex();
}

void TfrmMain::RepairIndex() {
    auto* indexed = dynamic_cast<TIndexedLibrary*>(g_Images.get());
    if (!indexed) {
        Prompts().ShowError(QStringLiteral("只有Wil和Wzl文件有索引！！！"));
        return;
    }
    QString text;
    bool failed = false;
    try {
        const TIndexRepair repair = indexed->RepairIndex(false);
        text = QStringLiteral("索引修复完成！！！\n找到 %1 张图片，文件末尾 %2 字节无法识别。")
                   .arg(repair.Found)
                   .arg(repair.UnreadBytes);
        if (!repair.BackupFile.empty())
            text += QStringLiteral("\n原索引已保存为 %1")
                        .arg(QString::fromStdString(repair.BackupFile));
        // The records were read anew from the rebuilt index: earlier steps lead nowhere sound.
        if (repair.Written)
            FHistory.Clear();
    } catch (const std::exception& e) {
        LogQuietly(g_Images->FileName() + ": " + e.what());
        text = QStringLiteral("索引修复失败 ！！！\n") + EditErrorText(e);
        failed = true;
    }
    SetStatusText(1, QString::fromStdString(g_Images->FileName()));
    SetStatusText(2, QStringLiteral("0/%1").arg(g_Images->ImageCount()));
    g_Selection.Index = -1;
    UpdateGridRows();
    ClearPreview();
    UpdateCommandStates();
    Prompts().ShowOutcome(text, failed);
}

bool TfrmMain::RunPasswordFlow(TGameImages& library, const std::string& fileName) {
    const QString caption = QStringLiteral("输入密码");
    const QString prompt = QStringLiteral("输入密码:");
    // OK on an empty prompt tries the default password, on every round.
    const auto ask = [&](const QString& note, QString& answer) {
        if (!Prompts().InputPassword(caption, prompt, note, answer))
            return false;
        return true;
    };
    QString answer = QString::fromStdString(FindPakPassword(fileName));
    if (answer.isEmpty() && !ask(QString(), answer))
        return false;
    for (;;) {
        const std::string password =
            answer.isEmpty() ? std::string(kDefaultPakPassword) : answer.toStdString();
        if (TryPakPassword(library, password))
            return true;
        if (!ask(QStringLiteral("密码错误"), answer))
            return false;
    }
}

void TfrmMain::HookReadEvents(TGameImages& library) {
    library.SetOnBeginRead([this](TGameImages* sender) {
        FReading = true;
        // The records are not read yet: the header tells how many there will be.
        FProgressBar->setRange(0, std::max(0, sender->HeaderImageCount()));
        FProgressBar->setValue(0);
        FProgressBar->show();
        QScrollBar* v = FPreviewArea->verticalScrollBar();
        v->setValue(v->value() + FPreviewArea->height());
        FListBoxFileName->setEnabled(false);
        ToolButton("ToolButtonOpenFile")->setEnabled(false);
        ProcessMessages();
        FSinceMessages.start();
    });
    library.SetOnRead([this](TGameImages*) {
        if (FProgressBar->value() < FProgressBar->maximum())
            FProgressBar->setValue(FProgressBar->value() + 1);
        if (FSinceMessages.elapsed() >= kMessageIntervalMs) {
            ProcessMessages();
            FSinceMessages.restart();
        }
    });
    library.SetOnEndRead([this](TGameImages*) {
        FReading = false;
        FProgressBar->hide();
        FListBoxFileName->setEnabled(true);
        ToolButton("ToolButtonOpenFile")->setEnabled(true);
    });
}

void TfrmMain::CloseLibrary() {
    // Freeing a library while it is being read or edited would pull it from under its reader.
    if (g_Busy || !g_Images)
        return;
    for (int pane = 1; pane <= 4; ++pane)
        SetStatusText(pane, QString());
    ReleaseLibrary();
    g_Selection = {};
    UpdateGridRows();
    ClearPreview();
}

void TfrmMain::UpdateGridRows() {
    FDrawGrid->SetImageCount(g_Images ? g_Images->ImageCount() : 0);
    FDrawGrid->viewport()->update();
    FPreviewArea->Picture()->update();
}

void TfrmMain::ClearPreview() {
    FPreviewArea->ShowImage(QImage());
}

TCellView TfrmMain::CellView(int index, int size) {
    TCellView view;
    // While a library is read its records are not there yet.
    if (!g_Images || FReading || index < 0 || index >= g_Images->ImageCount())
        return view;
    view.Image = true;
    if (FThumbnails->Library() != g_Images.get())
        FThumbnails->SetLibrary(g_Images.get());
    if (const TThumbnail* thumbnail = FThumbnails->Find(index, size)) {
        view.Thumbnail = thumbnail->Image;
        view.Damaged = thumbnail->Damage.Damaged();
    }
    return view;
}

void TfrmMain::ShowDamageOfSelection(int index) {
    const TRecordCheck check = CheckRecord(*g_Images, index);
    if (!check.Damaged())
        return;
    SetStatusText(3, QStringLiteral("序号:%1 ").arg(CellNumberText(index)) + DamageText(check));
}

void TfrmMain::DrawGridSelectCell(int col, int row) {
    // While a library is still being read its image list is incomplete: wait for the read.
    if (!g_Images || FReading)
        return;
    g_Selection.Col = col;
    g_Selection.Row = row;
    g_Selection.Index = row * FDrawGrid->ColCount() + col;
    g_Selection.X = 0;
    g_Selection.Y = 0;
    const int index = g_Selection.Index;
    if (index < 0 || index >= g_Images->ImageCount())
        return;
    try {
        int x = 0;
        int y = 0;
        const std::unique_ptr<TPicture> picture = g_Images->Get(index, x, y);
        g_Selection.X = x;
        g_Selection.Y = y;
        if (!picture) {
            // A damaged image says why in the status line; an empty one shows nothing.
            SetStatusText(2, PositionText(index, g_Images->ImageCount()));
            FPreviewArea->SetAnchor(std::nullopt);
            ShowDamageOfSelection(index);
            return;
        }
        g_Selection.Width = picture->Width();
        g_Selection.Height = picture->Height();
        FPreviewArea->ShowImage(PictureToImage(*picture, FTransparentAction->isChecked()));
        FPreviewArea->SetAnchor(QPoint(x, y));
        SetStatusText(2, PositionText(index, g_Images->ImageCount()));
        SetStatusText(3, ImageDataText(index, g_Selection.Width, g_Selection.Height, x, y));
        if (const std::optional<QString> format = PixelFormatText(*g_Images, index))
            SetStatusText(4, *format);
    } catch (...) {
        // A picture that cannot be shown leaves the preview and the panes as far as they got.
    }
}

void TfrmMain::TransparentClick() {
    FTransparentAction->setChecked(!FTransparentAction->isChecked());
    DrawGridSelectCell(g_Selection.Col, g_Selection.Row);
}

} // namespace velmora
