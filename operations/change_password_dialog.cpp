#include "operations/change_password_dialog.h"

#include "app/prompts.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

TFrmChangePassword::TFrmChangePassword(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFrmChangePassword"));
    setWindowTitle(QStringLiteral("Pak文件密码修改"));
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("BitBtnClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(0); });
    layout->addStretch();
    layout->addWidget(buttons);
}

void TFrmChangePassword::ToolButtonChangePassWordClick() {
    Prompts().ExecDialog(*this);
}

} // namespace velmora
