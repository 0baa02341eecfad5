// The import commands of the editor: one picture through the import dialog, and a folder through
// the batch import dialog, driven through scripted prompts.
#include "gui_support.h"

#include "app/thumbnail_grid.h"
#include "core/palette.h"
#include "core/utils.h"
#include "files/picture_files.h"
#include "files/placements.h"
#include "app/dialogs/batch_import_dialog.h"
#include "app/dialogs/import_picture_dialog.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

#include <csignal>
#include <filesystem>

#include <sys/resource.h>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

// Works the import dialog: offset, mode (0 replace, 1 insert, 2 append), compression, then OK.
std::function<int(QDialog&)> Confirm(int x, int y, int mode, int compression = 0) {
    return [=](QDialog& dialog) {
        dialog.findChild<QSpinBox*>("EditX")->setValue(x);
        dialog.findChild<QSpinBox*>("EditY")->setValue(y);
        dialog.findChild<QGroupBox*>("RadioGroup")->findChildren<QRadioButton*>()[mode]->click();
        dialog.findChild<QGroupBox*>("RadioGroup1")
            ->findChildren<QRadioButton*>()[compression]
            ->click();
        dialog.findChild<QPushButton*>("BitBtnOK")->click();
        return dialog.result();
    };
}

// A 32-bit picture: columns below `clear` fully transparent, the rest opaque, colours non-black.
TDIB AlphaPicture(int width, int height, int clear) {
    TDIB dib;
    dib.SetSize(width, height, 32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            dib.SetPixel(x, y, (x < clear ? 0u : 0xFF000000u) | uint32_t(0x203040 + x * 8 + y));
    return dib;
}

// Alpha and colour of a library picture at (x, y), whether it comes back as a PNG picture or as
// a 32-bit buffer with alpha in the top byte.
struct TSample {
    int Alpha = -1;
    uint32_t Rgb = 0;
};
TSample SampleAt(const TPicture& picture, int x, int y) {
    if (const TPngPicture* png = picture.AsPng()) {
        const uint8_t* rgb = png->Scanline(y) + x * png->Channels();
        const uint32_t colour =
            png->Channels() == 3 ? uint32_t(rgb[0]) << 16 | rgb[1] << 8 | rgb[2] : rgb[0];
        return {png->HasAlpha() ? png->AlphaScanline(y)[x] : 255, colour};
    }
    const TDIB* dib = picture.AsDIB();
    const uint32_t pixel = dib->Pixel(x, y);
    return {dib->BitCount() == 32 ? int(pixel >> 24) : 255, pixel & 0xFFFFFF};
}

std::unique_ptr<TPicture> Image(const TEditor& editor, int index) {
    int x = 0, y = 0;
    return editor.Library()->Get(index, x, y);
}

TPoint OffsetOf(const TEditor& editor, int index) {
    int x = 0, y = 0;
    editor.Library()->Get(index, x, y);
    return {x, y};
}

} // namespace

class TImportDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void pngWithAlphaKeepsItsAlphaInWzlAndPak() {
        for (const TImageType kind : {t_Wzl, t_Quillrand}) {
            TEditorHome home;
            const std::string lib = home.File(kind == t_Wzl ? "a.wzl" : "a.pak");
            QVERIFY(MakeLibrary(kind, lib, Sprites(3), 16));
            const std::string png = home.File("alpha.png");
            QVERIFY(SavePicture(png, AlphaPicture(8, 4, 4), ifPNG));
            TEditor editor;
            // Pak libraries open with the default password (an empty answer), twice.
            editor.Prompts.Inputs = {QString(), QString()};
            Open(editor.Main(), lib);
            QVERIFY(editor.Doc());
            editor.Prompts.Files = {QString::fromStdString(png)};
            editor.Prompts.Dialogs = {Confirm(3, -4, 2, 1)};
            auto& dialog = *editor.Main().ImportDialog();
            editor.Main().ToolButton("ToolButtonAdd")->click();
            QCOMPARE(editor.Prompts.Messages, std::vector<QString>({"图片导入成功 ！！！"}));
            // The compression choice is offered for Pak only, with the taller dialog.
            QCOMPARE(dialog.findChild<QGroupBox*>("RadioGroup1")->isVisibleTo(&dialog),
                     kind == t_Quillrand);
            QVERIFY(dialog.height() >= (kind == t_Quillrand ? 206 : 170));
            // The designed height holds every control.
            QVERIFY2(dialog.minimumSizeHint().height() <= dialog.height(),
                     qPrintable(QString::number(dialog.minimumSizeHint().height())));
            QVERIFY((!editor.Doc() || !editor.Doc()->Busy()));

            Open(editor.Main(), lib); // as written to disk
            QCOMPARE(editor.Library()->ImageCount(), 4);
            QCOMPARE(OffsetOf(editor, 3).X, 3);
            QCOMPARE(OffsetOf(editor, 3).Y, -4);
            const auto picture = Image(editor, 3);
            QVERIFY(picture);
            QCOMPARE(picture->Width(), 8);
            const TSample clear = SampleAt(*picture, 0, 1);
            QCOMPARE(clear.Alpha, 0);
            QCOMPARE(clear.Rgb, 0u); // a transparent pixel is black
            const TSample solid = SampleAt(*picture, 5, 1);
            QCOMPARE(solid.Alpha, 255);
            QCOMPARE(solid.Rgb, uint32_t(0x203040 + 5 * 8 + 1));
            // The status line counts the new image.
            QVERIFY(editor.Main().StatusText(2).endsWith("/4"));
        }
    }

    void depthRulesOfWil() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wil, home.File("e.wil"), Sprites(2), 8));
        QVERIFY(MakeLibrary(t_Wil, home.File("s.wil"), Sprites(2), 16));
        // A 10-pixel-wide 24-bit picture, and an 8-bit one with black and red 1, green 1, blue 1.
        std::unique_ptr<TDIB> wide = test::MakePatternDIB(10, 3, 24, 9);
        wide->SaveToFile(home.File("wide.bmp"));
        TDIB eight;
        eight.SetSize(4, 2, 8);
        eight.ColorTable()[1] = {1, 1, 1, 0};
        eight.SetPixel(1, 0, 1);
        eight.SetPixel(2, 1, 1);
        eight.SaveToFile(home.File("eight.bmp"));

        TEditor editor;
        Open(editor.Main(), home.File("e.wil"));
        editor.Prompts.Files = {QString::fromStdString(home.File("wide.bmp"))};
        editor.Prompts.Dialogs = {Confirm(0, 0, 2)};
        editor.Main().ImportDialog()->ToolButtonAddClick(*editor.Doc());
        QVERIFY(editor.Main().ImportDialog()->height() >= 170);
        QVERIFY(!editor.Main()
                     .ImportDialog()
                     ->findChild<QGroupBox*>("RadioGroup1")
                     ->isVisibleTo(editor.Main().ImportDialog()));
        Open(editor.Main(), home.File("e.wil"));
        auto picture = Image(editor, 2);
        QVERIFY(picture && picture->AsDIB());
        QCOMPARE(picture->Width(), 12);
        QCOMPARE(picture->AsDIB()->BitCount(), 8);
        for (int y = 0; y < 3; ++y) {
            QCOMPARE(picture->AsDIB()->Pixel(10, y), 0u); // the new columns are black
            QCOMPARE(picture->AsDIB()->Pixel(11, y), 0u);
        }

        Open(editor.Main(), home.File("s.wil"));
        editor.Prompts.Files = {QString::fromStdString(home.File("eight.bmp"))};
        editor.Prompts.Dialogs = {Confirm(0, 0, 2)};
        editor.Main().ImportDialog()->ToolButtonAddClick(*editor.Doc());
        Open(editor.Main(), home.File("s.wil"));
        picture = Image(editor, 2);
        QVERIFY(picture && picture->AsDIB());
        QCOMPARE(picture->AsDIB()->BitCount(), 16);
        QCOMPARE(picture->AsDIB()->Pixel(0, 0), 0u);
        QCOMPARE(picture->AsDIB()->Pixel(1, 0), 0x0841u);
        QCOMPARE(picture->AsDIB()->Pixel(2, 1), 0x0841u);
    }

    void replaceAndInsertAtTheLastImageRefusedPastIt() {
        TEditorHome home;
        std::vector<TSpriteSpec> sprites = Sprites(3);
        QVERIFY(MakeLibrary(t_Wzl, home.File("r.wzl"), sprites, 16));
        std::unique_ptr<TDIB> pic = test::MakePatternDIB(5, 7, 24, 3);
        pic->SaveToFile(home.File("p.bmp"));
        const QString file = QString::fromStdString(home.File("p.bmp"));
        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, home.File("r.wzl"));

        main.DrawGrid()->FocusCell(2, 0); // the last image
        editor.Prompts.Files = {file};
        editor.Prompts.Dialogs = {Confirm(1, 2, 0)};
        main.ToolButton("ToolButtonAdd")->click();
        QCOMPARE(editor.Library()->ImageCount(), 3);
        QCOMPARE(Image(editor, 2)->Width(), 5);
        QCOMPARE(OffsetOf(editor, 2).X, 1);
        // The preview and pane 3 follow the replaced image.
        QCOMPARE(main.StatusText(3), QString("序号:00002 宽:5 高:7 偏移坐标:1,2"));

        editor.Prompts.Files = {file};
        editor.Prompts.Dialogs = {Confirm(4, 4, 1)};
        main.ToolButton("ToolButtonAdd")->click();
        QCOMPARE(editor.Library()->ImageCount(), 4);
        QCOMPARE(OffsetOf(editor, 2).X, 4); // the picture went before the last image
        QCOMPARE(OffsetOf(editor, 3).X, 1); // which moved on by one
        QCOMPARE(Image(editor, 1)->Width(), sprites[1].Width); // the others stay

        editor.Doc()->Select(-1); // no image selected: nothing to replace or insert before
        for (int mode : {0, 1}) {
            editor.Prompts.Files = {file};
            editor.Prompts.Dialogs = {Confirm(0, 0, mode)};
            main.ToolButton("ToolButtonAdd")->click();
        }
        QCOMPARE(editor.Library()->ImageCount(), 4);
        QCOMPARE(editor.Prompts.Messages,
                 std::vector<QString>({"图片导入成功 ！！！", "图片导入成功 ！！！",
                                       "图片导入失败 ！！！", "图片导入失败 ！！！"}));
        // Appending ignores the selection, and the dialog kept the last values.
        editor.Prompts.Files = {file};
        editor.Prompts.Dialogs = {[](QDialog& d) {
            d.findChild<QGroupBox*>("RadioGroup")->findChildren<QRadioButton*>()[2]->click();
            d.findChild<QPushButton*>("BitBtnOK")->click();
            return d.result();
        }};
        main.ToolButton("ToolButtonAdd")->click();
        QCOMPARE(editor.Library()->ImageCount(), 5);
        QCOMPARE(OffsetOf(editor, 4).X, 0);
        QVERIFY(editor.Prompts.Unexpected.empty());
    }

    void cancelAndUnreadablePicturesChangeNothing() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wil, home.File("c.wil"), Sprites(2), 16));
        WriteText(home.File("broken.bmp"), "not a picture");
        test::MakePatternDIB(4, 4, 24, 1)->SaveToFile(home.File("ok.bmp"));
        TEditor editor;
        Open(editor.Main(), home.File("c.wil"));
        editor.Prompts.Files = {"", QString::fromStdString(home.File("broken.bmp")),
                                QString::fromStdString(home.File("ok.bmp"))};
        editor.Prompts.Dialogs = {[](QDialog& d) {
            d.findChild<QPushButton*>("BitBtnClose")->click();
            return d.result();
        }};
        for (int i = 0; i < 3; ++i)
            editor.Main().ToolButton("ToolButtonAdd")->click();
        QCOMPARE(editor.Library()->ImageCount(), 2);
        // Only the unreadable picture is reported, with its name.
        QCOMPARE(editor.Prompts.Messages.size(), size_t(1));
        QVERIFY(editor.Prompts.Messages[0].startsWith("图片导入失败 ！！！"));
        QVERIFY(editor.Prompts.Messages[0].contains("broken.bmp"));
        QVERIFY((!editor.Doc() || !editor.Doc()->Busy()));
    }

    void batchImportOrderModesAndOffsets() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wzl, home.File("b.wzl"), Sprites(10), 16));
        const std::string dir = home.Folder("pics");
        // Name order is ordinal: A.bmp, a.TGA, b.png; the text file and the folder are skipped.
        test::MakePatternDIB(5, 3, 24, 1)->SaveToFile(dir + "A.bmp");
        TDIB tga = *test::MakePatternDIB(6, 3, 24, 2);
        QVERIFY(SavePicture(dir + "a.TGA", tga, ifTGA));
        QVERIFY(SavePicture(dir + "b.png", *test::MakePatternDIB(7, 3, 24, 3), ifPNG));
        WriteText(dir + "readme.txt", "x");
        home.Folder("pics/x.png");
        home.Folder("pics/Placements");
        SavePlacement(dir + std::string(kPlacementsFolder) + "/a.txt", {11, -3});

        TEditor editor;
        TfrmMain& main = editor.Main();
        Open(main, home.File("b.wzl"));
        auto& dialog = *editor.Main().BatchImportDialog();
        const auto run = [&](int content, int mode, int start, int end, bool fromFiles,
                             const QString& fixed) {
            editor.Prompts.Dialogs.push_back([=](QDialog& d) {
                d.findChild<QGroupBox*>("RadioGroup1")
                    ->findChildren<QRadioButton*>()[content]
                    ->click();
                d.findChild<QGroupBox*>("RadioGroup3")
                    ->findChildren<QRadioButton*>()[mode]
                    ->click();
                d.findChild<QLineEdit*>("EditFileDir")->setText(QString::fromStdString(dir));
                d.findChild<QSpinBox*>("EditX")->setValue(start);
                d.findChild<QSpinBox*>("EditY")->setValue(end);
                d.findChild<QRadioButton*>(fromFiles ? "RadioButton1" : "RadioButton2")->click();
                d.findChild<QLineEdit*>("EditXY")->setText(fixed);
                d.findChild<QPushButton*>("BitBtnOK")->click();
                return d.result();
            });
            main.ToolButton("ToolButtonAddMany")->click();
        };

        // Append with offsets from the offset files: a picture without one gets (0, 0).
        run(0, 0, 0, 0, true, "0,0");
        QCOMPARE(editor.Library()->ImageCount(), 13);
        QCOMPARE(Image(editor, 10)->Width(), 5);
        QCOMPARE(Image(editor, 11)->Width(), 6);
        QCOMPARE(Image(editor, 12)->Width(), 7);
        QCOMPARE(OffsetOf(editor, 10).X, 0);
        QCOMPARE(OffsetOf(editor, 11).X, 11);
        QCOMPARE(OffsetOf(editor, 11).Y, -3);
        QCOMPARE(dialog.windowTitle(), QString("批量导入图片(3/3)"));
        QCOMPARE(editor.Prompts.Messages.back(), QString("图片导入成功 ！！！"));
        QVERIFY(main.StatusText(2).endsWith("/13"));

        // Overwrite 5 down to 2 with three pictures and one fixed pair: images 2, 3 and 4.
        run(1, 2, 5, 2, true, " 12,-7 ");
        QCOMPARE(editor.Library()->ImageCount(), 13);
        QCOMPARE(Image(editor, 2)->Width(), 5);
        QCOMPARE(Image(editor, 4)->Width(), 7);
        QCOMPARE(Image(editor, 5)->Width(), 16);
        QCOMPARE(OffsetOf(editor, 3).X, 12);
        QCOMPARE(OffsetOf(editor, 3).Y, -7);

        // Insert beyond the last image puts them before the last image, in list order.
        run(1, 1, 99, 0, false, "5");
        QCOMPARE(editor.Library()->ImageCount(), 16);
        QCOMPARE(Image(editor, 12)->Width(), 5);
        QCOMPARE(Image(editor, 14)->Width(), 7);
        QCOMPARE(Image(editor, 15)->Width(), 7); // the former last image
        QCOMPARE(OffsetOf(editor, 12).X, 5);
        QCOMPARE(OffsetOf(editor, 12).Y, 0);

        // Placeholders: append 10, insert 3 at index 4.
        run(3, 0, 10, 0, false, "1,1");
        QCOMPARE(editor.Library()->ImageCount(), 26);
        run(3, 1, 4, 3, false, "2,2");
        QCOMPARE(editor.Library()->ImageCount(), 29);
        for (int i = 4; i < 7; ++i) {
            const auto placeholder = Image(editor, i);
            QVERIFY(!placeholder || placeholder->Width() * placeholder->Height() <= 1);
        }
        QCOMPARE(Image(editor, 7)->Width(), 7); // the picture that was at 4 moved on by three
        QVERIFY(editor.Prompts.Unexpected.empty());
        QVERIFY((!editor.Doc() || !editor.Doc()->Busy()));
    }

    void batchImportCountsWhatDidNotGoIn() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wzl, home.File("f.wzl"), Sprites(2), 16));
        const std::string dir = home.Folder("mixed");
        test::MakePatternDIB(5, 3, 24, 1)->SaveToFile(dir + "1.bmp");
        WriteText(dir + "2.png", "broken");
        TEditor editor;
        Open(editor.Main(), home.File("f.wzl"));
        auto& dialog = *editor.Main().BatchImportDialog();
        // An empty folder field is refused and leaves the dialog open and usable.
        editor.Prompts.Dialogs = {[&](QDialog& d) {
            d.findChild<QGroupBox*>("RadioGroup1")->findChildren<QRadioButton*>()[1]->click();
            d.findChild<QGroupBox*>("RadioGroup3")->findChildren<QRadioButton*>()[0]->click();
            d.findChild<QLineEdit*>("EditFileDir")->setText("  ");
            d.findChild<QPushButton*>("BitBtnOK")->click();
            if (d.result() != 0 || !d.findChild<QPushButton*>("BitBtnOK")->isEnabled())
                return -1;
            d.findChild<QLineEdit*>("EditFileDir")->setText(QString::fromStdString(dir));
            d.findChild<QPushButton*>("BitBtnOK")->click();
            return d.result();
        }};
        dialog.ToolButtonAddManyClick(*editor.Doc());
        QCOMPARE(editor.Prompts.Messages.size(), size_t(2));
        QCOMPARE(editor.Prompts.Messages[0], QString("请先选择图片所在文件夹 ！！！"));
        const QString& outcome = editor.Prompts.Messages[1];
        QVERIFY2(outcome.startsWith("图片导入完成，1/2 张失败 ！！！\n1 张图片无法读取"),
                 qPrintable(outcome));
        QVERIFY(outcome.contains("2.png"));
        QCOMPARE(editor.Library()->ImageCount(), 4); // the unreadable one went in as a placeholder
        QCOMPARE(dialog.FileList().size(), size_t(2));
    }

    void batchImportWhoseSaveFailsIsReportedAndStaysUsable() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Wzl, home.File("full.wzl"), Sprites(10), 16));
        const std::string dir = home.Folder("big");
        for (const char* name : {"1.bmp", "2.bmp", "3.bmp"})
            test::MakePatternDIB(200, 200, 24, 5)->SaveToFile(dir + name);
        TEditor editor;
        Open(editor.Main(), home.File("full.wzl"));
        auto& dialog = *editor.Main().BatchImportDialog();
        bool usable = false;
        editor.Prompts.Dialogs = {[&](QDialog& d) {
            d.findChild<QGroupBox*>("RadioGroup1")->findChildren<QRadioButton*>()[1]->click();
            d.findChild<QGroupBox*>("RadioGroup3")->findChildren<QRadioButton*>()[0]->click();
            d.findChild<QLineEdit*>("EditFileDir")->setText(QString::fromStdString(dir));
            d.setResult(0);
            {
                TFileSizeLimit limit(20000);
                d.findChild<QPushButton*>("BitBtnOK")->click();
                WaitForJobs();
            }
            usable = (!editor.Doc() || !editor.Doc()->Busy()) && d.result() == 0 &&
                     d.findChild<QPushButton*>("BitBtnOK")->isEnabled() &&
                     d.findChild<QPushButton*>("BitBtnClose")->isEnabled();
            return d.result();
        }};
        dialog.ToolButtonAddManyClick(*editor.Doc());
        QVERIFY(usable);
        QCOMPARE(editor.Prompts.Messages.size(), size_t(1));
        QVERIFY2(!editor.Prompts.Messages[0].contains("成功"),
                 qPrintable(editor.Prompts.Messages[0]));
        QVERIFY(editor.Prompts.Messages[0].contains("full.wzl"));
        Open(editor.Main(), home.File("full.wzl"));
        QCOMPARE(editor.Library()->ImageCount(), 10); // the file kept its old content
    }

    void batchImportControlsFollowContentAndMode() {
        TEditorHome home;
        QVERIFY(MakeLibrary(t_Quillrand, home.File("k.pak"), Sprites(4), 16));
        TEditor editor;
        editor.Prompts.Inputs = {QString()};
        Open(editor.Main(), home.File("k.pak"));
        QVERIFY(editor.Doc());
        auto& d = *editor.Main().BatchImportDialog();
        const auto pick = [&](const char* group, int item) {
            d.findChild<QGroupBox*>(group)->findChildren<QRadioButton*>()[item]->click();
        };
        pick("RadioGroup1", 0);
        pick("RadioGroup3", 0);
        QVERIFY(!d.findChild<QGroupBox*>("GroupBox2")->isEnabled());
        pick("RadioGroup3", 1);
        QVERIFY(d.findChild<QGroupBox*>("GroupBox2")->isEnabled());
        QVERIFY(d.findChild<QSpinBox*>("EditX")->isEnabled());
        QVERIFY(!d.findChild<QSpinBox*>("EditY")->isEnabled());
        pick("RadioGroup1", 1);
        QVERIFY(!d.findChild<QGroupBox*>("GroupBox4")->isEnabled());
        pick("RadioGroup1", 2); // offsets only: overwrite forced, mode group off
        QVERIFY(
            d.findChild<QGroupBox*>("RadioGroup3")->findChildren<QRadioButton*>()[2]->isChecked());
        QVERIFY(!d.findChild<QGroupBox*>("RadioGroup3")->isEnabled());
        QCOMPARE(d.findChild<QLabel*>("RzLabel")->text(), QString("坐标所在文件夹:"));
        pick("RadioGroup1", 3);
        QVERIFY(!d.findChild<QLineEdit*>("EditFileDir")->isEnabled());
        QCOMPARE(d.findChild<QLabel*>("RzLabel")->text(), QString("图片所在文件夹:"));
        pick("RadioGroup3", 0);
        QCOMPARE(d.findChild<QLabel*>("RzLabel1")->text(), QString("添加张数:"));
        pick("RadioGroup3", 1);
        QCOMPARE(d.findChild<QLabel*>("RzLabel1")->text(), QString("起始编号:"));
        QCOMPARE(d.findChild<QLabel*>("RzLabel2")->text(), QString("添加张数:"));

        // The range starts at the current image and runs to the last; the compression choice
        // is there for Pak.
        bool compression = false;
        editor.Prompts.Dialogs = {[&](QDialog& dialog) {
            compression = dialog.findChild<QGroupBox*>("RadioGroup2")->isVisibleTo(&dialog);
            return 0;
        }};
        editor.Doc()->Select(2);
        d.ToolButtonAddManyClick(*editor.Doc());
        QVERIFY(compression);
        QCOMPARE(d.findChild<QSpinBox*>("EditX")->value(), 2);
        QCOMPARE(d.findChild<QSpinBox*>("EditY")->value(), 3);
        QVERIFY(d.height() >= 352);
    }
};

QTEST_MAIN(TImportDialogsTest)
#include "import_dialogs_test.moc"
