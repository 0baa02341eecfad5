#pragma once

#include <QDialog>

class QButtonGroup;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace velmora {

// Dialog "删除图片", created once at start and kept for the whole run so that its controls keep
// their values between uses.
class TfrmDelDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDelDlg(QWidget* parent = nullptr);

    // The toolbar command: opens the dialog on the selected image and afterwards brings the main
    // window's status line, grid and preview up to date. Needs an open library.
    void ToolButtonDelClick();
    // Progress 0 of 100, both edits set to nIndex, then shown modally.
    int Open(int nIndex);
    // Removes (彻底删除) or blanks (空图片代替) the images EditX .. EditY after clamping the range
    // to the library, and closes the dialog. A range that does not fit closes it without a word.
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
    void RefreshMainWindow();

    QSpinBox* FEditX = nullptr;
    QSpinBox* FEditY = nullptr;
    QButtonGroup* FRadioGroup = nullptr;
    QPushButton* FBitBtnOK = nullptr;
    QPushButton* FBitBtnClose = nullptr;
    QProgressBar* FProgressBar = nullptr;
};

} // namespace velmora
