#include "app/library_clipboard.h"

#include "app/drop_files.h"
#include "app/exception_handler.h"
#include "app/library_document.h"
#include "app/main_window.h"
#include "app/preview.h"
#include "app/prompts.h"
#include "app/status_texts.h"
#include "app/dialogs/import_picture_dialog.h"
#include "core/utils.h"
#include "files/log.h"
#include "files/picture_files.h"

#include <QBuffer>
#include <QClipboard>
#include <QCoreApplication>
#include <QDrag>
#include <QGuiApplication>
#include <QMimeData>
#include <QPixmap>
#include <QPointer>

#include <exception>
#include <span>

namespace velmora {

namespace {

const QString kPngType = QStringLiteral("image/png");

// "00012" for one image, "00012-00015" for several.
QString RangeText(int first, int count) {
    return count == 1
               ? CellNumberText(first)
               : CellNumberText(first) + QLatin1Char('-') + CellNumberText(first + count - 1);
}

// Why a job that raised failed, for its message box; logged.
QString FailureText(const std::exception_ptr& error) {
    return JobFailureText(error, "paste");
}

QByteArray PngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        bytes.clear();
    return bytes;
}

// Why a paste was refused before anything was written.
QString RefusalText(const TCopyPlan& plan, const TCopyOptions& options, int count,
                    int targetCount) {
    if (plan.Refusal != TEditRefusal::erNone)
        return EditRefusalMessage(plan.Refusal);
    if (options.Mode == cmReplace && int64_t(options.At) + count > targetCount)
        return TLibraryClipboard::tr(
                   "无法粘贴替换 ！！！\n要替换第 %1 到第 %2 张图片，但文件只有 %3 张图片。")
            .arg(options.At)
            .arg(int64_t(options.At) + count - 1)
            .arg(targetCount);
    return TLibraryClipboard::tr("无法粘贴 ！！！\n") + ErrorDetailText(plan.Error);
}

} // namespace

const QString TLibraryClipboard::kMimeType = QStringLiteral("application/x-velmora-images");

bool ClipboardPicture(const QMimeData& data, TLoadedPicture& picture, std::string& error) {
    picture = {};
    error.clear();
    QByteArray png = data.data(kPngType);
    if (png.isEmpty() && data.hasImage()) {
        // Another form of picture (a program that offers no PNG): brought to PNG by Qt.
        const QImage image = qvariant_cast<QImage>(data.imageData());
        if (!image.isNull())
            png = PngBytes(image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                         : QImage::Format_RGB32));
    }
    if (png.isEmpty())
        return false;
    std::unique_ptr<TPngPicture> decoded;
    try {
        decoded = LoadPngPictureFromMemory(
            std::span(reinterpret_cast<const uint8_t*>(png.constData()), size_t(png.size())));
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    if (!decoded) {
        error = "not a readable PNG picture";
        return false;
    }
    picture = PictureFromPng(*decoded);
    if (!picture.Source) {
        error = "the picture could not be converted";
        return false;
    }
    return true;
}

TLibraryClipboard::TLibraryClipboard(TfrmMain& window) : QObject(&window), FWindow(window) {
    setObjectName(QStringLiteral("LibraryClipboard"));
}

std::shared_ptr<TImageClip> TLibraryClipboard::Take(TLibraryDocument& document) {
    const auto [first, last] = document.SelectedRange();
    if (first < 0)
        return nullptr;
    auto clip = std::make_shared<TImageClip>();
    clip->Library = document.SharedLibrary();
    clip->Images =
        std::make_shared<const TTakenImages>(TakeImages(document.Library(), first, last));
    if (clip->Images->Count() <= 0)
        return nullptr;
    clip->Name = QString::fromStdString(ExtractFileName(document.FileName()));
    clip->Token = QByteArray::number(QCoreApplication::applicationPid()) + ':' +
                  QByteArray::number(qulonglong(++FSerial));
    return clip;
}

QMimeData* TLibraryClipboard::MimeData(const TImageClip& clip, TLibraryDocument&) const {
    auto* data = new QMimeData;
    data->setData(kMimeType, clip.Token);
    // The first image as the game shows it, for any program that takes pictures.
    std::unique_ptr<TPicture> picture;
    int x = 0, y = 0;
    try {
        picture = clip.Images->Snapshot->Get(clip.Images->From, x, y);
    } catch (const std::exception&) {
        picture.reset(); // a damaged image gives no picture
    }
    if (picture) {
        const QImage image = PictureToImage(*picture, false, TDisplayRule::drGame)
                                 .convertToFormat(QImage::Format_ARGB32);
        const QByteArray png = PngBytes(image);
        if (!png.isEmpty()) {
            data->setData(kPngType, png);
            data->setImageData(image);
        }
    }
    return data;
}

