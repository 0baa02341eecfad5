// The editor works on a document: what the window shows is what the file holds after every
// command, undo never writes back over another program's changes, ranges come from the
// selection, nothing is replaced behind the window, and a file that cannot be opened keeps the
// library that was open.
#include "gui_support.h"

#include "app/animation_window.h"
#include "app/thumbnail_cache.h"
#include "app/dialogs/atlas_dialogs.h"
#include "app/dialogs/batch_export_dialog.h"
#include "app/dialogs/batch_import_dialog.h"
#include "app/dialogs/convert_library_dialog.h"
#include "app/dialogs/create_library_dialog.h"
#include "app/dialogs/delete_images_dialog.h"
#include "app/dialogs/offset_dialog.h"
#include "core/file_ops.h"
#include "core/journal.h"
#include "core/library_lock.h"
#include "core/recovery.h"
#include "files/pak_passwords.h"
#include "formats/pak.h"
#include "operations/atlas.h"
#include "operations/library_files.h"
#include "support/cli_support.h"
#include "support/formats_support.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

#include <filesystem>
#include <thread>

using namespace velmora;
using namespace velmora::gui_test;
namespace fs = std::filesystem;

namespace {

// The grid, the preview and the status line against a fresh reading of the file: the count, the
// position, and the current image's size and offset.
void ExpectViewsShowTheFile(TEditor& editor, const char* step) {
    TfrmMain& main = editor.Main();
    TLibraryDocument* doc = editor.Doc();
    QVERIFY2(doc, step);
    const std::unique_ptr<TGameImages> file = Reopen(doc->FileName(), doc->PassWord());
    QVERIFY2(file, step);
    const int count = file->ImageCount();
    QVERIFY2(doc->ImageCount() == count, step);
    QVERIFY2(main.DrawGrid()->ImageCount() == count, step);
    const auto [first, last] = main.DrawGrid()->SelectedRange();
    QVERIFY2(last < count && first <= last, step);
    QVERIFY2(main.DrawGrid()->FocusIndex() == doc->Current(), step);
    const int index = doc->Current();
    if (index < 0) {
        QVERIFY2(main.StatusText(2) == QString("0/%1").arg(count), step);
        QVERIFY2(main.StatusText(3).isEmpty(), step);
        QVERIFY2(main.PreviewArea()->Picture()->Image().isNull(), step);
        return;
    }
    QVERIFY2(main.StatusText(2) == QString("%1/%2").arg(index + 1).arg(count), step);
    int x = 0, y = 0;
    const std::unique_ptr<TPicture> picture = file->Get(index, x, y);
    if (file->Describe(index, false)->Empty) {
        QVERIFY2(main.StatusText(3) == QString("序号:%1 空图片").arg(index, 5, 10, QChar('0')),
                 qPrintable(QString("%1: %2").arg(step, main.StatusText(3))));
    } else if (picture) {
        const QString expected = QString("序号:%1 宽:%2 高:%3 偏移坐标:%4,%5")
                                     .arg(index, 5, 10, QChar('0'))
                                     .arg(picture->Width())
                                     .arg(picture->Height())
                                     .arg(x)
                                     .arg(y);
        QVERIFY2(main.StatusText(3) == expected,
                 qPrintable(QString("%1: %2 / %3").arg(step, main.StatusText(3), expected)));
        QVERIFY2(main.PreviewArea()->Picture()->Image().size() ==
                     QSize(picture->Width(), picture->Height()),
                 step);
        QVERIFY2(main.PreviewArea()->Anchor() == std::optional<QPoint>(QPoint(x, y)), step);
    }
}

// A file of another program, written in place of the library's files (renamed over them).
void ReplaceFilesWith(const std::string& library, const std::string& other) {
    const std::vector<std::string> from = LibraryFiles(other, LibraryKindOf(other));
    const std::vector<std::string> to = LibraryFiles(library, LibraryKindOf(library));
    for (size_t i = 0; i < from.size() && i < to.size(); ++i)
        fs::rename(from[i], to[i]);
}

std::function<int(QDialog&)> DeleteRange(int start, int end, bool blank) {
    return [=](QDialog& d) {
        auto& dlg = static_cast<TfrmDelDlg&>(d);
        dlg.EditX()->setValue(start);
        dlg.EditY()->setValue(end);
        dlg.SetDeleteMode(blank ? 1 : 0);
        dlg.BitBtnOK()->click();
        return dlg.result();
    };
}

// The values a dialog shows in two spin boxes when it opens, and nothing done.
std::function<int(QDialog&)> ReadRange(QPoint& shown, const char* from, const char* to) {
    return [&shown, from, to](QDialog& d) {
        shown = {d.findChild<QSpinBox*>(from)->value(), d.findChild<QSpinBox*>(to)->value()};
        return 0;
    };
}

} // namespace

