#include "operations/create_library_dialog.h"

#include "app/globals.h"
#include "app/prompts.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

TFrmCreateData::TFrmCreateData(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFrmCreateData"));
    setWindowTitle(QStringLiteral("新建"));
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("BitBtnClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(0); });
    layout->addStretch();
    layout->addWidget(buttons);
}

void TFrmCreateData::ToolButtonCreateFileClick() {
    if (g_Busy)
        return;
    Prompts().ExecDialog(*this);
}

} // namespace velmora
