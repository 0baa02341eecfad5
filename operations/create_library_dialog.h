#pragma once

#include <QDialog>

namespace velmora {

// Dialog "新建", created once at start and kept for the whole run so that its controls keep
// their values between uses.
class TFrmCreateData : public QDialog {
    Q_OBJECT
public:
    explicit TFrmCreateData(QWidget* parent = nullptr);

    // The toolbar command. Creates a new, empty WIL, WZL or Pak library file. Nothing happens while g_Busy is set.
    void ToolButtonCreateFileClick();
};

} // namespace velmora
