// Opening and closing libraries, and the grid, preview and status line of the open document.
#include "app/main_window.h"

#include "app/animation_window.h"
#include "app/exception_handler.h"
#include "app/prompts.h"
#include "app/status_texts.h"
#include "app/thumbnail_cache.h"
#include "app/worker.h"
#include "core/file_stream.h"
#include "core/recovery.h"
#include "core/utils.h"
#include "files/log.h"
#include "files/pak_passwords.h"
#include "operations/check_library.h"
#include "operations/library_files.h"
#include "operations/library_kind.h"

#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QUndoStack>

#include <exception>
#include <filesystem>
#include <new>

namespace velmora {

namespace {

// The first image the data file ends inside or before (a file cut short), or -1. Only a library
// whose index does not match its data file can be cut short; its headers are read to tell.
int FirstImageCutShort(const TGameImages& library) {
    if (library.IndexState() == TIndexState::isGood)
        return -1;
    const std::shared_ptr<const TRecordList> records = library.Records();
    try {
        for (size_t i = 0; i < records->size(); ++i)
            if ((*records)[i] && EndsPastTheFile(*(*records)[i]))
                return int(i);
    } catch (const std::exception&) {
    }
    return -1;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

// Why an open failed, as the message box says it.
QString OpenFailureText(const std::string& fileName, const std::exception_ptr& error) {
    QString reason;
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        reason = TfrmMain::tr("内存不足，文件的索引或图片太大");
    } catch (const EFileError& e) {
        reason = EditErrorText(e);
    } catch (const std::exception& e) {
        reason = ErrorDetailText(e.what());
    } catch (...) {
        reason = TfrmMain::tr("未知错误");
    }
    return TfrmMain::tr("无法打开 %1 ！！！\n%2")
        .arg(QString::fromStdString(ExtractFileName(fileName)), reason);
}

} // namespace

QString TfrmMain::OpenRefusal(const std::string& fileName, TImageType kind) const {
    const QString name = QString::fromStdString(ExtractFileName(fileName));
    const std::string data = DataFileOfIndex(fileName);
    if (!data.empty())
        return tr("%1 是 %2 的索引文件，请打开数据文件 ！！！")
            .arg(name, QString::fromStdString(ExtractFileName(data)));
    std::error_code ec;
    const auto size = std::filesystem::file_size(fileName, ec);
    if (!ec && size == 0)
        return tr("无法打开 %1 ！！！\n文件是空的，不是资源文件。").arg(name);
    if (kind == t_Quillrand && !ec && size < kPakShortestHeaderEnd)
        return tr("无法打开 %1 ！！！\nPak文件头不完整，文件已损坏。").arg(name);
    return {};
}

bool TfrmMain::Opening() const {
    return FOpenWorker->Running();
}

void TfrmMain::CancelOpening() {
    FWaitingFiles.clear();
    FOpenWorker->Cancel();
}

void TfrmMain::OpenLibrary(const std::string& fileName) {
    // A library open already is shown in its tab.
    if (TLibraryDocument* open = DocumentOf(fileName)) {
        ShowDocument(*open);
        return;
    }
    // One reading at a time: the others wait their turn.
    if (Opening()) {
        if (fileName != FOpeningFile &&
            std::none_of(FWaitingFiles.begin(), FWaitingFiles.end(),
                         [&](const std::string& waiting) { return SameFile(waiting, fileName); }))
            FWaitingFiles.push_back(fileName);
        return;
    }
    if (!FileExists(fileName)) {
        Prompts().ShowError(tr("文件不存在 ！！！\n%1").arg(QString::fromStdString(fileName)));
        return;
    }
    const TImageType kind = LibraryKindOf(fileName);
    if (const QString refusal = OpenRefusal(fileName, kind); !refusal.isEmpty()) {
        Prompts().ShowError(refusal);
        return;
    }
    // The library is made and its password settled here; it is read into this object of its
    // own on the worker, and gets its tab only when it has been read. Until then the tabs stay as
    // they are, and so does the recent list.
    std::unique_ptr<TGameImages> library;
    std::string password;
    try {
        library = CreateLibrary(kind, fileName);
        if (!library)
            return;
        // A save cut short is settled before the password is looked up: a password change it
        // finishes puts the new password in the list.
        if (library->Recover().ProgramFilesChanged)
            LoadPakPasswords();
        if (kind == t_Quillrand && !RunPasswordFlow(*library, fileName, password))
            return;
    } catch (...) {
        LogQuietly(fileName + ": could not be opened");
        Prompts().ShowError(OpenFailureText(fileName, std::current_exception()));
        return;
    }
    FOpening = std::make_shared<std::unique_ptr<TGameImages>>(std::move(library));
    FOpeningFile = fileName;
    FOpeningPassWord = password;
    FOpenDone = FOpenTotal = 0;
    FListBoxFileName->setEnabled(false);
    UpdateCommandStates();
    FOpenWorker->Start([opening = FOpening](TJobControl& control) {
        TGameImages& read = **opening;
        int done = 0;
        read.SetOnBeginRead([&](TGameImages* sender) {
            control.Report(0, std::max(0, sender->HeaderImageCount()));
        });
        read.SetOnRead([&](TGameImages* sender) {
            ++done;
            control.Report(done, std::max(done, sender->HeaderImageCount()));
        });
        struct TUnhook {
            TGameImages& Library;
            ~TUnhook() {
                Library.SetOnBeginRead(nullptr);
                Library.SetOnRead(nullptr);
                Library.SetOnEndRead(nullptr);
            }
        } unhook{read};
        read.Initialize();
    });
    ShowProgress();
}

void TfrmMain::OpenNextWaiting() {
    // Each waiting library opens in turn; one that fails to open does not stop the others.
    while (!Opening() && !FWaitingFiles.empty()) {
        const std::string next = FWaitingFiles.front();
        FWaitingFiles.erase(FWaitingFiles.begin());
        OpenLibrary(next);
    }
}

void TfrmMain::OpenFinished() {
    const std::string fileName = std::move(FOpeningFile);
    const std::string password = std::move(FOpeningPassWord);
    std::unique_ptr<TGameImages> library = FOpening ? std::move(*FOpening) : nullptr;
    FOpening.reset();
    FListBoxFileName->setEnabled(true);
    ShowProgress();
    UpdateCommandStates();
    // The libraries waiting for this one are opened once it is settled.
    QTimer::singleShot(0, this, [this] {
        Guarded([this] { OpenNextWaiting(); });
        if (FQuitWhenIdle && !Opening())
            close();
    });
    if (FOpenWorker->CancelledAt()) {
        SetStatusText(5,
                      tr("已取消打开 %1").arg(QString::fromStdString(ExtractFileName(fileName))));
        return;
    }
    if (const std::exception_ptr error = FOpenWorker->Error()) {
        // An error while reading (a read error, memory for a huge index): the reason is shown,
        // and nothing of the library that failed is kept.
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            LogQuietly(fileName + ": " + e.what());
        } catch (...) {
            LogQuietly(fileName + ": unknown error");
        }
        Prompts().ShowError(OpenFailureText(fileName, error));
        return;
    }
    if (!library || !library->Initialized()) {
        Prompts().ShowError(
            tr("无法打开 %1 ！！！\n文件不是%2资源文件，或已损坏。")
                .arg(QString::fromStdString(ExtractFileName(fileName)),
                     LibraryKindText(LibraryKindOf(fileName), 8).section(QLatin1Char(' '), 0, 0)));
        return;
    }
    const std::string problem = library->RecoveryProblem();
    const std::string damage = library->DamageText();
    QString notes;
    for (const std::string& warning : library->LastRecovery().Warnings)
        notes += QString::fromStdString(warning) + QLatin1Char('\n');
    AddDocument(std::make_unique<TLibraryDocument>(std::move(library), password));
    AddRecentFile(fileName);
    if (!problem.empty()) {
        // Shown as it is, and no edit until the journal is set aside (修复索引).
        SetStatusText(5, tr("上次保存被中断，无法完成，文件只能查看"));
        Prompts().ShowError(tr("上次保存被中断，其日志无法完成 ！！！\n%1\n文件只能查看；"
                               "“修复索引”可把日志另存，之后即可修改。")
                                .arg(QString::fromStdString(problem)));
        return;
    }
    if (!notes.isEmpty())
        Prompts().ShowMessage(tr("上次中断的保存已完成。\n") + notes.trimmed());
    if (!damage.empty() && LibraryKindOf(fileName) == t_Wis)
        SetStatusText(5, tr("文件不完整（已被截断），只显示完好的图片"));
    OfferIndexRepair();
}

