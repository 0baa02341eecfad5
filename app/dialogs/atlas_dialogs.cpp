#include "app/dialogs/atlas_dialogs.h"

#include "app/dialog_parts.h"
#include "app/exception_handler.h"
#include "app/library_document.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "app/status_texts.h"
#include "core/file_stream.h"
#include "core/utils.h"
#include "files/log.h"
#include "operations/atlas.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <exception>

namespace velmora {

namespace {

QSpinBox* SpinBox(QWidget* parent, const char* name, int low, int high, int value) {
    auto* edit = new QSpinBox(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setRange(low, high);
    edit->setValue(value);
    return edit;
}

QLineEdit* FileRow(QWidget* parent, const char* name, QToolButton*& button) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name) + QStringLiteral("Button"));
    button->setText(QStringLiteral("..."));
    return edit;
}

QWidget* Row(QWidget* parent, QWidget* edit, QWidget* button) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit);
    layout->addWidget(button);
    return row;
}

// The controls of a dialog while its job runs: 取消 stays, to stop it.
void SetRunning(QDialog& dialog, QPushButton* ok, bool running) {
    ok->setEnabled(!running);
    for (QWidget* w : dialog.findChildren<QWidget*>())
        if (qobject_cast<QSpinBox*>(w) || qobject_cast<QLineEdit*>(w) ||
            qobject_cast<QComboBox*>(w) || qobject_cast<QToolButton*>(w))
            w->setEnabled(!running);
}

// The progress of a job in the dialog's bar and caption.
std::function<void(int, int)> ShowProgress(QDialog& dialog, QProgressBar* bar,
                                           const QString& caption) {
    return [&dialog, bar, caption](int done, int total) {
        bar->setRange(0, std::max(total, 1));
        bar->setValue(done);
        dialog.setWindowTitle(QStringLiteral("%1(%2/%3)").arg(caption).arg(done).arg(total));
    };
}

QString ErrorOf(const std::exception_ptr& error) {
    return JobFailureText(error, "atlas");
}

} // namespace

TfrmAtlasExportDlg::TfrmAtlasExportDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmAtlasExportDlg"));
    setWindowTitle(tr("导出图集"));
    resize(460, 300);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout();
    FEditFrom = SpinBox(this, "EditFrom", 0, INT_MAX, 0);
    FEditTo = SpinBox(this, "EditTo", 0, INT_MAX, 0);
    QToolButton* browse = nullptr;
    FEditSheet = FileRow(this, "EditSheet", browse);
    FComboFormat = new QComboBox(this);
    FComboFormat->setObjectName(QStringLiteral("ComboFormat"));
    FComboFormat->addItems({tr("JSON 哈希 (json-hash)"), tr("JSON 数组 (json-array)")});
    FEditPadding = SpinBox(this, "EditPadding", 0, 256, 2);
    FEditMaxSize = SpinBox(this, "EditMaxSize", 16, kMaxAtlasSheetSide, 4096);
    form->addRow(tr("起始编号:"), FEditFrom);
    form->addRow(tr("结束编号:"), FEditTo);
    form->addRow(tr("图集文件:"), Row(this, FEditSheet, browse));
    form->addRow(tr("数据格式:"), FComboFormat);
    form->addRow(tr("图片间距:"), FEditPadding);
    form->addRow(tr("最大尺寸:"), FEditMaxSize);
    layout->addLayout(form);
    layout->addStretch();
    const TDialogButtons buttons = AddDialogButtons(this, layout, tr("导出"));
    FBitBtnOK = buttons.OK;
    FBitBtnClose = buttons.Close;
    FProgressBar = AddProgressBar(this, layout);
    connect(browse, &QToolButton::clicked, this, [this] {
        int filterIndex = 0;
        const QString chosen = Prompts().SaveFileName(tr("导出图集"), tr("PNG图集 (*.png)|*.png"),
                                                      FEditSheet->text().trimmed(), &filterIndex);
        if (!chosen.isEmpty())
            FEditSheet->setText(chosen);
    });
    connect(FBitBtnOK, &QPushButton::clicked, this, [this] { BitBtnOKClick(); });
    connect(FBitBtnClose, &QPushButton::clicked, this, [this] { reject(); });
}

void TfrmAtlasExportDlg::reject() {
    if (FDocument && FDocument->Busy())
        FDocument->CancelJob();
    else
        QDialog::reject();
}

