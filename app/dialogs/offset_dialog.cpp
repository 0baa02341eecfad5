#include "app/dialogs/offset_dialog.h"

#include "app/status_texts.h"
#include "app/dialog_parts.h"
#include "app/library_document.h"
#include "app/prompts.h"
#include "files/log.h"
#include "operations/delete_images.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <climits>
#include <exception>

namespace velmora {

TfrmXYDlg::TfrmXYDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmXYDlg"));
    setWindowTitle(tr("偏移坐标"));
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(tr("坐标"), this);
    auto* form = new QFormLayout(group);
    FEditX = new QSpinBox(group);
    FEditX->setObjectName(QStringLiteral("EditX"));
    FEditY = new QSpinBox(group);
    FEditY->setObjectName(QStringLiteral("EditY"));
    for (QSpinBox* edit : {FEditX, FEditY})
        edit->setRange(INT_MIN, INT_MAX);
    form->addRow(QStringLiteral("X:"), FEditX);
    form->addRow(QStringLiteral("Y:"), FEditY);
    layout->addWidget(group);

    const TDialogButtons buttons = AddDialogButtons(this, layout, tr("确定"));
    buttons.OK->setDefault(true);
    connect(buttons.OK, &QPushButton::clicked, this, [this] { done(kResultOK); });
    connect(buttons.Close, &QPushButton::clicked, this, [this] { done(0); });
}

void TfrmXYDlg::ToolButtonXYClick(TLibraryDocument& document) {
    if (document.Busy())
        return;
    const int index = document.Current();
    const TOffsetResult current = ReadOffset(document.Library(), index);
    if (!current.Done)
        return;
    FEditX->setValue(current.Offset.X);
    FEditY->setValue(current.Offset.Y);
    if (Prompts().ExecDialog(*this) != kResultOK)
        return;
    TOffsetResult stored;
    try {
        stored = document.SetOffset(index, TPoint{FEditX->value(), FEditY->value()});
    } catch (const std::exception& e) {
        WriteLog(std::string("偏移坐标: ") + e.what(), true);
        stored.Error = EditErrorText(e).toStdString();
    }
    // The offset is stored as a signed 16-bit value; one that does not fit, or a write that did
    // not reach the file, is reported instead of claimed as done.
    if (stored.Refusal != TEditRefusal::erNone) {
        Prompts().ShowError(EditRefusalMessage(stored.Refusal));
    } else if (stored.Done) {
        Prompts().ShowMessage(tr("图片坐标修改成功 ！！！"));
    } else {
        Prompts().ShowError(tr("图片坐标修改失败 ！！！\n") + ErrorDetailText(stored.Error));
    }
}

} // namespace velmora
