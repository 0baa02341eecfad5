#pragma once

#include <QDialog>

namespace velmora {

// Dialog "数据转换", created once at start and kept for the whole run so that its controls keep
// their values between uses.
class TfrmConvertDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmConvertDlg(QWidget* parent = nullptr);

    // The toolbar command. Converts a WIL, WIS or WZL library file into a new Pak library, or a WIL file into a new WZL
// library. No open library is needed.
    void ToolButtonConvertDataClick();
};

} // namespace velmora
