#pragma once

#include <QDialog>

class QTableWidget;

namespace velmora {

// Dialog "Pak补丁密码管理", created once at start and kept for the whole run. Edits the password
// list g_PakPasswords in a grid; the list changes only on 保存 (or 清空 and 导入, which replace
// it), and the file Pak.txt only on 保存.
class TFrmPassword : public QDialog {
    Q_OBJECT
public:
    // Columns of StringGridPak.
    enum { kColNumber = 0, kColFile = 1, kColPassword = 2 };

    explicit TFrmPassword(QWidget* parent = nullptr);

    // The toolbar command: fills the grid from the list and shows the dialog modally.
    void ToolButtonPassWordClick();
    int Open();
    // One grid row per list entry, numbered from 0.
    void RefStringGrid();

    // 增加: appends a row for a chosen Pak file, numbered after the rows above it, without a
    // password.
    void ButtonPasswordAddClick();
    // 清空: empties the list and the grid; Pak.txt is not written.
    void ButtonPasswordClearClick();
    // 导入: replaces the list by the entries of a chosen text file.
    void ButtonPasswordLoadFileClick();
    // 保存: rebuilds the list from the rows with a file name (an empty password becomes the
    // default one), writes Pak.txt and closes the dialog.
    void ButtonPasswordOKClick();

    // The grid's rows below its header.
    QTableWidget* StringGridPak() const { return FStringGridPak; }

private:
    QTableWidget* FStringGridPak = nullptr;
};

} // namespace velmora
