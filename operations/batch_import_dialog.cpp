#include "operations/batch_import_dialog.h"

#include "app/globals.h"
#include "app/prompts.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

TfrmInPutManyDlg::TfrmInPutManyDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmInPutManyDlg"));
    setWindowTitle(QStringLiteral("批量导入图片"));
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("BitBtnClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(0); });
    layout->addStretch();
    layout->addWidget(buttons);
}

void TfrmInPutManyDlg::ToolButtonAddManyClick() {
    if (!g_Images)
        return;
    Prompts().ExecDialog(*this);
}

} // namespace velmora
