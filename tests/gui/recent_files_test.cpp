// The recent-file list: Config.ini, the open button's menu and the start timer.
#include "gui_support.h"

#include "app/recent_files.h"
#include "files/text_file.h"

#include <QListWidget>
#include <QMenu>

#include <filesystem>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

std::vector<std::string> MenuHints(const TfrmMain& main) {
    std::vector<std::string> hints;
    for (const QAction* a : main.PopupMenuDown()->actions())
        hints.push_back(a->toolTip().toStdString());
    return hints;
}

std::vector<std::string> ConfigLines(const TEditorHome& home) {
    std::vector<std::string> lines;
    ReadTextFile(home.File("Config.ini"), lines);
    return lines;
}

void WriteConfig(const TEditorHome& home, const std::vector<std::string>& lines) {
    WriteTextFile(home.File("Config.ini"), lines, TTextEncoding::teUTF8);
}

} // namespace

class TRecentFilesTest : public QObject {
    Q_OBJECT
private slots:
    void openingMovesOrInsertsAtTheHead() {
        TEditorHome home;
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.AddRecentFile("/d/a.wil");
        main.AddRecentFile("/d/b.wil");
        main.AddRecentFile("/D/A.WIL"); // the same file by name: moves, in its new case
        const std::vector<std::string> expected = {"/D/A.WIL", "/d/b.wil"};
        QCOMPARE(g_RecentFiles, expected);
        QCOMPARE(ConfigLines(home), expected);
        QCOMPARE(MenuHints(main), expected);
        QCOMPARE(main.PopupMenuDown()->actions().front()->text(), QString("/D/A.WIL"));
        QVERIFY(ReadText(home.File("Config.ini")).find("\r\n") != std::string::npos);
    }

    void theTwentyFirstDropsTheOldest() {
        TEditorHome home;
        TEditor editor;
        for (int i = 0; i < 21; ++i)
            editor.Main().AddRecentFile("/lib/" + std::to_string(i) + ".wzl");
        QCOMPARE(g_RecentFiles.size(), size_t(20));
        QCOMPARE(g_RecentFiles.front(), std::string("/lib/20.wzl"));
        QCOMPARE(g_RecentFiles.back(), std::string("/lib/1.wzl"));
        QCOMPARE(ConfigLines(home), g_RecentFiles);
        QCOMPARE(MenuHints(editor.Main()), g_RecentFiles);
    }

    void missingFilesVanishAtStartAndTheFileKeepsItsLines() {
        TEditorHome home;
        std::vector<std::string> lines;
        for (int i = 0; i < 25; ++i) {
            lines.push_back(home.File(std::to_string(i) + ".wil"));
            if (i != 3)
                WriteText(lines.back(), "x");
        }
        WriteConfig(home, lines);
        TEditor editor;
        QCOMPARE(g_RecentFiles.size(), size_t(20));
        QCOMPARE(g_RecentFiles[3], home.File("4.wil"));
        QCOMPARE(MenuHints(editor.Main()), g_RecentFiles);
        QCOMPARE(ConfigLines(home).size(), size_t(25)); // written again only by the next open
    }

    void encodingOfConfigIsKept() {
        TEditorHome home;
        WriteText(home.File("x.wil"), "x");
        WriteTextFile(home.File("Config.ini"), {home.File("x.wil")}, TTextEncoding::teUTF16LE);
        TEditor editor;
        QCOMPARE(g_RecentFiles.size(), size_t(1));
        editor.Main().AddRecentFile(home.File("文件.wil"));
        TTextEncoding encoding = TTextEncoding::teUTF8;
        std::vector<std::string> lines;
        QVERIFY(ReadTextFile(home.File("Config.ini"), lines, &encoding));
        QCOMPARE(int(encoding), int(TTextEncoding::teUTF16LE));
        QCOMPARE(lines.front(), home.File("文件.wil"));
    }

    void menuItemOpensItsPath() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wzl, home.File("m.wzl"), Sprites(2)));
        WriteConfig(home, {home.File("m.wzl")});
        TEditor editor;
        editor.Main().PopupMenuDown()->actions().front()->trigger();
        WaitForJobs();
        QVERIFY(editor.Doc());
        QCOMPARE(editor.Library()->FileName(), home.File("m.wzl"));
        // An entry whose file is gone says so and leaves the list.
        std::filesystem::remove(home.File("m.wzl"));
        std::filesystem::remove(home.File("m.wzx"));
        editor.Main().CloseLibrary();
        editor.Main().PopupMenuDown()->actions().front()->trigger();
        QVERIFY(editor.Prompts.Messages.back().startsWith("文件不存在"));
        QVERIFY(editor.Main().PopupMenuDown()->actions().isEmpty());
        QVERIFY(g_RecentFiles.empty());
    }

    void startTimerRestoresFolderAndLine() {
        TEditorHome home;
        const std::string dir = home.Folder("last");
        QVERIFY(MakeLibrary(t_Wil, dir + "one.wil", Sprites(2)));
        QVERIFY(MakeLibrary(t_Wil, dir + "two.wil", Sprites(2)));
        WriteConfig(home, {dir + "two.wil", dir + "one.wil"});
        TEditor editor;
        QTRY_COMPARE(g_CurrentDir, dir); // the one-shot timer, 100 ms after creation
        QCOMPARE(editor.Main().ListBoxFileName()->currentItem()->text(), QString("two.wil"));
        QVERIFY(!editor.Doc()); // shown, not opened
    }

    void startTimerWithDeletedFileOrFolder() {
        TEditorHome home;
        const std::string dir = home.Folder("kept");
        QVERIFY(MakeLibrary(t_Wil, dir + "gone.wil", Sprites(2)));
        QVERIFY(MakeLibrary(t_Wil, dir + "other.wil", Sprites(2)));
        WriteConfig(home, {dir + "gone.wil"});
        {
            TEditor editor;
            std::filesystem::remove(dir + "gone.wil");
            editor.Main().TimerStartTimer();
            QCOMPARE(g_CurrentDir, dir);
            QCOMPARE(editor.Main().ListBoxFileName()->count(), 1);
            QVERIFY(!editor.Main().ListBoxFileName()->currentItem());
        }
        g_CurrentDir.clear();
        g_RecentFiles = {home.Path() + "nowhere/x.wil"};
        TEditor editor;
        g_RecentFiles = {home.Path() + "nowhere/x.wil"};
        editor.Main().TimerStartTimer();
        QCOMPARE(g_CurrentDir, std::string());
    }

    void putRecentFirstRules() {
        std::vector<std::string> list = {"a", "B", "c"};
        QVERIFY(PutRecentFirst(list, "b"));
        QCOMPARE(list, std::vector<std::string>({"b", "a", "c"}));
        QVERIFY(!PutRecentFirst(list, "d"));
        QCOMPARE(list.front(), std::string("d"));
    }
};

QTEST_MAIN(TRecentFilesTest)
#include "recent_files_test.moc"
