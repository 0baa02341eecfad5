#pragma once

#include <QDialog>
#include <QPointer>

#include <string>
#include <vector>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace velmora {

class TLibraryDocument;

// Dialog "批量导入图片", created once at start and kept for the whole run so that its controls keep
// their values between uses: what to import (RadioGroup1), the source folder (EditFileDir), the
// index range (EditX, EditY), the mode (RadioGroup3), where offsets come from (RadioButton1 offset
// files, RadioButton2 the pair in EditXY) and, for Pak libraries, the compression (RadioGroup2).
class TfrmInPutManyDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmInPutManyDlg(QWidget* parent = nullptr);

    // The toolbar command. Imports the pictures of a folder into the document's library, from the
    // selected range (or from the current image to the last).
    void ToolButtonAddManyClick(TLibraryDocument& document);
    // Prepares the controls for the document's library (start index first, end last) and shows
    // the dialog modally; returns its result.
    int Open(int first, int last);
    // Enables the controls that the chosen content and mode use.
    void RadioGroup1Click();
    // Runs the import with the dialog's values, as one edit on the document's worker.
    void BitBtnOKClick();
    // The picture files of the last run, in import order.
    const std::vector<std::string>& FileList() const { return FFileList; }

    // While a run is going on, Escape and 取消 stop it (nothing is written); the dialog stays.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool Running() const;
    void EditFileDirButtonClick();
    void SetButtonsEnabled(bool enabled);

    // What to import, how, and with which compression.
    QButtonGroup *FContent = nullptr, *FMode = nullptr, *FCompression = nullptr;
    QGroupBox *FGroupBox2 = nullptr, *FRadioGroup2 = nullptr, *FRadioGroup3 = nullptr,
              *FGroupBox4 = nullptr;
    QLabel *FRzLabel = nullptr, *FRzLabel1 = nullptr, *FRzLabel2 = nullptr;
    // The folder of the pictures.
    QLineEdit* FEditFileDir = nullptr;
    QPushButton* FBrowse = nullptr;
    // The range (start and end) and the offsets: from offset files or one fixed pair.
    QSpinBox *FEditX = nullptr, *FEditY = nullptr;
    QRadioButton *FRadioButton1 = nullptr, *FRadioButton2 = nullptr;
    QLineEdit* FEditXY = nullptr;
    QPushButton *FBitBtnOK = nullptr, *FBitBtnClose = nullptr;
    QProgressBar* FProgressBar = nullptr;
    std::vector<std::string> FFileList;
    QPointer<TLibraryDocument> FDocument;
};

} // namespace velmora
