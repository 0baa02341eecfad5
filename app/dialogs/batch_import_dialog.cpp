#include "app/dialogs/batch_import_dialog.h"

#include "app/dialog_parts.h"
#include "app/exception_handler.h"
#include "app/library_document.h"
#include "app/prompts.h"
#include "app/status_texts.h"
#include "operations/batch_import.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <set>

namespace velmora {

namespace {

QSpinBox* NumberEdit(QWidget* parent, const char* name) {
    auto* edit = new QSpinBox(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setRange(INT_MIN, INT_MAX);
    return edit;
}

// The outcome as the user is told it: success only when every item went in as asked.
QString OutcomeText(const TBatchImportResult& result) {
    if (result.Refusal != TEditRefusal::erNone)
        return EditRefusalMessage(result.Refusal);
    if (!result.Error.empty())
        return TfrmInPutManyDlg::tr("图片导入失败 ！！！\n") + ErrorDetailText(result.Error);
    if (result.Plan.Count <= 0)
        return TfrmInPutManyDlg::tr("没有导入任何图片 ！！！");
    if (result.Succeeded())
        return TfrmInPutManyDlg::tr("图片导入成功 ！！！");
    std::set<int> failed;
    for (const TBatchImportIssue& issue : result.Unreadable)
        failed.insert(issue.Item);
    for (const TBatchImportIssue& issue : result.Refused)
        failed.insert(issue.Item);
    QString text = TfrmInPutManyDlg::tr("图片导入完成，%1/%2 张失败 ！！！")
                       .arg(failed.size())
                       .arg(result.Plan.Count);
    if (!result.Unreadable.empty())
        text += TfrmInPutManyDlg::tr("\n%1 张图片无法读取，已用空图片代替")
                    .arg(result.Unreadable.size());
    if (!result.Refused.empty())
        text += TfrmInPutManyDlg::tr("\n%1 张被图库拒绝").arg(result.Refused.size());
    // The first few names tell the user where to look.
    const auto list = [&text](const std::vector<TBatchImportIssue>& issues) {
        for (size_t i = 0; i < issues.size() && i < 5; ++i)
            if (!issues[i].FileName.empty())
                text += QStringLiteral("\n%1: %2")
                            .arg(QString::fromStdString(issues[i].FileName),
                                 ErrorDetailText(issues[i].Reason, true));
    };
    list(result.Unreadable);
    list(result.Refused);
    return text;
}

} // namespace

TfrmInPutManyDlg::TfrmInPutManyDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmInPutManyDlg"));
    setWindowTitle(tr("批量导入图片"));
    auto* layout = new QVBoxLayout(this);

    auto* content =
        RadioGroup(this, "RadioGroup1", tr("导入内容"),
                   {tr("图片和坐标"), tr("图片"), tr("坐标"), tr("空图片")}, 4, FContent, 0);
    layout->addWidget(content);

    FRzLabel = new QLabel(tr("图片所在文件夹:"), this);
    FRzLabel->setObjectName(QStringLiteral("RzLabel"));
    layout->addWidget(FRzLabel);
    auto* dirRow = new QHBoxLayout;
    FEditFileDir = new QLineEdit(this);
    FEditFileDir->setObjectName(QStringLiteral("EditFileDir"));
    FBrowse = new QPushButton(QStringLiteral("..."), this);
    FBrowse->setObjectName(QStringLiteral("EditFileDirButton"));
    dirRow->addWidget(FEditFileDir, 1);
    dirRow->addWidget(FBrowse);
    layout->addLayout(dirRow);

    FGroupBox2 = new QGroupBox(tr("图片索引号"), this);
    FGroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    auto* range = new QHBoxLayout(FGroupBox2);
    FRzLabel1 = new QLabel(tr("起始编号:"), FGroupBox2);
    FRzLabel1->setObjectName(QStringLiteral("RzLabel1"));
    FRzLabel2 = new QLabel(tr("结束编号:"), FGroupBox2);
    FRzLabel2->setObjectName(QStringLiteral("RzLabel2"));
    FEditX = NumberEdit(FGroupBox2, "EditX");
    FEditY = NumberEdit(FGroupBox2, "EditY");
    range->addWidget(FRzLabel1);
    range->addWidget(FEditX, 1);
    range->addWidget(FRzLabel2);
    range->addWidget(FEditY, 1);
    layout->addWidget(FGroupBox2);

