#include "app/dialogs/change_password_dialog.h"

#include "app/status_texts.h"
#include "app/dialog_parts.h"
#include "app/exception_handler.h"
#include "app/library_document.h"
#include "app/prompts.h"
#include "files/log.h"
#include "files/pak_passwords.h"
#include "operations/change_password.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

namespace velmora {

TFrmChangePassword::TFrmChangePassword(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFrmChangePassword"));
    setWindowTitle(tr("Pak文件密码修改"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout();
    row->addWidget(new QLabel(tr("新密码:"), this));
    FEditPassword = new QLineEdit(this);
    FEditPassword->setObjectName(QStringLiteral("EditPassword"));
    row->addWidget(FEditPassword);
    layout->addLayout(row);
    AddShowPasswordToggle(this, layout, FEditPassword);
    FCheckBoxBack = new QCheckBox(tr("备份原文件"), this);
    FCheckBoxBack->setObjectName(QStringLiteral("CheckBoxBack"));
    FCheckBoxBack->setChecked(true);
    layout->addWidget(FCheckBoxBack);
    auto* buttons = new QHBoxLayout();
    FBitBtnOK = new QPushButton(tr("开始修改"), this);
    FBitBtnOK->setObjectName(QStringLiteral("BitBtnOK"));
    buttons->addStretch();
    buttons->addWidget(FBitBtnOK);
    layout->addLayout(buttons);
    FProgressBar = AddProgressBar(this, layout);
    connect(FBitBtnOK, &QPushButton::clicked, this, [this] { BitBtnOKClick(); });
}

void TFrmChangePassword::reject() {
    if (!FDocument || !FDocument->Busy())
        QDialog::reject();
}

void TFrmChangePassword::closeEvent(QCloseEvent* event) {
    if (FDocument && FDocument->Busy())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void TFrmChangePassword::ToolButtonChangePassWordClick(TLibraryDocument& document) {
    if (document.Busy())
        return;
    FDocument = &document;
    // A password typed before (refused, or done with) is not offered again.
    FEditPassword->clear();
    FProgressBar->setRange(0, 100);
    FProgressBar->setValue(0);
    Prompts().ExecDialog(*this);
}

void TFrmChangePassword::BitBtnOKClick() {
    TLibraryDocument* document = FDocument;
    if (!document) {
        Prompts().ShowError(tr("请先打开一个Pak补丁！！！"));
        return;
    }
    if (document->Kind() != t_Quillrand) {
        Prompts().ShowError(tr("必须是Pak补丁才可以改密码！！！"));
        return;
    }
    if (document->Busy())
        return;
    if (FEditPassword->text().isEmpty())
        FEditPassword->setText(QString::fromLatin1(kDefaultPakPassword));
    const std::string password = FEditPassword->text().toStdString();
    const bool backup = FCheckBoxBack->isChecked();
    const std::string file = document->FileName();
    auto result = std::make_shared<TChangePasswordResult>();
    FBitBtnOK->setEnabled(false);
    document->StartEdit(
        tr("密码更改"),
        [result, password, backup](TGameImages& library, TJobControl& control) {
            *result = ChangePakPassword(library, password, backup,
                                        [&](int done, int total) { control.Report(done, total); });
        },
        {[this](int done, int total) {
             FProgressBar->setRange(0, std::max(total, 1));
             FProgressBar->setValue(done);
         },
         [this, result, password, file](const TJobEnd& end) {
             FBitBtnOK->setEnabled(true);
             QString failure;
             if (end.Error) {
                 // The file could not be rewritten: the library keeps the old password and file,
                 // so the list is not touched either.
                 failure = JobFailureText(end.Error, file);
             } else if (result->Done) {
                 FProgressBar->setValue(FProgressBar->maximum());
                 if (FDocument)
                     FDocument->SetPassWord(password);
             } else if (result->Refusal != TEditRefusal::erNone) {
                 failure = EditRefusalMessage(result->Refusal);
             } else {
                 failure = ErrorDetailText(result->Error);
             }
             if (!end.Error && result->Done && !result->ListSaved)
                 Prompts().ShowError(
                     tr("修改完成！！！\n密码列表 Pak.txt 未能保存，请记住新密码。"));
             else if (!end.Error && result->Done)
                 Prompts().ShowMessage(tr("修改完成！！！"));
             else
                 Prompts().ShowError(tr("密码修改失败 ！！！\n") + failure);
             // A refused password is not kept in the field.
             if (end.Error || !result->Done)
                 FEditPassword->clear();
         }},
        /*undoable=*/false);
}

} // namespace velmora
