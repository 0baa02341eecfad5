// The main window: start-up, toolbar, browsing, opening every kind, grid rows and status texts.
#include "gui_support.h"

#include "app/thumbnail_grid.h"
#include "core/utils.h"

#include <QDialog>
#include <QListWidget>
#include <QProgressBar>
#include <QSet>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <filesystem>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

QStringList ListLines(const QListWidget* list) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

void Touch(const std::string& path) {
    WriteText(path, "x");
}

} // namespace

class TMainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void toolbarOpensDialogsAndHomePage() {
        TEditorHome home;
        TEditor editor;
        for (int i = 0; i < 2; ++i)
            editor.Prompts.Dialogs.push_back([](QDialog&) { return 0; });
        editor.Main().ToolButton("ToolButtonConvertData")->click();
        editor.Main().ToolButton("ToolButtonPassWord")->click();
        // Commands that need an open library cannot be started without one.
        for (const char* name :
             {"ToolButtonChangePassWord", "ToolButtonAdd", "ToolButtonSaveBMP", "ToolButtonAddMany",
              "ToolButtonSaveManyBMP", "ToolButtonXY", "ToolButtonDel", "ToolButtonCloseFile"})
            QVERIFY2(!editor.Main().ToolButton(name)->isEnabled(), name);
        QCOMPARE(editor.Prompts.DialogsShown,
                 std::vector<QString>({"TfrmConvertDlg", "TFrmPassword"}));
        editor.Main().ToolButton("ToolButtonHomePage")->click();
        QCOMPARE(editor.Prompts.Urls, std::vector<QUrl>({QUrl("https://www.velmora.example/")}));
        QVERIFY(editor.Prompts.Unexpected.empty());
    }

    void fileListShowsLibraryFilesOnly() {
        TEditorHome home;
        const std::string dir = home.Folder("libs");
        for (const char* name : {"a.WIL", "b.wzl", "c.Pak", "d.Data", "e.wix", "f.bmp", ".h.wis"})
            Touch(dir + name);
        std::filesystem::create_directory(dir + "g.wil");
        TEditor editor;
        editor.Main().FolderSelected(QString::fromStdString(dir));
        // Sorted by name, as a file manager shows them.
        QCOMPARE(ListLines(editor.Main().ListBoxFileName()),
                 QStringList({".h.wis", "a.WIL", "b.wzl", "c.Pak"}));
        QCOMPARE(g_CurrentDir, dir);
        // A file that comes (or goes) while the folder is shown is listed at once.
        editor.Main().ListBoxFileName()->setCurrentRow(2);
        Touch(dir + "AB.wil");
        QTRY_COMPARE(ListLines(editor.Main().ListBoxFileName()),
                     QStringList({".h.wis", "a.WIL", "AB.wil", "b.wzl", "c.Pak"}));
        QCOMPARE(editor.Main().ListBoxFileName()->currentItem()->text(), QString("b.wzl"));

        editor.Main().FolderSelected(QString::fromStdString(home.Folder("empty")));
        QCOMPARE(editor.Main().ListBoxFileName()->count(), 0);
    }

    void ctrlFFindsByNameWithoutExtension() {
        TEditorHome home;
        const std::string dir = home.Folder("find");
        QVERIFY(MakeLibrary(t_Wil, dir + "00012.Wil", Sprites(3)));
        QVERIFY(MakeLibrary(t_Wil, dir + "ABC.wil", Sprites(2)));
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.FolderSelected(QString::fromStdString(dir));

        editor.Prompts.Inputs = {QString("abc")};
        QTest::keyClick(main.ListBoxFileName(), Qt::Key_F, Qt::ControlModifier);
        WaitForJobs();
        QVERIFY(!editor.Doc()); // names are compared with their case
        QCOMPARE(editor.Prompts.InputRequests.back().Caption, QString("文件查找"));
        QCOMPARE(editor.Prompts.InputRequests.back().Prompt, QString("输入文件名称:"));

        editor.Prompts.Inputs = {QString("00012.png")};
        QTest::keyClick(main.DrawGrid(), Qt::Key_F, Qt::ControlModifier);
        WaitForJobs();
        QVERIFY(editor.Doc());
        QCOMPARE(editor.Doc()->FileName(), dir + "00012.Wil");
        QCOMPARE(main.ListBoxFileName()->currentItem()->text(), QString("00012.Wil"));

        editor.Prompts.Inputs = {std::nullopt, QString()};
        QTest::keyClick(main.FolderTree(), Qt::Key_F, Qt::ControlModifier);
        QTest::keyClick(main.ListBoxFileName(), Qt::Key_F, Qt::ControlModifier);
        WaitForJobs();
        QCOMPARE(editor.Doc()->FileName(), dir + "00012.Wil");
        QCOMPARE(editor.Prompts.InputRequests.size(), size_t(4));
    }

    void libraryKindFromExtensionAndMagic() {
        TEditorHome home;
        const auto kindOf = [&](const char* name, const std::string& bytes) {
            WriteText(home.File(name), bytes);
            return LibraryKindOf(home.File(name));
        };
        QCOMPARE(kindOf("a.Pak", "K7PV4abcdefgh"), t_Quillrand);
        QCOMPARE(kindOf("b.PAK", "k7pv4"), t_Quillrand);
        QCOMPARE(kindOf("c.pak", "\x09quillrand...."), t_Quillrand);
        QCOMPARE(kindOf("d.Pak", "\x0aQUILLRAND2.."), t_Quillrand);
        QCOMPARE(kindOf("e.Pak", "Quillrand...."), t_Quillrand);
        QCOMPARE(kindOf("f.Pak", "\x08QUILLRAND..."), t_Wil);
        QCOMPARE(kindOf("g.Pak", "K7PV"), t_Wil);
        QCOMPARE(kindOf("h.Pak", "WEMADE Entertainment"), t_Wil);
        // Pak libraries are also kept as .Data: the magic decides there too.
        QCOMPARE(kindOf("i.Data", "K7PV4abcdefgh"), t_Quillrand);
        QCOMPARE(kindOf("l.Data", "WEMADE Entertainment"), t_Wil);
        QCOMPARE(kindOf("j.wis", ""), t_Wis);
        QCOMPARE(kindOf("k.WZL", ""), t_Wzl);
    }

    void opensEveryKind_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("bits");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pane4");
        QTest::addColumn<bool>("editable");
        QTest::newRow("wil8") << int(t_Wil) << 8 << "a.wil"
                              << "Wil 8位色" << true;
        QTest::newRow("wil16") << int(t_Wil) << 16 << "b.Wil"
                               << "Wil 16位真彩" << true;
        QTest::newRow("wil32") << int(t_Wil) << 32 << "c.WIL"
                               << "Wil 32位真彩" << true;
        QTest::newRow("wis") << int(t_Wis) << 8 << "d.wis"
                             << "Wis 8位色" << false;
        QTest::newRow("wzl") << int(t_Wzl) << 16 << "e.wzl"
                             << "Wzl" << true;
        QTest::newRow("pak") << int(t_Quillrand) << 16 << "f.Pak"
                             << "Pak " << true;
        QTest::newRow("data") << int(t_Wil) << 16 << "g.Data"
                              << "Wil 16位真彩" << true;
    }

    void opensEveryKind() {
        QFETCH(int, kind);
        QFETCH(int, bits);
        QFETCH(QString, name);
        QFETCH(QString, pane4);
        QFETCH(bool, editable);
        TEditorHome home;
        const std::string path = home.File(name.toStdString());
        QVERIFY(MakeLibrary(TImageType(kind), path, Sprites(23), bits));
        TEditor editor;
        TfrmMain& main = editor.Main();
        editor.Prompts.Inputs = {QString()}; // a Pak library not in the list: the default password
        Open(main, path);
        if (kind != t_Quillrand)
            editor.Prompts.Inputs.clear();
        QVERIFY(editor.Doc());
        QCOMPARE(int(editor.Doc()->Kind()), kind);
        QCOMPARE(editor.Doc()->ImageCount(), 23);
        QCOMPARE(main.StatusText(1), QString::fromStdString(path));
        // The first image is selected and shown at once.
        QCOMPARE(main.StatusText(2), QString("1/23"));
        QVERIFY(main.StatusText(3).startsWith("序号:00000 宽:16 高:12"));
        QVERIFY(!main.PreviewArea()->Picture()->Image().isNull());
        QVERIFY(main.StatusText(4).startsWith(pane4.trimmed()));
        QCOMPARE(main.DrawGrid()->RowCount(), 3);
        QCOMPARE(main.ToolButton("ToolButtonAdd")->isEnabled(), editable);
        QCOMPARE(main.ToolButton("ToolButtonAddMany")->isEnabled(), editable);
        QCOMPARE(main.ToolButton("ToolButtonDel")->isEnabled(), editable);
        QVERIFY(main.ProgressBar()->isHidden());
        QVERIFY(main.ListBoxFileName()->isEnabled());
        QVERIFY(main.ToolButton("ToolButtonOpenFile")->isEnabled());
        QVERIFY(!editor.Doc()->Busy());
        QCOMPARE(g_RecentFiles.front(), path);
        QVERIFY(editor.Prompts.Unexpected.empty());
    }

    void openDialogUsesTheLibraryFilter() {
        TEditorHome home;
        const std::string path = home.File("x.wzl");
        QVERIFY(MakeLibrary(t_Wzl, path, Sprites(2)));
        TEditor editor;
        editor.Prompts.Files = {QString::fromStdString(path)};
        editor.Main().ToolButton("ToolButtonOpenFile")->click();
        WaitForJobs();
        QVERIFY(editor.Doc());
        QCOMPARE(editor.Prompts.FileRequests.size(), size_t(1));
        QVERIFY(
            QtFileFilter("游戏资源(*.Wil,*.Wis,*.Wzl,*.Pak,*.Data)|*.Wil;*.Wis;*.Wzl;*.Pak;*.Data")
                .endsWith("(*.[Ww][Ii][Ll] *.[Ww][Ii][Ss] *.[Ww][Zz][Ll] *.[Pp][Aa][Kk] "
                          "*.[Dd][Aa][Tt][Aa])"));
    }

    void wisDisablesEditButtonsUntilClosedOrReplaced() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wis, home.File("a.wis"), Sprites(3)));
        QVERIFY(MakeLibrary(t_Wil, home.File("b.wil"), Sprites(3)));
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, home.File("a.wis"));
        QVERIFY(!main.ToolButton("ToolButtonDel")->isEnabled());
        main.ToolButton("ToolButtonCloseFile")->click();
        QVERIFY(!editor.Doc());
        QVERIFY(!main.ToolButton("ToolButtonDel")->isEnabled()); // nothing open to edit
        Open(main, home.File("a.wis"));
        Open(main, home.File("b.wil"));
        QVERIFY(main.ToolButton("ToolButtonAddMany")->isEnabled());
        QCOMPARE(main.StatusText(4), QString("Wil 16位真彩"));
    }

    void gridRowsFollowImageCount() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wzl, home.File("20.wzl"), Sprites(20)));
        QVERIFY(MakeLibrary(t_Wzl, home.File("19.wzl"), Sprites(19)));
        QVERIFY(MakeLibrary(t_Wzl, home.File("0.wzl"), {}));
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, home.File("20.wzl"));
        QCOMPARE(main.DrawGrid()->RowCount(), 3);
        Open(main, home.File("19.wzl"));
        QCOMPARE(main.DrawGrid()->RowCount(), 2);
        Open(main, home.File("0.wzl"));
        QCOMPARE(main.DrawGrid()->RowCount(), 1);
        // Each library has its tab: closing one shows the one before it.
        main.CloseLibrary();
        QCOMPARE(main.DrawGrid()->RowCount(), 2);
        main.CloseLibrary();
        main.CloseLibrary();
        QCOMPARE(main.DrawGrid()->RowCount(), 1);
    }

    void selectingAnImageWritesSelectionAndStatus() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Quillrand, home.File("s.Pak"), Sprites(250, 40, 30)));
        QVERIFY(MakeLibrary(t_Wzl, home.File("s.wzl"), Sprites(30, 40, 30), 16, "", 0));
        WriteText(home.File("Pak.txt"), "s.Pak|quillrand\r\n");
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, home.File("s.Pak"));
        QVERIFY(editor.Doc());
        main.DrawGrid()->FocusCell(2, 1);
        QCOMPARE(editor.Doc()->Current(), 12);
        QCOMPARE(main.StatusText(2), QString("13/250"));
        QCOMPARE(main.StatusText(3), QString("序号:00012 宽:40 高:30 偏移坐标:-12,7"));
        QVERIFY2(main.StatusText(4).startsWith("Pak(") &&
                     main.StatusText(4).endsWith(") 16位色 压缩:是"),
                 qPrintable(main.StatusText(4)));
        QCOMPARE(main.PreviewArea()->Picture()->size(), QSize(40, 30));
        QCOMPARE(main.PreviewArea()->Anchor(), std::optional<QPoint>(QPoint(-12, 7)));

        // A cell past the last image takes no selection: everything stays on image 12.
        main.DrawGrid()->FocusCell(9, 25);
        QCOMPARE(editor.Doc()->Current(), 12);
        QCOMPARE(main.DrawGrid()->FocusIndex(), 12);
        QCOMPARE(main.StatusText(2), QString("13/250"));

        // 转到图片 takes a number of an existing image: 300 in a library of 250 is its last.
        editor.Prompts.Inputs = {QString("300")};
        main.GoToImage();
        QCOMPARE(editor.Prompts.InputRequests.back().Prompt, QString("图片编号 (0 - 249):"));
        QCOMPARE(editor.Prompts.InputRequests.back().Initial, QString("12"));
        QCOMPARE(editor.Doc()->Current(), 249);
        QCOMPARE(main.StatusText(2), QString("250/250"));

        Open(main, home.File("s.wzl"));
        QCOMPARE(editor.Doc()->Current(), 0); // a new library starts on its first image
        main.DrawGrid()->FocusCell(5, 0);
        QCOMPARE(main.StatusText(4), QString("Wzl 16位色 压缩:否"));
        QCOMPARE(main.StatusText(3), QString("序号:00005 宽:40 高:30 偏移坐标:-19,7"));
    }

    void exportButtonNamesThePictureAfterTheIndex() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wzl, home.File("e.wzl"), Sprites(8)));
        const std::string out = home.Folder("out");
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, home.File("e.wzl"));
        main.DrawGrid()->FocusCell(5, 0);
        editor.Prompts.Files = {QString::fromStdString(out + "typed name.bmp")};
        main.ToolButton("ToolButtonSaveBMP")->click();
        QVERIFY(FileExists(out + "00005.PNG"));
        QCOMPARE(editor.Prompts.Messages, std::vector<QString>({"图片导出成功 ！！！"}));
        // With the offset beside it, as the batch export writes it.
        QCOMPARE(ReadText(out + "Placements/00005.txt"), std::string("-19\r\n7\r\n"));
        QVERIFY(!editor.Doc()->Busy());
        editor.Doc()->Select(-1); // nothing selected: nothing is asked
        main.ToolButton("ToolButtonSaveBMP")->click();
        QCOMPARE(editor.Prompts.FileRequests.size(), size_t(1));
    }

    void closeFileAndCloseQueryWaitWhileBusy() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wil, home.File("a.wil"), Sprites(4)));
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.show();
        Open(main, home.File("a.wil"));
        main.DrawGrid()->SelectRange(1, 2);
        {
            TLibraryDocument::TBusyGuard busy(*editor.Doc());
            main.ToolButton("ToolButtonCloseFile")->click();
            QVERIFY(editor.Doc()); // never freed under a running job
            QVERIFY(!main.close());
            QVERIFY(main.isVisible());
        }
        main.ToolButton("ToolButtonCloseFile")->click();
        QVERIFY(!editor.Doc());
        // Nothing of the library stays: panes, preview, cross-hair, highlighted cells.
        for (int pane = 1; pane <= 5; ++pane)
            QCOMPARE(main.StatusText(pane), QString());
        QVERIFY(main.PreviewArea()->Picture()->Image().isNull());
        QVERIFY(!main.PreviewArea()->Anchor());
        QCOMPARE(main.DrawGrid()->SelectedRange(), (std::pair<int, int>(-1, -1)));
        QCOMPARE(main.DrawGrid()->RowCount(), 1);
        QVERIFY(main.close());
    }

    void missingFileDoesNothingAndKeepsTheOpenLibrary() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wil, home.File("a.wil"), Sprites(4)));
        TEditor editor;
        Open(editor.Main(), home.File("a.wil"));
        Open(editor.Main(), home.File("gone.wil"));
        QVERIFY(editor.Doc());
        QCOMPARE(g_RecentFiles.size(), size_t(1));
        QVERIFY(editor.Prompts.Messages.back().startsWith("文件不存在"));
    }

    void damagedLibraryLeavesTheWindowUsable() {
        TEditorHome home;
        WriteText(home.File("bad.wzl"), std::string(64, '\xff'));
        WriteText(home.File("bad.wzx"), std::string(48, '\x7f'));
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, home.File("bad.wzl"));
        QVERIFY(!main.Opening());
        QVERIFY(main.ProgressBar()->isHidden());
        QVERIFY(main.ListBoxFileName()->isEnabled());
        QVERIFY(main.ToolButton("ToolButtonOpenFile")->isEnabled());
        QVERIFY(editor.Prompts.Messages.empty());
        QCOMPARE(g_RecentFiles.front(), home.File("bad.wzl"));
        // Its index names more images than it holds: said once, with the repair offered.
        QCOMPARE(editor.Prompts.Questions.size(), size_t(1));
        QVERIFY(editor.Prompts.Questions[0].contains(QStringLiteral("索引文件丢失或损坏")));
        QVERIFY(main.StatusText(1).contains(QStringLiteral("索引")));
    }

    void aLibraryWithoutItsIndexIsRepairedWhenTheUserAgrees() {
        TEditorHome home;
        const std::string wil = home.File("lost.wil");
        QVERIFY(MakeLibrary(t_Wil, wil, Sprites(4)));
        std::filesystem::remove(home.File("lost.WIX"));
        TEditor editor;
        editor.Prompts.Confirms = {false};
        TfrmMain& main = editor.Main();
        Open(main, wil);
        // Declined: nothing is shown and nothing can be changed, but 修复索引 stays in reach.
        QCOMPARE(editor.Library()->ImageCount(), 0);
        QCOMPARE(editor.Library()->EditRefusal(), TEditRefusal::erIndexMissing);
        QVERIFY(main.Action("MenuRepairIndex")->isEnabled());
        main.Action("MenuRepairIndex")->trigger();
        WaitForJobs();
        QCOMPARE(editor.Library()->ImageCount(), 4);
        QCOMPARE(editor.Prompts.Messages.size(), size_t(1));
        QVERIFY(editor.Prompts.Messages[0].contains(QStringLiteral("找到 4 张图片")));
        QCOMPARE(main.StatusText(2), QString("0/4"));
        QCOMPARE(main.StatusText(1), QString::fromStdString(wil));
        QVERIFY(editor.Prompts.Unexpected.empty());

        // A rebuilt index makes the records anew: the steps before it are dropped.
        main.DrawGrid()->FocusCell(1, 0);
        main.MoveSelectedOffset({5, 6});
        QVERIFY(editor.Doc()->CanUndo());
        std::ofstream(home.File("lost.WIX"), std::ios::app) << "junk";
        main.RepairIndex();
        WaitForJobs();
        QVERIFY(!editor.Doc()->CanUndo());
        QCOMPARE(editor.Library()->ImageCount(), 4);
    }

    void windowStaysResponsiveWhileReading() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wzl, home.File("big.wzl"), Sprites(3000, 8, 8)));
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.show();
        bool ranDuringRead = false;
        int maximumSeen = -1;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (main.Opening() && !main.ListBoxFileName()->isEnabled() &&
                !main.ProgressBar()->isHidden()) {
                ranDuringRead = true;
                maximumSeen = std::max(maximumSeen, main.ProgressBar()->maximum());
            }
        });
        probe.start(0);
        main.OpenLibrary(home.File("big.wzl"));
        // The library is read on a worker: the window is back at once, the old state shown.
        QVERIFY(main.Opening());
        QVERIFY(!editor.Doc());
        WaitForJobs();
        probe.stop();
        QVERIFY(ranDuringRead);
        QVERIFY(maximumSeen == 3000 || maximumSeen == 0);
        QVERIFY(main.ProgressBar()->isHidden());
        QCOMPARE(editor.Library()->ImageCount(), 3000);
    }
};

QTEST_MAIN(TMainWindowTest)
#include "main_window_test.moc"
