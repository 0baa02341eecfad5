// A day's work in the editor: undo and redo of every edit (also across a failed save), the window
// showing what is on disk after every command, refused files, damaged images, the preview's zoom
// and offset drag, cancelled long jobs, the grid's columns and the animation preview.
#include "gui_support.h"

#include "app/animation_window.h"
#include "app/thumbnail_cache.h"
#include "app/thumbnail_grid.h"
#include "app/dialogs/atlas_dialogs.h"
#include "app/dialogs/batch_import_dialog.h"
#include "app/dialogs/convert_library_dialog.h"
#include "app/dialogs/create_library_dialog.h"
#include "app/dialogs/delete_images_dialog.h"
#include "app/dialogs/offset_dialog.h"
#include "operations/atlas.h"
#include "operations/batch_import.h"
#include "support/cli_support.h"
#include "support/formats_support.h"

#include <QApplication>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QToolBar>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QToolButton>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

std::vector<TPoint> OffsetsOnDisk(const std::string& path) {
    std::vector<TPoint> offsets;
    std::unique_ptr<TGameImages> library = Reopen(path);
    for (int i = 0; library && i < library->ImageCount(); ++i)
        offsets.push_back(library->GetPoint(i));
    return offsets;
}

// Works the delete dialog through the toolbar: the range, the mode, 确定 and 是 to the question.
void DeleteThroughToolbar(TEditor& editor, int start, int end, bool blank) {
    WaitForJobs();
    editor.Prompts.Confirms.push_back(true);
    editor.Prompts.Dialogs.push_back([=](QDialog& d) {
        auto& dlg = static_cast<TfrmDelDlg&>(d);
        dlg.EditX()->setValue(start);
        dlg.EditY()->setValue(end);
        dlg.SetDeleteMode(blank ? 1 : 0);
        dlg.BitBtnOK()->click();
        return dlg.result();
    });
    editor.Main().ToolButton("ToolButtonDel")->click();
}

// Holds every job at its progress reports until released: what the test does meanwhile (Escape)
// is seen by the job at its first report, whatever the speed of the machine.
class THeldJobs {
public:
    THeldJobs() {
        TWorker::SetReportHook([released = FReleased](TWorker&, int, int) {
            while (!*released)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }
    ~THeldJobs() {
        Release();
        TWorker::SetReportHook({});
    }
    THeldJobs(const THeldJobs&) = delete;
    THeldJobs& operator=(const THeldJobs&) = delete;
    void Release() { *FReleased = true; }

private:
    std::shared_ptr<std::atomic<bool>> FReleased = std::make_shared<std::atomic<bool>>(false);
};

// Batch import of `count` empty images appended, through the toolbar; with stop, Escape is
// pressed as the import starts.
void AppendBlanks(TEditor& editor, int count, bool stop = false) {
    std::optional<THeldJobs> held;
    if (stop)
        held.emplace();
    editor.Prompts.Dialogs.push_back([&, count, stop](QDialog& d) {
        d.findChild<QGroupBox*>("RadioGroup1")->findChildren<QRadioButton*>()[bcBlank]->click();
        d.findChild<QGroupBox*>("RadioGroup3")->findChildren<QRadioButton*>()[bmAppend]->click();
        d.findChild<QSpinBox*>("EditX")->setValue(count);
        d.findChild<QPushButton*>("BitBtnOK")->click();
        if (stop) {
            QTest::keyClick(&d, Qt::Key_Escape);
            held->Release();
        }
        return d.result();
    });
    editor.Main().ToolButton("ToolButtonAddMany")->click();
    WaitForJobs();
}

} // namespace

class TEditorWorkTest : public QObject {
    Q_OBJECT
private slots:
    void everyEditUndoesAndRedoesAlsoAcrossAFailedSave() {
        TEditorHome home;
        const std::string path = home.File("u.wil");
        QVERIFY(MakeLibrary(t_Wil, path, Sprites(6), 16));
        const std::vector<TPoint> original = OffsetsOnDisk(path);
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, path);
        QVERIFY(!main.UndoAction()->isEnabled());