// A library whose index is missing or does not match its data file says so once, in the status
// line and a question that offers to rebuild the index. A data file cut short is said to be one.
void TfrmMain::OfferIndexRepair() {
    TLibraryDocument* doc = IdleDocument();
    if (!doc)
        return;
    if (doc->Library().IndexState() == TIndexState::isGood)
        return;
    const int cut = FirstImageCutShort(doc->Library());
    QString question;
    if (cut >= 0) {
        question = tr("数据文件不完整 ！！！\n文件在第 %1 张图片处结束，第 %1 到第 %2 "
                      "张图片的数据已丢失。\n修复索引只保留文件中完好的图片，"
                      "现在修复吗？")
                       .arg(cut)
                       .arg(doc->ImageCount() - 1);
    } else {
        question = tr("索引文件丢失或损坏，请先修复！！！\n");
        if (doc->Library().HeaderImageCount() != doc->ImageCount())
            question += tr("显示 %1 张图片，文件头记录 %2 张。\n")
                            .arg(doc->ImageCount())
                            .arg(doc->Library().HeaderImageCount());
        question += tr("现在修复索引吗？");
    }
    if (Prompts().Confirm(question))
        RepairIndex();
}

void TfrmMain::RepairIndex() {
    TLibraryDocument* doc = IdleDocument();
    if (!doc)
        return;
    // The journal of a save that cannot be finished is set aside first, never deleted; the
    // library is then read again as it is.
    if (const std::string problem = doc->Library().RecoveryProblem(); !problem.empty()) {
        const std::string file = doc->FileName();
        TJournalAside aside;
        try {
            aside = SetJournalAside(file, true);
        } catch (const std::exception& e) {
            Prompts().ShowError(tr("无法处理日志 ！！！\n") + EditErrorText(e));
            return;
        }
        QString plan = tr("上次保存被中断，其日志无法完成：\n%1\n\n修复会把日志另存为 %2")
                           .arg(QString::fromStdString(problem),
                                QString::fromStdString(ExtractFileName(aside.KeptAs)));
        for (const auto& [from, to] : aside.NewFiles)
            plan += tr("，未完成的文件另存为 %1").arg(QString::fromStdString(ExtractFileName(to)));
        plan += tr("，不删除任何文件，然后重新读取。继续吗？");
        if (!Prompts().Confirm(plan))
            return;
        try {
            SetJournalAside(file, false);
        } catch (const std::exception& e) {
            Prompts().ShowError(tr("无法处理日志 ！！！\n") + EditErrorText(e));
            return;
        }
        CloseDocument(*doc);
        OpenLibrary(file);
        return;
    }
    if (doc->Library().IndexFileName().empty()) {
        Prompts().ShowError(tr("只有Wil和Wzl文件有索引！！！"));
        return;
    }
    auto repair = std::make_shared<TIndexRepair>();
    const std::string file = doc->FileName();
    doc->StartEdit(
        tr("修复索引"),
        [repair](TGameImages& library, TJobControl&) { *repair = library.RepairIndex(false); },
        {{},
         [repair, file](const TJobEnd& end) {
             if (end.Error) {
                 Prompts().ShowError(tr("索引修复失败 ！！！\n") + JobFailureText(end.Error, file));
                 return;
             }
             QString text = tr("索引修复完成！！！\n找到 %1 张图片，文件末尾 %2 字节无法识别。")
                                .arg(repair->Found)
                                .arg(repair->UnreadBytes);
             if (!repair->BackupFile.empty())
                 text += tr("\n原索引已保存为 %1").arg(QString::fromStdString(repair->BackupFile));
             Prompts().ShowMessage(text);
         }},
        /*undoable=*/false);
}

