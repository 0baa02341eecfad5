#include "app/dialogs/convert_library_dialog.h"

#include "app/status_texts.h"
#include "app/dialog_parts.h"
#include "app/dialogs/replace_target.h"
#include "app/exception_handler.h"
#include "app/prompts.h"
#include "app/worker.h"
#include "operations/create_library.h"
#include "core/file_stream.h"
#include "core/utils.h"
#include "files/log.h"
#include "files/pak_passwords.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>
#include <iterator>
#include <string>

namespace velmora {

namespace {

// The conversion kinds in the order of the radio group.
struct TConversionKind {
    const char* Caption;
    TImageType Source;
    TImageType Target;
};
constexpr TConversionKind kKinds[] = {
    {"Wil -> Pak", t_Wil, t_Quillrand}, {"Wis -> Pak", t_Wis, t_Quillrand},
    {"Wzl -> Pak", t_Wzl, t_Quillrand}, {"Wil -> Wzl", t_Wil, t_Wzl},
    {"Wzl -> Wil", t_Wzl, t_Wil},       {"Pak -> Wil", t_Quillrand, t_Wil},
    {"Pak -> Wzl", t_Quillrand, t_Wzl}, {"Wis -> Wil", t_Wis, t_Wil},
    {"Wis -> Wzl", t_Wis, t_Wzl},
};
constexpr int kKindCount = int(std::size(kKinds));

QString ExtensionOf(TImageType kind) {
    switch (kind) {
    case t_Quillrand:
        return QStringLiteral(".Pak");
    case t_Wzl:
        return QStringLiteral(".Wzl");
    case t_Wis:
        return QStringLiteral(".Wis");
    case t_Wil:
        break;
    }
    return QStringLiteral(".Wil");
}

QString SourceFilter(TImageType kind) {
    switch (kind) {
    case t_Wis:
        return TfrmConvertDlg::tr("Wis资源文件 文件 (*.Wis)|*.Wis");
    case t_Wzl:
        return TfrmConvertDlg::tr("Wzl资源文件 文件 (*.Wzl)|*.Wzl");
    case t_Quillrand:
        return TfrmConvertDlg::tr(
            "[www.velmora.example] 资源文件 文件 (*.Pak;*.Data)|*.Pak;*.Data");
    case t_Wil:
        break;
    }
    return TfrmConvertDlg::tr("Wil资源文件 文件 (*.Wil)|*.Wil");
}

// The folder and name part of path with another extension.
QString WithExtension(const QString& path, const QString& extension) {
    const std::string p = path.toStdString();
    return QString::fromStdString(ExtractFilePath(p) + FileNameWithoutExt(p)) + extension;
}

QLineEdit* FileEdit(QWidget* parent, QGridLayout* grid, int row, const QString& label,
                    const char* name, QToolButton*& button) {
    grid->addWidget(new QLabel(label, parent), row, 0);
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    grid->addWidget(edit, row, 1);
    button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name) + QStringLiteral("Button"));
    button->setText(QStringLiteral("..."));
    grid->addWidget(button, row, 2);
    return edit;
}

} // namespace

TfrmConvertDlg::TfrmConvertDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmConvertDlg"));
    setWindowTitle(TfrmConvertDlg::tr("数据转换"));
    resize(460, kHeightPak);
    auto* layout = new QVBoxLayout(this);

    FRadioGroupBox = new QGroupBox(TfrmConvertDlg::tr("转换类型"), this);
    FRadioGroupBox->setObjectName(QStringLiteral("RadioGroup"));
    auto* kinds = new QGridLayout(FRadioGroupBox);
    FRadioGroup = new QButtonGroup(this);
    for (int i = 0; i < kKindCount; ++i) {
        auto* radio = new QRadioButton(QString::fromLatin1(kKinds[i].Caption), FRadioGroupBox);
        FRadioGroup->addButton(radio, i);
        kinds->addWidget(radio, i / 3, i % 3);
    }
    FRadioGroup->button(2)->setChecked(true);
    layout->addWidget(FRadioGroupBox);

    auto* files = new QGridLayout();
    FEditFileDir = FileEdit(this, files, 0, tr("旧文件:"), "EditFileDir", FFileDirButton);
    FEditSaveDir = FileEdit(this, files, 1, tr("新文件:"), "EditSaveDir", FSaveDirButton);
    layout->addLayout(files);

    FRadioGroup1 = new QGroupBox(tr("是否压缩"), this);
    FRadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    auto* compression = new QHBoxLayout(FRadioGroup1);
    FCompression = new QButtonGroup(this);
    const QString compressionCaptions[] = {tr("不压缩"), tr("压缩")};
    for (int i = 0; i < 2; ++i) {
        auto* radio = new QRadioButton(compressionCaptions[i], FRadioGroup1);
        FCompression->addButton(radio, i);
        compression->addWidget(radio);
    }
    FCompression->button(0)->setChecked(true);
    layout->addWidget(FRadioGroup1);

    FGroupBox1 = new QGroupBox(tr("设置密码"), this);
    FGroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* password = new QHBoxLayout(FGroupBox1);
    password->addWidget(new QLabel(tr("密码:"), FGroupBox1));
    FEditPassWord = new QLineEdit(QString::fromLatin1(kDefaultPakPassword), FGroupBox1);
    FEditPassWord->setObjectName(QStringLiteral("EditPassWord"));
    password->addWidget(FEditPassWord);
    AddShowPasswordToggle(FGroupBox1, password, FEditPassWord);
    layout->addWidget(FGroupBox1);

    layout->addStretch();
    const TDialogButtons buttons = AddDialogButtons(this, layout, tr("转换"));
    FBitBtnOK = buttons.OK;
    FBitBtnClose = buttons.Close;
    FProgressBar = AddProgressBar(this, layout);

    FWorker = new TWorker(this);
    connect(FWorker, &TWorker::Progress, this, [this](int done, int total) {
        FProgressBar->setRange(0, std::max(total, 1));
        FProgressBar->setValue(done);
        if (FCopying && done > 0)
            setWindowTitle(tr("数据转换(%1/%2)").arg(done).arg(total));
    });
    connect(FWorker, &TWorker::Finished, this, [this] {
        Guarded([this] {
            if (FCopying)
                Copied();
            else
                Planned();
        });
    });
    connect(FRadioGroup, &QButtonGroup::idClicked, this, [this](int) { RadioGroupClick(); });
    connect(FFileDirButton, &QToolButton::clicked, this, [this] { EditFileDirButtonClick(); });
    connect(FSaveDirButton, &QToolButton::clicked, this, [this] { EditSaveDirButtonClick(); });
    connect(FBitBtnOK, &QPushButton::clicked, this, [this] { BitBtnOKClick(); });
    connect(FBitBtnClose, &QPushButton::clicked, this, [this] { reject(); });
    RadioGroupClick();
}

