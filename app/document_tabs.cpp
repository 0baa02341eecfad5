// The tabs of the main window: one document per open library, the views bound to the current
// tab's document, and closing a tab (a running job is cancelled first when the user agrees).
#include "app/main_window.h"

#include "app/animation_window.h"
#include "app/dialogs/compare_dialog.h"
#include "app/exception_handler.h"
#include "app/prompts.h"
#include "app/status_texts.h"
#include "app/thumbnail_cache.h"
#include "core/utils.h"

#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QUndoStack>

#include <algorithm>
#include <filesystem>

namespace velmora {

namespace {

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

QString FileNameText(const TLibraryDocument& document) {
    return QString::fromStdString(ExtractFileName(document.FileName()));
}

} // namespace

std::vector<TLibraryDocument*> TfrmMain::Documents() const {
    std::vector<TLibraryDocument*> documents;
    for (int i = 0; i < FTabBar->count(); ++i)
        documents.push_back(
            reinterpret_cast<TLibraryDocument*>(FTabBar->tabData(i).value<quintptr>()));
    return documents;
}

int TfrmMain::TabIndexOf(const TLibraryDocument& document) const {
    for (int i = 0; i < FTabBar->count(); ++i)
        if (FTabBar->tabData(i).value<quintptr>() == reinterpret_cast<quintptr>(&document))
            return i;
    return -1;
}

TfrmMain::TDocumentTab* TfrmMain::TabOf(const TLibraryDocument& document) const {
    for (const std::unique_ptr<TDocumentTab>& tab : FTabs)
        if (tab->Document.get() == &document)
            return tab.get();
    return nullptr;
}

void TfrmMain::ShowDocument(TLibraryDocument& document) {
    const int index = TabIndexOf(document);
    if (index >= 0)
        FTabBar->setCurrentIndex(index);
}

void TfrmMain::AddDocument(std::unique_ptr<TLibraryDocument> document) {
    TLibraryDocument& doc = *document;
    auto tab = std::make_unique<TDocumentTab>();
    tab->Document = std::move(document);
    FTabs.push_back(std::move(tab));
    ConnectDocument(doc);
    int index = 0;
    {
        // The tab is made whole before the views are told of it.
        const QSignalBlocker quiet(FTabBar);
        index = FTabBar->addTab(FileNameText(doc));
        FTabBar->setTabData(index, QVariant::fromValue(reinterpret_cast<quintptr>(&doc)));
        FTabBar->setTabToolTip(index, QString::fromStdString(doc.FileName()));
        FTabBar->setCurrentIndex(index);
    }
    CurrentTabChanged(index);
}

void TfrmMain::ConnectDocument(TLibraryDocument& document) {
    TLibraryDocument* doc = &document;
    const auto records = [this, doc] {
        if (doc == FDocument)
            Guarded([this] { ShowRecords(); });
    };
    connect(doc, &TLibraryDocument::RecordsChanged, this, records);
    connect(doc, &TLibraryDocument::LibraryReplaced, this, records);
    connect(doc, &TLibraryDocument::SelectionChanged, this, [this, doc] {
        if (doc != FDocument)
            return;
        Guarded([this] {
            ShowSelection();
            UpdateCommandStates();
        });
    });
    connect(doc, &TLibraryDocument::BusyChanged, this,
            [this, doc](bool busy) { BusyChangedOf(*doc, busy); });
    connect(doc, &TLibraryDocument::JobProgress, this, [this, doc](int done, int total) {
        if (TDocumentTab* tab = TabOf(*doc)) {
            tab->Done = done;
            tab->Total = total;
        }
        if (doc == FDocument)
            ShowProgress();
    });
    // Notes belong to the tab of the library they are about.
    connect(doc, &TLibraryDocument::Note, this, [this, doc](const QString& text) {
        if (TDocumentTab* tab = TabOf(*doc))
            tab->Note = text;
        if (doc == FDocument)
            SetStatusText(5, text);
    });
    connect(doc, &TLibraryDocument::FilesLost, this, [this, doc](const QString& reason) {
        const QString file = QString::fromStdString(doc->FileName());
        // Not from inside the document's own signal: it goes once the signal is done.
        QTimer::singleShot(0, this, [this, doc, reason, file] {
            if (TabOf(*doc) && CloseDocument(*doc))
                SetStatusText(5, tr("%1：%2").arg(reason, file));
        });
    });
    QUndoStack* stack = doc->UndoStack();
    const auto commands = [this, doc] {
        if (doc == FDocument)
            UpdateCommandStates();
    };
    for (auto signal : {&QUndoStack::canUndoChanged, &QUndoStack::canRedoChanged})
        connect(stack, signal, this, commands);
    for (auto signal : {&QUndoStack::undoTextChanged, &QUndoStack::redoTextChanged})
        connect(stack, signal, this, commands);
    connect(doc->Thumbnails(), &TThumbnailCache::ThumbnailReady, this, [this, doc](int index) {
        if (doc == FDocument)
            FDrawGrid->UpdateIndex(index);
    });
}

void TfrmMain::CurrentTabChanged(int index) {
    TLibraryDocument* next =
        index >= 0 ? reinterpret_cast<TLibraryDocument*>(FTabBar->tabData(index).value<quintptr>())
                   : nullptr;
    if (next && !TabOf(*next))
        next = nullptr;
    if (FDocument)
        if (TDocumentTab* tab = TabOf(*FDocument))
            tab->Scroll = FDrawGrid->verticalScrollBar()->value();
    FDocument = next;
    FAnimation->SetDocument(next);
    const TDocumentTab* tab = next ? TabOf(*next) : nullptr;
    ShowRecords();
    if (tab)
        FDrawGrid->verticalScrollBar()->setValue(tab->Scroll);
    SetStatusText(5, tab ? tab->Note : QString());
    ShowProgress();
}

void TfrmMain::UpdateTab(TLibraryDocument& document) {
    const int index = TabIndexOf(document);
    const TDocumentTab* tab = TabOf(document);
    if (index < 0 || !tab)
        return;
    // A tab whose document works says so, and one waiting to close says that.
    FTabBar->setTabIcon(index, document.Busy() ? style()->standardIcon(QStyle::SP_BrowserReload)
                                               : QIcon());
    FTabBar->setTabText(index, tab->Closing ? FileNameText(document) + tr(" (正在关闭)")
                                            : FileNameText(document));
}

void TfrmMain::BusyChangedOf(TLibraryDocument& document, bool busy) {
    TDocumentTab* tab = TabOf(document);
    if (!tab)
        return;
    if (busy)
        tab->Done = tab->Total = 0;
    UpdateTab(document);
    if (&document == FDocument) {
        UpdateCommandStates();
        // Looked at once the job's worker has started (an edit made at once shows no bar).
        QTimer::singleShot(0, this, [this] { ShowProgress(); });
    }
    if (busy)
        return;
    // The ends of the job are delivered first; the tab and the window go afterwards.
    QTimer::singleShot(0, this, [this, doc = &document] {
        const TDocumentTab* t = TabOf(*doc);
        if (t && t->Closing && !doc->Busy())
            RemoveTab(*doc);
        if (FQuitWhenIdle && !Opening() &&
            std::none_of(FTabs.begin(), FTabs.end(),
                         [](const auto& other) { return other->Document->Busy(); }))
            close();
    });
}

void TfrmMain::ShowProgress() {
    int done = 0, total = 0;
    bool shown = false;
    if (Opening()) {
        shown = true;
        done = FOpenDone;
        total = FOpenTotal;
    } else if (FDocument && FDocument->Busy() && FDocument->JobRunning()) {
        const TDocumentTab* tab = TabOf(*FDocument);
        shown = true;
        done = tab ? tab->Done : 0;
        total = tab ? tab->Total : 0;
    }
    FProgressBar->setVisible(shown);
    FCancelButton->setVisible(shown);
    if (!shown)
        return;
    FProgressBar->setRange(0, std::max(0, total));
    FProgressBar->setValue(std::min(done, std::max(0, total)));
}

void TfrmMain::RemoveTab(TLibraryDocument& document) {
    const auto found = std::find_if(FTabs.begin(), FTabs.end(), [&](const auto& tab) {
        return tab->Document.get() == &document;
    });
    if (found == FTabs.end())
        return;
    std::unique_ptr<TLibraryDocument> owned = std::move((*found)->Document);
    FTabs.erase(found);
    disconnect(owned.get(), nullptr, this, nullptr);
    disconnect(owned->UndoStack(), nullptr, this, nullptr);
    disconnect(owned->Thumbnails(), nullptr, this, nullptr);
    if (FDocument == owned.get()) {
        FDocument = nullptr;
        FAnimation->SetDocument(nullptr);
    }
    {
        const QSignalBlocker quiet(FTabBar);
        FTabBar->removeTab(TabIndexOf(*owned));
    }
    CurrentTabChanged(FTabBar->currentIndex());
    // Its job has ended: the document waits for nothing.
    owned.reset();
}

void TfrmMain::CloseTab(TLibraryDocument& document) {
    TDocumentTab* tab = TabOf(document);
    if (!tab || tab->Closing)
        return;
    if (document.Busy()) {
        // A job stops where it is when the user agrees; the tab goes when it has stopped.
        if (!Prompts().Confirm(
                tr("%1 正在运行任务 ！！！\n取消任务并关闭文件吗？").arg(FileNameText(document))))
            return;
        tab->Closing = true;
        UpdateTab(document);
        document.CancelJob();
        // A comparison that reads this library runs on the other one's worker.
        FCompareDlg->CancelFor(document);
        return;
    }
    RemoveTab(document);
}

bool TfrmMain::Closing(const TLibraryDocument& document) const {
    const TDocumentTab* tab = TabOf(document);
    return tab && tab->Closing;
}

void TfrmMain::CloseLibrary() {
    if (FDocument)
        CloseTab(*FDocument);
}

TLibraryDocument* TfrmMain::DocumentOf(const std::string& path) const {
    for (const std::unique_ptr<TDocumentTab>& tab : FTabs)
        if (SameFile(tab->Document->FileName(), path) || SameText(tab->Document->FileName(), path))
            return tab->Document.get();
    return nullptr;
}

bool TfrmMain::CloseDocument(TLibraryDocument& document) {
    // Freeing a library while a job works on it would pull it from under the job.
    if (!TabOf(document) || document.Busy())
        return false;
    RemoveTab(document);
    return true;
}

TLibraryDocument* TfrmMain::IdleDocument() const {
    return FDocument && !FDocument->Busy() ? FDocument : nullptr;
}

} // namespace velmora
