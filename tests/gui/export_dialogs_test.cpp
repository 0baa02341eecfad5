// The export commands of the editor: one image through the save dialog, and a range through the
// batch export dialog with its worker threads, driven through scripted prompts.
#include "gui_support.h"

#include "app/thumbnail_grid.h"
#include "core/file_stream.h"
#include "files/picture_files.h"
#include "files/placements.h"
#include "app/dialogs/batch_export_dialog.h"
#include "app/dialogs/export_picture_dialog.h"
#include "support/formats_support.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QToolButton>
#include <QTimer>

#include <algorithm>
#include <filesystem>

#include <unistd.h>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

namespace fs = std::filesystem;

int CountFiles(const std::string& folder, const std::string& extension) {
    int count = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.is_regular_file() && entry.path().extension() == extension)
            ++count;
    return count;
}

// Works the batch export dialog: folder, range and format, then 高速导出; the dialog's timer
// finishes the run while the test waits in the event loop. `during` runs right after the start.
std::function<int(QDialog&)> Export(const std::string& folder, int first, int last, int format,
                                    std::function<void(TfrmOutPutDlg&)> during = {}) {
    return [=](QDialog& dialog) {
        auto& d = static_cast<TfrmOutPutDlg&>(dialog);
        d.findChild<QLineEdit*>("EditFileDir")->setText(QString::fromStdString(folder));
        d.findChild<QSpinBox*>("EditX")->setValue(first);
        d.findChild<QSpinBox*>("EditY")->setValue(last);
        d.findChild<QGroupBox*>("RadioGroupImageFormat")
            ->findChildren<QRadioButton*>()[format]
            ->click();
        d.setResult(0);
        d.findChild<QPushButton*>("BitBtnOK2")->click();
        if (during)
            during(d);
        if (!QTest::qWaitFor([&] { return !d.Running(); }, 60000))
            return -1;
        return d.result();
    };
}

} // namespace

class TExportDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void exportNamesByIndexInTheFolderTheDialogEndsIn() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wil, home.File("x.wil"), Sprites(8), 16));
        const std::string first = home.Folder("first");
        const std::string second = home.Folder("second");
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, home.File("x.wil"));
        main.DrawGrid()->FocusCell(5, 0);

        editor.Prompts.Files = {QString::fromStdString(first + "whatever.png")};
        main.ToolButton("ToolButtonSaveBMP")->click();
        QVERIFY(FileExists(first + "00005.PNG"));
        QCOMPARE(LastExportChoice().Target, first + "00005.PNG");

        // The dialog reopens in the last folder; choosing TGA there and ending in another folder
        // writes the index name with .TGA into the folder the dialog closed in.
        main.DrawGrid()->FocusCell(3, 0);
        editor.Prompts.Files = {QString::fromStdString(second + "typed.bmp")};
        editor.Prompts.FilterIndexes = {2};
        main.ToolButton("ToolButtonSaveBMP")->click();
        QCOMPARE(editor.Prompts.ProposedPaths.back(), QString::fromStdString(first + "00003"));
        QCOMPARE(editor.Prompts.TypeChangeNames,
                 std::vector<QString>({QString::fromStdString(second + "00003.TGA")}));
        QVERIFY(FileExists(second + "00003.TGA"));
        QVERIFY(!FileExists(second + "typed.bmp"));
        TDIB back;
        QVERIFY(LoadPicture(second + "00003.TGA", back, ifTGA));
        QCOMPARE(back.Width(), 16);
        const std::string tga = ReadText(second + "00003.TGA");
        QCOMPARE(int(uint8_t(tga.at(16))), 24); // a 16-bit buffer is written at 24 bits

        // BMP of a pixel buffer has its own message, without the blank.
        editor.Prompts.Files = {QString::fromStdString(second + "x")};
        editor.Prompts.FilterIndexes = {1};
        main.ToolButton("ToolButtonSaveBMP")->click();
        QVERIFY(FileExists(second + "00003.BMP"));
        QCOMPARE(editor.Prompts.Messages,
                 std::vector<QString>(
                     {"图片导出成功 ！！！", "图片导出成功 ！！！", "图片导出成功！！！"}));
        // A cancelled dialog and an empty cell export nothing and say nothing.
        editor.Prompts.Files = {""};
        main.ToolButton("ToolButtonSaveBMP")->click();
        editor.Doc()->Select(-1);
        main.ToolButton("ToolButtonSaveBMP")->click();
        QCOMPARE(editor.Prompts.Messages.size(), size_t(3));
        QVERIFY((!editor.Doc() || !editor.Doc()->Busy()));
    }

    void typeChangeNamesTheTarget() {
        QCOMPARE(SaveDialog1TypeChange(0, "/d", 5), std::string("/d/00005.PNG"));
        QCOMPARE(SaveDialog1TypeChange(2, "/d/", 123456), std::string("/d/123456.TGA"));
        QCOMPARE(LastExportChoice().Format, 2);
        // An unknown type changes the format only.
        QCOMPARE(SaveDialog1TypeChange(5, "/e", 1), std::string());
        QCOMPARE(LastExportChoice().Format, 5);
        QCOMPARE(LastExportChoice().Target, std::string("/d/123456.TGA"));
    }

    void exportFailureIsReported() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wzl, home.File("f.wzl"), Sprites(2)));
        const std::string out = home.Folder("out");
        home.Folder("out/00001.PNG"); // a folder where the picture should go
        TEditor editor;
        Open(editor.Main(), home.File("f.wzl"));
        editor.Main().DrawGrid()->FocusCell(1, 0);
        editor.Prompts.Files = {QString::fromStdString(out + "n")};
        editor.Prompts.FilterIndexes = {0};
        editor.Main().ToolButton("ToolButtonSaveBMP")->click();
        QCOMPARE(editor.Prompts.Messages.size(), size_t(1));
        QVERIFY(editor.Prompts.Messages[0].startsWith("图片导出失败 ！！！"));
    }

    void batchExportOfAThousandImages() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wil, home.File("k.wil"), Sprites(1000, 4, 3), 16));
        const std::string out = home.Path() + "made/by/export";
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, home.File("k.wil"));
        auto& dialog = *editor.Main().BatchExportDialog();
        QProgressBar* bar = dialog.findChild<QProgressBar*>("ProgressBar");
        bool closeRefused = false, busyWhileRunning = false, mainCloseRefused = false;
        editor.Prompts.Dialogs = {Export(out, 0, 999, 1, [&](TfrmOutPutDlg& d) {
            busyWhileRunning = editor.Doc()->Busy() && d.Running() &&
                               !d.findChild<QPushButton*>("BitBtnOK2")->isEnabled();
            closeRefused = !d.close() && d.Running();
            mainCloseRefused = !main.close();
        })};
        main.ToolButton("ToolButtonSaveManyBMP")->click();
        QVERIFY(busyWhileRunning);
        QVERIFY(closeRefused);
        QVERIFY(mainCloseRefused);
        QVERIFY(!dialog.Running());
        QVERIFY((!editor.Doc() || !editor.Doc()->Busy()));
        QCOMPARE(editor.Prompts.Messages, std::vector<QString>({"图片导出成功 ！！！"}));
        QCOMPARE(dialog.LastResult().Written, 1000);
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(bar->maximum(), 1000);
        QCOMPARE(CountFiles(out + "/", ".BMP"), 1000);
        QCOMPARE(CountFiles(out + "/Placements", ".txt"), 1000);
        QCOMPARE(LoadPlacement(out + "/00999.BMP").X, 999 - 24);
        // The range was proposed from the current cell to the last image.
        main.DrawGrid()->FocusCell(4, 2);
        editor.Prompts.Dialogs = {[](QDialog& d) {
            return d.findChild<QSpinBox*>("EditX")->value() * 10000 +
                   d.findChild<QSpinBox*>("EditY")->value();
        }};
        main.ToolButton("ToolButtonSaveManyBMP")->click();
        QCOMPARE(dialog.findChild<QSpinBox*>("EditX")->value(), 24);
        QCOMPARE(dialog.findChild<QSpinBox*>("EditY")->value(), 999);
    }

    void batchExportAutomaticFormatFollowsTheStoredPicture() {
        TEditorHome home;
        std::vector<TSpriteSpec> sprites = Sprites(4);
        sprites[1].Alpha = true; // stored as a picture with alpha, read back as PNG
        sprites[3].Alpha = true;
        QVERIFY(MakeLibrary(t_Wzl, home.File("m.wzl"), sprites, 16));
        const std::string out = home.Folder("auto");
        TEditor editor;
        Open(editor.Main(), home.File("m.wzl"));
        editor.Prompts.Dialogs = {Export(out, 0, 3, 3)};
        editor.Main().BatchExportDialog()->ToolButtonSaveManyBMPClick(*editor.Doc());
        for (int i = 0; i < 4; ++i) {
            int x = 0, y = 0;
            const bool png = editor.Library()->Get(i, x, y)->AsPng() != nullptr;
            const std::string name = out + "0000" + std::to_string(i);
            QCOMPARE(FileExists(name + ".PNG"), png);
            QCOMPARE(FileExists(name + ".BMP"), !png);
            QVERIFY(FileExists(out + "Placements/0000" + std::to_string(i) + ".txt"));
        }
        QVERIFY(FileExists(out + "00001.PNG"));
        QCOMPARE(editor.Prompts.Messages, std::vector<QString>({"图片导出成功 ！！！"}));
    }

    void batchExportCountsFailuresAndRefusesBadInput() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wil, home.File("r.wil"), Sprites(250, 4, 3), 16));
        const std::string out = home.Folder("part");
        // Three targets that cannot be written whoever runs the test.
        for (const char* blocked : {"00003.PNG", "00100.PNG", "00249.PNG"})
            home.Folder(std::string("part/") + blocked);
        const std::string blocker = home.File("plainfile");
        WriteText(blocker, "x");
        TEditor editor;
        Open(editor.Main(), home.File("r.wil"));
        auto& dialog = *editor.Main().BatchExportDialog();
        editor.Prompts.Dialogs = {[&](QDialog& d) {
            // An empty folder field, a folder that cannot be made and a range outside the library
            // each leave the dialog idle and usable.
            Export("", 0, 249, 0)(d);
            Export(blocker + "/sub", 0, 249, 0)(d);
            Export(out, 250, 260, 0)(d);
            if (dialog.Running() || !d.findChild<QPushButton*>("BitBtnOK2")->isEnabled())
                return -1;
            return Export(out, 0, 249, 0)(d);
        }};
        dialog.ToolButtonSaveManyBMPClick(*editor.Doc());
        QCOMPARE(editor.Prompts.Messages.size(), size_t(3));
        QCOMPARE(editor.Prompts.Messages[0], QString("请先选择图片导出的文件夹 ！！！"));
        QVERIFY(editor.Prompts.Messages[1].startsWith("图片导出失败 ！！！"));
        QVERIFY(editor.Prompts.Messages[2].startsWith("图片导出完成，3/250 张失败 ！！！"));
        QVERIFY(editor.Prompts.Messages[2].contains("00100.PNG"));
        QCOMPARE(dialog.LastResult().Written, 247);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY((!editor.Doc() || !editor.Doc()->Busy()));
    }

    // An image whose stream does not decode and one whose offset file cannot be replaced (a stale
    // one lies there) are failures in the count, not pictures written or empty slots.
    void batchExportCountsImagesWithoutAPictureOrOffsetFile() {
        TEditorHome home;
        std::vector<TSpriteSpec> sprites = Sprites(6, 8, 4);
        for (TSpriteSpec& s : sprites)
            s.Solid = RGBColor(200, 90, 9); // compresses, so the streams are kept
        QVERIFY(MakeLibrary(t_Wzl, home.File("d.wzl"), sprites, 16));
        test::DamageWzlStream(home.File("d.wzl"), 2);
        const std::string out = home.Folder("damaged");
        home.Folder("damaged/Placements/00004.txt.part");
        WriteText(out + "Placements/00004.txt", "1\r\n1\r\n");
        TEditor editor;
        Open(editor.Main(), home.File("d.wzl"));
        auto& dialog = *editor.Main().BatchExportDialog();
        editor.Prompts.Dialogs = {Export(out, 0, 5, 0)};
        dialog.ToolButtonSaveManyBMPClick(*editor.Doc());
        QCOMPARE(editor.Prompts.Messages.size(), size_t(1));
        QVERIFY2(editor.Prompts.Messages[0].startsWith("图片导出完成，2/6 张失败 ！！！"),
                 qPrintable(editor.Prompts.Messages[0]));
        QCOMPARE(dialog.LastResult().Written, 4);
        QVERIFY(!FileExists(out + "00002.PNG"));
        QVERIFY(!FileExists(out + "00004.PNG"));
    }

    void batchExportIntoAReadOnlyFolderCountsEveryPicture() {
        if (::geteuid() == 0)
            QSKIP("the superuser writes into read-only folders; the blocked names above cover it");
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wil, home.File("o.wil"), Sprites(20, 4, 3), 16));
        const std::string out = home.Folder("locked");
        home.Folder("locked/Placements");
        fs::permissions(out, fs::perms::owner_read | fs::perms::owner_exec);
        TEditor editor;
        Open(editor.Main(), home.File("o.wil"));
        editor.Prompts.Dialogs = {Export(out, 0, 19, 1)};
        editor.Main().BatchExportDialog()->ToolButtonSaveManyBMPClick(*editor.Doc());
        fs::permissions(out, fs::perms::owner_all);
        QCOMPARE(editor.Prompts.Messages.size(), size_t(1));
        QVERIFY2(editor.Prompts.Messages[0].startsWith("图片导出完成，20/20 张失败 ！！！"),
                 qPrintable(editor.Prompts.Messages[0]));
    }

    void escapeStopsABatchExportAndSaysHowFarItGot() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wzl, home.File("s.wzl"), Sprites(3000, 24, 24), 16));
        TEditor editor;
        Open(editor.Main(), home.File("s.wzl"));
        auto& dialog = *editor.Main().BatchExportDialog();
        dialog.SetProcessors(1);
        const std::string out = home.Folder("stopped");
        bool cancelEnabled = false;
        editor.Prompts.Dialogs = {Export(out, 0, 2999, 0, [&](TfrmOutPutDlg& d) {
            cancelEnabled = d.findChild<QPushButton*>("BitBtnClose")->isEnabled();
            QTest::keyClick(&d, Qt::Key_Escape);
        })};
        dialog.ToolButtonSaveManyBMPClick(*editor.Doc());
        QVERIFY(cancelEnabled);
        QVERIFY((!editor.Doc() || !editor.Doc()->Busy()));
        const int written = dialog.LastResult().Written;
        QVERIFY(written < 3000);
        QCOMPARE(editor.Prompts.Messages.size(), size_t(1));
        QCOMPARE(editor.Prompts.Messages[0],
                 QString("批量导出已取消 ！！！\n已导出 %1/3000 张图片。").arg(written));
        // Every picture begun was finished under its own name: no temporary file is left.
        int files = 0;
        for (const auto& entry : fs::directory_iterator(out))
            files += entry.is_regular_file();
        QCOMPARE(files, written);
        QCOMPARE(CountFiles(out + "/Placements", ".txt"), written);
    }

    void progressMovesWhileTheWindowStaysResponsive() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wzl, home.File("p.wzl"), Sprites(3000, 24, 24), 16));
        TEditor editor;
        Open(editor.Main(), home.File("p.wzl"));
        auto& dialog = *editor.Main().BatchExportDialog();
        dialog.SetProcessors(1);
        // The run is quick: the timer ticks often enough to see it between start and end.
        dialog.findChild<QTimer*>("Timer1")->setInterval(5);
        QProgressBar* bar = dialog.findChild<QProgressBar*>("ProgressBar");
        std::vector<int> seen;
        int ticks = 0;
        QTimer probe;
        probe.setInterval(20);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            ++ticks; // the event loop runs while the workers do
            if (seen.empty() || seen.back() != bar->value())
                seen.push_back(bar->value());
        });
        probe.start();
        editor.Prompts.Dialogs = {Export(home.Folder("prog"), 0, 2999, 0)};
        dialog.ToolButtonSaveManyBMPClick(*editor.Doc());
        probe.stop();
        QCOMPARE(dialog.LastResult().Written, 3000);
        QVERIFY(ticks > 10);
        QVERIFY2(std::any_of(seen.begin(), seen.end(), [](int v) { return v > 0 && v < 3000; }),
                 "the bar moved between the start and the end of the run");
        QCOMPARE(bar->value(), 3000);
    }
};

QTEST_MAIN(TExportDialogsTest)
#include "export_dialogs_test.moc"
