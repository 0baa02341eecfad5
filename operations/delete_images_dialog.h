#pragma once

#include <QDialog>

namespace velmora {

// Dialog "删除图片", created once at start and kept for the whole run so that its controls keep
// their values between uses.
class TfrmDelDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDelDlg(QWidget* parent = nullptr);

    // The toolbar command. Removes a run of images from the open library or blanks them. Needs an open library.
    void ToolButtonDelClick();
};

} // namespace velmora