void TfrmAtlasExportDlg::AtlasExportClick(TLibraryDocument& document) {
    if (document.Busy())
        return;
    FDocument = &document;
    auto [first, last] = document.SelectedRange();
    if (first < 0 || first == last) {
        first = 0;
        last = std::max(document.ImageCount() - 1, 0);
    }
    FEditFrom->setValue(first);
    FEditTo->setValue(last);
    if (FEditSheet->text().trimmed().isEmpty()) {
        const std::string library = document.FileName();
        FEditSheet->setText(
            QString::fromStdString(ExtractFilePath(library) + FileNameWithoutExt(library)) +
            QStringLiteral(".png"));
    }
    setWindowTitle(tr("导出图集"));
    FProgressBar->setRange(0, 100);
    FProgressBar->setValue(0);
    Prompts().ExecDialog(*this);
}

void TfrmAtlasExportDlg::BitBtnOKClick() {
    TLibraryDocument* document = FDocument;
    if (!document || document->Busy())
        return;
    TAtlasExportOptions options;
    options.SheetPath = FEditSheet->text().trimmed().toStdString();
    options.From = FEditFrom->value();
    options.To = FEditTo->value();
    options.Format = FComboFormat->currentIndex() == 1 ? afJsonArray : afJsonHash;
    options.Padding = FEditPadding->value();
    options.MaxSize = FEditMaxSize->value();
    if (options.SheetPath.empty()) {
        Prompts().ShowError(tr("请先选择图集文件 ！！！"));
        return;
    }
    auto result = std::make_shared<TAtlasExportResult>();
    SetRunning(*this, FBitBtnOK, true);
    document->StartJob(
        [result, options](TGameImages& library, TJobControl& control) {
            *result = ExportAtlas(library, options,
                                  [&](int done, int total) { control.Report(done, total); });
        },
        {ShowProgress(*this, FProgressBar, tr("导出图集")), [this, result](const TJobEnd& end) {
             SetRunning(*this, FBitBtnOK, false);
             if (end.Cancelled) {
                 // The export removes the sheets it had written when it is stopped.
                 Prompts().ShowMessage(
                     tr("图集导出已取消 ！！！\n已处理 %1/%2 时停止，没有留下任何文件。")
                         .arg(end.Cancelled->Done)
                         .arg(end.Cancelled->Total));
                 return;
             }
             if (end.Error) {
                 Prompts().ShowError(tr("图集导出失败 ！！！\n") + ErrorOf(end.Error));
                 return;
             }
             if (!result->Done) {
                 WriteLog("导出图集: " + result->Error, true);
                 Prompts().ShowError(tr("图集导出失败 ！！！\n") + ErrorDetailText(result->Error));
                 return;
             }
             Prompts().ShowMessage(
                 tr("图集导出成功 ！！！\n%1 张图片，%2 张图集，%3 张空图片未导出")
                     .arg(result->Frames)
                     .arg(result->Sheets.size())
                     .arg(result->Empty));
             done(QDialog::Accepted);
         }});
}

TfrmAtlasImportDlg::TfrmAtlasImportDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmAtlasImportDlg"));
    setWindowTitle(tr("导入图集"));
    resize(460, 280);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout();
    QToolButton* browse = nullptr;
    FEditData = FileRow(this, "EditData", browse);
    form->addRow(tr("图集数据:"), Row(this, FEditData, browse));
    layout->addLayout(form);
    layout->addWidget(RadioGroup(this, "RadioGroupMode", tr("导入方式"),
                                 {tr("从尾部添加"), tr("按编号插入"), tr("按编号覆盖")}, 3, FMode,
                                 0));
    auto* more = new QFormLayout();
    FEditAt = SpinBox(this, "EditAt", 0, INT_MAX, 0);
    more->addRow(tr("起始编号:"), FEditAt);
    FCheckCompress = new QCheckBox(tr("压缩"), this);
    FCheckCompress->setObjectName(QStringLiteral("CheckCompress"));
    more->addRow(QString(), FCheckCompress);
    layout->addLayout(more);
    layout->addStretch();
    const TDialogButtons buttons = AddDialogButtons(this, layout, tr("导入"));
    FBitBtnOK = buttons.OK;
    FBitBtnClose = buttons.Close;
    FProgressBar = AddProgressBar(this, layout);
    connect(browse, &QToolButton::clicked, this, [this] {
        const QString chosen = Prompts().OpenFileName(
            tr("导入图集"), tr("图集数据 (*.json)|*.json"),
            QString::fromStdString(ExtractFilePath(FEditData->text().trimmed().toStdString())));
        if (!chosen.isEmpty())
            FEditData->setText(chosen);
    });
    connect(FMode, &QButtonGroup::idClicked, this,
            [this](int id) { FEditAt->setEnabled(id != 0); });
    FEditAt->setEnabled(false);
    connect(FBitBtnOK, &QPushButton::clicked, this, [this] { BitBtnOKClick(); });
    connect(FBitBtnClose, &QPushButton::clicked, this, [this] { reject(); });
}

