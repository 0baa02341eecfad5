#include "app/dialogs/password_list_dialog.h"

#include "app/prompts.h"
#include "app/translations.h"
#include "files/pak_passwords.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <string>

namespace velmora {

namespace {

QString CellText(const QTableWidget* grid, int row, int col) {
    const QTableWidgetItem* item = grid->item(row, col);
    return item ? item->text() : QString();
}

void SetCell(QTableWidget* grid, int row, int col, const QString& text) {
    if (QTableWidgetItem* item = grid->item(row, col))
        item->setText(text);
    else
        grid->setItem(row, col, new QTableWidgetItem(text));
}

} // namespace

TFrmPassword::TFrmPassword(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFrmPassword"));
    setWindowTitle(tr("Pak补丁密码管理"));
    resize(870, 480);
    auto* layout = new QVBoxLayout(this);

    FStringGridPak = new QTableWidget(0, 3, this);
    FStringGridPak->setObjectName(QStringLiteral("StringGridPak"));
    FStringGridPak->setHorizontalHeaderLabels({tr("序号"), tr("文件"), tr("密码")});
    FStringGridPak->verticalHeader()->hide();
    FStringGridPak->verticalHeader()->setDefaultSectionSize(20);
    FStringGridPak->setColumnWidth(kColNumber, 58);
    FStringGridPak->setColumnWidth(kColFile, 572);
    FStringGridPak->setColumnWidth(kColPassword, 198);
    // On a narrow screen the file column gives way; the number and the password stay whole.
    FStringGridPak->horizontalHeader()->setSectionResizeMode(kColFile, QHeaderView::Stretch);
    FStringGridPak->horizontalHeader()->setMinimumSectionSize(40);
    FStringGridPak->setToolTip(
        tr("每一个Pak文件需要设置正确的读取密码，否则登录器无法正常读取该Pak文件\n"
           "修改密码后点击保存，自动获取密码状态"));
    layout->addWidget(FStringGridPak);

    auto* buttons = new QHBoxLayout();
    const struct {
        const char* Name;
        QString Caption;
        void (TFrmPassword::*Handler)();
    } kButtons[] = {
        {"ButtonPasswordAdd", tr("增加"), &TFrmPassword::ButtonPasswordAddClick},
        {"ButtonPasswordClear", tr("清空"), &TFrmPassword::ButtonPasswordClearClick},
        {"ButtonPasswordLoadFile", tr("导入"), &TFrmPassword::ButtonPasswordLoadFileClick},
        {"ButtonPasswordOK", tr("保存"), &TFrmPassword::ButtonPasswordOKClick},
    };
    for (const auto& b : kButtons) {
        auto* button = new QPushButton(b.Caption, this);
        button->setObjectName(QString::fromLatin1(b.Name));
        connect(button, &QPushButton::clicked, this, [this, h = b.Handler] { (this->*h)(); });
        buttons->addWidget(button);
    }
    buttons->addStretch();
    layout->addLayout(buttons);

    auto* note =
        new QLabel(tr("提示：可将登录器配置目录中的 Pak.txt 复制到本程序目录下读取"), this);
    note->setStyleSheet(QStringLiteral("color: red;"));
    layout->addWidget(note);
}

int TFrmPassword::Open() {
    RefStringGrid();
    return Prompts().ExecDialog(*this);
}

void TFrmPassword::ToolButtonPassWordClick() {
    Open();
}

void TFrmPassword::RefStringGrid() {
    FStringGridPak->setRowCount(0);
    FStringGridPak->setRowCount(int(g_PakPasswords.size()));
    for (int k = 0; k < int(g_PakPasswords.size()); ++k) {
        const TPakPassword& entry = g_PakPasswords[size_t(k)];
        SetCell(FStringGridPak, k, kColNumber, QString::number(k));
        SetCell(FStringGridPak, k, kColFile, QString::fromStdString(entry.sFileName));
        SetCell(FStringGridPak, k, kColPassword, QString::fromStdString(entry.sPassWord));
    }
}

void TFrmPassword::ButtonPasswordAddClick() {
    const QString chosen = Prompts().OpenFileName(QString(), tr("Pak文件|*.Pak"), QString());
    if (chosen.isEmpty())
        return;
    const int row = FStringGridPak->rowCount();
    FStringGridPak->setRowCount(row + 1);
    // Numbered as the rows above it are, from 0.
    SetCell(FStringGridPak, row, kColNumber, QString::number(row));
    SetCell(FStringGridPak, row, kColFile, chosen);
    SetCell(FStringGridPak, row, kColPassword, QString());
}

void TFrmPassword::ButtonPasswordClearClick() {
    g_PakPasswords.clear();
    FStringGridPak->setRowCount(0);
}

void TFrmPassword::ButtonPasswordLoadFileClick() {
    const QString chosen = Prompts().OpenFileName(QString(), tr("文本文件|*.txt"), QString());
    if (chosen.isEmpty())
        return;
    LoadPakPasswords(chosen.toStdString());
    RefStringGrid();
}

void TFrmPassword::ButtonPasswordOKClick() {
    // A password the list cannot hold would come back cut short, and one the code page cannot
    // hold opens no library: the dialog stays open on it.
    for (int row = 0; row < FStringGridPak->rowCount(); ++row) {
        if (CellText(FStringGridPak, row, kColFile).isEmpty())
            continue;
        const std::string password = CellText(FStringGridPak, row, kColPassword).toStdString();
        const char* refusal = !PasswordFitsList(password)       ? kUnlistablePasswordText
                              : !PasswordFitsCodePage(password) ? kUnencodablePasswordText
                                                                : nullptr;
        if (!refusal)
            continue;
        FStringGridPak->setCurrentCell(row, kColPassword);
        Prompts().ShowError(tr("第 %1 行：").arg(row + 1) + CoreText(refusal));
        return;
    }
    g_PakPasswords.clear();
    for (int row = 0; row < FStringGridPak->rowCount(); ++row) {
        const QString file = CellText(FStringGridPak, row, kColFile);
        if (file.isEmpty())
            continue;
        QString password = CellText(FStringGridPak, row, kColPassword);
        if (password.isEmpty()) {
            password = QString::fromLatin1(kDefaultPakPassword);
            SetCell(FStringGridPak, row, kColPassword, password);
        }
        g_PakPasswords.push_back({file.toStdString(), password.toStdString()});
    }
    RefStringGrid();
    SavePakPasswords();
    done(1);
}

} // namespace velmora
