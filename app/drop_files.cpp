#include "app/drop_files.h"

#include "app/exception_handler.h"
#include "app/library_clipboard.h"
#include "app/library_document.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "app/dialogs/import_picture_dialog.h"
#include "app/status_texts.h"
#include "core/utils.h"
#include "files/picture_files.h"
#include "operations/import_picture.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QSpinBox>
#include <QTabBar>

#include <algorithm>
#include <array>
#include <exception>

namespace velmora {

namespace {

std::string Extension(const std::string& fileName) {
    const size_t slash = fileName.find_last_of("/\\");
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return fileName.substr(dot);
}

// The regular files among urls, as local paths, in their order.
std::vector<std::string> LocalFiles(const QList<QUrl>& urls) {
    std::vector<std::string> files;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (QFileInfo(path).isFile())
            files.push_back(path.toStdString());
    }
    return files;
}

// The number an edit holds: a spin box's value, or a line edit's text read as the import dialog
// reads it (TextToInt); 0 for anything else.
int EditNumber(const QWidget& dialog, const char* name) {
    const QObject* edit = dialog.findChild<QObject*>(QString::fromLatin1(name));
    if (const auto* spin = qobject_cast<const QSpinBox*>(edit))
        return spin->value();
    if (const auto* line = qobject_cast<const QLineEdit*>(edit))
        return TextToInt(line->text().trimmed().toStdString(), 0);
    return 0;
}

// The checked item of a radio group: a QButtonGroup's checked id, or the position of the checked
// button among a group box's buttons; 0 when none is checked.
int RadioIndex(const QWidget& dialog, const char* name) {
    const QObject* group = dialog.findChild<QObject*>(QString::fromLatin1(name));
    if (const auto* buttons = qobject_cast<const QButtonGroup*>(group))
        return std::max(buttons->checkedId(), 0);
    if (const auto* box = qobject_cast<const QWidget*>(group)) {
        const QList<QAbstractButton*> items = box->findChildren<QAbstractButton*>();
        for (int i = 0; i < items.size(); ++i)
            if (items[i]->isChecked())
                return i;
    }
    return 0;
}

} // namespace

bool IsOpenableLibraryName(const std::string& fileName) {
    const std::string ext = Extension(fileName);
    static const std::array<const char*, 5> kLibraryExts{".wil", ".wis", ".wzl", ".pak", ".data"};
    return std::any_of(kLibraryExts.begin(), kLibraryExts.end(),
                       [&](const char* known) { return SameText(ext, known); });
}

TDropPlan PlanDrop(const QList<QUrl>& urls, bool overGrid, const TLibraryDocument* document) {
    TDropPlan plan;
    if (document && document->Busy())
        return plan;
    const std::vector<std::string> files = LocalFiles(urls);
    for (const std::string& file : files)
        if (IsOpenableLibraryName(file)) {
            plan.Kind = TDropKind::dkOpen;
            plan.Library = file;
            return plan;
        }
    // WIS libraries take no pictures: the drop is refused up front rather than failing later.
    if (!overGrid || !document || document->Kind() == t_Wis)
        return plan;
    for (const std::string& file : files)
        if (IsPictureFile(file))
            plan.Pictures.push_back(file);
    if (!plan.Pictures.empty())
        plan.Kind = TDropKind::dkImport;
    return plan;
}

TImportChoices CurrentImportChoices(const QWidget& importDialog) {
    TImportChoices choices;
    choices.Offset = {EditNumber(importDialog, "EditX"), EditNumber(importDialog, "EditY")};
    choices.Compression = uint8_t(RadioIndex(importDialog, "RadioGroup1"));
    return choices;
}

TAppendResult AppendPictures(TGameImages& library, const std::vector<std::string>& files,
                             const TImportChoices& choices) {
    TAppendResult result;
    // Every picture is read before the library changes, so that an unreadable one leaves it as it
    // was instead of half imported.
    std::vector<TLoadedPicture> pictures(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        if (!LoadImportPicture(files[i], pictures[i], result.Error)) {
            result.FailedFile = files[i];
            return result;
        }
        PrepareForLibrary(pictures[i], library);
    }
    if (pictures.empty())
        return result;
    int failed = -1;
    const TImportPictureResult imported = ImportLoadedPictures(
        library, pictures, -1, imAppend, choices.Offset, choices.Compression, &failed);
    if (!imported.Imported) {
        result.Refusal = imported.Refusal;
        result.Error = imported.Error;
        if (failed >= 0)
            result.FailedFile = files[size_t(failed)];
        return result;
    }
    result.Imported = int(pictures.size());
    return result;
}

TFileDropHandler::TFileDropHandler(TfrmMain& window)
    : QObject(&window), FWindow(window), FTarget(window.centralWidget()) {
    setObjectName(QStringLiteral("FileDropHandler"));
    // The drop site is the central widget, which holds everything but the status line, rather
    // than the top-level window itself, so that the window is created as it would be without.
    if (!FTarget)
        return;
    FTarget->setAcceptDrops(true);
    FTarget->installEventFilter(this);
}

