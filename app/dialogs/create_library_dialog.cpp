#include "app/dialogs/create_library_dialog.h"

#include "app/status_texts.h"
#include "app/dialog_parts.h"
#include "app/dialogs/replace_target.h"
#include "app/prompts.h"
#include "app/translations.h"
#include "core/file_stream.h"
#include "core/utils.h"
#include "files/pak_passwords.h"
#include "operations/create_library.h"

#include <QCoreApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace velmora {

namespace {

// SaveDialog2 belongs to the main window and keeps its last file name for the whole run, so that
// the next creation proposes the same folder and name with the new kind's extension.
std::string g_SaveDialog2FileName;
int g_SaveDialog2FilterIndex = 0;

constexpr TImageType kKinds[] = {t_Wil, t_Wis, t_Wzl, t_Quillrand};

// The name the save dialog proposes: the last one's folder and stem with the kind's extension,
// or, without a stem (nothing created yet, or a name that was only an extension), the folder's
// first free "新建", "新建1", ... name.
std::string ProposedName(const std::string& last, const std::string& currentDir,
                         const std::string& extension) {
    std::string folder = ExtractFilePath(last);
    const std::string stem = FileNameWithoutExt(last);
    if (!stem.empty() && stem.front() != '.')
        return folder + stem + extension;
    if (folder.empty())
        folder = currentDir;
    const std::string base =
        QCoreApplication::translate("velmora::TFrmCreateData", "新建").toStdString();
    for (int n = 0;; ++n) {
        const std::string candidate =
            folder + base + (n == 0 ? std::string() : std::to_string(n)) + extension;
        if (!FileExists(candidate))
            return candidate;
    }
}

} // namespace

std::string TFrmCreateData::SaveDialog2FileName() {
    return g_SaveDialog2FileName;
}

void TFrmCreateData::SetSaveDialog2FileName(const std::string& fileName) {
    g_SaveDialog2FileName = fileName;
}

TFrmCreateData::TFrmCreateData(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFrmCreateData"));
    setWindowTitle(tr("新建"));
    auto* layout = new QVBoxLayout(this);

    auto* kinds = new QGroupBox(tr("类型"), this);
    kinds->setObjectName(QStringLiteral("RadioGroup"));
    auto* kindLayout = new QVBoxLayout(kinds);
    auto* kindRow = new QHBoxLayout();
    FRadioGroup = new QButtonGroup(this);
    const char* kindCaptions[] = {"Wil", "Wis", "Wzl", "Pak"};
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(QString::fromLatin1(kindCaptions[i]), kinds);
        FRadioGroup->addButton(radio, i);
        kindRow->addWidget(radio);
    }
    kindLayout->addLayout(kindRow);
    // WIS libraries cannot be created: the kind is not offered.
    FRadioGroup->button(1)->setVisible(false);
    FRadioGroupBitCount = new QGroupBox(kinds);
    FRadioGroupBitCount->setObjectName(QStringLiteral("RadioGroupBitCount"));
    auto* bitLayout = new QHBoxLayout(FRadioGroupBitCount);
    FBitCounts = new QButtonGroup(this);
    const QString bitCaptions[] = {tr("8位"), tr("16位"), tr("24位"), tr("32位")};
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(bitCaptions[i], FRadioGroupBitCount);
        FBitCounts->addButton(radio, i);
        bitLayout->addWidget(radio);
    }
    kindLayout->addWidget(FRadioGroupBitCount);
    layout->addWidget(kinds);
    FRadioGroup->button(0)->setChecked(true);
    FBitCounts->button(0)->setChecked(true);

    FGroupBox1 = new QGroupBox(tr("设置密码"), this);
    FGroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* passwordLayout = new QHBoxLayout(FGroupBox1);
    passwordLayout->addWidget(new QLabel(tr("密码:"), FGroupBox1));
    FEditPassWord = new QLineEdit(QString::fromLatin1(kDefaultPakPassword), FGroupBox1);
    FEditPassWord->setObjectName(QStringLiteral("EditPassWord"));
    passwordLayout->addWidget(FEditPassWord);
    AddShowPasswordToggle(FGroupBox1, passwordLayout, FEditPassWord);
    layout->addWidget(FGroupBox1);

    const TDialogButtons buttons = AddDialogButtons(this, layout, tr("确定"));
    FBitBtnOK = buttons.OK;
    FBitBtnClose = buttons.Close;

    connect(FRadioGroup, &QButtonGroup::idClicked, this, [this](int) { RadioGroupClick(); });
    connect(FBitBtnOK, &QPushButton::clicked, this, [this] { done(kResultOK); });
    connect(FBitBtnClose, &QPushButton::clicked, this, [this] { done(0); });
    // The groups shown are those of the kind chosen, from the start.
    RadioGroupClick();
}

