#pragma once

#include <QDialog>

namespace velmora {

// Dialog "偏移坐标", created once at start and kept for the whole run so that its controls keep
// their values between uses.
class TfrmXYDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmXYDlg(QWidget* parent = nullptr);

    // The toolbar command. Changes the offset of the selected image. Needs an open library and nothing running.
    void ToolButtonXYClick();
};

} // namespace velmora
