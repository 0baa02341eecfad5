#include "app/exception_handler.h"
#include "app/fonts.h"
#include "app/main_window.h"
#include "core/file_stream.h"

#include <QFileInfo>
#include <QIcon>
#include <QStringList>
#include <QTimer>
#include <QUrl>

namespace {

// The library named on the command line (velmora FILE, as the desktop entry starts it): the first
// argument that is not an option, a path or a file:// address. Empty when none is given.
QString FileArgument(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.startsWith(QLatin1Char('-')))
            continue;
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        return QFileInfo(path).absoluteFilePath();
    }
    return QString();
}

} // namespace

int main(int argc, char* argv[]) {
    velmora::IgnoreFileSizeSignal();
    velmora::TVelmoraApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.png")));
    QApplication::setFont(velmora::InterfaceFont());
    velmora::TfrmMain window;
    window.show();
    // Every start is a window of its own, so a second "velmora FILE" opens FILE beside the first.
    // The file is opened once the window is up; it becomes the newest recent file, so the start
    // timer then shows its folder.
    const QString file = FileArgument(QCoreApplication::arguments());
    if (!file.isEmpty()) {
        velmora::TfrmMain* main = &window;
        QTimer::singleShot(0, main, [main, file] { main->OpenLibrary(file.toStdString()); });
    }
    return app.exec();
}