    FRadioGroup3 = RadioGroup(this, "RadioGroup3", tr("导入方式"),
                              {tr("从尾部添加"), tr("按编号插入"), tr("按编号覆盖")}, 3, FMode, 0);
    layout->addWidget(FRadioGroup3);

    FGroupBox4 = new QGroupBox(tr("坐标获得方式"), this);
    FGroupBox4->setObjectName(QStringLiteral("GroupBox4"));
    auto* offsets = new QHBoxLayout(FGroupBox4);
    FRadioButton1 = new QRadioButton(tr("同名坐标文件"), FGroupBox4);
    FRadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    FRadioButton2 = new QRadioButton(tr("相同坐标"), FGroupBox4);
    FRadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    FRadioButton1->setChecked(true);
    FEditXY = new QLineEdit(QStringLiteral("0,0"), FGroupBox4);
    FEditXY->setObjectName(QStringLiteral("EditXY"));
    offsets->addWidget(FRadioButton1);
    offsets->addWidget(FRadioButton2);
    offsets->addWidget(FEditXY, 1);
    layout->addWidget(FGroupBox4);

    FRadioGroup2 = RadioGroup(this, "RadioGroup2", tr("是否压缩"), {tr("不压缩"), tr("压缩")}, 4,
                              FCompression, 0);
    layout->addWidget(FRadioGroup2);

    const TDialogButtons buttons = AddDialogButtons(this, layout, tr("确定"));
    FBitBtnOK = buttons.OK;
    FBitBtnClose = buttons.Close;
    FProgressBar = AddProgressBar(this, layout);

    connect(FContent, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });
    connect(FMode, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });
    connect(FBrowse, &QPushButton::clicked, this,
            [this] { Guarded([this] { EditFileDirButtonClick(); }); });
    connect(FBitBtnOK, &QPushButton::clicked, this,
            [this] { Guarded([this] { BitBtnOKClick(); }); });
    connect(FBitBtnClose, &QPushButton::clicked, this, [this] { reject(); });
    setMinimumWidth(420);
    RadioGroup1Click();
}

bool TfrmInPutManyDlg::Running() const {
    return FDocument && FDocument->Busy();
}

