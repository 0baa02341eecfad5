#include "app/dialog_parts.h"

#include <QCheckBox>
#include <QLineEdit>

#include <QBoxLayout>
#include <QButtonGroup>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace velmora {

TDialogButtons AddDialogButtons(QDialog* dialog, QBoxLayout* layout, const QString& okCaption) {
    TDialogButtons result;
    auto* buttons = new QHBoxLayout();
    result.OK = new QPushButton(okCaption, dialog);
    result.OK->setObjectName(QStringLiteral("BitBtnOK"));
    result.Close = new QPushButton(QStringLiteral("取消"), dialog);
    result.Close->setObjectName(QStringLiteral("BitBtnClose"));
    buttons->addStretch();
    buttons->addWidget(result.OK);
    buttons->addWidget(result.Close);
    layout->addLayout(buttons);
    return result;
}

QProgressBar* AddProgressBar(QDialog* dialog, QBoxLayout* layout) {
    auto* bar = new QProgressBar(dialog);
    bar->setObjectName(QStringLiteral("ProgressBar"));
    layout->addWidget(bar);
    return bar;
}

QGroupBox* RadioGroup(QWidget* parent, const char* name, const QString& caption,
                      const QStringList& items, int columns, QButtonGroup*& group, int checked) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    auto* layout = new QGridLayout(box);
    group = new QButtonGroup(box);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], box);
        group->addButton(button, i);
        layout->addWidget(button, i / columns, i % columns);
    }
    group->button(checked)->setChecked(true);
    return box;
}

QCheckBox* AddShowPasswordToggle(QWidget* parent, QBoxLayout* layout, QLineEdit* edit) {
    edit->setEchoMode(QLineEdit::Password);
    auto* show = new QCheckBox(QStringLiteral("显示密码"), parent);
    show->setObjectName(QStringLiteral("ShowPassword"));
    QObject::connect(show, &QCheckBox::toggled, edit, [edit](bool on) {
        edit->setEchoMode(on ? QLineEdit::Normal : QLineEdit::Password);
    });
    layout->addWidget(show);
    return show;
}

} // namespace velmora
