#pragma once

#include <QString>
#include <QStringList>

class QBoxLayout;
class QButtonGroup;
class QDialog;
class QGroupBox;
class QLineEdit;
class QCheckBox;
class QProgressBar;
class QPushButton;
class QWidget;

namespace velmora {

// The buttons of a command dialog's last row: the command and 取消, right-aligned, named
// BitBtnOK and BitBtnClose so that tests and scripts find them.
struct TDialogButtons {
    QPushButton* OK = nullptr;
    QPushButton* Close = nullptr;
};

// Adds the row under the other contents of layout.
TDialogButtons AddDialogButtons(QDialog* dialog, QBoxLayout* layout, const QString& okCaption);

// Adds the progress bar (named ProgressBar) of a dialog's long work under the other contents.
QProgressBar* AddProgressBar(QDialog* dialog, QBoxLayout* layout);

// A framed group (object name `name`) of radio buttons, one per item, laid out in rows of
// `columns`; `group` receives the buttons with their item numbers as ids and `checked` is set.
QGroupBox* RadioGroup(QWidget* parent, const char* name, const QString& caption,
                      const QStringList& items, int columns, QButtonGroup*& group, int checked);

// Masks a password field and adds a check box (ShowPassword, "显示密码") under it that shows the
// text while ticked.
QCheckBox* AddShowPasswordToggle(QWidget* parent, QBoxLayout* layout, QLineEdit* edit);

// Makes a dialog fit the screen it is shown on: no larger than the available room, and wholly
// on it, so that its buttons can always be reached.
void FitToScreen(QWidget& dialog);

} // namespace velmora
