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

// The libraries named on the command line (velmora FILE..., as the desktop entry starts it): the
// arguments that are not options, as paths or file:// addresses, in their order.
QStringList FileArguments(const QStringList& arguments) {
    QStringList files;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.startsWith(QLatin1Char('-')))
            continue;
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        files << QFileInfo(path).absoluteFilePath();
    }
    return files;
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
    // The files are opened once the window is up, each in a tab of its own, one after another;
    // the last becomes the newest recent file, so the start timer then shows its folder.
    const QStringList files = FileArguments(QCoreApplication::arguments());
    if (!files.isEmpty()) {
        velmora::TfrmMain* main = &window;
        QTimer::singleShot(0, main, [main, files] {
            for (const QString& file : files)
                main->OpenLibrary(file.toStdString());
        });
    }
    return app.exec();
}
