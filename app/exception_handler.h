#pragma once

#include <QApplication>

#include <exception>
#include <string>
#include <utility>

namespace velmora {

// The application-wide handler for exceptions that escape an event handler: writes the message to
// the log as one time-stamped line and carries on. A file error (EFileError: a library or picture
// that could not be written, a disk that is full, a file that vanished) is also shown to the user
// in a message box naming the file and the reason, so that a failed save is never mistaken for a
// kept edit. Never throws.
void HandleException(std::exception_ptr error) noexcept;

// The text a file error is shown with.
QString FileErrorText(const QString& path, const QString& reason);

// Writes a line to the log; a log that cannot be written (a full disk) must not turn one error
// into two, so that is swallowed.
void LogQuietly(const std::string& text);

// Why a job on a worker failed, for its message box (EditErrorText of the error; empty for an
// error of no known kind), the error logged after "Context: ".
QString JobFailureText(const std::exception_ptr& error, const std::string& context);

// Runs an event handler's body and hands whatever escapes it to HandleException. Qt cannot carry
// exceptions through its own frames, so every handler that may throw runs through this.
template <class F> void Guarded(F&& body) noexcept {
    try {
        std::forward<F>(body)();
    } catch (...) {
        HandleException(std::current_exception());
    }
}

// The application object: an exception that escapes an event handler reaching the event loop
// goes to HandleException instead of ending the program.
class TVelmoraApplication : public QApplication {
public:
    TVelmoraApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace velmora