class TDocumentTest : public QObject {
    Q_OBJECT
private slots:
    // Another program imports and moves images while the library is open: the view follows at
    // once, and undo never takes the other program's work back.
    void undoKeepsWhatAnotherProgramChanged() {
        TEditorHome home;
        const std::string path = home.File("shared.wil");
        QVERIFY(MakeLibrary(t_Wil, path, Sprites(24), 16));
        SavePicture(home.File("p.bmp"), cli_test::PatternPicture(9, 5, 3), ifBMP);
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, path);
        main.DrawGrid()->FocusIndex(2);
        main.MoveSelectedOffset({1, 0});
        QVERIFY(editor.Doc()->CanUndo());

        QCOMPARE(cli_test::RunCli({"import", path, home.File("p.bmp")}, home.Path()).Exit, 0);
        QCOMPARE(cli_test::RunCli({"offset", path, "1", "7", "7"}, home.Path()).Exit, 0);
        // The window reads the library anew as soon as it sees the change; the selection stays.
        QTRY_COMPARE(editor.Doc()->ImageCount(), 25);
        QCOMPARE(main.DrawGrid()->ImageCount(), 25);
        QCOMPARE(editor.Doc()->Current(), 2);
        QCOMPARE(main.StatusText(5), QString("文件已被其他程序修改，撤销记录已清除"));
        QVERIFY(!editor.Doc()->CanUndo());
        ExpectViewsShowTheFile(editor, "after the other program");

        // An edit made now builds on what the other program wrote and can be undone alone.
        main.MoveSelectedOffset({1, 0});
        QVERIFY(editor.Doc()->CanUndo());
        QCOMPARE(Reopen(path)->ImageCount(), 25);
        QCOMPARE(Reopen(path)->GetPoint(1), (TPoint{7, 7}));
        QCOMPARE(cli_test::RunCli({"import", path, home.File("p.bmp")}, home.Path()).Exit, 0);
        // Undo before the window noticed: the change is seen first and nothing is undone.
        Undo(main);
        QCOMPARE(Reopen(path)->ImageCount(), 26);
        QCOMPARE(Reopen(path)->GetPoint(1), (TPoint{7, 7}));
        QCOMPARE(Reopen(path)->GetPoint(2), (TPoint{2 - 24 + 2, 7}));
        QVERIFY(!editor.Doc()->CanUndo() && !editor.Doc()->CanRedo());
        QCOMPARE(editor.Doc()->ImageCount(), 26);
        ExpectViewsShowTheFile(editor, "after the refused undo");

