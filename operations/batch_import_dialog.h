#pragma once

#include <QDialog>

namespace velmora {

// Dialog "批量导入图片", created once at start and kept for the whole run so that its controls keep
// their values between uses.
class TfrmInPutManyDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmInPutManyDlg(QWidget* parent = nullptr);

    // The toolbar command. Imports the pictures of a folder into the open library. Needs an open library.
    void ToolButtonAddManyClick();
};

} // namespace velmora