int TfrmConvertDlg::Kind() const {
    return FRadioGroup->checkedId();
}

void TfrmConvertDlg::SetKind(int kind) {
    if (QAbstractButton* b = FRadioGroup->button(kind)) {
        b->setChecked(true);
        RadioGroupClick();
    }
}

int TfrmConvertDlg::Compression() const {
    return FCompression->checkedId();
}

void TfrmConvertDlg::SetCompression(int item) {
    if (QAbstractButton* b = FCompression->button(item))
        b->setChecked(true);
}

QString TfrmConvertDlg::TargetExtension() const {
    const int kind = Kind();
    return ExtensionOf(kind >= 0 && kind < kKindCount ? kKinds[kind].Target : t_Quillrand);
}

bool TfrmConvertDlg::Running() const {
    return FWorker->Running();
}

void TfrmConvertDlg::reject() {
    if (Running()) {
        FStopRequested = true;
        FWorker->Cancel();
    } else {
        QDialog::reject();
    }
}

void TfrmConvertDlg::closeEvent(QCloseEvent* event) {
    if (Running())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

int TfrmConvertDlg::Open() {
    setWindowTitle(tr("数据转换"));
    FProgressBar->setRange(0, 100);
    FProgressBar->setValue(0);
    return Prompts().ExecDialog(*this);
}

void TfrmConvertDlg::ToolButtonConvertDataClick(TOpenLibraries& open) {
    FOpen = &open;
    Open();
}

void TfrmConvertDlg::RadioGroupClick() {
    const int kind = Kind();
    const TImageType target = kind >= 0 && kind < kKindCount ? kKinds[kind].Target : t_Quillrand;
    const bool toPak = target == t_Quillrand;
    // Wil -> Wzl stores the WIL records as they are; the other WZL targets may compress.
    const bool compression = toPak || (target == t_Wzl && kind != 3);
    FRadioGroup1->setVisible(compression);
    FGroupBox1->setVisible(toPak);
    setFixedHeight(toPak ? kHeightPak : compression ? kHeightCompression : kHeightWzl);
    if (!FEditSaveDir->text().isEmpty())
        FEditSaveDir->setText(WithExtension(FEditSaveDir->text(), TargetExtension()));
}

void TfrmConvertDlg::EditFileDirButtonClick() {
    const int kind = Kind();
    const QString filter =
        SourceFilter(kind >= 0 && kind < kKindCount ? kKinds[kind].Source : t_Wil);
    const QString chosen = Prompts().OpenFileName(
        QString(), filter,
        QString::fromStdString(ExtractFilePath(FEditFileDir->text().trimmed().toStdString())));
    if (chosen.isEmpty())
        return;
    FEditFileDir->setText(chosen);
    FEditSaveDir->setText(WithExtension(chosen, TargetExtension()));
}

void TfrmConvertDlg::EditSaveDirButtonClick() {
    const QString extension = TargetExtension();
    const QString filter = extension == QStringLiteral(".Pak")
                               ? tr("[www.velmora.example] 资源文件 文件 (*.Pak)|*.Pak")
                               : extension.mid(1) + tr("资源文件 文件 (*%1)|*%1").arg(extension);
    int filterIndex = 0;
    // An existing target is asked about when the conversion starts, with its image count.
    const QString chosen = Prompts().SaveFileName(
        tr("创建Data文件"), filter, FEditFileDir->text().trimmed(), &filterIndex, {}, false);
    if (chosen.isEmpty())
        return;
    FEditSaveDir->setText(WithExtension(chosen, TargetExtension()));
}

void TfrmConvertDlg::SetControlsEnabled(bool enabled) {
    // 取消 stays enabled: during the copy it stops it.
    for (QWidget* w :
         {static_cast<QWidget*>(FBitBtnOK), static_cast<QWidget*>(FRadioGroupBox),
          static_cast<QWidget*>(FEditFileDir), static_cast<QWidget*>(FEditSaveDir),
          static_cast<QWidget*>(FFileDirButton), static_cast<QWidget*>(FSaveDirButton)})
        w->setEnabled(enabled);
}

void TfrmConvertDlg::BitBtnOKClick() {
    if (Running())
        return;
    const int kind = Kind();
    if (kind < 0 || kind >= kKindCount)
        return;
    FOptions = {};
    FOptions.SourcePath = FEditFileDir->text().trimmed().toStdString();
    FOptions.SourceKind = kKinds[kind].Source;
    FOptions.TargetPath = FEditSaveDir->text().trimmed().toStdString();
    FOptions.TargetKind = kKinds[kind].Target;
    FOptions.Compression = uint8_t(FRadioGroup1->isVisible() && Compression() == 1 ? 1 : 0);
    FOptions.PassWord = FEditPassWord->text().toStdString();
    // Nothing is replaced behind the user's back, least of all a library open in the window.
    if (FileExists(FOptions.SourcePath) && !FOptions.TargetPath.empty() &&
        FOptions.TargetPath != FOptions.SourcePath && FOpen &&
        !MayReplaceLibrary(*FOpen, FOptions.TargetPath,
                           CreationPassword(FOptions.TargetKind, FOptions.PassWord)))
        return;
    FPasswordRetry = false;
    FStopRequested = false;
    SetControlsEnabled(false);
    FProgressBar->setRange(0, 0);
    FProgressBar->setValue(0);
    if (!FileExists(FOptions.SourcePath)) {
        // The conversion itself says that the source is missing.
        StartCopy();
        return;
    }
    StartPlan();
}

void TfrmConvertDlg::StartPlan() {
    // What the target cannot hold is found before anything is written.
    FCopying = false;
    FWorker->Start([this, options = FOptions](TJobControl&) { FPlan = PlanConversion(options); });
}

void TfrmConvertDlg::Planned() {
    if (FStopRequested) {
        SetControlsEnabled(true);
        Prompts().ShowMessage(tr("转换已取消 ！！！\n没有写入新文件。"));
        return;
    }
    if (FWorker->CancelledAt() || FWorker->Error()) {
        SetControlsEnabled(true);
        if (FWorker->Error()) {
            try {
                std::rethrow_exception(FWorker->Error());
            } catch (const std::exception& e) {
                Prompts().ShowError(tr("转换失败 ！！！\n") + ErrorDetailText(e.what()));
            } catch (...) {
            }
        }
        return;
    }
    // A Pak source whose listed (or default) password does not fit asks for its password.
    if (FPlan.WrongPassword) {
        QString typed;
        if (!Prompts().InputPassword(tr("密码"), tr("请输入旧文件的密码:"),
                                     FPasswordRetry ? tr("密码错误") : QString(), typed)) {
            SetControlsEnabled(true);
            return;
        }
        FPasswordRetry = true;
        FOptions.SourcePassWord = typed.toStdString();
        StartPlan();
        return;
    }
    const QString losses = FPlan.Opened ? LossMessage(FPlan) : QString();
    if (!losses.isEmpty() &&
        !Prompts().Confirm(tr("此转换会丢失部分内容：\n") + losses + tr("\n继续转换吗？"))) {
        SetControlsEnabled(true);
        return;
    }
    StartCopy();
}

void TfrmConvertDlg::StartCopy() {
    FCopying = true;
    FResult = {};
    FWorker->Start([this, options = FOptions](TJobControl& control) {
        try {
            FResult =
                ConvertLibrary(options, [&](int done, int total) { control.Report(done, total); });
        } catch (const TJobCancelled&) {
            throw;
        } catch (const std::exception& e) {
            FResult.Done = false;
            FResult.Error = e.what();
        }
    });
}

void TfrmConvertDlg::Copied() {
    FCopying = false;
    SetControlsEnabled(true);
    if (const std::optional<TJobCancelled> cancelled = FWorker->CancelledAt()) {
        Prompts().ShowMessage(tr("转换已取消 ！！！\n已转换 %1/%2 张时停止，没有写入新文件。")
                                  .arg(cancelled->Done)
                                  .arg(cancelled->Total));
    } else if (FResult.Done) {
        Prompts().ShowMessage(tr("转换成功 ！！！"));
    } else {
        WriteLog("数据转换: " + FResult.Error, true);
        Prompts().ShowError(tr("转换失败 ！！！\n") + ErrorDetailText(FResult.Error));
    }
}

} // namespace velmora
