#pragma once

#include "core/game_images.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QDropEvent;
class QMimeData;
class QWidget;

namespace velmora {

class TfrmMain;
class TLibraryDocument;
struct TImageClip;

// What dropping files or dragged images onto the main window does.
enum class TDropKind : uint8_t {
    dkNone,   // the drop is not taken
    dkOpen,   // opens Library, as a double click in the file list would
    dkImport, // appends Pictures to the open library
    dkPaste,  // pastes the dragged Clip into Target before image At (appends when At is -1)
};

struct TDropPlan {
    TDropKind Kind = TDropKind::dkNone;
    std::string Library;
    std::vector<std::string> Pictures; // in the order they were dropped
    std::shared_ptr<const TImageClip> Clip;
    TLibraryDocument* Target = nullptr;
    int At = -1;
};

// True for the names the open dialog offers: .Wil, .Wis, .Wzl, .Pak and .Data, in any case.
bool IsOpenableLibraryName(const std::string& fileName);

// Decides what a drop of urls does. The first existing local library file among them is opened,
// wherever it is dropped. Otherwise the existing local BMP, PNG and TGA files dropped over the
// thumbnail grid are appended, when a library is open (document) that takes pictures (not WIS).
// Nothing is taken while a job runs on the document, nor anything else (folders, remote
// addresses, other files).
TDropPlan PlanDrop(const QList<QUrl>& urls, bool overGrid, const TLibraryDocument* document);

// The import dialog's current choices that a drop uses: the offset in EditX and EditY and the
// compression item of RadioGroup1 (0 when a control is missing or holds no number).
struct TImportChoices {
    TPoint Offset;
    uint8_t Compression = 0;
};
TImportChoices CurrentImportChoices(const QWidget& importDialog);

struct TAppendResult {
    int Imported = 0;
    TEditRefusal Refusal = TEditRefusal::erNone; // the library takes no edits
    std::string Error;      // why nothing (or not everything) went in; empty on success
    std::string FailedFile; // the picture that failed, when one did
};

// Appends pictures to the library in one edit of the import core (ImportLoadedPictures), each
// loaded and made ready by it (LoadImportPicture, PrepareForLibrary) and added with the choices'
// offset and compression. When a picture cannot be read or the library refuses one nothing is
// added. File-system errors of the rewrite raise EFileError; the library then stays as it was.
TAppendResult AppendPictures(TGameImages& library, const std::vector<std::string>& files,
                             const TImportChoices& choices);

// Takes file drops on the main window: its central widget (everything but the status line) is
// made a drop site whose drag and drop events the handler takes.
// A library file opens through TfrmMain::OpenLibrary; pictures over the grid are appended to the
// open document with the import dialog's current choices, as one edit, and the outcome is shown
// as the import command shows it. Images dragged from a tab's grid show the tab they are held
// over, and are pasted into it where they are dropped: before the grid cell under them (after
// the last image past it), or after the last image when dropped onto the tab.
class TFileDropHandler : public QObject {
    Q_OBJECT
public:
    explicit TFileDropHandler(TfrmMain& window);

    // The widget that takes drops (the window's central widget).
    QWidget* DropTarget() const { return FTarget; }
    // The plan for a drop at pos (in the drop target's coordinates).
    TDropPlan PlanAt(const QList<QUrl>& urls, const QPoint& pos) const;
    // The plan for dragged data at pos: images dragged from a grid, or else files.
    TDropPlan PlanAt(const QMimeData* data, const QPoint& pos) const;
    // Carries a plan out.
    void Run(const TDropPlan& plan);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TfrmMain& FWindow;
    QWidget* FTarget;
};

} // namespace velmora
