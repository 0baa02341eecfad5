#pragma once

#include <QString>
#include <QStringList>

#include <optional>

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

// Where a long job stood when the user stopped it.
struct TJobCancelled {
    int Done = 0;
    int Total = 0;
};

// A dialog's long job that 取消 and Escape can stop: reject() calls Request() while Running(),
// and the job's progress call calls Check(), which throws TJobCancelled out of the job once asked.
// The job's own clean-up (a discarded edit, a removed temporary file) runs as the throw unwinds.
class TCancellableJob {
public:
    bool Running() const { return FRunning; }
    void Request() { FRequested = FRunning; }
    void Check(int done, int total) const {
        if (FRequested)
            throw TJobCancelled{done, total};
    }
    // Runs job(); returns where it stood when it was stopped, nothing when it ran to its end.
    template <class TJob> std::optional<TJobCancelled> Run(const TJob& job) {
        FRunning = true;
        FRequested = false;
        struct TEnd {
            TCancellableJob* Job;
            ~TEnd() { Job->FRunning = Job->FRequested = false; }
        } end{this};
        try {
            job();
        } catch (const TJobCancelled& where) {
            return where;
        }
        return std::nullopt;
    }

private:
    bool FRunning = false;
    bool FRequested = false;
};

} // namespace velmora
