#include "operations/delete_images_dialog.h"

#include "app/globals.h"
#include "app/prompts.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

TfrmDelDlg::TfrmDelDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmDelDlg"));
    setWindowTitle(QStringLiteral("删除图片"));
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("BitBtnClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(0); });
    layout->addStretch();
    layout->addWidget(buttons);
}

void TfrmDelDlg::ToolButtonDelClick() {
    if (!g_Images)
        return;
    Prompts().ExecDialog(*this);
}

} // namespace velmora
