#pragma once

#include "app/library_document.h"
#include "operations/diff_libraries.h"

#include <QDialog>
#include <QPointer>

#include <memory>
#include <vector>

class QAbstractTableModel;
class QLabel;
class QTableView;

namespace velmora {

// Dialog "比较": two open libraries compared image by image by DiffLibraries (the engine of
// velmora-cli diff), with the images that differ (pixels, size, offset) and those only in one of
// them listed, and selected in each library's tab. Created once with the main window and shown
// beside it, not modal; choosing a row makes its image the current one in both tabs.
class TfrmCompareDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmCompareDlg(QWidget* parent = nullptr);

    // The command: compares the document with another open one (the user chooses it when there
    // are several).
    void CompareClick(TLibraryDocument& current, const std::vector<TLibraryDocument*>& open);
    // Compares a with b on a's worker; b takes no job meanwhile. False when either works.
    bool Compare(TLibraryDocument& a, TLibraryDocument& b);

    const TDiffResult& Result() const { return FResult; }
    QTableView* Table() const { return FTable; }
    // Makes the image of a row the current one in both documents.
    void ChooseRow(int row);
    // The documents are going away (the window closes).
    void Forget();
    // A comparison under way that reads the document (the other document's job) is cancelled:
    // the document is let go once that job has stopped.
    void CancelFor(const TLibraryDocument& document);

private:
    void Compared(const TDiffResult& result);

    QPointer<TLibraryDocument> FA, FB;
    // The comparison under way: the document whose worker runs it, and the other one it holds.
    QPointer<TLibraryDocument> FRunning, FHeld;
    std::unique_ptr<TLibraryDocument::TBusyGuard> FHold;
    TDiffResult FResult;
    QLabel* FSummary = nullptr;
    QTableView* FTable = nullptr;
    QAbstractTableModel* FModel = nullptr;
};

} // namespace velmora
