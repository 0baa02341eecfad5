#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

class QDialog;
class QWidget;

namespace velmora {

// Every modal question the editor asks goes through this interface: the program uses the Qt
// implementation, tests a scripted one that answers from queues and records what was asked.
//
// File-dialog filters are written as "description|patterns|description|patterns", patterns
// separated by ';' (for example "PNG文件|*.PNG|BMP文件|*.bmp"); the Qt implementation matches
// them without regard to case.
class TPrompts {
public:
    virtual ~TPrompts() = default;

    // A message box with the caption "提示信息", one OK button and the information icon.
    virtual void ShowMessage(const QString& text) = 0;
    // The same box with the warning icon: a command failed, was refused or was given bad input.
    virtual void ShowError(const QString& text) = 0;
    // ShowError when the command failed, ShowMessage when it did not.
    void ShowOutcome(const QString& text, bool failed) {
        if (failed)
            ShowError(text);
        else
            ShowMessage(text);
    }
    // A question with the caption "提示信息", the question icon and the buttons 是 and 否; true
    // for 是.
    virtual bool Confirm(const QString& text) = 0;
    // A text-input box showing value first; false when cancelled (value is then unchanged).
    virtual bool InputQuery(const QString& caption, const QString& prompt, QString& value) = 0;
    // A number box showing value first, taking only whole numbers from min to max; false when
    // cancelled (value is then unchanged).
    virtual bool InputNumber(const QString& caption, const QString& prompt, int& value, int min,
                             int max) = 0;
    // A list to choose one item from, index showing first; false when cancelled (index is then
    // unchanged).
    virtual bool ChooseItem(const QString& caption, const QString& prompt, const QStringList& items,
                            int& index) = 0;
    // A password box: the text masked (a check box shows it), note (empty for none) in red under
    // the field; false when cancelled.
    virtual bool InputPassword(const QString& caption, const QString& prompt, const QString& note,
                               QString& value) = 0;
    // The open-file dialog; empty when cancelled.
    virtual QString OpenFileName(const QString& title, const QString& filter,
                                 const QString& initialDir) = 0;
    // Called while a save dialog is open each time the user picks another file type, with the
    // 0-based filter index and the folder the dialog shows; returns the file name the dialog
    // should show instead (empty keeps the current one).
    using TSaveTypeChange = std::function<QString(int filterIndex, const QString& folder)>;
    // The save-file dialog; empty when cancelled. filterIndex (0-based) selects the filter shown
    // first and receives the one the user ended in. Without confirmOverwrite the dialog does not
    // ask about an existing file: the command asks itself, saying more about it.
    virtual QString SaveFileName(const QString& title, const QString& filter,
                                 const QString& proposedPath, int* filterIndex,
                                 const TSaveTypeChange& typeChanged = {},
                                 bool confirmOverwrite = true) = 0;
    // The folder-selection dialog; empty when cancelled.
    virtual QString ExistingFolder(const QString& title, const QString& initialDir) = 0;
    // Shows a dialog modally, within the screen, and returns its result code.
    virtual int ExecDialog(QDialog& dialog) = 0;
    // Opens an address (a web page or a local folder) with the desktop's default program.
    // False when no program could be started for it.
    virtual bool OpenUrl(const QUrl& url) = 0;
};

// The prompts in use: the Qt implementation unless another was installed.
TPrompts& Prompts();
// Installs prompts (not owned; null restores the Qt implementation).
void SetPrompts(TPrompts* prompts);

// The Qt implementation. Dialogs are parented to the active window.
class TQtPrompts final : public TPrompts {
public:
    void ShowMessage(const QString& text) override;
    void ShowError(const QString& text) override;
    bool Confirm(const QString& text) override;
    bool InputQuery(const QString& caption, const QString& prompt, QString& value) override;
    bool InputNumber(const QString& caption, const QString& prompt, int& value, int min,
                     int max) override;
    bool ChooseItem(const QString& caption, const QString& prompt, const QStringList& items,
                    int& index) override;
    bool InputPassword(const QString& caption, const QString& prompt, const QString& note,
                       QString& value) override;
    QString OpenFileName(const QString& title, const QString& filter,
                         const QString& initialDir) override;
    QString SaveFileName(const QString& title, const QString& filter, const QString& proposedPath,
                         int* filterIndex, const TSaveTypeChange& typeChanged = {},
                         bool confirmOverwrite = true) override;
    QString ExistingFolder(const QString& title, const QString& initialDir) override;
    int ExecDialog(QDialog& dialog) override;
    bool OpenUrl(const QUrl& url) override;
};

// Converts a "description|patterns|..." filter into Qt's "description (patterns);;..." form with
// every pattern made case-insensitive (*.Wil becomes *.[Ww][Ii][Ll]).
QString QtFileFilter(const QString& filter);

// Answers prompts from queues filled by a test and records every question. A question without a
// queued answer is recorded in Unexpected and answered as cancelled.
class TScriptedPrompts final : public TPrompts {
public:
    struct TInputRequest {
        QString Caption, Prompt, Initial;
        QString Note; // password boxes only
        bool Password = false;
    };