        // A conversion written over the open file is another program's change too.
        const std::string small = home.File("small.wzl");
        QVERIFY(MakeLibrary(t_Wzl, small, Sprites(3), 16));
        main.MoveSelectedOffset({0, 1});
        QCOMPARE(
            cli_test::RunCli({"create", home.File("n.wil"), "--wil", "--bits", "16"}, home.Path())
                .Exit,
            0);
        ReplaceFilesWith(path, home.File("n.wil"));
        QTRY_COMPARE(editor.Doc()->ImageCount(), 0);
        Undo(main);
        QCOMPARE(Reopen(path)->ImageCount(), 0);
        QCOMPARE(editor.Doc()->Current(), -1);
        ExpectViewsShowTheFile(editor, "after the library was replaced");
    }

    // Another program saves while an edit waits for the library's lock: the edit is made on what
    // that program wrote, and the steps before it, which lead elsewhere, are dropped.
    void aSaveDuringAnEditDropsTheSteps() {
        TEditorHome home;
        const std::string path = home.File("race.wzl");
        QVERIFY(MakeLibrary(t_Wzl, path, Sprites(5), 16));
        const std::string other = home.File("other.wzl");
        QVERIFY(MakeLibrary(t_Wzl, other, Sprites(8), 16));
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, path);
        main.DrawGrid()->FocusIndex(1);
        main.MoveSelectedOffset({0, 3});
        QVERIFY(editor.Doc()->CanUndo());
        std::thread writer;
        {
            auto lock = std::make_unique<TLibraryLock>(path);
            writer = std::thread([&, held = std::move(lock)]() mutable {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                ReplaceFilesWith(path, other);
                held.reset();
            });
        }
        main.MoveSelectedOffset({4, 0});
        writer.join();
        QCOMPARE(Reopen(path)->ImageCount(), 8);
        QCOMPARE(Reopen(path)->GetPoint(1), (TPoint{1 - 24 + 4, 7}));
        QVERIFY(!editor.Doc()->CanUndo());
        QCOMPARE(main.StatusText(5), QString("文件已被其他程序修改，撤销记录已清除"));
        ExpectViewsShowTheFile(editor, "after the race");
    }

    // Every command, one after another, and after each the views against the file.
    void everyCommandLeavesTheViewsTrueToTheFile() {
        TEditorHome home;
        const std::string path = home.File("walk.wzl");
        QVERIFY(MakeLibrary(t_Wzl, path, Sprites(12, 10, 8), 16));
        const std::string pictures = home.Folder("pics");
        for (int i = 0; i < 3; ++i)
            SavePicture(pictures + std::to_string(i) + ".bmp",
                        cli_test::PatternPicture(6 + i, 4 + i, uint32_t(i + 1)), ifBMP);
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.show();
        Open(main, path);
        ExpectViewsShowTheFile(editor, "open");

        // 导入: replace image 4.
        main.DrawGrid()->FocusIndex(4);
        editor.Prompts.Files = {QString::fromStdString(pictures + "0.bmp")};
        editor.Prompts.Dialogs.push_back([](QDialog& d) {
            d.findChild<QGroupBox*>("RadioGroup")->findChildren<QRadioButton*>()[0]->click();
            d.findChild<QPushButton*>("BitBtnOK")->click();
            return d.result();
        });
        main.ToolButton("ToolButtonAdd")->click();
        ExpectViewsShowTheFile(editor, "import");
        QCOMPARE(main.StatusText(3).section(' ', 1, 2), QString("宽:6 高:4"));

        // 批量导入: the folder appended.
        editor.Prompts.Dialogs.push_back([&](QDialog& d) {
            d.findChild<QGroupBox*>("RadioGroup1")->findChildren<QRadioButton*>()[1]->click();
            d.findChild<QGroupBox*>("RadioGroup3")->findChildren<QRadioButton*>()[0]->click();
            d.findChild<QLineEdit*>("EditFileDir")->setText(QString::fromStdString(pictures));
            d.findChild<QPushButton*>("BitBtnOK")->click();
            return d.result();
        });
        main.ToolButton("ToolButtonAddMany")->click();
        QCOMPARE(editor.Doc()->ImageCount(), 15);
        ExpectViewsShowTheFile(editor, "batch import");

        // 删除 of a range with the last image selected: the selection goes with it.
        main.DrawGrid()->FocusIndex(14);
        editor.Prompts.Confirms.push_back(true);
        editor.Prompts.Dialogs.push_back(DeleteRange(13, 14, false));
        main.ToolButton("ToolButtonDel")->click();
        QCOMPARE(editor.Doc()->ImageCount(), 13);
        QCOMPARE(editor.Doc()->Current(), -1);
        ExpectViewsShowTheFile(editor, "delete");

        // 空图片代替 keeps the count; the blanked image shows as empty.
        main.DrawGrid()->FocusIndex(0);
        editor.Prompts.Confirms.push_back(true);
        editor.Prompts.Dialogs.push_back(DeleteRange(0, 0, true));
        main.ToolButton("ToolButtonDel")->click();
        ExpectViewsShowTheFile(editor, "blank");

        // 坐标 and a nudge.
        main.DrawGrid()->FocusIndex(3);
        editor.Prompts.Dialogs.push_back([](QDialog& d) {
            static_cast<TfrmXYDlg&>(d).EditX()->setValue(40);
            static_cast<TfrmXYDlg&>(d).EditY()->setValue(-2);
            return int(TfrmXYDlg::kResultOK);
        });
        main.ToolButton("ToolButtonXY")->click();
        ExpectViewsShowTheFile(editor, "offset");
        main.MoveSelectedOffset({1, 1});
        ExpectViewsShowTheFile(editor, "nudge");

        // 导入图集 of the library's first images.
        TAtlasExportOptions sheet;
        sheet.SheetPath = home.File("sheet.png");
        sheet.To = 2;
        QVERIFY(ExportAtlas(*Reopen(path), sheet).Done);
        editor.Prompts.Dialogs.push_back([&](QDialog& d) {
            auto& dlg = static_cast<TfrmAtlasImportDlg&>(d);
            dlg.EditData()->setText(QString::fromStdString(home.File("sheet.json")));
            dlg.BitBtnOKClick();
            return dlg.result();
        });
        main.Action("MenuAtlasImport")->trigger();
        ExpectViewsShowTheFile(editor, "atlas import");

        // Undo and redo of each, back to the start and forward again.
        const int steps = UndoSteps(main);
        QCOMPARE(steps, 7);
        for (int i = 0; i < steps; ++i) {
            Undo(main);
            ExpectViewsShowTheFile(editor, "undo");
        }
        QCOMPARE(editor.Doc()->ImageCount(), 12);
        for (int i = 0; i < steps; ++i) {
            Redo(main);
            ExpectViewsShowTheFile(editor, "redo");
        }
        QCOMPARE(editor.Doc()->ImageCount(), 13 + 3);

        // 检查文件 selects what it lists; 关闭文件 leaves nothing of the library.
        main.Action("MenuCheckLibrary")->trigger();
        WaitForJobs();
        ExpectViewsShowTheFile(editor, "check");
        main.Action("ToolButtonCloseFile")->trigger();
        QVERIFY(!editor.Doc());
        QCOMPARE(main.DrawGrid()->ImageCount(), 0);
        QVERIFY(main.PreviewArea()->Picture()->Image().isNull());
        QVERIFY(editor.Prompts.Unexpected.empty());
    }

    // 新建 and 数据转换 onto a file that exists say what it holds; onto the open library they
    // refuse, or close it first when the user agrees.
    void newAndConvertOntoTheOpenLibrary() {
        TEditorHome home;
        const std::string wil = home.File("open.wil");
        QVERIFY(MakeLibrary(t_Wil, wil, Sprites(40), 16));
        const std::string source = home.File("source.wil");
        QVERIFY(MakeLibrary(t_Wil, source, Sprites(16), 16));
        const std::string other = home.File("other.wzl");
        QVERIFY(MakeLibrary(t_Wzl, other, Sprites(5), 16));
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, wil);
        main.DrawGrid()->FocusIndex(5);
        const auto before = test::FileBytes(wil);
        const auto create = [&](const std::string& target) {
            editor.Prompts.Dialogs.push_back([](QDialog& d) {
                static_cast<TFrmCreateData&>(d).SetKind(0);
                return int(TFrmCreateData::kResultOK);
            });
            editor.Prompts.Files.push_back(QString::fromStdString(target));
            main.ToolButton("ToolButtonCreateFile")->click();
        };

        // Declined: the open library and its file stay.
        editor.Prompts.Confirms.push_back(false);
        create(wil);
        QVERIFY(editor.Prompts.Questions.back().startsWith(
            "目标文件已打开：" + QString::fromStdString(wil) + "（40 张图片）"));
        QVERIFY(test::FileBytes(wil) == before);
        QCOMPARE(editor.Doc()->ImageCount(), 40);
        QCOMPARE(main.StatusText(2), QString("6/40"));
        // The save dialog does not ask on its own: the command asks, naming what is there.
        QVERIFY(!editor.Prompts.OverwriteAsked.back());

        // Agreed: the library is closed first, then replaced; the window shows nothing of it.
        editor.Prompts.Confirms.push_back(true);
        create(wil);
        QCOMPARE(editor.Prompts.Messages.back(), QString("创建成功 ！！！"));
        QVERIFY(!editor.Doc());
        QCOMPARE(Reopen(wil)->ImageCount(), 0);
        QCOMPARE(main.DrawGrid()->ImageCount(), 0);
        QVERIFY(main.PreviewArea()->Picture()->Image().isNull());

        // A closed file is named with its image count.
        editor.Prompts.Confirms.push_back(false);
        create(other);
        QCOMPARE(editor.Prompts.Questions.back(), "目标文件已存在：" +
                                                      QString::fromStdString(other) +
                                                      "\n其中有 5 张图片，要用新文件替换它吗？");
        QCOMPARE(Reopen(other)->ImageCount(), 5);

        // 数据转换 into the open WZL.
        Open(main, other);
        const auto convert = [&](bool agree) {
            editor.Prompts.Confirms.push_back(agree);
            editor.Prompts.Dialogs.push_back([&](QDialog& d) {
                auto& dlg = static_cast<TfrmConvertDlg&>(d);
                dlg.SetKind(3); // Wil -> Wzl
                dlg.EditFileDir()->setText(QString::fromStdString(source));
                dlg.EditSaveDir()->setText(QString::fromStdString(other));
                dlg.BitBtnOK()->click();
                return 0;
            });
            main.ToolButton("ToolButtonConvertData")->click();
        };
        convert(false);
        QVERIFY(editor.Prompts.Questions.back().startsWith("目标文件已打开："));
        QCOMPARE(Reopen(other)->ImageCount(), 5);
        QCOMPARE(editor.Doc()->ImageCount(), 5);
        convert(true);
        QCOMPARE(editor.Prompts.Messages.back(), QString("转换成功 ！！！"));
        QVERIFY(!editor.Doc());
        QCOMPARE(Reopen(other)->ImageCount(), 16);
        QVERIFY(editor.Prompts.Unexpected.empty());
    }

    // A Shift-selection is the range every command with a range starts from.
    void commandRangesStartFromTheSelection() {
        TEditorHome home;
        const std::string path = home.File("range.wzl");
        QVERIFY(MakeLibrary(t_Wzl, path, Sprites(32), 16));
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.show();
        Open(main, path);
        TDrawGrid* grid = main.DrawGrid();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                          grid->CellRect(5, 0).center());
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          grid->CellRect(7, 0).center());
        QCOMPARE(editor.Doc()->SelectedRange(), (std::pair<int, int>(5, 7)));
        const QPoint range(5, 7);

        QPoint shown;
        editor.Prompts.Dialogs.push_back(ReadRange(shown, "EditX", "EditY"));
        main.ToolButton("ToolButtonDel")->click();
        QCOMPARE(shown, range);
        editor.Prompts.Dialogs.push_back(ReadRange(shown, "EditX", "EditY"));
        main.ToolButton("ToolButtonSaveManyBMP")->click();
        QCOMPARE(shown, range);
        editor.Prompts.Dialogs.push_back(ReadRange(shown, "EditX", "EditY"));
        main.ToolButton("ToolButtonAddMany")->click();
        QCOMPARE(shown, range);
        editor.Prompts.Dialogs.push_back(ReadRange(shown, "EditFrom", "EditTo"));
        main.Action("MenuAtlasExport")->trigger();
        QCOMPARE(shown, range);
        editor.Prompts.Dialogs.push_back(ReadRange(shown, "EditAt", "EditAt"));
        main.Action("MenuAtlasImport")->trigger();
        QCOMPARE(shown.x(), 5);
        main.Action("MenuAnimation")->trigger();
        QCOMPARE(main.Animation()->EditFrom()->value(), 5);
        QCOMPARE(main.Animation()->Canvas()->FrameCount(), 3);
        main.Animation()->close();

        // One image selected: delete takes it alone, batch export runs from it to the end.
        grid->FocusIndex(13);
        editor.Prompts.Dialogs.push_back(ReadRange(shown, "EditX", "EditY"));
        main.ToolButton("ToolButtonDel")->click();
        QCOMPARE(shown, QPoint(13, 13));
        editor.Prompts.Dialogs.push_back(ReadRange(shown, "EditX", "EditY"));
        main.ToolButton("ToolButtonSaveManyBMP")->click();
        QCOMPARE(shown, QPoint(13, 31));
        QVERIFY(editor.Prompts.Unexpected.empty());
    }

    // A file that is refused, or that fails while it is read, leaves the open library open and
    // the recent list as it was, and says why.
    void aFailedOpenKeepsTheOpenLibrary() {
        TEditorHome home;
        const std::string good = home.File("good.wzl");
        QVERIFY(MakeLibrary(t_Wzl, good, Sprites(6), 16));
        const std::string failing = home.File("failing.wil");
        QVERIFY(MakeLibrary(t_Wil, failing, Sprites(30), 16));
        std::string noise(4096, '\0');
        for (size_t i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) % 251);
        WriteText(home.File("noise.Wil"), noise);
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, good);
        main.DrawGrid()->FocusIndex(3);
        const std::vector<std::string> recent = g_RecentFiles;

        Open(main, home.File("noise.Wil"));
        QVERIFY(editor.Prompts.Errors.back().contains("noise.Wil"));
        // A read error, and memory that runs out for a huge index, while the library is read.
        for (const auto& failure :
             {std::function<void()>([&] { throw EFileError(failing, "Input/output error"); }),
              std::function<void()>([] { throw std::bad_alloc(); })}) {
            TWorker::SetReportHook([&](TWorker&, int done, int) {
                if (done == 10)
                    failure();
            });
            Open(main, failing);
            TWorker::SetReportHook({});
        }
        QCOMPARE(editor.Prompts.Errors.size(), size_t(3));
        QVERIFY2(editor.Prompts.Errors[1].contains("Input/output error"),
                 qPrintable(editor.Prompts.Errors[1]));
        QVERIFY2(editor.Prompts.Errors[2].contains("内存不足"),
                 qPrintable(editor.Prompts.Errors[2]));
        QCOMPARE(editor.Doc()->FileName(), good);
        QCOMPARE(editor.Doc()->Current(), 3);
        QCOMPARE(g_RecentFiles, recent);
        QVERIFY(main.Action("ToolButtonDel")->isEnabled());
        ExpectViewsShowTheFile(editor, "after the failed opens");

        // Stopped while it is read: the same, without a word.
        TWorker::SetReportHook([](TWorker& worker, int done, int) {
            if (done == 5)
                worker.Cancel();
        });
        Open(main, failing);
        TWorker::SetReportHook({});
        QCOMPARE(editor.Prompts.Errors.size(), size_t(3));
        QCOMPARE(editor.Doc()->FileName(), good);
    }

    // A journal that cannot be applied: the library is shown read-only with the reason, and
    // 修复索引 sets the journal aside (nothing deleted) and reads the library again, which then
    // takes edits.
    void aJournalThatCannotBeAppliedIsShownAndSetAside() {
        TEditorHome home;
        const std::string path = home.File("held.wzl");
        QVERIFY(MakeLibrary(t_Wzl, path, Sprites(4), 16));
        const std::string journal = JournalNameFor(path);
        WriteText(journal, "velmora journal 3\nreplace\nrename .gone.new\nto held.wzx\nrename "
                           ".gone2.new\nto held.wzl.x\nend\n");
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, path);
        QCOMPARE(editor.Doc()->ImageCount(), 4);
        QVERIFY2(editor.Prompts.Errors.back().contains("上次保存被中断"),
                 qPrintable(editor.Prompts.Errors.back()));
        QVERIFY(!main.Action("ToolButtonDel")->isEnabled() ||
                editor.Doc()->Library().EditRefusal() != TEditRefusal::erNone);
        QVERIFY(fs::exists(journal));
        editor.Prompts.Confirms.push_back(true);
        main.Action("MenuRepairIndex")->trigger();
        WaitForJobs();
        QVERIFY(editor.Prompts.Questions.back().contains("held.wzl.journal"));
        QVERIFY(!fs::exists(journal));
        QVERIFY(fs::exists(path + ".journal"));
        QTRY_VERIFY(editor.Doc() && editor.Doc()->Library().RecoveryProblem().empty());
        QCOMPARE(editor.Doc()->Library().EditRefusal(), TEditRefusal::erNone);
    }

    // A password change cut short after the Pak took its new password: opening finishes it, the
    // list names the new password, and the library opens without asking.
    void anInterruptedPasswordChangeIsFinishedByTheOpening() {
        TEditorHome home;
        const std::string path = home.File("p.Pak");
        QVERIFY(MakeLibrary(t_Quillrand, path, Sprites(3), 16, "old", 0));
        WriteText(home.File("Pak.txt"), "p.Pak|old\r\n");
        LoadPakPasswords();
        // The state a kill between the Pak's rename and the list's leaves: the Pak re-keyed, the
        // list's new content beside it, and the journal that names both.
        static_cast<TQuillrand&>(*Reopen(path, "old")).ChangePassword("new", false);
        const std::string list = home.File("Pak.txt");
        const std::string next = ProgramFileTemporary(list, path);
        WriteText(next, "p.Pak|new\r\n");
        WriteText(JournalNameFor(path),
                  "velmora journal 3\nreplace\nrename .x.new\nto p.Pak\nrename " + next + "\nto " +
                      list + "\nguard " + HexOf64(StableHash(std::string_view("p.Pak|old\r\n"))) +
                      "\nend\n");
        TEditor editor;
        Open(editor.Main(), path);
        QVERIFY(editor.Prompts.InputRequests.empty());
        QCOMPARE(editor.Doc()->ImageCount(), 3);
        QCOMPARE(ReadText(home.File("Pak.txt")), std::string("p.Pak|new\r\n"));
        QVERIFY(!fs::exists(JournalNameFor(path)));
    }

    // A data file cut short: its images are said to be damaged where they are selected, the file
    // is blamed rather than its index, the check names the right images and logs each once.
    void aDataFileCutShortIsToldAsSuch() {
        TEditorHome home;
        const std::string path = home.File("cut.wil");
        QVERIFY(MakeLibrary(t_Wil, path, Sprites(20, 16, 16), 16));
        std::unique_ptr<TGameImages> whole = Reopen(path);
        const TSnapshotPtr snapshot = whole->Snapshot();
        const TImageData& eighth = *snapshot->Record(8);
        const uintmax_t cut = uintmax_t(eighth.OffSet + eighth.DataSize / 2);
        whole.reset();
        // The file ends in the middle of image 8's pixels.
        fs::resize_file(path, cut);
        TEditor editor;
        TfrmMain& main = editor.Main();
        main.show();
        editor.Prompts.Confirms.push_back(false);
        Open(main, path);
        QCOMPARE(editor.Prompts.Questions.size(), size_t(1));
        QVERIFY2(editor.Prompts.Questions[0].startsWith("数据文件不完整") &&
                     editor.Prompts.Questions[0].contains("第 8 张图片"),
                 qPrintable(editor.Prompts.Questions[0]));
        QVERIFY(main.StatusText(1).endsWith("(数据文件不完整)"));
        for (int index : {8, 12}) {
            editor.Doc()->Select(index);
            QVERIFY2(main.StatusText(3).contains("图片数据损坏"), qPrintable(main.StatusText(3)));
            QVERIFY(main.PreviewArea()->Picture()->Image().isNull());
        }
        editor.Doc()->Select(7);
        QVERIFY(main.StatusText(3).startsWith("序号:00007 宽:16 高:16"));
        main.DrawGrid()->viewport()->grab();
        main.Thumbnails()->WaitUntilIdle();

        main.Action("MenuCheckLibrary")->trigger();
        WaitForJobs();
        QVERIFY2(editor.Prompts.Errors.back().contains("20 张图片中有 12 张损坏") &&
                     editor.Prompts.Errors.back().contains("\n00008  "),
                 qPrintable(editor.Prompts.Errors.back()));
        QCOMPARE(editor.Doc()->Current(), 8);
        // Each damaged image once in the log, however often it was seen.
        const std::string log = ReadText(home.File("VelmoraLog.txt"));
        for (int index : {8, 12, 19}) {
            const std::string line = "image " + std::to_string(index) + ":";
            const size_t first = log.find(line);
            QVERIFY2(first != std::string::npos, line.c_str());
            QVERIFY2(log.find(line, first + 1) == std::string::npos, line.c_str());
        }
    }
};

QTEST_MAIN(TDocumentTest)
#include "document_test.moc"
