#pragma once

#include <QDialog>
#include <QPointer>

class QButtonGroup;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace velmora {

class TLibraryDocument;

// Dialog "删除图片", created once at start and kept for the whole run so that its controls keep
// their values between uses.
class TfrmDelDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDelDlg(QWidget* parent = nullptr);

    // The toolbar command: opens the dialog on the document's selected range (or its current
    // image). The document tells the views what the library holds afterwards.
    void ToolButtonDelClick(TLibraryDocument& document);
    // Progress 0 of 100, the edits set to first and last, then shown modally.
    int Open(int first, int last);
    // Removes (彻底删除) or blanks (空图片代替) the images EditX .. EditY after clamping the range
    // to the library, as one edit on the document's worker; 取消 stops it and nothing is
    // written. Closes the dialog at the end. A range that does not fit closes it without a word.
    void BitBtnOKClick();

    QSpinBox* EditX() const { return FEditX; }
    QSpinBox* EditY() const { return FEditY; }
    // 0 彻底删除, 1 空图片代替.
    int DeleteMode() const;
    void SetDeleteMode(int mode);
    QPushButton* BitBtnOK() const { return FBitBtnOK; }
    QProgressBar* ProgressBar() const { return FProgressBar; }

public slots:
    // Closing is refused while a command runs.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SetButtonsEnabled(bool enabled);

    QPointer<TLibraryDocument> FDocument;
    QSpinBox* FEditX = nullptr;
    QSpinBox* FEditY = nullptr;
    QButtonGroup* FRadioGroup = nullptr;
    QPushButton* FBitBtnOK = nullptr;
    QPushButton* FBitBtnClose = nullptr;
    QProgressBar* FProgressBar = nullptr;
};

} // namespace velmora
