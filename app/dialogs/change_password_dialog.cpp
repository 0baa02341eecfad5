#include "app/dialogs/change_password_dialog.h"

#include "app/status_texts.h"
#include "app/dialog_parts.h"
#include "app/globals.h"
#include "app/prompts.h"
#include "files/log.h"
#include "files/pak_passwords.h"
#include "operations/change_password.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

namespace velmora {

namespace {

// Borrows a library's read events for a run and puts its own back on every way out, so that the
// main window's progress display still follows the library afterwards.
class TBorrowedReadEvents {
public:
    explicit TBorrowedReadEvents(TGameImages& library)
        : FLibrary(library), FBegin(library.OnBeginRead()), FRead(library.OnRead()),
          FEnd(library.OnEndRead()) {}
    ~TBorrowedReadEvents() {
        FLibrary.SetOnBeginRead(FBegin);
        FLibrary.SetOnRead(FRead);
        FLibrary.SetOnEndRead(FEnd);
    }
    TBorrowedReadEvents(const TBorrowedReadEvents&) = delete;
    TBorrowedReadEvents& operator=(const TBorrowedReadEvents&) = delete;

private:
    TGameImages& FLibrary;
    TNotifyEvent FBegin, FRead, FEnd;
};

} // namespace

TFrmChangePassword::TFrmChangePassword(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFrmChangePassword"));
    setWindowTitle(QStringLiteral("Pak文件密码修改"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout();
    row->addWidget(new QLabel(QStringLiteral("新密码:"), this));
    FEditPassword = new QLineEdit(this);
    FEditPassword->setObjectName(QStringLiteral("EditPassword"));
    row->addWidget(FEditPassword);
    layout->addLayout(row);
    AddShowPasswordToggle(this, layout, FEditPassword);
    FCheckBoxBack = new QCheckBox(QStringLiteral("备份原文件"), this);
    FCheckBoxBack->setObjectName(QStringLiteral("CheckBoxBack"));
    FCheckBoxBack->setChecked(true);
    layout->addWidget(FCheckBoxBack);
    auto* buttons = new QHBoxLayout();
    FBitBtnOK = new QPushButton(QStringLiteral("开始修改"), this);
    FBitBtnOK->setObjectName(QStringLiteral("BitBtnOK"));
    buttons->addStretch();
    buttons->addWidget(FBitBtnOK);
    layout->addLayout(buttons);
    FProgressBar = AddProgressBar(this, layout);
    connect(FBitBtnOK, &QPushButton::clicked, this, [this] { BitBtnOKClick(); });
}

void TFrmChangePassword::reject() {
    if (!g_Busy)
        QDialog::reject();
}

void TFrmChangePassword::closeEvent(QCloseEvent* event) {
    if (g_Busy)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void TFrmChangePassword::ToolButtonChangePassWordClick() {
    Prompts().ExecDialog(*this);
}

void TFrmChangePassword::BitBtnOKClick() {
    if (!g_Images) {
        Prompts().ShowError(QStringLiteral("请先打开一个Pak补丁！！！"));
        return;
    }
    if (g_Images->ImageType() != t_Quillrand) {
        Prompts().ShowError(QStringLiteral("必须是Pak补丁才可以改密码！！！"));
        return;
    }
    if (g_Busy)
        return;
    if (FEditPassword->text().isEmpty())
        FEditPassword->setText(QString::fromLatin1(kDefaultPakPassword));
    const std::string password = FEditPassword->text().toStdString();

    TChangePasswordResult result;
    QString failure;
    {
        TBorrowedReadEvents events(*g_Images);
        TBusyGuard busy;
        FBitBtnOK->setEnabled(false);
        struct TEnableAgain {
            QWidget* Button;
            ~TEnableAgain() { Button->setEnabled(true); }
        } enableAgain{FBitBtnOK};
        const auto progress = [this](int done, int total) {
            FProgressBar->setRange(0, total);
            FProgressBar->setValue(done);
            QCoreApplication::processEvents();
        };
        try {
            result = ChangePakPassword(*g_Images, password, FCheckBoxBack->isChecked(), progress);
            if (result.Done)
                FProgressBar->setValue(FProgressBar->maximum());
            else if (result.Refusal != TEditRefusal::erNone)
                failure = EditRefusalMessage(result.Refusal);
            else
                failure = ErrorDetailText(result.Error);
        } catch (const std::exception& e) {
            // The file could not be rewritten: the library keeps the old password and file, so
            // the list is not touched either.
            WriteLog(g_Images->FileName() + ": " + e.what(), true);
            failure = EditErrorText(e);
        }
    }
    if (result.Done && !result.ListSaved)
        Prompts().ShowError(
            QStringLiteral("修改完成！！！\n密码列表 Pak.txt 未能保存，请记住新密码。"));
    else if (result.Done)
        Prompts().ShowMessage(QStringLiteral("修改完成！！！"));
    else
        Prompts().ShowError(QStringLiteral("密码修改失败 ！！！\n") + failure);
}

} // namespace velmora
