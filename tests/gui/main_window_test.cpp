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
    void captionEndsIn64Bit() {
        TEditorHome home;
        TEditor editor;
        QVERIFY(editor.Main().windowTitle().endsWith(QStringLiteral("  64位")));
        QVERIFY(editor.Main().windowTitle().startsWith(QStringLiteral("[")));
    }

    void windowsAreCreatedOnceInOrder() {
        TEditorHome home;
        TEditor editor;
        QStringList names;
        for (QDialog* d :
             editor.Main().findChildren<QDialog*>(QString(), Qt::FindDirectChildrenOnly))
            names << d->objectName();
        QCOMPARE(names, QStringList({"TfrmConvertDlg", "TFrmCreateData", "TfrmDelDlg",
                                     "TfrmInPutDlg", "TfrmInPutManyDlg", "TfrmOutPutDlg",
                                     "TfrmXYDlg", "TFrmPassword", "TFrmChangePassword"}));
        QVERIFY(!CreateForms()); // a second set of windows is refused
    }

    void toolbarHasEveryButtonWithCaptionHintAndIcon() {
        TEditorHome home;
        TEditor editor;
        const QList<QPair<QString, QString>> buttons = {{"ToolButtonOpenFile", "打开"},
                                                        {"ToolButtonCreateFile", "新建"},
                                                        {"ToolButtonPassWord", "密码管理"},
                                                        {"ToolButtonChangePassWord", "密码更改"},
                                                        {"ToolButtonAdd", "导入"},
                                                        {"ToolButtonSaveBMP", "导出"},
                                                        {"ToolButtonAddMany", "批量导入"},
                                                        {"ToolButtonSaveManyBMP", "批量导出"},
                                                        {"ToolButtonXY", "坐标"},
                                                        {"ToolButtonDel", "删除"},
                                                        {"ToolButtonConvertData", "数据转换"},
                                                        {"ToolButtonCloseFile", "关闭文件"},
                                                        {"ToolButtonHomePage", "官方网站"},
                                                        {"ToolButtonClose", "退出"}};
        int lastX = -1;
        editor.Main().show();
        for (const auto& [name, caption] : buttons) {
            QToolButton* b = editor.Main().ToolButton(name.toLatin1().constData());
            QVERIFY2(b, qPrintable(name));
            QCOMPARE(b->text(), caption);
            QCOMPARE(b->toolTip(), name == "ToolButtonCloseFile" ? QString() : caption);
            QVERIFY2(!b->icon().isNull() && !b->icon().pixmap(24).isNull(), qPrintable(name));
            QVERIFY2(b->x() > lastX, qPrintable(name)); // left to right in table order
            lastX = b->x();
        }
        QVERIFY(editor.Main().ToolButton("ToolButtonOpenFile")->menu() ==
                editor.Main().PopupMenuDown());
    }

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
        const QStringList lines = ListLines(editor.Main().ListBoxFileName());
        QCOMPARE(QSet<QString>(lines.begin(), lines.end()),
                 QSet<QString>({"a.WIL", "b.wzl", "c.Pak", ".h.wis"}));
        QCOMPARE(g_CurrentDir, dir);

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
        QVERIFY(!g_Images); // names are compared with their case
        QCOMPARE(editor.Prompts.InputRequests.back().Caption, QString("文件查找"));
        QCOMPARE(editor.Prompts.InputRequests.back().Prompt, QString("输入文件名称:"));

        editor.Prompts.Inputs = {QString("00012.png")};
        QTest::keyClick(main.DrawGrid(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(g_Images);
        QCOMPARE(g_Images->FileName(), dir + "00012.Wil");
        QCOMPARE(main.ListBoxFileName()->currentItem()->text(), QString("00012.Wil"));

        editor.Prompts.Inputs = {std::nullopt, QString()};
        QTest::keyClick(main.FolderTree(), Qt::Key_F, Qt::ControlModifier);
        QTest::keyClick(main.ListBoxFileName(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(g_Images->FileName(), dir + "00012.Wil");
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
        main.OpenLibrary(path);
        if (kind != t_Quillrand)
            editor.Prompts.Inputs.clear();
        QVERIFY(g_Images);
        QCOMPARE(int(g_Images->ImageType()), kind);
        QCOMPARE(g_Images->ImageCount(), 23);
        QCOMPARE(main.StatusText(1), QString::fromStdString(path));
        QCOMPARE(main.StatusText(2), QString("0/23"));
        QCOMPARE(main.StatusText(4), pane4);
        QCOMPARE(main.DrawGrid()->RowCount(), 3);
        QCOMPARE(main.ToolButton("ToolButtonAdd")->isEnabled(), editable);
        QCOMPARE(main.ToolButton("ToolButtonAddMany")->isEnabled(), editable);
        QCOMPARE(main.ToolButton("ToolButtonDel")->isEnabled(), editable);
        QVERIFY(main.ProgressBar()->isHidden());
        QVERIFY(main.ListBoxFileName()->isEnabled());
        QVERIFY(main.ToolButton("ToolButtonOpenFile")->isEnabled());
        QVERIFY(!g_Busy);
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
        QVERIFY(g_Images);
        QCOMPARE(editor.Prompts.FileRequests.size(), size_t(1));
        g_Busy = true; // nothing is asked while busy
        editor.Main().ToolButton("ToolButtonOpenFile")->click();
        g_Busy = false;
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
        main.OpenLibrary(home.File("a.wis"));
        QVERIFY(!main.ToolButton("ToolButtonDel")->isEnabled());
        main.ToolButton("ToolButtonCloseFile")->click();
        QVERIFY(!g_Images);
        QVERIFY(!main.ToolButton("ToolButtonDel")->isEnabled()); // nothing open to edit
        main.OpenLibrary(home.File("a.wis"));
        main.OpenLibrary(home.File("b.wil"));
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
        main.OpenLibrary(home.File("20.wzl"));
        QCOMPARE(main.DrawGrid()->RowCount(), 3);
        main.OpenLibrary(home.File("19.wzl"));
        QCOMPARE(main.DrawGrid()->RowCount(), 2);
        main.OpenLibrary(home.File("0.wzl"));
        QCOMPARE(main.DrawGrid()->RowCount(), 1);
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
        main.OpenLibrary(home.File("s.Pak"));
        QVERIFY(g_Images);
        main.DrawGrid()->FocusCell(2, 1);
        QCOMPARE(g_Selection.Index, 12);
        QCOMPARE(g_Selection.Col, 2);
        QCOMPARE(g_Selection.Row, 1);
        QCOMPARE(g_Selection.X, -12);
        QCOMPARE(g_Selection.Y, 7);
        QCOMPARE(g_Selection.Width, 40);
        QCOMPARE(g_Selection.Height, 30);
        QCOMPARE(main.StatusText(2), QString("13/250"));
        QCOMPARE(main.StatusText(3), QString("序号:00012 宽:40 高:30 偏移坐标:-12,7"));
        QVERIFY2(main.StatusText(4).startsWith("Pak(") &&
                     main.StatusText(4).endsWith(") 16位色 压缩:TRUE"),
                 qPrintable(main.StatusText(4)));
        QCOMPARE(main.PreviewArea()->Picture()->size(), QSize(40, 30));

        // A cell past the last image moves the selection but leaves preview and panes alone.
        main.DrawGrid()->FocusCell(9, 25);
        QCOMPARE(g_Selection.Index, 259);
        QCOMPARE(g_Selection.X, 0);
        QCOMPARE(main.StatusText(2), QString("13/250"));
        QCOMPARE(main.PreviewArea()->Picture()->size(), QSize(40, 30));

        main.OpenLibrary(home.File("s.wzl"));
        QVERIFY(main.PreviewArea()->Picture()->size().isEmpty()); // opening empties the preview
        main.DrawGrid()->FocusCell(5, 0);
        QCOMPARE(main.StatusText(4), QString("Wzl 16位色 压缩:FALSE"));
        QCOMPARE(main.StatusText(3), QString("序号:00005 宽:40 高:30 偏移坐标:-19,7"));
    }

    void exportButtonNamesThePictureAfterTheIndex() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wzl, home.File("e.wzl"), Sprites(8)));
        const std::string out = home.Folder("out");
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.OpenLibrary(home.File("e.wzl"));
        main.DrawGrid()->FocusCell(5, 0);
        editor.Prompts.Files = {QString::fromStdString(out + "typed name.bmp")};
        main.ToolButton("ToolButtonSaveBMP")->click();
        QVERIFY(FileExists(out + "00005.PNG"));
        QCOMPARE(editor.Prompts.Messages, std::vector<QString>({"图片导出成功 ！！！"}));
        QVERIFY(!g_Busy);
        main.DrawGrid()->FocusCell(9, 0); // an empty cell: nothing is asked
        main.ToolButton("ToolButtonSaveBMP")->click();
        QCOMPARE(editor.Prompts.FileRequests.size(), size_t(1));
    }

    void closeFileAndCloseQueryWaitWhileBusy() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wil, home.File("a.wil"), Sprites(4)));
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.show();
        main.OpenLibrary(home.File("a.wil"));
        g_Busy = true;
        main.ToolButton("ToolButtonCloseFile")->click();
        QVERIFY(g_Images); // never freed under a running read or edit
        QVERIFY(!main.close());
        QVERIFY(main.isVisible());
        main.OpenLibrary(home.File("a.wil")); // a second open is refused while busy
        QCOMPARE(main.StatusText(1), QString::fromStdString(home.File("a.wil")));
        g_Busy = false;
        main.ToolButton("ToolButtonCloseFile")->click();
        QVERIFY(!g_Images);
        for (int pane = 1; pane <= 4; ++pane)
            QCOMPARE(main.StatusText(pane), QString());
        QVERIFY(main.close());
    }

    void missingFileDoesNothingAndKeepsTheOpenLibrary() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wil, home.File("a.wil"), Sprites(4)));
        TEditor editor;
        editor.Main().OpenLibrary(home.File("a.wil"));
        editor.Main().OpenLibrary(home.File("gone.wil"));
        QVERIFY(g_Images);
        QCOMPARE(g_RecentFiles.size(), size_t(1));
        QVERIFY(!g_Busy);
    }

    void damagedLibraryLeavesTheWindowUsable() {
        TEditorHome home;
        WriteText(home.File("bad.wzl"), std::string(64, '\xff'));
        WriteText(home.File("bad.wzx"), std::string(48, '\x7f'));
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.OpenLibrary(home.File("bad.wzl"));
        QVERIFY(!g_Busy);
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
        editor.Prompts.Confirms = {false, true};
        TfrmMain& main = editor.Main();
        main.OpenLibrary(wil);
        // Declined: nothing is shown and nothing can be changed.
        QCOMPARE(g_Images->ImageCount(), 0);
        QCOMPARE(g_Images->EditRefusal(), TEditRefusal::erIndexMissing);
        main.CloseLibrary();
        main.OpenLibrary(wil);
        QCOMPARE(g_Images->ImageCount(), 4);
        QCOMPARE(editor.Prompts.Messages.size(), size_t(1));
        QVERIFY(editor.Prompts.Messages[0].contains(QStringLiteral("找到 4 张图片")));
        QCOMPARE(main.StatusText(2), QString("0/4"));
        QVERIFY(editor.Prompts.Unexpected.empty());

        // A rebuilt index makes the records anew: the steps before it are dropped.
        main.RunCommand(QStringLiteral("坐标"), true, [] { g_Images->SetPoint(1, {5, 6}); });
        QVERIFY(main.History().CanUndo());
        std::ofstream(home.File("lost.WIX"), std::ios::app) << "junk";
        main.RepairIndex();
        QVERIFY(!main.History().CanUndo());
        QCOMPARE(g_Images->ImageCount(), 4);
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
            if (g_Busy && !main.ListBoxFileName()->isEnabled() && !main.ProgressBar()->isHidden()) {
                ranDuringRead = true;
                maximumSeen = main.ProgressBar()->maximum();
            }
        });
        probe.start(0);
        main.OpenLibrary(home.File("big.wzl"));
        probe.stop();
        QVERIFY(ranDuringRead);
        QCOMPARE(maximumSeen, 3000);
        QVERIFY(main.ProgressBar()->isHidden());
        QCOMPARE(g_Images->ImageCount(), 3000);
    }
};

QTEST_MAIN(TMainWindowTest)
#include "main_window_test.moc"
