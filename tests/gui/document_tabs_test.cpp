// Several libraries open at once, each in a tab with its own undo steps, selection, notes and
// job; closing a tab whose job runs asks first; 比较 of two tabs selects what differs in each.
#include "gui_support.h"

#include "app/dialogs/compare_dialog.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QTabBar>
#include <QTableView>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

QStringList TabTexts(const TfrmMain& main) {
    QStringList texts;
    for (int i = 0; i < main.TabBar()->count(); ++i)
        texts << main.TabBar()->tabText(i);
    return texts;
}

// A job that runs until it is cancelled.
void StartEndlessJob(TLibraryDocument& document) {
    document.StartJob(
        [](TGameImages&, TJobControl& control) {
            for (;;) {
                control.Report(0, 1);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        },
        {});
}

} // namespace

class TDocumentTabsTest : public QObject {
    Q_OBJECT
private slots:
    // Three libraries in three tabs, opened in turn: each tab keeps its selection, undo steps
    // and notes while the others are shown; opening an open library shows its tab; closing a
    // tab whose job runs asks, and the tab goes once the job has stopped.
    void eachTabKeepsItsOwnLibrary() {
        TEditorHome home;
        const std::string a = home.File("a.wil"), b = home.File("b.wzl"), c = home.File("c.pak");
        QVERIFY(MakeLibrary(t_Wil, a, Sprites(10)));
        QVERIFY(MakeLibrary(t_Wzl, b, Sprites(6)));
        QVERIFY(MakeLibrary(t_Quillrand, c, Sprites(4)));
        TEditor editor;
        TfrmMain& main = editor.Main();
        editor.Prompts.Inputs = {QString()}; // the Pak's password: the default one
        OpenInTabs(main, {a, b, c, b}, 3);
        QCOMPARE(TabTexts(main), QStringList({"a.wil", "b.wzl", "c.pak"}));
        QCOMPARE(editor.Doc()->FileName(), c);
        QCOMPARE(g_RecentFiles, std::vector<std::string>({c, b, a}));
        const std::vector<TLibraryDocument*> docs = main.Documents();
        TLibraryDocument& docA = *docs[0];
        TLibraryDocument& docB = *docs[1];

        main.OpenLibrary(a); // open already: its tab is shown, no second one
        QCOMPARE(editor.Doc(), &docA);
        QCOMPARE(main.TabBar()->count(), 3);
        main.DrawGrid()->SelectRange(2, 4);
        docA.PostNote("note of a");
        main.TabBar()->setCurrentIndex(1);
        QCOMPARE(editor.Doc(), &docB);
        QCOMPARE(main.DrawGrid()->ImageCount(), 6);
        QCOMPARE(main.DrawGrid()->SelectedRange(), (std::pair<int, int>(0, 0)));
        QCOMPARE(main.StatusText(1), QString::fromStdString(b));
        QCOMPARE(main.StatusText(5), QString());
        QVERIFY(docB.SetOffset(1, {5, 6}).Done);
        QCOMPARE(main.UndoAction()->text(), QString("撤销 坐标"));
        // A note of a tab that is not shown waits for it.
        docA.PostNote("later note of a");
        QCOMPARE(main.StatusText(5), QString());

        main.ShowDocument(docA);
        QCOMPARE(docA.SelectedRange(), (std::pair<int, int>(2, 4)));
        QCOMPARE(main.DrawGrid()->SelectedRange(), (std::pair<int, int>(2, 4)));
        QCOMPARE(main.StatusText(2), QString("5/10"));
        QCOMPARE(main.StatusText(5), QString("later note of a"));
        QVERIFY(!main.UndoAction()->isEnabled());
        QCOMPARE(UndoSteps(main), 0);
        main.ShowDocument(docB);
        Undo(main);
        QCOMPARE(Reopen(b)->GetPoint(1), (TPoint{1 - 24, 7}));
        QCOMPARE(Reopen(a)->ImageCount(), 10);

        // Closing the tab of a working library: 否 keeps it working, 是 stops the job and the
        // tab goes once it has stopped.
        main.ShowDocument(docA);
        StartEndlessJob(docA);
        editor.Prompts.Confirms = {false, true};
        main.CloseLibrary();
        QCOMPARE(editor.Prompts.Questions.size(), size_t(1));
        QVERIFY2(editor.Prompts.Questions[0].startsWith("a.wil 正在运行任务"),
                 qPrintable(editor.Prompts.Questions[0]));
        QVERIFY(docA.JobRunning());
        QCOMPARE(main.TabBar()->count(), 3);
        emit main.TabBar()->tabCloseRequested(0);
        WaitForJobs();
        QTRY_COMPARE(main.TabBar()->count(), 2);
        QCOMPARE(TabTexts(main), QStringList({"b.wzl", "c.pak"}));
        QVERIFY(!main.DocumentOf(a));
        QVERIFY(editor.Doc() != nullptr);
        // A tab without a job closes at once.
        main.CloseLibrary();
        main.CloseLibrary();
        QCOMPARE(main.TabBar()->count(), 0);
        QVERIFY(!editor.Doc());
        QCOMPARE(main.StatusText(1), QString());
        QVERIFY(editor.Prompts.Unexpected.empty());
    }

