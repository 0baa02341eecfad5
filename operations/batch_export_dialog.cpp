#include "operations/batch_export_dialog.h"

#include "app/globals.h"
#include "app/prompts.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

TfrmOutPutDlg::TfrmOutPutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmOutPutDlg"));
    setWindowTitle(QStringLiteral("批量导出图片"));
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("BitBtnClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(0); });
    layout->addStretch();
    layout->addWidget(buttons);
}

void TfrmOutPutDlg::ToolButtonSaveManyBMPClick() {
    if (!g_Images)
        return;
    Prompts().ExecDialog(*this);
}

} // namespace velmora