    // The file type each answered SaveFileName ends in, in order (0-based); a save dialog without
    // one keeps the type it was opened with. A type other than that one counts as a type change.
    std::deque<int> FilterIndexes;
    // Answers for Confirm, in order.
    std::deque<bool> Confirms;
    // Answers for InputQuery, in order: a text, or nullopt to cancel.
    std::deque<std::optional<QString>> Inputs;
    // Answers for OpenFileName, SaveFileName and ExistingFolder, in order ("" cancels).
    std::deque<QString> Files;
    // Answers for ExecDialog: a function that may work the dialog and returns its result. When
    // the function started a job on a worker thread, the job is waited for (as the dialog's own
    // event loop would) and the dialog's result is returned.
    std::deque<std::function<int(QDialog&)>> Dialogs;

    // Every message shown, errors included, and the errors alone.
    std::vector<QString> Messages;
    std::vector<QString> Errors;
    std::vector<QString> Questions;
    std::vector<TInputRequest> InputRequests;
    std::vector<QString> FileRequests;
    std::vector<QString> ProposedPaths;   // the proposed path of each SaveFileName
    std::vector<bool> OverwriteAsked;     // whether each SaveFileName would ask before replacing
    std::vector<QString> TypeChangeNames; // what each type change asked the save dialog to show
    std::vector<QString> DialogsShown;    // objectName of each dialog shown
    std::vector<QUrl> Urls;
    // What OpenUrl answers: whether a program could be started.
    bool UrlsOpen = true;
    std::vector<QString> Unexpected;

    void ShowMessage(const QString& text) override;
    void ShowError(const QString& text) override;
    bool Confirm(const QString& text) override;
    bool InputQuery(const QString& caption, const QString& prompt, QString& value) override;
    // Answered from Inputs: a text that is no whole number is recorded in Unexpected and
    // cancels; a number outside min .. max is brought inside, as the box does.
    bool InputNumber(const QString& caption, const QString& prompt, int& value, int min,
                     int max) override;
    // Answered from Inputs: the text of an item (one that names none is recorded in Unexpected
    // and cancels).
    bool ChooseItem(const QString& caption, const QString& prompt, const QStringList& items,
                    int& index) override;
    bool InputPassword(const QString& caption, const QString& prompt, const QString& note,
                       QString& value) override;
    QString OpenFileName(const QString& title, const QString& filter,
                         const QString& initialDir) override;
    QString SaveFileName(const QString& title, const QString& filter, const QString& proposedPath,
                         int* filterIndex, const TSaveTypeChange& typeChanged = {},
                         bool confirmOverwrite = true) override;
    QString ExistingFolder(const QString& title, const QString& initialDir) override;
    int ExecDialog(QDialog& dialog) override;
    bool OpenUrl(const QUrl& url) override;

private:
    QString NextFile(const QString& request);
};

// Installs scripted prompts for the lifetime of the object (tests).
class TScopedPrompts {
public:
    explicit TScopedPrompts(TPrompts& prompts) { SetPrompts(&prompts); }
    ~TScopedPrompts() { SetPrompts(nullptr); }
    TScopedPrompts(const TScopedPrompts&) = delete;
    TScopedPrompts& operator=(const TScopedPrompts&) = delete;
};

} // namespace velmora
