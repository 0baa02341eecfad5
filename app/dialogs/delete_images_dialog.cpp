#include "app/dialogs/delete_images_dialog.h"

#include "app/dialog_parts.h"
#include "app/forms.h"
#include "app/globals.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "app/status_texts.h"
#include "app/thumbnail_grid.h"
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

// Disables the dialog's buttons for its lifetime; they come back on every way out.
class TButtonsOff {
public:
    TButtonsOff(QWidget* a, QWidget* b) : FA(a), FB(b) {
        FA->setEnabled(false);
        FB->setEnabled(false);
    }
    ~TButtonsOff() {
        FA->setEnabled(true);
        FB->setEnabled(true);
    }
    TButtonsOff(const TButtonsOff&) = delete;
    TButtonsOff& operator=(const TButtonsOff&) = delete;

private:
    QWidget* FA;
    QWidget* FB;
};

} // namespace

TfrmDelDlg::TfrmDelDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmDelDlg"));
    setWindowTitle(QStringLiteral("删除图片"));
    auto* layout = new QVBoxLayout(this);

    auto* numbers = new QGroupBox(QStringLiteral("图片编号"), this);
    auto* form = new QFormLayout(numbers);
    FEditX = IntegerEdit(numbers, "EditX");
    FEditY = IntegerEdit(numbers, "EditY");
    form->addRow(QStringLiteral("起始编号:"), FEditX);
    form->addRow(QStringLiteral("结束编号:"), FEditY);
    layout->addWidget(numbers);

    auto* modes = new QGroupBox(QStringLiteral("删除方式"), this);
    modes->setObjectName(QStringLiteral("RadioGroup"));
    auto* modeLayout = new QVBoxLayout(modes);
    FRadioGroup = new QButtonGroup(this);
    const QString captions[] = {QStringLiteral("彻底删除"), QStringLiteral("空图片代替")};
    for (int i = 0; i < 2; ++i) {
        auto* radio = new QRadioButton(captions[i], modes);
        FRadioGroup->addButton(radio, i);
        modeLayout->addWidget(radio);
    }
    FRadioGroup->button(0)->setChecked(true);
    layout->addWidget(modes);

    const TDialogButtons buttons = AddDialogButtons(this, layout, QStringLiteral("确定"));
    FBitBtnOK = buttons.OK;
    FBitBtnClose = buttons.Close;

    FProgressBar = AddProgressBar(this, layout);

    connect(FBitBtnOK, &QPushButton::clicked, this, [this] { BitBtnOKClick(); });
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
    if (!g_Busy)
        QDialog::reject();
}

void TfrmDelDlg::closeEvent(QCloseEvent* event) {
    if (g_Busy)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

int TfrmDelDlg::Open(int nIndex) {
    FProgressBar->setRange(0, 100);
    FProgressBar->setValue(0);
    FEditX->setValue(nIndex);
    FEditY->setValue(nIndex);
    QCoreApplication::processEvents();
    return Prompts().ExecDialog(*this);
}

void TfrmDelDlg::BitBtnOKClick() {
    if (!g_Images || g_Busy)
        return;
    {
        TBusyGuard busy;
        TButtonsOff off(FBitBtnOK, FBitBtnClose);
        const bool blank = DeleteMode() == 1;
        const TDeleteRange range =
            ClampDeleteRange(FEditX->value(), FEditY->value(), g_Images->ImageCount());
        // Deleting cannot be taken back by closing the dialog: the range is named first.
        if (range.Valid &&
            !Prompts().Confirm(QStringLiteral("确定要%1第 %2 到第 %3 张图片（共 %4 张）吗？")
                                   .arg(blank ? QStringLiteral("清空") : QStringLiteral("删除"))
                                   .arg(range.Start)
                                   .arg(range.End)
                                   .arg(range.Count())))
            return;
        if (range.Valid) {
            FProgressBar->setRange(0, range.Count());
            FProgressBar->setValue(0);
            QCoreApplication::processEvents();
            const auto progress = [this](int done, int) {
                FProgressBar->setValue(done);
                QCoreApplication::processEvents();
            };
            QString text;
            bool failed = true;
            try {
                const TDeleteResult result =
                    DeleteImages(*g_Images, range.Start, range.End, blank, progress);
                // Removed images take the selection with them; blanked ones keep their place.
                if (result.Done && !blank && DeleteRemovesIndex(range, g_Selection.Index))
                    g_Selection.Index = -1;
                failed = !result.Done || result.Refusal != TEditRefusal::erNone;
                if (result.Refusal != TEditRefusal::erNone)
                    text = EditRefusalMessage(result.Refusal);
                else
                    text = result.Done ? QStringLiteral("图片删除成功 ！！！")
                                       : QStringLiteral("图片删除失败 ！！！");
            } catch (const std::exception& e) {
                // A rewrite that failed on the disk is reported here rather than raised through
                // the dialog's event loop; the library keeps what its journal restored.
                // A log the full disk refuses must not hide the failure from the user.
                try {
                    WriteLog(std::string("删除图片: ") + e.what(), true);
                } catch (...) {
                }
                text = QStringLiteral("图片删除失败 ！！！\n") + EditErrorText(e);
            }
            Prompts().ShowOutcome(text, failed);
        }
    }
    done(0);
}

void TfrmDelDlg::ToolButtonDelClick() {
    if (!g_Images)
        return;
    Open(g_Selection.Index);
    RefreshMainWindow();
}

void TfrmDelDlg::RefreshMainWindow() {
    if (!FormsCreated() || !g_Images)
        return;
    TfrmMain& main = *Forms().frmMain;
    const int count = g_Images->ImageCount();
    // Deleting images before the selection can leave it past the new end: it names no image then.
    if (g_Selection.Index >= count)
        g_Selection.Index = -1;
    main.UpdateGridRows();
    if (g_Selection.Index < 0) {
        main.SetStatusText(2, QStringLiteral("0/%1").arg(count));
        main.SetStatusText(3, QString());
        main.ClearPreview();
        return;
    }
    // The selected cell may show another image now (the ones after a deleted run moved up, a
    // blanked one is empty): select it again so that preview and panes show what it holds.
    main.ClearPreview();
    g_Selection.Width = 0;
    g_Selection.Height = 0;
    main.DrawGridSelectCell(g_Selection.Col, g_Selection.Row);
    main.SetStatusText(2, PositionText(g_Selection.Index, count));
    main.SetStatusText(3, ImageDataText(g_Selection.Index, g_Selection.Width, g_Selection.Height,
                                        g_Selection.X, g_Selection.Y));
}

} // namespace velmora
