#include "app/prompts.h"

#include <QCoreApplication>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QAbstractButton>
#include <QMessageBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "app/dialog_parts.h"
#include "app/worker.h"

#include <algorithm>

namespace velmora {

namespace {

class TPromptTexts {
    Q_DECLARE_TR_FUNCTIONS(TPromptTexts)
};

TPrompts* g_Prompts = nullptr;

QWidget* DialogParent() {
    return QApplication::activeWindow();
}

// *.Wil -> *.[Ww][Ii][Ll]: Qt's file dialogs match patterns case-sensitively on this platform,
// while library and picture extensions are compared without regard to case.
QString CaseFreePattern(const QString& pattern) {
    QString out;
    for (const QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            out += QStringLiteral("[%1%2]").arg(c.toUpper(), c.toLower());
        else
            out += c;
    }
    return out;
}

QStringList QtFilterList(const QString& filter) {
    QStringList out;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns << CaseFreePattern(p.trimmed());
        out << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return out;
}

} // namespace

TPrompts& Prompts() {
    static TQtPrompts qtPrompts;
    return g_Prompts ? *g_Prompts : qtPrompts;
}

void SetPrompts(TPrompts* prompts) {
    g_Prompts = prompts;
}

QString QtFileFilter(const QString& filter) {
    return QtFilterList(filter).join(QStringLiteral(";;"));
}

void TQtPrompts::ShowMessage(const QString& text) {
    QMessageBox box(QMessageBox::Information, TPromptTexts::tr("提示信息"), text, QMessageBox::Ok,
                    DialogParent());
    box.exec();
}

void TQtPrompts::ShowError(const QString& text) {
    QMessageBox box(QMessageBox::Warning, TPromptTexts::tr("提示信息"), text, QMessageBox::Ok,
                    DialogParent());
    box.exec();
}

bool TQtPrompts::Confirm(const QString& text) {
    QMessageBox box(QMessageBox::Question, TPromptTexts::tr("提示信息"), text,
                    QMessageBox::Yes | QMessageBox::No, DialogParent());
    box.button(QMessageBox::Yes)->setText(TPromptTexts::tr("是"));
    box.button(QMessageBox::No)->setText(TPromptTexts::tr("否"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool TQtPrompts::InputQuery(const QString& caption, const QString& prompt, QString& value) {
    QInputDialog dialog(DialogParent());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(value);
    dialog.setOkButtonText(TPromptTexts::tr("确定"));
    dialog.setCancelButtonText(TPromptTexts::tr("取消"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.textValue();
    return true;
}

bool TQtPrompts::InputNumber(const QString& caption, const QString& prompt, int& value, int min,
                             int max) {
    QInputDialog dialog(DialogParent());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(min, max);
    dialog.setIntValue(std::clamp(value, min, max));
    dialog.setOkButtonText(TPromptTexts::tr("确定"));
    dialog.setCancelButtonText(TPromptTexts::tr("取消"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.intValue();
    return true;
}

bool TQtPrompts::ChooseItem(const QString& caption, const QString& prompt, const QStringList& items,
                            int& index) {
    QInputDialog dialog(DialogParent());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setComboBoxItems(items);
    dialog.setComboBoxEditable(false);
    if (index >= 0 && index < items.size())
        dialog.setTextValue(items[index]);
    dialog.setOkButtonText(TPromptTexts::tr("确定"));
    dialog.setCancelButtonText(TPromptTexts::tr("取消"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const int chosen = int(items.indexOf(dialog.textValue()));
    if (chosen < 0)
        return false;
    index = chosen;
    return true;
}

QString TQtPrompts::OpenFileName(const QString& title, const QString& filter,
                                 const QString& initialDir) {
    return QFileDialog::getOpenFileName(DialogParent(), title, initialDir, QtFileFilter(filter));
}

QString TQtPrompts::SaveFileName(const QString& title, const QString& filter,
                                 const QString& proposedPath, int* filterIndex,
                                 const TSaveTypeChange& typeChanged, bool confirmOverwrite) {
    QFileDialog dialog(DialogParent(), title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !confirmOverwrite);
    const QStringList filters = QtFilterList(filter);
    dialog.setNameFilters(filters);
    if (filterIndex && *filterIndex >= 0 && *filterIndex < filters.size())
        dialog.selectNameFilter(filters[*filterIndex]);
    dialog.selectFile(proposedPath);
    if (typeChanged) {
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog, &filters, &typeChanged](const QString& selected) {
                             const QString name = typeChanged(int(filters.indexOf(selected)),
                                                              dialog.directory().absolutePath());
                             if (!name.isEmpty())
                                 dialog.selectFile(name);
                         });
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    if (filterIndex)
        *filterIndex = int(filters.indexOf(dialog.selectedNameFilter()));
    return dialog.selectedFiles().first();
}

QString TQtPrompts::ExistingFolder(const QString& title, const QString& initialDir) {
    return QFileDialog::getExistingDirectory(DialogParent(), title, initialDir);
}

int TQtPrompts::ExecDialog(QDialog& dialog) {
    FitToScreen(dialog);
    return dialog.exec();
}

bool TQtPrompts::OpenUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

bool TQtPrompts::InputPassword(const QString& caption, const QString& prompt, const QString& note,
                               QString& value) {
    QDialog dialog(DialogParent());
    dialog.setWindowTitle(caption);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(prompt, &dialog));
    auto* edit = new QLineEdit(value, &dialog);
    edit->setObjectName(QStringLiteral("EditPassWord"));
    edit->setEchoMode(QLineEdit::Password);
    layout->addWidget(edit);
    if (!note.isEmpty()) {
        auto* label = new QLabel(note, &dialog);
        label->setObjectName(QStringLiteral("LabelNote"));
        label->setStyleSheet(QStringLiteral("color: #c00000;"));
        layout->addWidget(label);
    }
    AddShowPasswordToggle(&dialog, layout, edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(TPromptTexts::tr("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(TPromptTexts::tr("取消"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    edit->selectAll();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = edit->text();
    return true;
}

void TScriptedPrompts::ShowMessage(const QString& text) {
    Messages.push_back(text);
}

void TScriptedPrompts::ShowError(const QString& text) {
    Messages.push_back(text);
    Errors.push_back(text);
}

bool TScriptedPrompts::Confirm(const QString& text) {
    Questions.push_back(text);
    if (Confirms.empty()) {
        Unexpected.push_back(QStringLiteral("question: ") + text);
        return false;
    }
    const bool answer = Confirms.front();
    Confirms.pop_front();
    return answer;
}

bool TScriptedPrompts::InputNumber(const QString& caption, const QString& prompt, int& value,
                                   int min, int max) {
    QString text = QString::number(value);
    if (!InputQuery(caption, prompt, text))
        return false;
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    if (!ok) {
        Unexpected.push_back(QStringLiteral("not a number: ") + text);
        return false;
    }
    value = std::clamp(number, min, max);
    return true;
}

bool TScriptedPrompts::InputQuery(const QString& caption, const QString& prompt, QString& value) {
    InputRequests.push_back({caption, prompt, value, {}, false});
    if (Inputs.empty()) {
        Unexpected.push_back(QStringLiteral("input: ") + caption);
        return false;
    }
    const std::optional<QString> answer = Inputs.front();
    Inputs.pop_front();
    if (!answer)
        return false;
    value = *answer;
    return true;
}

bool TScriptedPrompts::ChooseItem(const QString& caption, const QString& prompt,
                                  const QStringList& items, int& index) {
    QString text = index >= 0 && index < items.size() ? items[index] : QString();
    if (!InputQuery(caption, prompt, text))
        return false;
    const int chosen = int(items.indexOf(text));
    if (chosen < 0) {
        Unexpected.push_back(QStringLiteral("not an item: ") + text);
        return false;
    }
    index = chosen;
    return true;
}

QString TScriptedPrompts::NextFile(const QString& request) {
    FileRequests.push_back(request);
    if (Files.empty()) {
        Unexpected.push_back(QStringLiteral("file: ") + request);
        return {};
    }
    QString answer = Files.front();
    Files.pop_front();
    return answer;
}

QString TScriptedPrompts::OpenFileName(const QString& title, const QString& filter,
                                       const QString&) {
    return NextFile(title.isEmpty() ? filter : title);
}

QString TScriptedPrompts::SaveFileName(const QString& title, const QString& filter,
                                       const QString& proposedPath, int* filterIndex,
                                       const TSaveTypeChange& typeChanged, bool confirmOverwrite) {
    ProposedPaths.push_back(proposedPath);
    OverwriteAsked.push_back(confirmOverwrite);
    QString answer = NextFile(title.isEmpty() ? filter : title);
    if (FilterIndexes.empty())
        return answer;
    const int chosen = FilterIndexes.front();
    FilterIndexes.pop_front();
    if (answer.isEmpty())
        return answer;
    if (typeChanged && (!filterIndex || *filterIndex != chosen)) {
        const int slash = int(answer.lastIndexOf(QLatin1Char('/')));
        TypeChangeNames.push_back(typeChanged(chosen, slash < 0 ? QString() : answer.left(slash)));
    }
    if (filterIndex)
        *filterIndex = chosen;
    return answer;
}

QString TScriptedPrompts::ExistingFolder(const QString& title, const QString&) {
    return NextFile(title);
}

int TScriptedPrompts::ExecDialog(QDialog& dialog) {
    DialogsShown.push_back(dialog.objectName());
    if (Dialogs.empty()) {
        Unexpected.push_back(QStringLiteral("dialog: ") + dialog.objectName());
        return 0;
    }
    FitToScreen(dialog);
    auto answer = std::move(Dialogs.front());
    Dialogs.pop_front();
    const int result = answer(dialog);
    if (!TWorker::AnyRunning())
        return result;
    TWorker::WaitForAll();
    return dialog.result();
}

bool TScriptedPrompts::OpenUrl(const QUrl& url) {
    Urls.push_back(url);
    return UrlsOpen;
}

bool TScriptedPrompts::InputPassword(const QString& caption, const QString& prompt,
                                     const QString& note, QString& value) {
    const size_t before = InputRequests.size();
    const bool answered = InputQuery(caption, prompt, value);
    InputRequests[before].Note = note;
    InputRequests[before].Password = true;
    return answered;
}

} // namespace velmora
