#pragma once

#include <QDialog>

namespace velmora {

// Dialog "Pak补丁密码管理", created once at start and kept for the whole run so that its controls keep
// their values between uses.
class TFrmPassword : public QDialog {
    Q_OBJECT
public:
    explicit TFrmPassword(QWidget* parent = nullptr);

    // The toolbar command. Edits the password list of Pak libraries.
    void ToolButtonPassWordClick();
};

} // namespace velmora