void TLibraryClipboard::Copy(TLibraryDocument& document) {
    const std::shared_ptr<TImageClip> clip = Take(document);
    if (!clip) {
        FWindow.SetStatusText(5, tr("没有选中的图片"));
        return;
    }
    FClip = clip;
    QGuiApplication::clipboard()->setMimeData(MimeData(*clip, document));
    document.PostNote(tr("已复制 %1 张图片：%2")
                          .arg(clip->Images->Count())
                          .arg(RangeText(clip->Images->From, clip->Images->Count())));
}

std::shared_ptr<const TImageClip> TLibraryClipboard::ClipboardClip() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (FClip && data && data->hasFormat(kMimeType) && data->data(kMimeType) == FClip->Token)
        return FClip;
    return nullptr;
}

void TLibraryClipboard::Paste(TLibraryDocument& document, TPasteMode mode) {
    if (document.Busy())
        return;
    const int first = document.SelectedRange().first;
    const int count = document.ImageCount();
    if (mode == TPasteMode::pmReplace && first < 0) {
        Prompts().ShowError(tr("无法粘贴替换 ！！！\n请先选择要替换的图片。"));
        return;
    }
    if (const std::shared_ptr<const TImageClip> clip = ClipboardClip()) {
        switch (mode) {
        case TPasteMode::pmInsert:
            PasteClip(document, clip, first >= 0 ? cmInsert : cmAppend, first >= 0 ? first : count,
                      tr("粘贴"));
            return;
        case TPasteMode::pmReplace:
            PasteClip(document, clip, cmReplace, first, tr("粘贴替换"));
            return;
        case TPasteMode::pmAppend:
            PasteClip(document, clip, cmAppend, count, tr("粘贴到末尾"));
            return;
        }
    }
    // A picture of any program.
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    TLoadedPicture picture;
    std::string error;
    if (!data || !ClipboardPicture(*data, picture, error)) {
        Prompts().ShowError(error.empty()
                                ? tr("剪贴板中没有图片 ！！！")
                                : tr("无法读取剪贴板中的图片 ！！！\n") + ErrorDetailText(error));
        return;
    }
    PastePicture(document, std::move(picture), mode);
}

void TLibraryClipboard::PastePicture(TLibraryDocument& document, TLoadedPicture picture,
                                     TPasteMode mode) {
    if (document.Kind() == t_Wis) {
        Prompts().ShowError(EditRefusalMessage(TEditRefusal::erReadOnlyFormat));
        return;
    }
    // As the import dialog imports a picture: at the selection, with offsets (0, 0), or over the
    // selected image with its offsets; compressed as the dialog's choice says.
    const int first = document.SelectedRange().first;
    TImportMode how = imAppend;
    int index = document.ImageCount();
    TPoint offset;
    QString name = tr("粘贴到末尾");
    if (mode == TPasteMode::pmInsert && first >= 0) {
        how = imInsert;
        index = first;
        name = tr("粘贴");
    } else if (mode == TPasteMode::pmReplace) {
        how = imReplace;
        index = first;
        offset = document.Library().GetPoint(first);
        name = tr("粘贴替换");
    }
    TImportChoices choices;
    if (FWindow.ImportDialog())
        choices = CurrentImportChoices(*FWindow.ImportDialog());
    PrepareForLibrary(picture, document.Library());
    auto loaded = std::make_shared<TLoadedPicture>(std::move(picture));
    auto result = std::make_shared<TImportPictureResult>();
    QPointer<TLibraryDocument> target(&document);
    const uint8_t compression = choices.Compression;
    document.StartEdit(
        name,
        [loaded, result, index, how, offset, compression](TGameImages& library, TJobControl&) {
            *result = ImportLoadedPicture(library, *loaded, index, how, offset, compression);
        },
        {{}, [target, result](const TJobEnd& end) {
             if (end.Error) {
                 Prompts().ShowError(tr("粘贴失败 ！！！\n") + FailureText(end.Error));
             } else if (result->Refusal != TEditRefusal::erNone) {
                 Prompts().ShowError(EditRefusalMessage(result->Refusal));
             } else if (result->OffsetRefused) {
                 Prompts().ShowError(tr("粘贴失败 ！！！\n坐标超出范围(-32768..32767)"));
             } else if (!result->Imported) {
                 Prompts().ShowError(tr("粘贴失败 ！！！\n") + ErrorDetailText(result->Error));
             } else if (target) {
                 target->Select(result->Index);
                 target->PostNote(
                     tr("已粘贴剪贴板中的图片到 %1").arg(CellNumberText(result->Index)));
             }
         }});
}

