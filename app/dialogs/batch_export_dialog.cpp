#include "app/dialogs/batch_export_dialog.h"

#include "app/status_texts.h"
#include "app/dialog_parts.h"
#include "app/exception_handler.h"
#include "app/prompts.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace velmora {

namespace {

QSpinBox* NumberEdit(QWidget* parent, const char* name) {
    auto* edit = new QSpinBox(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setRange(INT_MIN, INT_MAX);
    return edit;
}

// The outcome as the user is told it: success only when every picture was written.
QString OutcomeText(const TBatchExportResult& result) {
    if (result.Succeeded())
        return TfrmOutPutDlg::tr("图片导出成功 ！！！");
    const int total = result.Written + int(result.Failures.size());
    QString text = TfrmOutPutDlg::tr("图片导出完成，%1/%2 张失败 ！！！")
                       .arg(result.Failures.size())
                       .arg(std::max(total, result.Handled));
    for (size_t i = 0; i < result.Failures.size() && i < 5; ++i)
        text += QStringLiteral("\n%1: %2")
                    .arg(QString::fromStdString(result.Failures[i].FileName),
                         ErrorDetailText(result.Failures[i].Reason, true));
    return text;
}

} // namespace

TfrmOutPutDlg::TfrmOutPutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmOutPutDlg"));
    setWindowTitle(tr("批量导出图片"));
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(new QLabel(tr("导出到文件夹:"), this));
    auto* dirRow = new QHBoxLayout;
    FEditFileDir = new QLineEdit(this);
    FEditFileDir->setObjectName(QStringLiteral("EditFileDir"));
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    browse->setObjectName(QStringLiteral("EditFileDirButton"));
    dirRow->addWidget(FEditFileDir, 1);
    dirRow->addWidget(browse);
    layout->addLayout(dirRow);

    auto* range = new QGroupBox(tr("图片编号"), this);
    auto* rangeLayout = new QHBoxLayout(range);
    FEditX = NumberEdit(range, "EditX");
    FEditY = NumberEdit(range, "EditY");
    rangeLayout->addWidget(new QLabel(tr("起始编号:"), range));
    rangeLayout->addWidget(FEditX, 1);
    rangeLayout->addWidget(new QLabel(tr("结束编号:"), range));
    rangeLayout->addWidget(FEditY, 1);
    layout->addWidget(range);

    auto* formats = new QGroupBox(tr("导出文件格式"), this);
    formats->setObjectName(QStringLiteral("RadioGroupImageFormat"));
    formats->setToolTip(tr("自动模式会根据存储的文件格式导出相应的文件格式"));
    auto* formatLayout = new QGridLayout(formats);
    FFormat = new QButtonGroup(formats);
    const QStringList items{QStringLiteral("PNG"), QStringLiteral("BMP"), QStringLiteral("TGA"),
                            tr("自动")};
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], formats);
        FFormat->addButton(button, i);
        formatLayout->addWidget(button, 0, i);
    }
    FFormat->button(0)->setChecked(true);
    layout->addWidget(formats);

    auto* note = new QLabel(tr("大批量导出文件时，\n尽量把其他程序全部关闭\n开始导出时，\n"
                               "不要再操作电脑，等待导出完成"),
                            this);
    note->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    layout->addWidget(note);

    auto* buttons = new QHBoxLayout;
    FBitBtnOK2 = new QPushButton(tr("高速导出"), this);
    FBitBtnOK2->setObjectName(QStringLiteral("BitBtnOK2"));
    FBitBtnClose = new QPushButton(tr("取消"), this);
    FBitBtnClose->setObjectName(QStringLiteral("BitBtnClose"));
    buttons->addStretch();
    buttons->addWidget(FBitBtnOK2);
    buttons->addWidget(FBitBtnClose);
    layout->addLayout(buttons);
    FProgressBar = AddProgressBar(this, layout);

    FTimer1 = new QTimer(this);
    FTimer1->setObjectName(QStringLiteral("Timer1"));
    FTimer1->setInterval(500);
    connect(FTimer1, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });
    connect(browse, &QPushButton::clicked, this,
            [this] { Guarded([this] { EditFileDirButtonClick(); }); });
    connect(FBitBtnOK2, &QPushButton::clicked, this,
            [this] { Guarded([this] { BitBtnOK2Click(); }); });
    connect(FBitBtnClose, &QPushButton::clicked, this, [this] { reject(); });
    setMinimumWidth(380);
}

TfrmOutPutDlg::~TfrmOutPutDlg() {
    StopRun();
}

void TfrmOutPutDlg::StopRun() {
    // The workers read the library: they end before the dialog (and later the library) goes.
    FTimer1->stop();
    if (FRun)
        FRun->Stop();
    FRun.reset();
    FBusy.reset();
}