        DeleteThroughToolbar(editor, 1, 2, false);
        QCOMPARE(Reopen(path)->ImageCount(), 4);
        QCOMPARE(main.UndoAction()->text(), QString("撤销 删除"));
        DeleteThroughToolbar(editor, 0, 0, true); // blank
        main.DrawGrid()->FocusCell(1, 0);
        editor.Prompts.Dialogs.push_back([](QDialog& d) {
            auto& dlg = static_cast<TfrmXYDlg&>(d);
            dlg.EditX()->setValue(-5);
            dlg.EditY()->setValue(9);
            return int(TfrmXYDlg::kResultOK);
        });
        main.ToolButton("ToolButtonXY")->click();
        QVERIFY(main.StatusText(3).endsWith("偏移坐标:-5,9")); // the pane follows
        AppendBlanks(editor, 2);
        QCOMPARE(Reopen(path)->ImageCount(), 6);
        QCOMPARE(UndoSteps(main), 4);

        // A save that fails changes nothing, shows what is on disk and keeps the step.
        {
            TFileSizeLimit limit(64);
            Undo(main);
        }
        QCOMPARE(editor.Prompts.Messages.back().left(6), QString("撤销失败 ！"));
        // Failures carry the warning icon; the successes before them did not.
        QCOMPARE(editor.Prompts.Errors, std::vector<QString>{editor.Prompts.Messages.back()});
        QCOMPARE(editor.Library()->ImageCount(), 6);
        QCOMPARE(main.StatusText(2).section('/', 1), QString("6"));
        QCOMPARE(UndoSteps(main), 4);

        Undo(main); // the blanks
        QCOMPARE(Reopen(path)->ImageCount(), 4);
        Undo(main); // the offset
        QCOMPARE(OffsetsOnDisk(path)[1], original[3]);
        Undo(main); // the blank
        Undo(main); // the delete
        QCOMPARE(OffsetsOnDisk(path), original);
        QVERIFY(!main.UndoAction()->isEnabled());
        QCOMPARE(main.RedoAction()->text(), QString("重做 删除"));
        Redo(main);
        Redo(main);
        Redo(main);
        QCOMPARE(OffsetsOnDisk(path)[1], (TPoint{-5, 9}));
        QVERIFY(Reopen(path)->Describe(0, false)->Empty);
        // A new edit forgets what could be redone.
        DeleteThroughToolbar(editor, 3, 3, false);
        QVERIFY(!main.RedoAction()->isEnabled());
    }