TDropPlan TFileDropHandler::PlanAt(const QList<QUrl>& urls, const QPoint& pos) const {
    const QWidget* grid = FWindow.DrawGrid();
    const bool overGrid =
        FTarget && grid && grid->isVisible() && grid->rect().contains(grid->mapFrom(FTarget, pos));
    return PlanDrop(urls, overGrid, FWindow.Document());
}

TDropPlan TFileDropHandler::PlanAt(const QMimeData* data, const QPoint& pos) const {
    if (!data)
        return {};
    const TLibraryClipboard* clipboard = FWindow.Clipboard();
    const std::shared_ptr<const TImageClip> clip =
        clipboard ? clipboard->DraggedClip(data) : nullptr;
    if (!clip)
        return data->hasUrls() ? PlanAt(data->urls(), pos) : TDropPlan{};
    TDropPlan plan;
    const QTabBar* tabs = FWindow.TabBar();
    const QPoint onTabs = tabs->mapFrom(FTarget, pos);
    const TDrawGrid* grid = FWindow.DrawGrid();
    const QPoint onGrid = grid->viewport()->mapFrom(FTarget, pos);
    if (tabs->isVisible() && tabs->rect().contains(onTabs)) {
        const int index = tabs->tabAt(onTabs);
        const std::vector<TLibraryDocument*> documents = FWindow.Documents();
        if (index < 0 || size_t(index) >= documents.size())
            return {};
        plan.Target = documents[size_t(index)];
    } else if (grid->isVisible() && grid->viewport()->rect().contains(onGrid)) {
        plan.Target = FWindow.Document();
        const QPoint cell = grid->CellAt(onGrid);
        plan.At = cell.x() < 0 ? -1 : cell.y() * grid->ColCount() + cell.x();
    }
    if (!plan.Target || !TLibraryClipboard::TakesDrop(*plan.Target, *clip))
        return {};
    plan.Kind = TDropKind::dkPaste;
    plan.Clip = clip;
    return plan;
}

bool TFileDropHandler::eventFilter(QObject* watched, QEvent* event) {
    if (!FTarget || watched != FTarget)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        // Moves are judged again: pictures are taken over the grid only, dragged images over
        // the grid and the tabs. Images held over a tab show it.
        auto* drag = static_cast<QDragMoveEvent*>(event);
        const QMimeData* data = drag->mimeData();
        const QPoint pos = drag->position().toPoint();
        if (FWindow.Clipboard() && FWindow.Clipboard()->DraggedClip(data)) {
            QTabBar* tabs = FWindow.TabBar();
            const int index = tabs->tabAt(tabs->mapFrom(FTarget, pos));
            if (index >= 0 && index != tabs->currentIndex())
                tabs->setCurrentIndex(index);
        }
        if (PlanAt(data, pos).Kind != TDropKind::dkNone)
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const TDropPlan plan = PlanAt(drop->mimeData(), drop->position().toPoint());
        if (plan.Kind == TDropKind::dkNone) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        Guarded([&] { Run(plan); });
        return true;
    }
    default:
        return false;
    }
}

void TFileDropHandler::Run(const TDropPlan& plan) {
    switch (plan.Kind) {
    case TDropKind::dkNone:
        return;
    case TDropKind::dkOpen:
        FWindow.OpenLibrary(plan.Library);
        return;
    case TDropKind::dkPaste:
        if (plan.Target && FWindow.Clipboard())
            FWindow.Clipboard()->Drop(*plan.Target, plan.Clip, plan.At);
        return;
    case TDropKind::dkImport:
        break;
    }
    TLibraryDocument* document = FWindow.Document();
    if (!document || document->Busy())
        return;
    TImportChoices choices;
    if (FWindow.ImportDialog())
        choices = CurrentImportChoices(*FWindow.ImportDialog());
    const int firstNew = document->ImageCount();
    TAppendResult result;
    // A drop is an edit like the import command: undoable, and shown as the library holds it.
    document->Edit(tr("拖放导入"), [&](TGameImages& library) {
        result = AppendPictures(library, plan.Pictures, choices);
    });
    // The first new image is selected and shown, so that the user sees where they went.
    if (result.Imported > 0)
        document->Select(firstNew);
    if (result.Refusal != TEditRefusal::erNone)
        Prompts().ShowError(EditRefusalMessage(result.Refusal));
    else if (!result.Error.empty())
        Prompts().ShowError(tr("图片导入失败 ！！！\n%1%2")
                                .arg(result.FailedFile.empty()
                                         ? QString()
                                         : QString::fromStdString(result.FailedFile) + tr("："),
                                     ErrorDetailText(result.Error, true)));
    else
        Prompts().ShowMessage(tr("图片导入成功 ！！！"));
}

} // namespace velmora
