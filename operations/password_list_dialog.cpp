#include "operations/password_list_dialog.h"

#include "app/prompts.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

TFrmPassword::TFrmPassword(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFrmPassword"));
    setWindowTitle(QStringLiteral("Pak补丁密码管理"));
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("BitBtnClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(0); });
    layout->addStretch();
    layout->addWidget(buttons);
}

void TFrmPassword::ToolButtonPassWordClick() {
    Prompts().ExecDialog(*this);
}

} // namespace velmora