int TFrmCreateData::Kind() const {
    return FRadioGroup->checkedId();
}

void TFrmCreateData::SetKind(int kind) {
    if (QAbstractButton* b = FRadioGroup->button(kind); b && kKinds[kind] != t_Wis) {
        b->setChecked(true);
        RadioGroupClick();
    }
}

int TFrmCreateData::BitCountItem() const {
    return FBitCounts->checkedId();
}

void TFrmCreateData::SetBitCountItem(int item) {
    if (QAbstractButton* b = FBitCounts->button(item))
        b->setChecked(true);
}

void TFrmCreateData::RadioGroupClick() {
    const int kind = Kind();
    FRadioGroupBitCount->setVisible(kind == 0);
    FGroupBox1->setVisible(kind == 3);
    FBitBtnOK->setEnabled(kind != 1);
    // The dialog takes the size of what it now shows, the password field at its full width.
    layout()->activate();
    adjustSize();
}

void TFrmCreateData::ToolButtonCreateFileClick(TOpenLibraries& open, const std::string& folder) {
    if (Prompts().ExecDialog(*this) != kResultOK)
        return;
    const int item = Kind();
    // The dialog cannot be confirmed with Wis selected; a WIS library is never created.
    if (item < 0 || item > 3 || kKinds[item] == t_Wis)
        return;
    const TImageType kind = kKinds[item];
    // Refused before a file name is asked for: no one could type the password to open the file.
    if (!PasswordFitsCodePage(CreationPassword(kind, FEditPassWord->text().toStdString()))) {
        Prompts().ShowError(CoreText(kUnencodablePasswordText));
        return;
    }
    QString title, filter, extension;
    switch (kind) {
    case t_Wil:
        title = tr("创建Wil文件");
        filter = tr("传奇图片资源文件|*.Wil|*.Wil");
        extension = QStringLiteral(".Wil");
        break;
    case t_Wzl:
        title = tr("创建Wzl文件");
        filter = tr("传奇图片资源文件|*.Wzl|*.Wzl");
        extension = QStringLiteral(".Wzl");
        break;
    default:
        title = tr("创建Pak文件");
        filter = tr("[www.velmora.example] 资源文件|*.Pak|*.Pak");
        extension = QStringLiteral(".Pak");
        break;
    }
    const QString proposed = QString::fromStdString(
        ProposedName(g_SaveDialog2FileName, folder, extension.toStdString()));
    g_SaveDialog2FileName = proposed.toStdString();
    // An existing file is asked about below, with what it holds.
    const QString chosen =
        Prompts().SaveFileName(title, filter, proposed, &g_SaveDialog2FilterIndex, {}, false);
    if (chosen.isEmpty())
        return;
    // A name typed without an extension gets the kind's: without one it would be read as WIL.
    g_SaveDialog2FileName = ExtractFileExt(ExtractFileName(chosen.toStdString())).empty()
                                ? chosen.toStdString() + extension.toStdString()
                                : chosen.toStdString();
    if (!MayReplaceLibrary(open, g_SaveDialog2FileName,
                           CreationPassword(kind, FEditPassWord->text().toStdString())))
        return;

    static constexpr int kBitCounts[] = {8, 16, 24, 32};
    const int bitItem = BitCountItem();
    const int requested = bitItem >= 0 && bitItem < 4 ? kBitCounts[bitItem] : 8;
    const TCreateResult result =
        CreateLibraryFile(kind, g_SaveDialog2FileName, CreationBitCount(kind, requested),
                          CreationPassword(kind, FEditPassWord->text().toStdString()));
    if (result.Created) {
        // The password goes into the list, so that the new library opens without a prompt.
        if (kind == t_Quillrand) {
            const std::string password =
                CreationPassword(kind, FEditPassWord->text().toStdString());
            bool listed = false;
            for (TPakPassword& entry : g_PakPasswords)
                if (SameText(ExtractFileName(entry.sFileName),
                             ExtractFileName(g_SaveDialog2FileName))) {
                    entry.sPassWord = password;
                    listed = true;
                    break;
                }
            if (!listed)
                g_PakPasswords.push_back({g_SaveDialog2FileName, password});
            SavePakPasswords();
        }
        Prompts().ShowMessage(tr("创建成功 ！！！"));
    } else {
        QString text = tr("创建失败 ！！！");
        if (!result.Error.empty())
            text += QStringLiteral("\n") + ErrorDetailText(result.Error);
        Prompts().ShowError(text);
    }
}

} // namespace velmora
