#pragma once

#include <QDialog>

#include <string>

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace velmora {

class TOpenLibraries;

// Dialog "新建", created once at start and kept for the whole run so that its controls keep
// their values between uses. 确定 ends it with the result 10.
class TFrmCreateData : public QDialog {
    Q_OBJECT
public:
    static constexpr int kResultOK = 10;

    explicit TFrmCreateData(QWidget* parent = nullptr);

    // The toolbar command: asks for kind, bit count and password, then for the file name in the
    // main window's save dialog (proposed in folder when nothing was created yet), and writes a
    // new, empty WIL, WZL or Pak library there. An existing file is named with its image count
    // and replaced only when the user agrees; a library open in the window is closed first or
    // left alone (open tells which are open). The new file is not opened.
    void ToolButtonCreateFileClick(TOpenLibraries& open, const std::string& folder);
    // Keeps the dialog consistent with the chosen kind: the bit counts only for Wil, the password
    // only for Pak, and no way to confirm Wis, which cannot be created.
    void RadioGroupClick();

    // 0 Wil, 1 Wis, 2 Wzl, 3 Pak.
    int Kind() const;
    void SetKind(int kind); // as a click on the item
    // 0 8位, 1 16位, 2 24位, 3 32位.
    int BitCountItem() const;
    void SetBitCountItem(int item);
    QLineEdit* EditPassWord() const { return FEditPassWord; }
    QGroupBox* RadioGroupBitCount() const { return FRadioGroupBitCount; }
    QGroupBox* GroupBox1() const { return FGroupBox1; }
    QPushButton* BitBtnOK() const { return FBitBtnOK; }
    QPushButton* BitBtnClose() const { return FBitBtnClose; }

    // The file name the main window's save dialog holds from its last use (empty at start).
    static std::string SaveDialog2FileName();
    static void SetSaveDialog2FileName(const std::string& fileName);

private:
    QButtonGroup* FRadioGroup = nullptr;
    QButtonGroup* FBitCounts = nullptr;
    QGroupBox* FRadioGroupBitCount = nullptr;
    QGroupBox* FGroupBox1 = nullptr;
    QLineEdit* FEditPassWord = nullptr;
    QPushButton* FBitBtnOK = nullptr;
    QPushButton* FBitBtnClose = nullptr;
};

} // namespace velmora