    // 比较 lists the images whose offset, pixels or presence differ and selects them in each tab;
    // a row makes its image current in both; equal libraries are said to be equal.
    void compareSelectsWhatDiffersInEachTab() {
        TEditorHome home;
        const std::string a = home.File("a.wil"), b = home.File("b.wil"), c = home.File("c.wil");
        std::vector<TSpriteSpec> changed = Sprites(10);
        changed[2].X += 3;
        changed[5].Solid = 0x00FF00;
        QVERIFY(MakeLibrary(t_Wil, a, Sprites(8)));
        QVERIFY(MakeLibrary(t_Wil, b, changed));
        QVERIFY(MakeLibrary(t_Wil, c, Sprites(8)));
        TEditor editor;
        TfrmMain& main = editor.Main();
        OpenInTabs(main, {a, b}, 2);
        TLibraryDocument& docA = *main.Documents()[0];
        TLibraryDocument& docB = *main.Documents()[1];
        main.ShowDocument(docA);
        main.Action("MenuCompare")->trigger();
        WaitForJobs();
        TfrmCompareDlg& dialog = *main.CompareDialog();
        QVERIFY(dialog.isVisible());
        const QAbstractItemModel& rows = *dialog.Table()->model();
        QCOMPARE(rows.rowCount(), 4);
        const auto cell = [&](int row, int column) {
            return rows.data(rows.index(row, column)).toString();
        };
        QCOMPARE(cell(0, 0), QString("00002"));
        QCOMPARE(cell(0, 1), QString("坐标"));
        QCOMPARE(cell(1, 1), QString("像素"));
        QCOMPARE(cell(2, 1), QString("只在 B 中"));
        QCOMPARE(cell(2, 2), QString("—"));
        QCOMPARE(docA.SelectedImages(), (std::vector<int>{2, 5}));
        QCOMPARE(docB.SelectedImages(), (std::vector<int>{2, 5, 8, 9}));
        QCOMPARE(main.StatusText(5), QString("比较：2 张图片与 b.wil 不同"));
        QVERIFY(main.DrawGrid()->IsShownSelected(5) && !main.DrawGrid()->IsShownSelected(3));

        dialog.ChooseRow(1);
        QCOMPARE(docA.Current(), 5);
        QCOMPARE(docB.Current(), 5);
        QCOMPARE(docB.SelectedImages().size(), size_t(4));
        QCOMPARE(main.StatusText(2), QString("6/8"));
        // A click in the grid ends the selection of single images.
        main.DrawGrid()->FocusCell(3, 0);
        QVERIFY(docA.SelectedImages().empty());
        QCOMPARE(docA.SelectedRange(), (std::pair<int, int>(3, 3)));

        // With more tabs open the user chooses the other library: equal ones are said so.
        OpenInTabs(main, {c}, 3);
        main.ShowDocument(docA);
        editor.Prompts.Inputs = {QString::fromStdString(c)};
        main.Action("MenuCompare")->trigger();
        WaitForJobs();
        QVERIFY(editor.Prompts.Messages.back().startsWith("两个文件相同"));
        QVERIFY(!dialog.isVisible());

        // Closing the tab of the library a comparison reads (on the other tab's worker) asks,
        // stops the comparison and then closes the tab.
        auto released = std::make_shared<std::atomic<bool>>(false);
        TWorker::SetReportHook([released](TWorker&, int, int) {
            while (!*released)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        editor.Prompts.Inputs = {QString::fromStdString(b)};
        main.Action("MenuCompare")->trigger();
        QVERIFY(docA.JobRunning() && docB.Busy());
        editor.Prompts.Confirms = {true};
        main.CloseTab(docB);
        *released = true;
        WaitForJobs();
        TWorker::SetReportHook({});
        QTRY_COMPARE(main.TabBar()->count(), 2);
        QVERIFY(!main.DocumentOf(b));
        QCOMPARE(main.StatusText(5), QString("已取消比较"));
        QVERIFY(editor.Prompts.Unexpected.empty());
    }
};

QTEST_MAIN(TDocumentTabsTest)
#include "document_tabs_test.moc"