void TfrmAtlasImportDlg::reject() {
    if (FDocument && FDocument->Busy())
        FDocument->CancelJob();
    else
        QDialog::reject();
}

void TfrmAtlasImportDlg::AtlasImportClick(TLibraryDocument& document) {
    if (document.Busy())
        return;
    FDocument = &document;
    FEditAt->setValue(std::max(document.SelectedRange().first, 0));
    FCheckCompress->setEnabled(document.Kind() == t_Wzl || document.Kind() == t_Quillrand);
    setWindowTitle(tr("导入图集"));
    FProgressBar->setRange(0, 100);
    FProgressBar->setValue(0);
    Prompts().ExecDialog(*this);
}

void TfrmAtlasImportDlg::BitBtnOKClick() {
    TLibraryDocument* document = FDocument;
    if (!document || document->Busy())
        return;
    TAtlasImportOptions options;
    options.DataPath = FEditData->text().trimmed().toStdString();
    const int mode = std::max(FMode->checkedId(), 0);
    options.Mode = mode == 1 ? imInsert : mode == 2 ? imReplace : imAppend;
    options.At = FEditAt->value();
    options.Compression = FCheckCompress->isEnabled() && FCheckCompress->isChecked() ? 1 : 0;
    if (options.DataPath.empty() || !FileExists(options.DataPath)) {
        Prompts().ShowError(tr("图集数据文件不存在 ！！！"));
        return;
    }
    auto result = std::make_shared<TAtlasImportResult>();
    SetRunning(*this, FBitBtnOK, true);
    document->StartEdit(
        tr("导入图集"),
        [result, options](TGameImages& library, TJobControl& control) {
            *result = ImportAtlas(library, options,
                                  [&](int done, int total) { control.Report(done, total); });
        },
        {ShowProgress(*this, FProgressBar, tr("导入图集")), [this, result](const TJobEnd& end) {
             SetRunning(*this, FBitBtnOK, false);
             if (end.Cancelled) {
                 Prompts().ShowMessage(
                     tr("图集导入已取消 ！！！\n已处理 %1/%2 张时停止，文件没有任何改动。")
                         .arg(end.Cancelled->Done)
                         .arg(end.Cancelled->Total));
                 return;
             }
             if (end.Error) {
                 Prompts().ShowError(tr("图集导入失败 ！！！\n") + ErrorOf(end.Error));
                 return;
             }
             if (result->Refusal != TEditRefusal::erNone) {
                 Prompts().ShowError(EditRefusalMessage(result->Refusal));
                 return;
             }
             if (!result->Done) {
                 WriteLog("导入图集: " + result->Error, true);
                 Prompts().ShowError(tr("图集导入失败 ！！！\n") + ErrorDetailText(result->Error));
                 return;
             }
             QString text = tr("图集导入成功 ！！！\n%1 张图片").arg(result->Imported);
             if (result->Blanks > 0)
                 text += tr("，%1 张空图片补齐编号").arg(result->Blanks);
             Prompts().ShowMessage(text);
             done(QDialog::Accepted);
         }});
}

TfrmAtlasExportDlg& AtlasExportDialog(TfrmMain& main) {
    static QPointer<TfrmAtlasExportDlg> dialog;
    if (!dialog || dialog->parentWidget() != &main)
        dialog = new TfrmAtlasExportDlg(&main);
    return *dialog;
}

TfrmAtlasImportDlg& AtlasImportDialog(TfrmMain& main) {
    static QPointer<TfrmAtlasImportDlg> dialog;
    if (!dialog || dialog->parentWidget() != &main)
        dialog = new TfrmAtlasImportDlg(&main);
    return *dialog;
}

} // namespace velmora
