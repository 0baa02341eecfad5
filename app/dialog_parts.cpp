#include "app/dialog_parts.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>

#include <QBoxLayout>
#include <QButtonGroup>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <algorithm>

namespace velmora {

namespace {

class TDialogParts {
    Q_DECLARE_TR_FUNCTIONS(TDialogParts)
};

} // namespace

TDialogButtons AddDialogButtons(QDialog* dialog, QBoxLayout* layout, const QString& okCaption) {
    TDialogButtons result;
    auto* buttons = new QHBoxLayout();
    result.OK = new QPushButton(okCaption, dialog);
    result.OK->setObjectName(QStringLiteral("BitBtnOK"));
    result.Close = new QPushButton(TDialogParts::tr("取消"), dialog);
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
    auto* show = new QCheckBox(TDialogParts::tr("显示密码"), parent);
    show->setObjectName(QStringLiteral("ShowPassword"));
    QObject::connect(show, &QCheckBox::toggled, edit, [edit](bool on) {
        edit->setEchoMode(on ? QLineEdit::Normal : QLineEdit::Password);
    });
    layout->addWidget(show);
    return show;
}

void FitToScreen(QWidget& dialog) {
    const QWidget* anchor = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
    const QScreen* screen = anchor ? anchor->screen() : dialog.screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry().adjusted(8, 8, -8, -40);
    // A dialog never resized takes its size hint when shown.
    const QSize wanted = dialog.testAttribute(Qt::WA_Resized) ? dialog.size() : dialog.sizeHint();
    const QSize size = wanted.boundedTo(room.size());
    if (size != wanted || dialog.testAttribute(Qt::WA_Resized))
        dialog.resize(size);
    // Centred over the window it belongs to, and moved inside the screen where that is too close
    // to an edge.
    const QPoint centre = anchor ? anchor->frameGeometry().center() : room.center();
    QRect placed(centre - QPoint(size.width() / 2, size.height() / 2), size);
    placed.moveLeft(
        std::clamp(placed.left(), room.left(), std::max(room.left(), room.right() - size.width())));
    placed.moveTop(
        std::clamp(placed.top(), room.top(), std::max(room.top(), room.bottom() - size.height())));
    dialog.move(placed.topLeft());
}

} // namespace velmora
