// The application-wide exception handler: one log line per escaped exception, nothing shown
// except for file errors, which name the file and the reason.
#include "gui_support.h"

#include "app/exception_handler.h"
#include "core/file_stream.h"

#include <QRegularExpression>
#include <QTimer>

#include <stdexcept>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

// An object whose event handler lets an exception escape.
class TThrowingObject : public QObject {
public:
    std::function<void()> Throw;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            Throw();
        return QObject::event(e);
    }
};

QStringList LogLines(const TEditorHome& home) {
    return QString::fromStdString(ReadText(home.File("VelmoraLog.txt")))
        .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

} // namespace

class TExceptionLogTest : public QObject {
    Q_OBJECT
private slots:
    void escapedExceptionIsLoggedOnceAndSwallowed() {
        TEditorHome home;
        TEditor editor;
        TThrowingObject target;
        target.Throw = [] { throw std::runtime_error("broken handler"); };
        QEvent first(QEvent::User);
        QCoreApplication::sendEvent(&target, &first); // through the application's notify
        QStringList lines = LogLines(home);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(QRegularExpression(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d broken handler$)")
                     .match(lines[0])
                     .hasMatch(),
                 qPrintable(lines[0]));
        QVERIFY(editor.Prompts.Messages.empty());

        // The program carries on: a posted event is handled, and logged, as well.
        target.Throw = [] { throw 42; };
        QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        lines = LogLines(home);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[1].endsWith(" unknown exception"));
        QVERIFY(editor.Prompts.Messages.empty());
    }

    void guardedHandlerLogsAndContinues() {
        TEditorHome home;
        TEditor editor;
        bool after = false;
        Guarded([] { throw std::logic_error("in a slot"); });
        after = true;
        QVERIFY(after);
        QCOMPARE(LogLines(home).size(), 1);
        QVERIFY(LogLines(home)[0].endsWith(" in a slot"));
    }

    void fileErrorIsShownWithFileAndReason() {
        TEditorHome home;
        TEditor editor;
        Guarded([] { throw EFileError("/data/hum.wil", "No space left on device"); });
        QCOMPARE(editor.Prompts.Messages.size(), size_t(1));
        const QString text = editor.Prompts.Messages[0];
        QVERIFY2(text.contains("/data/hum.wil") && text.contains("No space left on device"),
                 qPrintable(text));
        QVERIFY(!text.contains("/data/hum.wil: No space")); // the reason stands on its own
        QCOMPARE(LogLines(home).size(), 1);
        QVERIFY(LogLines(home)[0].endsWith("/data/hum.wil: No space left on device"));
    }

    void unwritableLogDoesNotThrow() {
        TEditorHome home;
        TEditor editor;
        SetLogFileName(home.Path() + "missing-folder/log.txt");
        Guarded([] { throw std::runtime_error("nowhere to write"); });
        SetLogFileName({});
        QVERIFY(LogLines(home).isEmpty());
    }
};

int main(int argc, char** argv) {
    TVelmoraApplication app(argc, argv);
    TExceptionLogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "exception_log_test.moc"
