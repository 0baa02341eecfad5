#pragma once

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace velmora {

class TLibraryDocument;

// Dialog "Pak文件密码修改", created once at start and kept for the whole run. Re-protects a
// document's Pak library with a new password and records it in the password list.
class TFrmChangePassword : public QDialog {
    Q_OBJECT
public:
    explicit TFrmChangePassword(QWidget* parent = nullptr);

    // The toolbar command: shows the dialog modally for the document, the password field empty.
    void ToolButtonChangePassWordClick(TLibraryDocument& document);
    // 开始修改: rewrites the document's Pak library on its worker under the password of
    // EditPassword (empty means the default password), keeping a backup when CheckBoxBack is
    // ticked, gives the first list entry of the same file name the new password and saves the
    // list. A failed rewrite is reported and leaves the file as it was; the undo steps before a
    // rewrite are forgotten.
    void BitBtnOKClick();

    QLineEdit* EditPassword() const { return FEditPassword; }
    QCheckBox* CheckBoxBack() const { return FCheckBoxBack; }
    QPushButton* BitBtnOK() const { return FBitBtnOK; }
    QProgressBar* ProgressBar() const { return FProgressBar; }

public slots:
    // Closing is refused while a command runs.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLineEdit* FEditPassword = nullptr;
    QCheckBox* FCheckBoxBack = nullptr;
    QPushButton* FBitBtnOK = nullptr;
    QProgressBar* FProgressBar = nullptr;
    QPointer<TLibraryDocument> FDocument;
};

} // namespace velmora
