// Opening and closing libraries, and the grid, preview and status line of the open one.
#include "app/main_window.h"

#include "app/globals.h"
#include "app/prompts.h"
#include "app/status_texts.h"
#include "core/file_stream.h"
#include "files/log.h"
#include "files/pak_passwords.h"
#include "formats/indexed_library.h"
#include "operations/library_kind.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QProgressBar>
#include <QScrollBar>
#include <QToolButton>

#include <exception>

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

void TfrmMain::OpenLibrary(const std::string& fileName) {
    if (g_Busy)
        return;
    TBusyGuard busy;
    if (!FileExists(fileName))
        return;
    try {
        if (g_Images) {
            for (int pane = 1; pane <= 4; ++pane)
                SetStatusText(pane, QString());
            g_Images.reset();
            UpdateGridRows();
            ClearPreview();
        }
        AddRecentFile(fileName);
        const TImageType kind = LibraryKindOf(fileName);
        g_Images = CreateLibrary(kind, fileName);
        if (!g_Images)
            return;
        FProgressBar->setRange(0, 0);
        FProgressBar->setValue(0);
        FProgressBar->show();
        ProcessMessages();
        HookReadEvents(*g_Images);
        if (kind == t_Quillrand && !RunPasswordFlow(*g_Images, fileName)) {
            g_Images.reset();
            FProgressBar->hide();
            return;
        }
        g_Images->Initialize();
        SetStatusText(4, LibraryKindText(kind, g_Images->BitCount()));
        SetEditButtonsEnabled(kind != t_Wis);
        UpdateGridRows();
        SetStatusText(1, QString::fromStdString(fileName));
        SetStatusText(2, QStringLiteral("0/%1").arg(g_Images->ImageCount()));
        OfferIndexRepair();
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
        Prompts().ShowMessage(QStringLiteral("只有Wil和Wzl文件有索引！！！"));
        return;
    }
    QString text;
    try {
        const TIndexRepair repair = indexed->RepairIndex(false);
        text = QStringLiteral("索引修复完成！！！\n找到 %1 张图片，文件末尾 %2 字节无法识别。")
                   .arg(repair.Found)
                   .arg(repair.UnreadBytes);
        if (!repair.BackupFile.empty())
            text += QStringLiteral("\n原索引已保存为 %1")
                        .arg(QString::fromStdString(repair.BackupFile));
    } catch (const std::exception& e) {
        LogQuietly(g_Images->FileName() + ": " + e.what());
        text = QStringLiteral("索引修复失败 ！！！\n") + EditErrorText(e);
    }
    SetStatusText(1, QString::fromStdString(g_Images->FileName()));
    SetStatusText(2, QStringLiteral("0/%1").arg(g_Images->ImageCount()));
    g_Selection.Index = -1;
    UpdateGridRows();
    ClearPreview();
    Prompts().ShowMessage(text);
}

bool TfrmMain::RunPasswordFlow(TGameImages& library, const std::string& fileName) {
    const QString caption = QStringLiteral("输入密码");
    const QString prompt = QStringLiteral("输入密码:");
    std::string password = FindPakPassword(fileName);
    if (password.empty()) {
        QString answer;
        if (!Prompts().InputQuery(caption, prompt, answer))
            return false;
        password = answer.toStdString();
    }
    if (password.empty())
        password = kDefaultPakPassword;
    while (!TryPakPassword(library, password)) {
        QString answer = QString::fromStdString(password);
        if (!Prompts().InputQuery(caption, prompt, answer))
            return false;
        password = answer.toStdString();
    }
    return true;
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
    g_Images.reset();
    UpdateGridRows();
    ClearPreview();
    SetEditButtonsEnabled(true);
}

void TfrmMain::UpdateGridRows() {
    FDrawGrid->SetRowCount(g_Images ? g_Images->ImageCount() / TDrawGrid::kColCount + 1 : 1);
    FDrawGrid->viewport()->update();
    FPreviewArea->Picture()->update();
}

void TfrmMain::ClearPreview() {
    FPreviewArea->ShowImage(QImage());
}

bool TfrmMain::DrawGridDrawCell(TDIB& dc, int col, int row, int x, int y) {
    if (!g_Images || g_Busy)
        return false;
    const int index = row * TDrawGrid::kColCount + col;
    if (index < 0 || index >= g_Images->ImageCount())
        return false;
    try {
        int width = TDrawGrid::kCellSize;
        int height = TDrawGrid::kCellSize;
        g_Images->StretchBlt(index, dc, x, y, width, height);
        return true;
    } catch (...) {
        return false;
    }
}

void TfrmMain::DrawGridSelectCell(int col, int row) {
    // While a library is still being read its image list is incomplete: wait for the read.
    if (!g_Images || FReading)
        return;
    g_Selection.Col = col;
    g_Selection.Row = row;
    g_Selection.Index = row * TDrawGrid::kColCount + col;
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
        if (!picture)
            return;
        g_Selection.Width = picture->Width();
        g_Selection.Height = picture->Height();
        FPreviewArea->ShowImage(PictureToImage(*picture, FTransparentAction->isChecked()));
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
