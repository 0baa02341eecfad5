#pragma once

#include "app/dialog_parts.h"
#include "operations/convert_library.h"

#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace velmora {

class TOpenLibraries;
class TWorker;

// Dialog "数据转换", created once at start and kept for the whole run so that its controls keep
// their values between uses.
class TfrmConvertDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHeightPak = 390;
    static constexpr int kHeightWzl = 290;
    // A WZL target of a decoding conversion: compression without a password.
    static constexpr int kHeightCompression = 340;

    explicit TfrmConvertDlg(QWidget* parent = nullptr);

    // The toolbar command: converts a library file into a new library of another kind (WIL, WIS,
    // WZL or Pak into WIL, WZL or Pak). No open library is needed; an open one is not replaced
    // behind its window (open tells which are open).
    void ToolButtonConvertDataClick(TOpenLibraries& open);
    // Caption "数据转换", progress 0, then shown modally.
    int Open();
    // Layout by kind (390 high with compression and password for the Pak targets, 340 with
    // compression alone for the WZL targets that decode pictures, 290 with neither) and the new
    // file's extension switched to the kind's target.
    void RadioGroupClick();
    // The file choosers of the two edits.
    void EditFileDirButtonClick();
    void EditSaveDirButtonClick();
    // The conversion of the source file into the new file, on a worker thread: an existing
    // target is named with its image count and replaced only when the user agrees; a conversion
    // that loses alpha or colours asks first. Reports success only when the new file was
    // written, and otherwise says why.
    void BitBtnOKClick();
    // A conversion (or its look at the source) is running.
    bool Running() const;

    // 0 Wil -> Pak, 1 Wis -> Pak, 2 Wzl -> Pak, 3 Wil -> Wzl, 4 Wzl -> Wil, 5 Pak -> Wil,
    // 6 Pak -> Wzl, 7 Wis -> Wil, 8 Wis -> Wzl.
    int Kind() const;
    void SetKind(int kind); // as a click on the item
    // 0 不压缩, 1 压缩.
    int Compression() const;
    void SetCompression(int item);
    QLineEdit* EditFileDir() const { return FEditFileDir; }
    QLineEdit* EditSaveDir() const { return FEditSaveDir; }
    QLineEdit* EditPassWord() const { return FEditPassWord; }
    QGroupBox* RadioGroup1() const { return FRadioGroup1; }
    QGroupBox* GroupBox1() const { return FGroupBox1; }
    QPushButton* BitBtnOK() const { return FBitBtnOK; }
    QProgressBar* ProgressBar() const { return FProgressBar; }

public slots:
    // While the copy runs, Escape and 取消 stop it (nothing is written); closing is refused.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QString TargetExtension() const;
    void SetControlsEnabled(bool enabled);
    // The look at the source before anything is written, then the copy.
    void StartPlan();
    void Planned();
    void StartCopy();
    void Copied();

    QButtonGroup* FRadioGroup = nullptr;
    QGroupBox* FRadioGroupBox = nullptr;
    QButtonGroup* FCompression = nullptr;
    QGroupBox* FRadioGroup1 = nullptr;
    QGroupBox* FGroupBox1 = nullptr;
    QLineEdit* FEditFileDir = nullptr;
    QLineEdit* FEditSaveDir = nullptr;
    QToolButton* FFileDirButton = nullptr;
    QToolButton* FSaveDirButton = nullptr;
    QLineEdit* FEditPassWord = nullptr;
    QPushButton* FBitBtnOK = nullptr;
    QPushButton* FBitBtnClose = nullptr;
    QProgressBar* FProgressBar = nullptr;
    TOpenLibraries* FOpen = nullptr;
    TWorker* FWorker = nullptr;
    // The conversion being prepared or run.
    TConvertOptions FOptions;
    TConversionPlan FPlan;
    TConvertResult FResult;
    bool FPasswordRetry = false;
    bool FCopying = false;
    // 取消 was pressed while the source was looked at: the copy does not start.
    bool FStopRequested = false;
};

} // namespace velmora
