#include "operations/offset_dialog.h"

#include "app/globals.h"
#include "app/prompts.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

TfrmXYDlg::TfrmXYDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmXYDlg"));
    setWindowTitle(QStringLiteral("偏移坐标"));
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("BitBtnClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(0); });
    layout->addStretch();
    layout->addWidget(buttons);
}

void TfrmXYDlg::ToolButtonXYClick() {
    if (!g_Images || g_Busy)
        return;
    Prompts().ExecDialog(*this);
}

} // namespace velmora
