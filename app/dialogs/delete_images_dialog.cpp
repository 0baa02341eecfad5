#include "app/dialogs/delete_images_dialog.h"

#include "app/dialog_parts.h"
#include "app/exception_handler.h"
#include "app/library_document.h"
#include "app/prompts.h"
#include "app/status_texts.h"
#include "files/log.h"
#include "operations/delete_images.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <climits>
#include <exception>

namespace velmora {

namespace {

QSpinBox* IntegerEdit(QWidget* parent, const char* name) {
    auto* edit = new QSpinBox(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setRange(INT_MIN, INT_MAX);
    return edit;
}

} // namespace

TfrmDelDlg::TfrmDelDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmDelDlg"));
    setWindowTitle(tr("删除图片"));
    auto* layout = new QVBoxLayout(this);

    auto* numbers = new QGroupBox(tr("图片编号"), this);
    auto* form = new QFormLayout(numbers);
    FEditX = IntegerEdit(numbers, "EditX");
    FEditY = IntegerEdit(numbers, "EditY");
    form->addRow(tr("起始编号:"), FEditX);
    form->addRow(tr("结束编号:"), FEditY);
    layout->addWidget(numbers);

    auto* modes = new QGroupBox(tr("删除方式"), this);
    modes->setObjectName(QStringLiteral("RadioGroup"));
    auto* modeLayout = new QVBoxLayout(modes);
    FRadioGroup = new QButtonGroup(this);
    const QString captions[] = {tr("彻底删除"), tr("空图片代替")};
    for (int i = 0; i < 2; ++i) {
        auto* radio = new QRadioButton(captions[i], modes);
        FRadioGroup->addButton(radio, i);
        modeLayout->addWidget(radio);
    }
    FRadioGroup->button(0)->setChecked(true);
    layout->addWidget(modes);

    const TDialogButtons buttons = AddDialogButtons(this, layout, tr("确定"));
    FBitBtnOK = buttons.OK;
    FBitBtnClose = buttons.Close;

    FProgressBar = AddProgressBar(this, layout);

    connect(FBitBtnOK, &QPushButton::clicked, this,
            [this] { Guarded([this] { BitBtnOKClick(); }); });
    connect(FBitBtnClose, &QPushButton::clicked, this, [this] { reject(); });
}

int TfrmDelDlg::DeleteMode() const {
    return FRadioGroup->checkedId();
}

void TfrmDelDlg::SetDeleteMode(int mode) {
    if (QAbstractButton* b = FRadioGroup->button(mode))
        b->setChecked(true);
}

void TfrmDelDlg::reject() {
    // While the edit runs, Escape and 取消 stop it; the dialog closes when it has ended.
    if (FDocument && FDocument->Busy())
        FDocument->CancelJob();
    else
        QDialog::reject();
}

void TfrmDelDlg::closeEvent(QCloseEvent* event) {
    if (FDocument && FDocument->Busy())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void TfrmDelDlg::SetButtonsEnabled(bool enabled) {
    // 取消 stays enabled: during the edit it stops it.
    FBitBtnOK->setEnabled(enabled);
    FEditX->setEnabled(enabled);
    FEditY->setEnabled(enabled);
}

int TfrmDelDlg::Open(int first, int last) {
    FProgressBar->setRange(0, 100);
    FProgressBar->setValue(0);
    FEditX->setValue(first);
    FEditY->setValue(last);
    return Prompts().ExecDialog(*this);
}

void TfrmDelDlg::ToolButtonDelClick(TLibraryDocument& document) {
    if (document.Busy())
        return;
    FDocument = &document;
    const auto [first, last] = document.CommandRange();
    Open(first, last);
}

void TfrmDelDlg::BitBtnOKClick() {
    TLibraryDocument* document = FDocument;
    if (!document || document->Busy())
        return;
    const bool blank = DeleteMode() == 1;
    const TDeleteRange range =
        ClampDeleteRange(FEditX->value(), FEditY->value(), document->ImageCount());
    if (!range.Valid) {
        done(0);
        return;
    }
    // Deleting cannot be taken back by closing the dialog: the range is named first.
    if (!Prompts().Confirm(tr("确定要%1第 %2 到第 %3 张图片（共 %4 张）吗？")
                               .arg(blank ? tr("清空") : tr("删除"))
                               .arg(range.Start)
                               .arg(range.End)
                               .arg(range.Count())))
        return;
    SetButtonsEnabled(false);
    FProgressBar->setRange(0, range.Count());
    FProgressBar->setValue(0);
    auto result = std::make_shared<TDeleteResult>();
    const int selected = document->Current();
    document->StartEdit(
        blank ? tr("空图片代替") : tr("删除"),
        [result, range, blank](TGameImages& library, TJobControl& control) {
            *result = DeleteImages(library, range.Start, range.End, blank,
                                   [&](int done, int total) { control.Report(done, total); });
        },
        {[this](int done, int total) {
             FProgressBar->setRange(0, std::max(total, 1));
             FProgressBar->setValue(done);
         },
         [this, result, range, blank, selected](const TJobEnd& end) {
             SetButtonsEnabled(true);
             if (end.Cancelled) {
                 Prompts().ShowMessage(tr("删除已取消 ！！！\n文件没有任何改动。"));
                 done(0);
                 return;
             }
             QString text;
             bool failed = true;
             if (end.Error) {
                 // A rewrite that failed on the disk is reported here; the library keeps what is
                 // on disk.
                 try {
                     std::rethrow_exception(end.Error);
                 } catch (const std::exception& e) {
                     try {
                         WriteLog(std::string("删除图片: ") + e.what(), true);
                     } catch (...) {
                     }
                     text = tr("图片删除失败 ！！！\n") + EditErrorText(e);
                 } catch (...) {
                     text = tr("图片删除失败 ！！！");
                 }
             } else if (result->Refusal != TEditRefusal::erNone) {
                 text = EditRefusalMessage(result->Refusal);
             } else {
                 failed = !result->Done;
                 text = result->Done ? tr("图片删除成功 ！！！") : tr("图片删除失败 ！！！");
                 // Removed images take the selection with them; blanked ones keep their place.
                 if (result->Done && !blank && FDocument && DeleteRemovesIndex(range, selected))
                     FDocument->Select(-1);
             }
             Prompts().ShowOutcome(text, failed);
             done(0);
         }});
}

} // namespace velmora
