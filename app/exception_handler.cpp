#include "app/exception_handler.h"

#include "app/prompts.h"
#include "app/status_texts.h"
#include "core/game_images.h"
#include "core/library_lock.h"
#include "core/file_stream.h"
#include "files/log.h"

#include <QCoreApplication>

#include <string>

namespace velmora {

namespace {

class TErrorTexts {
    Q_DECLARE_TR_FUNCTIONS(TErrorTexts)
};

} // namespace

QString FileErrorText(const QString& path, const QString& reason) {
    return TErrorTexts::tr("文件写入失败 ！！！\n文件：%1\n原因：%2").arg(path, reason);
}

void LogQuietly(const std::string& text) {
    try {
        WriteLog(text, true);
    } catch (...) {
    }
}

QString JobFailureText(const std::exception_ptr& error, const std::string& context) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        LogQuietly(context + ": " + e.what());
        return EditErrorText(e);
    } catch (...) {
        LogQuietly(context + ": unknown error");
    }
    return {};
}

void HandleException(std::exception_ptr error) noexcept {
    try {
        std::rethrow_exception(error);
    } catch (const ELibraryBusy& e) {
        LogQuietly(e.what());
        try {
            Prompts().ShowError(LibraryBusyMessage());
        } catch (...) {
        }
    } catch (const EEditRefused& e) {
        LogQuietly(e.what());
        try {
            Prompts().ShowError(EditRefusalMessage(e.Refusal()));
        } catch (...) {
        }
    } catch (const EFileError& e) {
        const std::string message = e.what();
        LogQuietly(message);
        // The message reads "path: reason"; the box names both on lines of their own.
        const std::string prefix = e.Path() + ": ";
        const std::string reason =
            message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message;
        try {
            Prompts().ShowError(
                FileErrorText(QString::fromStdString(e.Path()), QString::fromStdString(reason)));
        } catch (...) {
        }
    } catch (const std::exception& e) {
        LogQuietly(e.what());
    } catch (...) {
        LogQuietly("unknown exception");
    }
}

bool TVelmoraApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

} // namespace velmora
