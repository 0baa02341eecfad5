#pragma once

#include <QDialog>

namespace velmora {

// Dialog "Pak文件密码修改", created once at start and kept for the whole run so that its controls keep
// their values between uses.
class TFrmChangePassword : public QDialog {
    Q_OBJECT
public:
    explicit TFrmChangePassword(QWidget* parent = nullptr);

    // The toolbar command. Re-protects the open Pak library with a new password.
    void ToolButtonChangePassWordClick();
};

} // namespace velmora
