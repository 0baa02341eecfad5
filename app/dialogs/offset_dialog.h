#pragma once

#include <QDialog>

class QSpinBox;

namespace velmora {

class TLibraryDocument;

// Dialog "偏移坐标", created once at start and kept for the whole run so that its controls keep
// their values between uses. 确定 ends it with the result 10.
class TfrmXYDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kResultOK = 10;

    explicit TfrmXYDlg(QWidget* parent = nullptr);

    // The toolbar command: shows the offset of the document's current image and stores the one
    // confirmed as an edit of the document (written into the file at once).
    void ToolButtonXYClick(TLibraryDocument& document);

    QSpinBox* EditX() const { return FEditX; }
    QSpinBox* EditY() const { return FEditY; }

private:
    QSpinBox* FEditX = nullptr;
    QSpinBox* FEditY = nullptr;
};

} // namespace velmora