bool TfrmMain::RunPasswordFlow(TGameImages& library, const std::string& fileName,
                               std::string& password) {
    const QString caption = tr("输入密码");
    const QString prompt = tr("输入密码:");
    QString answer = QString::fromStdString(FindPakPassword(fileName));
    // OK on an empty prompt tries the default password, on every round.
    if (answer.isEmpty() && !Prompts().InputPassword(caption, prompt, QString(), answer))
        return false;
    for (;;) {
        password = answer.isEmpty() ? std::string(kDefaultPakPassword) : answer.toStdString();
        if (TryPakPassword(library, password))
            return true;
        if (!Prompts().InputPassword(caption, prompt, tr("密码错误"), answer))
            return false;
    }
}

TThumbnailCache* TfrmMain::Thumbnails() const {
    return FDocument ? FDocument->Thumbnails() : nullptr;
}

TCellView TfrmMain::CellView(int index, int size) {
    TCellView view;
    if (!FDocument || index < 0 || index >= FDocument->ImageCount())
        return view;
    view.Image = true;
    if (const TThumbnail* thumbnail = FDocument->Thumbnails()->Find(index, size)) {
        view.Thumbnail = thumbnail->Image;
        view.Damaged = thumbnail->Damage.Damaged();
    }
    return view;
}

