#include "app/dialogs/import_picture_dialog.h"

#include "app/dialog_parts.h"
#include "app/exception_handler.h"
#include "app/library_document.h"
#include "app/prompts.h"
#include "app/status_texts.h"
#include "core/utils.h"
#include "files/picture_files.h"
#include "operations/import_picture.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace velmora {

namespace {

// Offsets are stored as signed 16-bit values by every format: the edits take no other numbers.
QSpinBox* OffsetEdit(QWidget* parent, const char* name) {
    auto* edit = new QSpinBox(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setRange(-32768, 32767);
    edit->setValue(0);
    return edit;
}

} // namespace

TfrmInPutDlg::TfrmInPutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfrmInPutDlg"));
    setWindowTitle(tr("图片导入"));
    auto* layout = new QVBoxLayout(this);

    auto* offsets = new QGroupBox(tr("坐标"), this);
    auto* offsetLayout = new QHBoxLayout(offsets);
    FEditX = OffsetEdit(offsets, "EditX");
    FEditY = OffsetEdit(offsets, "EditY");
    offsetLayout->addWidget(new QLabel(QStringLiteral("X:"), offsets));
    offsetLayout->addWidget(FEditX, 1);
    offsetLayout->addWidget(new QLabel(QStringLiteral("Y:"), offsets));
    offsetLayout->addWidget(FEditY, 1);
    layout->addWidget(offsets);

    layout->addWidget(RadioGroup(this, "RadioGroup", tr("导入方式"),
                                 {tr("覆盖图片"), tr("插入图片"), tr("尾部添加")}, 3, FMode, 2));
    FRadioGroup1 = RadioGroup(this, "RadioGroup1", tr("是否压缩"), {tr("不压缩"), tr("压缩")}, 4,
                              FCompression, 0);
    layout->addWidget(FRadioGroup1);

    const TDialogButtons buttons = AddDialogButtons(this, layout, tr("确定"));
    buttons.OK->setDefault(true);
    connect(buttons.OK, &QPushButton::clicked, this, [this] { done(kConfirmed); });
    connect(buttons.Close, &QPushButton::clicked, this, [this] { done(0); });
    setFixedWidth(300);
    PrepareFor(false);
}

int TfrmInPutDlg::Mode() const {
    return std::max(FMode->checkedId(), 0);
}

int TfrmInPutDlg::Compression() const {
    return std::max(FCompression->checkedId(), 0);
}

void TfrmInPutDlg::PrepareFor(bool pak) {
    FRadioGroup1->setVisible(pak);
    // The designed height, or more where the system's fonts need it: no control is cut off.
    layout()->activate();
    setFixedHeight(std::max(pak ? 206 : 170, minimumSizeHint().height()));
}

void TfrmInPutDlg::ToolButtonAddClick(TLibraryDocument& document) {
    if (document.Busy())
        return;
    const QString file = Prompts().OpenFileName(
        QString(), tr("PNG文件|*.PNG|BMP文件|*.bmp|TGA文件|*.TGA"), FOPD1Dir);
    if (file.isEmpty())
        return;
    FOPD1Dir = QString::fromStdString(ExtractFilePath(file.toStdString()));
    TLoadedPicture picture;
    std::string error;
    if (!LoadImportPicture(file.toStdString(), picture, error)) {
        // An unreadable picture is said to be one, rather than the command doing nothing.
        Prompts().ShowError(
            tr("图片导入失败 ！！！\n%1：%2").arg(file, ErrorDetailText(error, true)));
        return;
    }
    PrepareForLibrary(picture, document.Library());
    PrepareFor(document.Kind() == t_Quillrand);
    if (Prompts().ExecDialog(*this) != kConfirmed || document.Busy())
        return;
    const int index = document.Current();
    const TImportMode mode = TImportMode(Mode());
    TImportPictureResult result;
    // A library that could not be written is reported by the general handler; the window shows
    // what the library holds now.
    document.Edit(tr("导入"), [&](TGameImages& library) {
        result = ImportLoadedPicture(library, picture, index, mode,
                                     {FEditX->value(), FEditY->value()}, uint8_t(Compression()));
    });
    QString message;
    if (result.Refusal != TEditRefusal::erNone)
        message = EditRefusalMessage(result.Refusal);
    else if (result.OffsetRefused)
        message = tr("图片导入失败 ！！！\n坐标超出范围(-32768..32767)");
    else
        message = result.Imported ? tr("图片导入成功 ！！！") : tr("图片导入失败 ！！！");
    const bool failed =
        result.Refusal != TEditRefusal::erNone || result.OffsetRefused || !result.Imported;
    // The image the picture went to is shown.
    if (result.Imported)
        document.Select(mode == imAppend ? document.ImageCount() - 1 : index);
    Prompts().ShowOutcome(message, failed);
}

} // namespace velmora
