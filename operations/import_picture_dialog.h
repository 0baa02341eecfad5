#pragma once

#include <QDialog>

namespace velmora {

// Dialog "图片导入", created once at start and kept for the whole run so that its controls keep
// their values between uses.
class TfrmInPutDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmInPutDlg(QWidget* parent = nullptr);

    // The toolbar command. Imports one picture into the open library: replace, insert or append. Needs an open library
// and nothing running.
    void ToolButtonAddClick();
};

} // namespace velmora
