#pragma once

#include "app/library_document.h"
#include "operations/batch_export.h"

#include <QDialog>
#include <QPointer>

#include <memory>
#include <optional>

class QButtonGroup;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;

namespace velmora {

// Dialog "批量导出图片", created once at start and kept for the whole run so that its controls keep
// their values between uses: the target folder (EditFileDir), the index range (EditX, EditY) and
// the format (RadioGroupImageFormat: PNG, BMP, TGA, 自动). A run spreads the range over worker
// threads; Timer1 moves the progress bar every 500 ms while the window stays responsive, the run
// finishes as soon as the last worker ends, and the dialog cannot be closed until then; 取消 and
// Escape stop a run after the pictures being written, and the message says how far it got.
class TfrmOutPutDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmOutPutDlg(QWidget* parent = nullptr);
    ~TfrmOutPutDlg() override;

    // The toolbar command. Writes a range of images of the document's library into a folder: the
    // selected range, or from the current image to the last.
    void ToolButtonSaveManyBMPClick(TLibraryDocument& document);
    // Puts the range into EditX and EditY, resets the progress bar and shows the dialog modally.
    int Open(int nStart, int nStop);
    // Starts a run with the dialog's values.
    void BitBtnOK2Click();
    // Follows a run: progress, and its end (message, dialog closed).
    void Timer1Timer();
    // True while workers of a run have not been collected by Timer1Timer.
    bool Running() const { return FRun != nullptr; }
    // The outcome of the last finished run.
    const TBatchExportResult& LastResult() const { return FLastResult; }
    // The processor count the split uses; 0 (the default) asks the system.
    void SetProcessors(int processors) { FProcessors = processors; }

    // While a run is going on, Escape and 取消 stop it; the dialog closes when it has ended.
    void reject() override;
    // Stops a run and waits for its workers, which read the document's library (before the
    // document goes).
    void StopRun();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool FormCloseQuery() const;
    void EditFileDirButtonClick();
    void SetButtonsEnabled(bool enabled);

    QLineEdit* FEditFileDir = nullptr;
    QSpinBox* FEditX = nullptr;
    QSpinBox* FEditY = nullptr;
    QButtonGroup* FFormat = nullptr;
    QPushButton* FBitBtnOK2 = nullptr;
    QPushButton* FBitBtnClose = nullptr;
    QProgressBar* FProgressBar = nullptr;
    QTimer* FTimer1 = nullptr;
    std::unique_ptr<TBatchExportRun> FRun;
    QPointer<TLibraryDocument> FDocument;
    // The document is busy while FRun runs.
    std::optional<TLibraryDocument::TBusyGuard> FBusy;
    TBatchExportResult FLastResult;
    int FProcessors = 0;
};

} // namespace velmora