bool TfrmOutPutDlg::FormCloseQuery() const {
    return !FRun;
}

void TfrmOutPutDlg::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FTimer1->stop();
    QDialog::closeEvent(event);
}

void TfrmOutPutDlg::reject() {
    if (FRun)
        FRun->Stop(); // Timer1Timer ends the run and says how far it got
    else if (FormCloseQuery())
        QDialog::reject();
}

void TfrmOutPutDlg::SetButtonsEnabled(bool enabled) {
    // 取消 stays enabled: during a run it stops it.
    FBitBtnOK2->setEnabled(enabled);
}

int TfrmOutPutDlg::Open(int nStart, int nStop) {
    FEditX->setValue(nStart);
    FEditY->setValue(nStop);
    FProgressBar->setRange(0, 100);
    FProgressBar->setValue(0);
    return Prompts().ExecDialog(*this);
}

void TfrmOutPutDlg::ToolButtonSaveManyBMPClick(TLibraryDocument& document) {
    if (document.Busy())
        return;
    FDocument = &document;
    auto [first, last] = document.CommandRange(-2);
    if (first < 0) {
        first = 0;
        last = document.ImageCount() - 1;
    }
    Open(first, last);
}

void TfrmOutPutDlg::EditFileDirButtonClick() {
    const QString current = FEditFileDir->text().trimmed();
    const QString start = !current.isEmpty() && QDir(current).exists() ? current : QString();
    const QString chosen = Prompts().ExistingFolder(tr("浏览文件夹"), start);
    if (!chosen.isEmpty())
        FEditFileDir->setText(chosen);
}

void TfrmOutPutDlg::BitBtnOK2Click() {
    TLibraryDocument* document = FDocument;
    if (!document || document->Busy() || FRun)
        return;
    TGameImages& library = document->Library();
    const QString folder = FEditFileDir->text().trimmed();
    if (folder.isEmpty()) {
        Prompts().ShowError(tr("请先选择图片导出的文件夹 ！！！"));
        return;
    }
    const int first = FEditX->value();
    int last = FEditY->value();
    // An end past the last image is cut to it, as the delete command does, and said so.
    if (first >= 0 && first < library.ImageCount() && last >= library.ImageCount()) {
        last = library.ImageCount() - 1;
        FEditY->setValue(last);
        Prompts().ShowMessage(tr("结束编号超出最后一张图片，已改为 %1 ！！！").arg(last));
    }
    if (last < first || first < 0 || last >= library.ImageCount())
        return; // a range outside the library exports nothing and leaves the dialog idle
    const TImageFormat format = TImageFormat(std::max(FFormat->checkedId(), 0));
    auto run = std::make_unique<TBatchExportRun>(library);
    // The run ends the moment its last worker does, not at the next tick of the timer, which
    // only moves the progress bar.
    run->SetOnFinished([this] {
        QMetaObject::invokeMethod(
            this, [this] { Guarded([this] { Timer1Timer(); }); }, Qt::QueuedConnection);
    });
    if (!run->Start(folder.toStdString(), format, first, last, FProcessors)) {
        // The folder (or its Placements folder) could not be created.
        Prompts().ShowError(tr("图片导出失败 ！！！\n%1").arg(ErrorDetailText(run->Wait().Error)));
        return;
    }
    FBusy.emplace(*document);
    SetButtonsEnabled(false);
    FRun = std::move(run);
    FProgressBar->setRange(0, last - first + 1);
    FProgressBar->setValue(0);
    FTimer1->start();
}

void TfrmOutPutDlg::Timer1Timer() {
    if (!FRun) {
        FTimer1->stop();
        return;
    }
    FProgressBar->setValue(FRun->Progress());
    if (FRun->RunningWorkers() > 0)
        return;
    FTimer1->stop();
    // Every worker has ended: collecting them does not block.
    FLastResult = FRun->Wait();
    const bool stopped = FRun->Stopped();
    FRun.reset();
    FBusy.reset();
    SetButtonsEnabled(true);
    if (stopped && FLastResult.Handled < FProgressBar->maximum()) {
        FProgressBar->setValue(FLastResult.Handled);
        Prompts().ShowMessage(tr("批量导出已取消 ！！！\n已导出 %1/%2 张图片。")
                                  .arg(FLastResult.Written)
                                  .arg(FProgressBar->maximum()));
        done(QDialog::Rejected);
        return;
    }
    FProgressBar->setValue(FProgressBar->maximum());
    Prompts().ShowOutcome(OutcomeText(FLastResult), !FLastResult.Succeeded());
    done(QDialog::Accepted);
}

} // namespace velmora
