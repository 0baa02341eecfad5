#include "app/exception_handler.h"

#include "app/prompts.h"
#include "core/file_stream.h"
#include "files/log.h"

#include <string>

namespace velmora {

QString FileErrorText(const QString& path, const QString& reason) {
    return QStringLiteral("文件写入失败 ！！！\n文件：%1\n原因：%2").arg(path, reason);
}

void HandleException(std::exception_ptr error) noexcept {
    std::string message = "unknown exception";
    const EFileError* fileError = nullptr;
    try {
        std::rethrow_exception(error);
    } catch (const EFileError& e) {
        message = e.what();
        fileError = &e;
        try {
            WriteLog(message, true);
        } catch (...) {
            // A log that cannot be written must not turn one error into two.
        }
        try {
            Prompts().ShowMessage(FileErrorText(QString::fromStdString(fileError->Path()),
                                                QString::fromStdString(message)));
        } catch (...) {
        }
        return;
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
    }
    try {
        WriteLog(message, true);
    } catch (...) {
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
