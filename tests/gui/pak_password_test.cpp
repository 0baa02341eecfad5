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
        Open(editor.Main(), pak.Path);
        QVERIFY(editor.Doc() && editor.Library()->Initialized());
        QCOMPARE(editor.Library()->ImageCount(), 3);
        QVERIFY(editor.Prompts.InputRequests.empty());
    }

    void wrongListedPasswordAsksAtOnceShowingIt() {
        TPakFixture pak("secret", "wrong");
        TEditor editor;
        editor.Prompts.Inputs = {QString("also wrong"), QString("secret")};
        Open(editor.Main(), pak.Path);
        QVERIFY(editor.Doc() && editor.Library()->Initialized());
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
        Open(editor.Main(), pak.Path);
        QVERIFY(editor.Doc() && editor.Library()->Initialized());
        QCOMPARE(editor.Prompts.InputRequests.size(), size_t(1));
        QCOMPARE(editor.Prompts.InputRequests[0].Initial, QString());
    }

    void retriesSayWrongAndKeepTheEmptyAnswerRule() {
        // Every round: an empty answer tries the default password, and a retry says why.
        TPakFixture pak(kDefaultPakPassword, "");
        TEditor editor;
        editor.Prompts.Inputs = {QString("wrong"), QString()};
        Open(editor.Main(), pak.Path);
        QVERIFY(editor.Doc() && editor.Library()->Initialized());
        QCOMPARE(editor.Prompts.InputRequests.size(), size_t(2));
        QVERIFY(editor.Prompts.InputRequests[0].Password);
        QCOMPARE(editor.Prompts.InputRequests[0].Note, QString());
        QCOMPARE(editor.Prompts.InputRequests[1].Note, QString("密码错误"));
        QCOMPARE(editor.Prompts.InputRequests[1].Initial, QString("wrong"));
    }

    void cancelKeepsTheOpenLibraryAndSaysNothing_data() {
        QTest::addColumn<int>("answersBeforeCancel");
        QTest::newRow("first prompt") << 0;
        QTest::newRow("a retry") << 2;
    }

    void cancelKeepsTheOpenLibraryAndSaysNothing() {
        QFETCH(int, answersBeforeCancel);
        TPakFixture pak("secret", "");
        const std::string other = pak.Home.File("open.wil");
        QVERIFY(MakeLibrary(t_Wil, other, Sprites(2)));
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, other);
        for (int i = 0; i < answersBeforeCancel; ++i)
            editor.Prompts.Inputs.push_back(QString("nope%1").arg(i));
        editor.Prompts.Inputs.push_back(std::nullopt);
        Open(main, pak.Path);
        QVERIFY(editor.Doc() && editor.Doc()->FileName() == other); // the library open before stays
        QVERIFY(!editor.Doc() || !editor.Doc()->Busy());
        QVERIFY(main.ProgressBar()->isHidden());
        QCOMPARE(main.StatusText(1), QString::fromStdString(other));
        QVERIFY(editor.Prompts.Messages.empty());
        QCOMPARE(g_RecentFiles.front(), other);
    }
};

QTEST_MAIN(TPakPasswordTest)
#include "pak_password_test.moc"
