#pragma once

#include <QDialog>

namespace velmora {

// Dialog "批量导出图片", created once at start and kept for the whole run so that its controls keep
// their values between uses.
class TfrmOutPutDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmOutPutDlg(QWidget* parent = nullptr);

    // The toolbar command. Writes a range of images of the open library into a folder. Needs an open library.
    void ToolButtonSaveManyBMPClick();
};

} // namespace velmora