void TfrmMain::ShowStatusFile() {
    if (!FDocument) {
        SetStatusText(1, QString());
        return;
    }
    QString text = QString::fromStdString(FDocument->FileName());
    if (FirstImageCutShort(FDocument->Library()) >= 0)
        text += tr(" (数据文件不完整)");
    else if (FDocument->Library().IndexState() != TIndexState::isGood)
        text += tr(" (索引文件丢失或损坏)");
    SetStatusText(1, text);
}

void TfrmMain::ShowRecords() {
    FDrawGrid->SetImageCount(FDocument ? FDocument->ImageCount() : 0);
    FDrawGrid->viewport()->update();
    ShowStatusFile();
    ShowSelection();
    if (FAnimation->isVisible())
        FAnimation->Reload();
    UpdateCommandStates();
}

void TfrmMain::ShowSelection() {
    TLibraryDocument* doc = FDocument;
    FDrawGrid->SetSelection(doc ? doc->Anchor() : -1, doc ? doc->Current() : -1);
    FDrawGrid->SetSelectedImages(doc ? doc->SelectedImages() : std::vector<int>());
    const auto clearPreview = [this] {
        FPreviewArea->ShowImage(QImage());
        FPreviewArea->SetAnchor(std::nullopt);
    };
    if (!doc) {
        for (int pane = 2; pane <= 4; ++pane)
            SetStatusText(pane, QString());
        clearPreview();
        return;
    }
    TGameImages& library = doc->Library();
    const int count = doc->ImageCount();
    const int index = doc->Current();
    const QString kindText = LibraryKindText(doc->Kind(), library.BitCount());
    if (index < 0) {
        SetStatusText(2, QStringLiteral("0/%1").arg(count));
        SetStatusText(3, QString());
        SetStatusText(4, kindText);
        clearPreview();
        return;
    }
    SetStatusText(2, PositionText(index, count));
    std::unique_ptr<TPicture> picture;
    TRecordCheck check;
    TPoint offset;
    try {
        check = CheckRecord(library, index, &picture);
        offset = library.GetPoint(index);
    } catch (const std::exception& e) {
        check = {TRecordDamage::rdReadError, e.what()};
    }
    if (check.Damaged()) {
        // A damaged image says why, whatever a padded picture of it would show.
        LogDamageOnce(doc->FileName(), index, check);
        SetStatusText(3, tr("序号:%1 ").arg(CellNumberText(index)) + DamageText(check));
        clearPreview();
    } else if (picture) {
        const TDisplayRule rule =
            FStoredViewAction->isChecked() ? TDisplayRule::drStored : TDisplayRule::drGame;
        FPreviewArea->ShowImage(PictureToImage(*picture, FTransparentAction->isChecked(), rule));
        FPreviewArea->SetAnchor(QPoint(offset.X, offset.Y));
        // An empty image is named one, whatever placeholder picture the format gives for it.
        const std::optional<TImageDescription> d = library.Describe(index, false);
        SetStatusText(3, d && d->Empty ? tr("序号:%1 空图片").arg(CellNumberText(index))
                                       : ImageDataText(index, picture->Width(), picture->Height(),
                                                       offset.X, offset.Y));
    } else {
        clearPreview();
        SetStatusText(3, tr("序号:%1 空图片").arg(CellNumberText(index)));
    }
    const std::optional<QString> format = PixelFormatText(library, index);
    SetStatusText(4, format && !format->isEmpty() ? *format : kindText);
}

void TfrmMain::TransparentClick() {
    FTransparentAction->setChecked(!FTransparentAction->isChecked());
    ShowSelection();
}

} // namespace velmora