    void aFailedWriteShowsWhatIsOnDisk() {
        TEditorHome home;
        const std::string path = home.File("f.wil");
        QVERIFY(MakeLibrary(t_Wil, path, Sprites(40), 16));
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, path);
        main.DrawGrid()->FocusCell(5, 0);
        {
            TFileSizeLimit limit(64);
            DeleteThroughToolbar(editor, 5, 5, false);
        }
        QVERIFY2(editor.Prompts.Messages.back().startsWith("图片删除失败"),
                 qPrintable(editor.Prompts.Messages.back()));
        QVERIFY(editor.Prompts.Messages.back().contains("文件读写失败"));
        QCOMPARE(editor.Prompts.Errors.size(), size_t(1));
        QCOMPARE(main.StatusText(2), QString("6/40"));
        QCOMPARE(main.DrawGrid()->ImageCount(), 40);
        QVERIFY(main.StatusText(3).endsWith("偏移坐标:-19,7")); // image 5 is still there, and shown
        QCOMPARE(UndoSteps(main), 0);
    }

    void filesThatAreNoLibrariesAreRefusedWithTheReason() {
        TEditorHome home;
        const std::string good = home.File("good.wil");
        QVERIFY(MakeLibrary(t_Wil, good, Sprites(3), 16));
        WriteText(home.File("empty.Wil"), "");
        WriteText(home.File("short.Pak"), "K7PV4 and nothing else");
        WriteText(home.File("noise.Wil"), std::string(600, 'x'));
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, good);
        for (const char* name : {"empty.Wil", "short.Pak", "good.WIX", "noise.Wil"})
            Open(main, home.File(name));
        QCOMPARE(editor.Prompts.Messages.size(), size_t(4));
        QVERIFY(editor.Prompts.Messages[0].contains("文件是空的"));
        QVERIFY(editor.Prompts.Messages[1].contains("Pak文件头不完整"));
        QVERIFY(editor.Prompts.Messages[2].contains("索引文件"));
        QVERIFY(editor.Prompts.Messages[3].contains("不是Wil资源文件"));
        // Refused, before or after reading: the library that was open stays, and the recent list
        // names only it.
        QVERIFY(editor.Doc() && editor.Doc()->FileName() == good);
        QCOMPARE(editor.Doc()->ImageCount(), 3);
        QCOMPARE(main.StatusText(1), QString::fromStdString(good));
        QCOMPARE(g_RecentFiles, std::vector<std::string>{good});
        QVERIFY(main.ToolButton("ToolButtonDel")->isEnabled());
        QVERIFY(main.ToolButton("ToolButtonOpenFile")->isEnabled());
        // An index file is refused by the command line too.
        const cli_test::TCliRun run =
            cli_test::RunCli({"info", home.File("good.WIX")}, home.Path());
        QCOMPARE(run.Exit, 1);
        QVERIFY(run.Err.find("this is the index of") != std::string::npos);
    }

    void openingAnotherLibraryResetsTheSelectionAndKeysStayOnImages() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wil, home.File("a.wil"), Sprites(12), 16));
        QVERIFY(MakeLibrary(t_Wil, home.File("b.wil"), Sprites(3), 16));
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, home.File("a.wil"));
        main.DrawGrid()->FocusCell(4, 0);
        Open(main, home.File("b.wil"));
        QCOMPARE(main.StatusText(2), QString("1/3"));
        QCOMPARE(editor.Doc()->Current(), 0);
        QTest::keyClick(main.DrawGrid(), Qt::Key_End);
        QCOMPARE(editor.Doc()->Current(), 2);
        QTest::keyClick(main.DrawGrid(), Qt::Key_PageDown);
        QCOMPARE(editor.Doc()->Current(), 2);
    }

    void createProposesANameAndAddsTheExtension() {
        TEditorHome home;
        TEditor editor;
        auto& dialog = *editor.Main().CreateDialog();
        TFrmCreateData::SetSaveDialog2FileName(home.Path() + ".Wzl");
        editor.Prompts.Dialogs.push_back([](QDialog& d) {
            auto& dlg = static_cast<TFrmCreateData&>(d);
            dlg.SetKind(3);
            d.findChild<QLineEdit*>("EditPassWord")->setText("pw1");
            return int(TFrmCreateData::kResultOK);
        });
        editor.Prompts.Files.push_back(QString::fromStdString(home.File("New1")));
        dialog.ToolButtonCreateFileClick(editor.Main(), home.Path());
        QCOMPARE(editor.Prompts.ProposedPaths.back(),
                 QString::fromStdString(home.File("新建.Pak")));
        QVERIFY(std::filesystem::exists(home.File("New1.Pak")));
        QVERIFY(!std::filesystem::exists(home.File("New1")));
        QVERIFY(ReadText(home.File("Pak.txt")).find("New1.Pak|pw1") != std::string::npos);
        QVERIFY(Reopen(home.File("New1.Pak"), "pw1"));
        QVERIFY(!dialog.findChildren<QRadioButton*>()[1]->isVisible()); // no Wis
    }

    void homePageSaysWhenNoBrowserStarts() {
        TEditorHome home;
        TEditor editor;
        editor.Prompts.UrlsOpen = false;
        editor.Main().ToolButton("ToolButtonHomePage")->click();
        QCOMPARE(editor.Prompts.Messages.size(), size_t(1));
        QVERIFY(editor.Prompts.Messages[0].startsWith("无法启动浏览器"));
    }

    void damagedImagesAreMarkedNamedAndListed() {
        TEditorHome home;
        const std::string path = home.File("d.wzl");
        QVERIFY(MakeLibrary(t_Wzl, path, Sprites(4, 40, 30), 16));
        {
            // Garbage over the middle of image 2's compressed pixels.
            std::unique_ptr<TGameImages> library = Reopen(path);
            const TImageData& record = *library->Snapshot()->Record(2);
            std::vector<uint8_t> bytes = test::FileBytes(path);
            for (int k = 2; k < 10; ++k)
                bytes[size_t(record.OffSet + record.HeaderSize + k)] = 0xA5;
            test::SetFileBytes(path, bytes);
        }
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.show();
        Open(main, path);
        TDrawGrid* grid = main.DrawGrid();
        grid->viewport()->grab();
        main.Thumbnails()->WaitUntilIdle();
        const QImage pixels = grid->viewport()->grab().toImage();
        const QPoint corner = grid->CellRect(2, 0).topRight() + QPoint(-2, 2);
        QCOMPARE(QColor(pixels.pixel(corner)), QColor(220, 0, 0));
        QVERIFY(QColor(pixels.pixel(grid->CellRect(1, 0).topRight() + QPoint(-2, 2))) !=
                QColor(220, 0, 0));
        grid->FocusCell(2, 0);
        QVERIFY(main.StatusText(3).contains("图片数据损坏: 数据无法解码"));
        QVERIFY(ReadText(home.File("VelmoraLog.txt")).find("image 2") != std::string::npos);

        const cli_test::TCliRun check = cli_test::RunCli({"check", path, "--json"}, home.Path());
        QCOMPARE(check.Exit, 1);
        QVERIFY(check.Out.find("\"images\":4,\"damaged\":[{\"index\":2,") != std::string::npos);
        main.findChild<QAction*>("MenuCheckLibrary")->trigger();
        WaitForJobs();
        QVERIFY(editor.Prompts.Messages.back().contains("4 张图片中有 1 张损坏"));

        // A WIL cut short: the images past the end read as blank headers, damaged all the same.
        const std::string cut = home.File("cut.wil");
        QVERIFY(MakeLibrary(t_Wil, cut, Sprites(6, 20, 20), 16));
        std::filesystem::resize_file(cut, std::filesystem::file_size(cut) / 2);
        const cli_test::TCliRun truncated = cli_test::RunCli({"check", cut, "--json"}, home.Path());
        QCOMPARE(truncated.Exit, 1);
        QVERIFY2(truncated.Out.find("{\"index\":5,") != std::string::npos, truncated.Out.c_str());
    }

    void zoomAndDraggingTheImageChangeTheOffsetOnce() {
        TEditorHome home;
        const std::string path = home.File("z.wzl");
        QVERIFY(MakeLibrary(t_Wzl, path, Sprites(3, 20, 10), 16));
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.show();
        Open(main, path);
        main.DrawGrid()->FocusCell(1, 0);
        TPreviewArea* preview = main.PreviewArea();
        main.findChild<QAction*>("MenuZoomIn")->trigger();
        main.findChild<QAction*>("MenuZoomIn")->trigger();
        QCOMPARE(preview->Zoom(), 3.0);
        QCOMPARE(preview->Picture()->size(), QSize(60, 30));
        QCOMPARE(preview->AnchorPosition(), preview->PictureOrigin() + QPoint(23 * 3, -7 * 3));
        // A middle-button drag of 30 screen pixels right and 9 down: 10 and 3 image pixels.
        QWidget* picture = preview->Picture();
        const QPoint start = picture->rect().center();
        QTest::mousePress(picture, Qt::MiddleButton, Qt::NoModifier, start);
        QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(30, 9)),
                         QPointF(picture->mapToGlobal(start + QPoint(30, 9))), Qt::NoButton,
                         Qt::MiddleButton, Qt::NoModifier);
        QCoreApplication::sendEvent(picture, &move);
        QTest::mouseRelease(picture, Qt::MiddleButton, Qt::NoModifier, start + QPoint(30, 9));
        QCOMPARE(Reopen(path)->GetPoint(1), (TPoint{-23 + 10, 7 + 3}));
        QCOMPARE(UndoSteps(main), 1);
        main.findChild<QAction*>("MenuZoomActual")->trigger();
        QCOMPARE(preview->Picture()->size(), QSize(20, 10));
        Undo(main);
        QCOMPARE(Reopen(path)->GetPoint(1), (TPoint{-23, 7}));
    }

    void cancellingLongJobsWritesNothing() {
        TEditorHome home;
        const std::string path = home.File("c.wil");
        QVERIFY(MakeLibrary(t_Wil, path, Sprites(3), 16));
        const auto before = test::FileBytes(path);
        TEditor editor;
        Open(editor.Main(), path);
        AppendBlanks(editor, 400, true);
        QVERIFY(editor.Prompts.Messages.back().startsWith("批量导入已取消"));
        QVERIFY(test::FileBytes(path) == before);
        QCOMPARE(editor.Library()->ImageCount(), 3);
        // Stopped half way: the caption and the message name the same count.
        TWorker::SetReportHook([](TWorker& worker, int done, int total) {
            if (done == 150 && total == 400)
                worker.Cancel();
        });
        AppendBlanks(editor, 400);
        TWorker::SetReportHook({});
        QVERIFY2(editor.Prompts.Messages.back().contains("已处理 150/400 张时停止"),
                 qPrintable(editor.Prompts.Messages.back()));
        QCOMPARE(editor.Main().BatchImportDialog()->windowTitle(),
                 QString("批量导入图片(150/400)"));
        QVERIFY(test::FileBytes(path) == before);
        QCOMPARE(UndoSteps(editor.Main()), 0);

        // 取消 stops a conversion once it has begun copying; no target is left behind.
        QVERIFY(MakeLibrary(t_Wil, home.File("big.wil"), Sprites(300, 8, 8), 16));
        // Stopped at its 120th image, as a click on 取消 would.
        TWorker::SetReportHook([](TWorker& worker, int done, int total) {
            if (done == 120 && total == 300)
                worker.Cancel();
        });
        editor.Prompts.Dialogs.push_back([&](QDialog& d) {
            auto& dlg = static_cast<TfrmConvertDlg&>(d);
            dlg.SetKind(3); // Wil -> Wzl
            dlg.EditFileDir()->setText(QString::fromStdString(home.File("big.wil")));
            dlg.EditSaveDir()->setText(QString::fromStdString(home.File("big.wzl")));
            dlg.BitBtnOK()->click();
            return 0;
        });
        editor.Main().ConvertDialog()->ToolButtonConvertDataClick(editor.Main());
        TWorker::SetReportHook({});
        QVERIFY2(editor.Prompts.Messages.back().startsWith("转换已取消"),
                 qPrintable(editor.Prompts.Messages.back()));
        QVERIFY(editor.Prompts.Messages.back().contains("120/300"));
        for (const auto& entry : std::filesystem::directory_iterator(home.Path()))
            QVERIFY2(entry.path().extension() != ".wzl" && entry.path().extension() != ".wzx" &&
                         !entry.path().filename().string().starts_with('.'),
                     entry.path().c_str());
        QVERIFY(!editor.Main().ConvertDialog()->Running());

        // And an atlas import, as one edit that is discarded.
        TAtlasExportOptions sheet;
        sheet.SheetPath = home.File("sheet.png");
        QVERIFY(ExportAtlas(*Reopen(home.File("big.wil")), sheet).Done);
        editor.Prompts.Dialogs.push_back([&](QDialog& d) {
            auto& dlg = static_cast<TfrmAtlasImportDlg&>(d);
            dlg.EditData()->setText(QString::fromStdString(home.File("sheet.json")));
            THeldJobs held;
            dlg.BitBtnOKClick();
            QTest::keyClick(&d, Qt::Key_Escape);
            return dlg.result();
        });
        AtlasImportDialog(editor.Main()).AtlasImportClick(*editor.Doc());
        QVERIFY2(editor.Prompts.Messages.back().startsWith("图集导入已取消"),
                 qPrintable(editor.Prompts.Messages.back()));
        QVERIFY(test::FileBytes(path) == before);
        QCOMPARE(editor.Library()->ImageCount(), 3);

        // And an atlas export, which leaves no sheet behind.
        Open(editor.Main(), home.File("big.wil"));
        editor.Prompts.Dialogs.push_back([&](QDialog& d) {
            auto& dlg = static_cast<TfrmAtlasExportDlg&>(d);
            dlg.EditSheet()->setText(QString::fromStdString(home.File("cut.png")));
            THeldJobs held;
            dlg.BitBtnOKClick();
            QTest::keyClick(&d, Qt::Key_Escape);
            return dlg.result();
        });
        AtlasExportDialog(editor.Main()).AtlasExportClick(*editor.Doc());
        QVERIFY2(editor.Prompts.Messages.back().startsWith("图集导出已取消"),
                 qPrintable(editor.Prompts.Messages.back()));
        QVERIFY(!FileExists(home.File("cut.png")) && !FileExists(home.File("cut.json")));
        QVERIFY(!editor.Doc()->Busy());
    }

    // Run on a large screen and again on an 800 x 600 one (see the tests' CMakeLists).
    void startsWithinTheScreen() {
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        const QRect available = QApplication::primaryScreen()->availableGeometry();
        QVERIFY2(available.contains(main.frameGeometry()),
                 qPrintable(QString("%1x%2 on %3x%4")
                                .arg(main.frameGeometry().width())
                                .arg(main.frameGeometry().height())
                                .arg(available.width())
                                .arg(available.height())));
        const TDrawGrid* grid = main.DrawGrid();
        QVERIFY(grid->ColCount() * grid->Pitch() <= grid->viewport()->width());
        if (available.width() >= 1280)
            QCOMPARE(grid->ColCount(), 10); // the default layout where it fits
        // The commands' notes have room in the status line.
        QVERIFY2(main.findChild<QWidget*>("StatusPane5")->width() >= 120,
                 qPrintable(QString::number(main.findChild<QWidget*>("StatusPane5")->width())));
    }

    // Run on a large screen and again on an 800 x 600 one: every command of the toolbar is in
    // the menu bar too, and each, started from its menu, shows its dialog within the screen.
    void everyCommandIsInTheMenus() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Quillrand, home.File("m.Pak"), Sprites(12), 16));
        WriteText(home.File("Pak.txt"), "m.Pak|quillrand\r\n");
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        Open(main, home.File("m.Pak"));
        QStringList titles;
        QSet<QAction*> inMenus;
        std::function<void(QMenu*)> collect = [&](QMenu* menu) {
            for (QAction* action : menu->actions()) {
                inMenus.insert(action);
                if (action->menu())
                    collect(action->menu());
            }
        };
        for (QAction* top : main.menuBar()->actions()) {
            titles << top->text();
            collect(top->menu());
        }
        QCOMPARE(titles,
                 QStringList({"文件(&F)", "编辑(&E)", "查看(&V)", "工具(&T)", "语言 / Language"}));
        int buttons = 0;
        for (QToolButton* button :
             main.findChild<QToolBar*>("ToolBar1")->findChildren<QToolButton*>())
            if (QAction* action = button->defaultAction()) {
                QVERIFY2(inMenus.contains(action), qPrintable(action->text()));
                ++buttons;
            }
        QCOMPARE(buttons, 14);

        const QRect screen = QApplication::primaryScreen()->availableGeometry();
        QStringList outside;
        for (const char* name :
             {"ToolButtonCreateFile", "ToolButtonPassWord", "ToolButtonChangePassWord",
              "ToolButtonAddMany", "MenuAtlasImport", "ToolButtonSaveManyBMP", "MenuAtlasExport",
              "ToolButtonXY", "ToolButtonDel", "ToolButtonConvertData"}) {
            QAction* action = main.Action(name);
            QVERIFY2(inMenus.contains(action) && action->isEnabled(), name);
            editor.Prompts.Dialogs.push_back([&](QDialog& d) {
                if (!screen.contains(QRect(d.pos(), d.size())))
                    outside << d.objectName();
                return 0;
            });
            action->trigger();
        }
        QVERIFY2(outside.isEmpty(), qPrintable(outside.join(", ")));
        QCOMPARE(editor.Prompts.DialogsShown,
                 std::vector<QString>({"TFrmCreateData", "TFrmPassword", "TFrmChangePassword",
                                       "TfrmInPutManyDlg", "TfrmAtlasImportDlg", "TfrmOutPutDlg",
                                       "TfrmAtlasExportDlg", "TfrmXYDlg", "TfrmDelDlg",
                                       "TfrmConvertDlg"}));
        // The commands without a dialog of their own ask for a file, open the home page or close.
        editor.Prompts.Files = {"", "", ""};
        for (const char* name : {"ToolButtonOpenFile", "ToolButtonAdd", "ToolButtonSaveBMP",
                                 "ToolButtonHomePage", "MenuCheckLibrary", "MenuAnimation"})
            main.Action(name)->trigger();
        WaitForJobs();
        QCOMPARE(editor.Prompts.FileRequests.size(), size_t(3));
        QCOMPARE(editor.Prompts.Urls.size(), size_t(1));
        QVERIFY(main.Animation()->isVisible());
        QVERIFY(screen.contains(main.Animation()->frameGeometry()));
        main.Animation()->close();
        main.Action("ToolButtonCloseFile")->trigger();
        QVERIFY(!editor.Doc());
        main.Action("ToolButtonClose")->trigger();
        QVERIFY(!main.isVisible());
        QVERIFY(editor.Prompts.Unexpected.empty());
    }

    void columnsFollowTheWidth() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wil, home.File("w.wil"), Sprites(30), 16));
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        Open(main, home.File("w.wil"));
        TDrawGrid* grid = main.DrawGrid();
        QCOMPARE(grid->ColCount(), 10);   // the default window
        main.DrawGrid()->FocusCell(3, 2); // image 23
        main.resize(800, 560);
        QCoreApplication::processEvents();
        QVERIFY(main.width() <= 800);
        QVERIFY(grid->ColCount() < 10);
        QVERIFY(grid->ColCount() * grid->Pitch() <= grid->viewport()->width());
        QCOMPARE(grid->RowCount(), 30 / grid->ColCount() + 1);
        QCOMPARE(grid->FocusIndex(), 23);
        QCOMPARE(editor.Doc()->Current(), 23);
        const int cols = grid->ColCount();
        main.SetThumbnailSize(160);
        QVERIFY(grid->ColCount() < cols);
        // The size is kept for the next run.
        QVERIFY(ReadText(home.File("Editor.ini")).find("thumbnailSize=160") != std::string::npos);
    }

    void animationPlaysTheSelectedRangeAroundOneAnchor() {
        TEditorHome home;
        std::vector<TSpriteSpec> sprites = Sprites(6, 10, 10);
        QVERIFY(MakeLibrary(t_Wzl, home.File("a.wzl"), sprites, 16));
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, home.File("a.wzl"));
        main.DrawGrid()->SelectRange(1, 4);
        main.findChild<QAction*>("MenuAnimation")->trigger();
        TFrmAnimation* animation = main.Animation();
        QVERIFY(animation->isVisible());
        QVERIFY(animation->Playing());
        QCOMPARE(animation->Canvas()->FrameCount(), 4);
        QCOMPARE(animation->EditFrom()->value(), 1);
        animation->Step(1);
        QVERIFY(!animation->Playing());
        QCOMPARE(animation->Canvas()->Current(), 1);
        animation->Step(-2); // wraps round
        QCOMPARE(animation->Canvas()->Current(), 3);
        animation->close();
    }
};

QTEST_MAIN(TEditorWorkTest)
#include "editor_work_test.moc"