void TLibraryClipboard::PasteClip(TLibraryDocument& document,
                                  std::shared_ptr<const TImageClip> clip, TCopyMode mode, int at,
                                  const QString& name) {
    if (document.Busy() || !clip)
        return;
    TCopyOptions options;
    options.Mode = mode;
    options.At = at;
    options.Taken = clip->Images;
    // The plan (what fits, what is lost) reads every picture that must be decoded: it runs on
    // the worker too, and the question comes when it is done.
    auto plan = std::make_shared<TCopyPlan>();
    const std::shared_ptr<TGameImages> source = clip->Library;
    QPointer<TLibraryDocument> target(&document);
    document.StartJob(
        [plan, source, options](TGameImages& library, TJobControl&) {
            *plan = PlanCopy(*source, library, options);
        },
        {{}, [this, target, clip, plan, options, name](const TJobEnd& end) {
             if (!target || FWindow.Closing(*target))
                 return;
             if (end.Error) {
                 Prompts().ShowError(tr("粘贴失败 ！！！\n") + FailureText(end.Error));
                 return;
             }
             if (!plan->Valid) {
                 Prompts().ShowError(
                     RefusalText(*plan, options, clip->Images->Count(), target->ImageCount()));
                 return;
             }
             if (plan->Losses.Lossy() &&
                 !Prompts().Confirm(
                     tr("%1 %2 张图片到 %3（%4位）：\n%5\n继续吗？")
                         .arg(name)
                         .arg(plan->Count)
                         .arg(QString::fromStdString(ExtractFileName(target->FileName())))
                         .arg(plan->Losses.TargetBitCount)
                         .arg(LossMessage(plan->Losses)))) {
                 target->PostNote(tr("未粘贴，文件未修改"));
                 return;
             }
             CopyPlanned(*target, clip, options, *plan, name);
         }});
}

void TLibraryClipboard::CopyPlanned(TLibraryDocument& document,
                                    std::shared_ptr<const TImageClip> clip, TCopyOptions options,
                                    const TCopyPlan&, const QString& name) {
    // The losses were asked about: the copy does not count them again.
    options.CountLosses = false;
    auto result = std::make_shared<TCopyResult>();
    const std::shared_ptr<TGameImages> source = clip->Library;
    QPointer<TLibraryDocument> target(&document);
    document.StartEdit(
        name,
        [result, source, options](TGameImages& library, TJobControl& control) {
            *result = CopyImages(*source, library, options,
                                 [&control](int done, int total) { control.Report(done, total); });
        },
        {{}, [target, result](const TJobEnd& end) {
             if (!target)
                 return;
             if (end.Cancelled) {
                 target->PostNote(tr("已取消粘贴（%1/%2），文件未修改")
                                      .arg(end.Cancelled->Done)
                                      .arg(end.Cancelled->Total));
                 return;
             }
             if (end.Error) {
                 Prompts().ShowError(tr("粘贴失败 ！！！\n") + FailureText(end.Error));
                 return;
             }
             if (!result->Done) {
                 Prompts().ShowError(tr("粘贴失败 ！！！\n") + ErrorDetailText(result->Error));
                 return;
             }
             const int first = result->Plan.First;
             const int count = result->Copied;
             target->SelectRange(first + count - 1, first);
             target->PostNote(tr("已粘贴 %1 张图片到 %2").arg(count).arg(RangeText(first, count)));
             if (result->Undecodable > 0)
                 Prompts().ShowMessage(
                     tr("%1 张图片无法解码，已作为空图片粘贴，其后图片的序号不变。")
                         .arg(result->Undecodable));
         }});
}

QMimeData* TLibraryClipboard::DragData(TLibraryDocument& document) {
    const std::shared_ptr<TImageClip> clip = Take(document);
    if (!clip)
        return nullptr;
    FDrag = clip;
    return MimeData(*clip, document);
}

void TLibraryClipboard::StartDrag(TLibraryDocument& document, QWidget* source) {
    QMimeData* data = DragData(document);
    if (!data)
        return;
    auto* drag = new QDrag(source);
    drag->setMimeData(data);
    const QImage image = qvariant_cast<QImage>(data->imageData());
    if (!image.isNull())
        drag->setPixmap(QPixmap::fromImage(
            image.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    // Over another tab's grid or tab the drop pastes; the drag ends here either way.
    drag->exec(Qt::CopyAction);
    FDrag.reset();
}

std::shared_ptr<const TImageClip> TLibraryClipboard::DraggedClip(const QMimeData* data) const {
    if (FDrag && data && data->hasFormat(kMimeType) && data->data(kMimeType) == FDrag->Token)
        return FDrag;
    return nullptr;
}

bool TLibraryClipboard::TakesDrop(const TLibraryDocument& document, const TImageClip& clip) {
    return !document.Busy() && document.Kind() != t_Wis && document.SharedLibrary() != clip.Library;
}

void TLibraryClipboard::Drop(TLibraryDocument& document, std::shared_ptr<const TImageClip> clip,
                             int at) {
    if (!clip || !TakesDrop(document, *clip))
        return;
    const int count = document.ImageCount();
    if (at < 0 || at >= count)
        PasteClip(document, std::move(clip), cmAppend, count, tr("拖放粘贴"));
    else
        PasteClip(document, std::move(clip), cmInsert, at, tr("拖放粘贴"));
}

} // namespace velmora
