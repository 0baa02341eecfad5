#pragma once

#include "operations/copy_images.h"
#include "operations/import_picture.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

class QMimeData;
class QWidget;

namespace velmora {

class TfrmMain;
class TLibraryDocument;

// Images taken by 复制 or by a drag: the library object they came from (kept while the clip
// lives, so that they can be read after their tab closed or their library changed) and the
// records of its snapshot then.
struct TImageClip {
    std::shared_ptr<TGameImages> Library;
    std::shared_ptr<const TTakenImages> Images;
    QString Name;     // the library's file name, for messages
    QByteArray Token; // what the clipboard's or the drag's data carries to name the clip
};

// How a paste enters the target: before the selection, over it, or after the last image.
enum class TPasteMode : uint8_t { pmInsert, pmReplace, pmAppend };

// The picture of clipboard data from any program (its PNG bytes, or an image in another form),
// made ready as the import of a PNG file makes it. False, with the reason in error, when the
// data holds no picture that can be read.
bool ClipboardPicture(const QMimeData& data, TLoadedPicture& picture, std::string& error);

// Copy and paste between libraries, through the system clipboard, and drags between tabs.
//
// 复制 puts a clip on the system clipboard: a token of this program, and the first image as a PNG
// picture (alpha kept; black transparent for libraries without alpha) that any program pastes.
// A paste looks at what the clipboard holds now: the clip its token names, or a picture of any
// program, which is imported as the import dialog imports a picture. Each paste is one undoable
// edit of the target, planned and written on the target's worker; what the target cannot hold is
// asked about before anything is written.
class TLibraryClipboard : public QObject {
    Q_OBJECT
public:
    // The data format that names a clip of this program.
    static const QString kMimeType;

    explicit TLibraryClipboard(TfrmMain& window);

    // 复制: the selected range of the document (its current image for single images).
    void Copy(TLibraryDocument& document);
    // 粘贴, 粘贴替换, 粘贴到末尾 of what the system clipboard holds into the document.
    void Paste(TLibraryDocument& document, TPasteMode mode);
    // The clip the system clipboard holds now; null when it holds something else.
    std::shared_ptr<const TImageClip> ClipboardClip() const;

    // The data a drag of the document's selection carries (a clip taken now); null when nothing
    // is selected. StartDrag runs such a drag from a widget.
    QMimeData* DragData(TLibraryDocument& document);
    void StartDrag(TLibraryDocument& document, QWidget* source);
    // The clip that dragged data carries; null for any other data.
    std::shared_ptr<const TImageClip> DraggedClip(const QMimeData* data) const;
    // Where a dragged clip may be dropped: not onto the library it came from, nor onto one that
    // works or takes no images.
    static bool TakesDrop(const TLibraryDocument& document, const TImageClip& clip);
    // A dropped clip goes before image `at` of the document (after the last when `at` is past it).
    void Drop(TLibraryDocument& document, std::shared_ptr<const TImageClip> clip, int at);

    // Copies a clip into the document as one edit named name: mode and at as CopyImages takes
    // them. Returns at once; the plan and the copy run on the document's worker, the status line
    // says what was pasted where, and the pasted images are selected.
    void PasteClip(TLibraryDocument& document, std::shared_ptr<const TImageClip> clip,
                   TCopyMode mode, int at, const QString& name);

private:
    std::shared_ptr<TImageClip> Take(TLibraryDocument& document);
    QMimeData* MimeData(const TImageClip& clip, TLibraryDocument& document) const;
    void PastePicture(TLibraryDocument& document, TLoadedPicture picture, TPasteMode mode);
    void CopyPlanned(TLibraryDocument& document, std::shared_ptr<const TImageClip> clip,
                     TCopyOptions options, const TCopyPlan& plan, const QString& name);

    TfrmMain& FWindow;
    std::shared_ptr<const TImageClip> FClip; // the last 复制
    std::shared_ptr<const TImageClip> FDrag; // the drag under way
    uint64_t FSerial = 0;
};

} // namespace velmora
