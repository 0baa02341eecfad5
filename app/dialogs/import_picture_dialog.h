#pragma once

#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QSpinBox;

namespace velmora {

class TLibraryDocument;

// Dialog "图片导入", created once at start and kept for the whole run so that its controls keep
// their values between uses: the offset (EditX, EditY), the mode (RadioGroup: 覆盖图片, 插入图片,
// 尾部添加) and, for Pak libraries, the compression (RadioGroup1: 不压缩, 压缩).
class TfrmInPutDlg : public QDialog {
    Q_OBJECT
public:
    // The result BitBtnOK closes the dialog with; anything else is a cancel.
    static constexpr int kConfirmed = 10;

    explicit TfrmInPutDlg(QWidget* parent = nullptr);

    // The toolbar command. Imports one picture into the document's library as one edit: replace
    // or insert at the current image, or append; the image it went to becomes the current one.
    void ToolButtonAddClick(TLibraryDocument& document);

    int Mode() const;
    int Compression() const;
    // Shows RadioGroup1 and sets the height for a Pak library (206) or any other (170), taller
    // where the controls need it.
    void PrepareFor(bool pak);

private:
    QSpinBox* FEditX = nullptr;
    QSpinBox* FEditY = nullptr;
    QButtonGroup* FMode = nullptr;
    QButtonGroup* FCompression = nullptr;
    QGroupBox* FRadioGroup1 = nullptr;
    QString FOPD1Dir; // the open picture dialog reopens in the folder of the last picture
};

} // namespace velmora
