// Opening a Pak library: the password from the list, the prompt, its retries and its cancel.
#include "gui_support.h"

#include <QProgressBar>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

// A Pak library "c.Pak" of three images keyed by password, and the password list naming it.
struct TPakFixture {
    TEditorHome Home;
    std::string Path;

    TPakFixture(const std::string& password, const std::string& listed) {
        Path = Home.File("c.Pak");
        MakeLibrary(t_Quillrand, Path, Sprites(3), 16, password);
        if (!listed.empty())
            WriteText(Home.File("Pak.txt"), "D:\\game\\data\\C.PAK|" + listed + "\r\n");
    }
};

} // namespace

class TPakPasswordTest : public QObject {
    Q_OBJECT
private slots:
    void listedPasswordOpensWithoutAsking() {
        TPakFixture pak("secret", "secret");
        TEditor editor;
        editor.Main().OpenLibrary(pak.Path);
        QVERIFY(g_Images && g_Images->Initialized());
        QCOMPARE(g_Images->ImageCount(), 3);
        QVERIFY(editor.Prompts.InputRequests.empty());
    }

    void wrongListedPasswordAsksAtOnceShowingIt() {
        TPakFixture pak("secret", "wrong");
        TEditor editor;
        editor.Prompts.Inputs = {QString("also wrong"), QString("secret")};
        editor.Main().OpenLibrary(pak.Path);
        QVERIFY(g_Images && g_Images->Initialized());
        QCOMPARE(editor.Prompts.InputRequests.size(), size_t(2));
        QCOMPARE(editor.Prompts.InputRequests[0].Caption, QString("输入密码"));
        QCOMPARE(editor.Prompts.InputRequests[0].Prompt, QString("输入密码:"));
        QCOMPARE(editor.Prompts.InputRequests[0].Initial, QString("wrong"));
        QCOMPARE(editor.Prompts.InputRequests[1].Initial, QString("also wrong"));
        QVERIFY(editor.Prompts.Messages.empty());
    }

    void unlistedEmptyAnswerTriesTheDefault() {
        TPakFixture pak(kDefaultPakPassword, "");
        TEditor editor;
        editor.Prompts.Inputs = {QString()};
        editor.Main().OpenLibrary(pak.Path);
        QVERIFY(g_Images && g_Images->Initialized());
        QCOMPARE(editor.Prompts.InputRequests.size(), size_t(1));
        QCOMPARE(editor.Prompts.InputRequests[0].Initial, QString());
    }

    void emptyRetryIsTriedAsItIs() {
        // The first empty answer falls back to the default; an empty answer to a retry does not.
        TPakFixture pak("secret", "");
        TEditor editor;
        editor.Prompts.Inputs = {QString(), QString(), QString("secret")};
        editor.Main().OpenLibrary(pak.Path);
        QVERIFY(g_Images && g_Images->Initialized());
        QCOMPARE(editor.Prompts.InputRequests.size(), size_t(3));
        QCOMPARE(editor.Prompts.InputRequests[1].Initial, QString(kDefaultPakPassword));
        QCOMPARE(editor.Prompts.InputRequests[2].Initial, QString());
    }

    void cancelLeavesNoLibraryAndNoMessage_data() {
        QTest::addColumn<int>("answersBeforeCancel");
        QTest::newRow("first prompt") << 0;
        QTest::newRow("a retry") << 2;
    }

    void cancelLeavesNoLibraryAndNoMessage() {
        QFETCH(int, answersBeforeCancel);
        TPakFixture pak("secret", "");
        const std::string other = pak.Home.File("open.wil");
        QVERIFY(MakeLibrary(t_Wil, other, Sprites(2)));
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.OpenLibrary(other);
        for (int i = 0; i < answersBeforeCancel; ++i)
            editor.Prompts.Inputs.push_back(QString("nope%1").arg(i));
        editor.Prompts.Inputs.push_back(std::nullopt);
        main.OpenLibrary(pak.Path);
        QVERIFY(!g_Images); // the library open before is closed all the same
        QVERIFY(!g_Busy);
        QVERIFY(main.ProgressBar()->isHidden());
        QCOMPARE(main.StatusText(1), QString());
        QCOMPARE(main.DrawGrid()->RowCount(), 1);
        QVERIFY(editor.Prompts.Messages.empty());
        QCOMPARE(g_RecentFiles.front(), pak.Path);
    }
};

QTEST_MAIN(TPakPasswordTest)
#include "pak_password_test.moc"
