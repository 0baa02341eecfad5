#include "operations/convert_library_dialog.h"

#include "app/prompts.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

TfrmConvertDlg::TfrmConvertDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmConvertDlg"));
    setWindowTitle(QStringLiteral("数据转换"));
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("BitBtnClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(0); });
    layout->addStretch();
    layout->addWidget(buttons);
}

void TfrmConvertDlg::ToolButtonConvertDataClick() {
    Prompts().ExecDialog(*this);
}

} // namespace velmora