void TfrmInPutManyDlg::closeEvent(QCloseEvent* event) {
    if (Running())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void TfrmInPutManyDlg::reject() {
    if (Running())
        FDocument->CancelJob();
    else
        QDialog::reject();
}

void TfrmInPutManyDlg::SetButtonsEnabled(bool enabled) {
    FBitBtnOK->setEnabled(enabled);
}

void TfrmInPutManyDlg::RadioGroup1Click() {
    const int content = FContent->checkedId();
    FRzLabel1->setText(tr("起始编号:"));
    FRzLabel2->setText(tr("结束编号:"));
    FRzLabel->setText(tr("图片所在文件夹:"));
    FEditFileDir->setEnabled(true);
    FBrowse->setEnabled(true);
    if (content == bcOffsets) {
        if (QAbstractButton* overwrite = FMode->button(bmOverwrite))
            overwrite->setChecked(true);
        FRzLabel->setText(tr("坐标所在文件夹:"));
    }
    const int mode = FMode->checkedId();
    if (content == bcBlank) {
        FEditFileDir->setEnabled(false);
        FBrowse->setEnabled(false);
        FGroupBox2->setEnabled(true);
        FRadioGroup2->setEnabled(true);
        FRadioGroup3->setEnabled(true);
        FGroupBox4->setEnabled(false);
        FEditX->setEnabled(true);
        FEditY->setEnabled(mode != bmAppend);
        if (mode == bmAppend)
            FRzLabel1->setText(tr("添加张数:"));
        else if (mode == bmInsert)
            FRzLabel2->setText(tr("添加张数:"));
        return;
    }
    FGroupBox2->setEnabled(mode != bmAppend);
    FEditX->setEnabled(true);
    FEditY->setEnabled(mode == bmOverwrite);
    FRadioGroup3->setEnabled(content != bcOffsets);
    FGroupBox4->setEnabled(content != bcPictures);
}

int TfrmInPutManyDlg::Open(int first, int last) {
    FProgressBar->setRange(0, 100);
    FProgressBar->setValue(0);
    setWindowTitle(tr("批量导入图片"));
    FEditX->setValue(first);
    FEditY->setValue(last);
    int designed = 318;
    if (FDocument) {
        const bool pak = FDocument->Kind() == t_Quillrand;
        FRadioGroup2->setVisible(pak);
        designed = pak ? 352 : 318;
    }
    // The designed height, or more where the system's fonts need it: no control is cut off.
    layout()->activate();
    setFixedHeight(std::max(designed, minimumSizeHint().height()));
    return Prompts().ExecDialog(*this);
}

void TfrmInPutManyDlg::ToolButtonAddManyClick(TLibraryDocument& document) {
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

void TfrmInPutManyDlg::EditFileDirButtonClick() {
    const QString current = FEditFileDir->text().trimmed();
    const QString start = QDir(current).exists() && !current.isEmpty() ? current : QString();
    const QString chosen = Prompts().ExistingFolder(tr("浏览文件夹"), start);
    if (!chosen.isEmpty())
        FEditFileDir->setText(chosen);
}

void TfrmInPutManyDlg::BitBtnOKClick() {
    TLibraryDocument* document = FDocument;
    if (!document || document->Busy())
        return;
    TBatchImportOptions options;
    options.Content = TBatchContent(std::max(FContent->checkedId(), 0));
    options.Mode = TBatchMode(std::max(FMode->checkedId(), 0));
    options.Start = FEditX->value();
    options.End = FEditY->value();
    options.OffsetsFromPlacements = FRadioButton1->isChecked();
    options.FixedOffset = FEditXY->text().toStdString();
    options.Compression = uint8_t(std::max(FCompression->checkedId(), 0));
    if (options.Content != bcBlank) {
        // Offsets only reads the offset files of the folder's pictures.
        const bool offsetsOnly = options.Content == bcOffsets;
        const QString folder = FEditFileDir->text().trimmed();
        if (folder.isEmpty()) {
            Prompts().ShowError(offsetsOnly ? tr("请先选择坐标所在文件夹 ！！！")
                                            : tr("请先选择图片所在文件夹 ！！！"));
            return;
        }
        if (!QDir(folder).exists()) {
            Prompts().ShowError((offsetsOnly ? tr("坐标所在文件夹不存在 ！！！\n%1")
                                             : tr("图片所在文件夹不存在 ！！！\n%1"))
                                    .arg(folder));
            return;
        }
        FFileList = ListPictureFolder(folder.toStdString());
        options.Files = FFileList;
    }

    auto result = std::make_shared<TBatchImportResult>();
    SetButtonsEnabled(false);
    document->StartEdit(
        tr("批量导入"),
        [result, options](TGameImages& library, TJobControl& control) {
            // Stopping throws out of the progress call: the edit is discarded, nothing written.
            *result = BatchImport(library, options,
                                  [&](int done, int total) { control.Report(done, total); });
        },
        {[this](int done, int total) {
             setWindowTitle(tr("批量导入图片(%1/%2)").arg(done).arg(total));
             FProgressBar->setRange(0, std::max(total, 1));
             FProgressBar->setValue(done);
         },
         [this, result](const TJobEnd& end) {
             SetButtonsEnabled(true);
             if (end.Cancelled) {
                 // The title and the message name the same count: the pictures handled.
                 setWindowTitle(
                     tr("批量导入图片(%1/%2)").arg(end.Cancelled->Done).arg(end.Cancelled->Total));
                 Prompts().ShowMessage(
                     tr("批量导入已取消 ！！！\n已处理 %1/%2 张时停止，文件没有任何改动。")
                         .arg(end.Cancelled->Done)
                         .arg(end.Cancelled->Total));
                 return;
             }
             if (end.Error) {
                 Prompts().ShowError(tr("图片导入失败 ！！！\n") +
                                     JobFailureText(end.Error, "batch import"));
                 return;
             }
             Prompts().ShowOutcome(OutcomeText(*result), !result->Succeeded());
             // Nothing to import leaves the dialog open so that the choices can be corrected.
             if (result->Plan.Count > 0)
                 done(QDialog::Accepted);
         }});
}

} // namespace velmora
