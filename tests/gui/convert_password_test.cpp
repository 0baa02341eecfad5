// The conversion dialog, the password manager and the change-password dialog.
#include "gui_support.h"

#include "app/dialogs/change_password_dialog.h"
#include "app/dialogs/convert_library_dialog.h"
#include "app/dialogs/password_list_dialog.h"
#include "support/cli_support.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

// True when both libraries hold the same pictures (as ARGB) with the same offsets.
bool SameImages(TGameImages& a, TGameImages& b) {
    if (a.ImageCount() != b.ImageCount())
        return false;
    for (int i = 0; i < a.ImageCount(); ++i) {
        int ax = 0, ay = 0, bx = 0, by = 0;
        auto pa = a.Get(i, ax, ay);
        auto pb = b.Get(i, bx, by);
        if (!pa || !pb || ax != bx || ay != by)
            return false;
        if (cli_test::PictureArgb(*pa) != cli_test::PictureArgb(*pb))
            return false;
    }
    return true;
}

// Runs the conversion dialog once with the given kind, files, compression and password.
void Convert(TEditor& editor, int kind, const std::string& source, const std::string& target,
             int compression, const QString& password, QString* caption = nullptr) {
    editor.Prompts.Dialogs.push_back([=](QDialog& d) {
        auto& dlg = static_cast<TfrmConvertDlg&>(d);
        dlg.SetKind(kind);
        dlg.EditFileDir()->setText(QString::fromStdString(source) + "  ");
        dlg.EditSaveDir()->setText(QString::fromStdString(target));
        dlg.SetCompression(compression);
        dlg.EditPassWord()->setText(password);
        dlg.BitBtnOK()->click();
        return 0;
    });
    editor.Main().ConvertDialog()->ToolButtonConvertDataClick(editor.Main());
    if (caption)
        *caption = editor.Main().ConvertDialog()->windowTitle();
}

std::vector<uint8_t> Bytes(const std::string& path) {
    return TFileStream::ReadAll(path);
}

QString Cell(const QTableWidget* grid, int row, int col) {
    const QTableWidgetItem* item = grid->item(row, col);
    return item ? item->text() : QString();
}

QStringList Row(const QTableWidget* grid, int row) {
    return {Cell(grid, row, 0), Cell(grid, row, 1), Cell(grid, row, 2)};
}

} // namespace

class TConvertPasswordTest : public QObject {
    Q_OBJECT
private slots:
    void convertLayoutAndProposals() {
        TEditorHome home;
        TEditor editor;
        TfrmConvertDlg& dlg = *editor.Main().ConvertDialog();
        QCOMPARE(dlg.Kind(), 2);
        QCOMPARE(dlg.height(), 390);
        dlg.SetKind(0);
        editor.Prompts.Files.push_back(QString::fromStdString(home.File("m.wil")));
        dlg.EditFileDirButtonClick();
        QCOMPARE(dlg.EditFileDir()->text(), QString::fromStdString(home.File("m.wil")));
        QCOMPARE(dlg.EditSaveDir()->text(), QString::fromStdString(home.File("m.Pak")));
        dlg.SetKind(3);
        QCOMPARE(dlg.EditSaveDir()->text(), QString::fromStdString(home.File("m.Wzl")));
        QCOMPARE(dlg.height(), 290);
        QVERIFY(dlg.RadioGroup1()->isHidden() && dlg.GroupBox1()->isHidden());
        // A chosen target gets the kind's extension whatever was typed.
        editor.Prompts.Files.push_back(QString::fromStdString(home.File("out.data")));
        dlg.EditSaveDirButtonClick();
        QCOMPARE(dlg.EditSaveDir()->text(), QString::fromStdString(home.File("out.Wzl")));
        dlg.SetKind(1);
        QCOMPARE(dlg.EditSaveDir()->text(), QString::fromStdString(home.File("out.Pak")));
        QCOMPARE(dlg.height(), 390);
        QVERIFY(!dlg.RadioGroup1()->isHidden() && !dlg.GroupBox1()->isHidden());
    }

    void convertsEveryKindWithAndWithoutCompression() {
        TEditorHome home;
        TEditor editor;
        const std::string wil = home.File("s.wil"), wzl = home.File("s.wzl"),
                          wis = home.File("s.wis");
        QVERIFY(MakeLibrary(t_Wil, wil, Sprites(4), 16));
        QVERIFY(MakeLibrary(t_Wzl, wzl, {{8, 6, 1, 2, 0, true}, {5, 9, -3, 4}}, 32));
        QVERIFY(MakeLibrary(t_Wis, wis, Sprites(3, 9, 5)));
        struct TCase {
            int Kind;
            std::string Source, Target;
        } cases[] = {{0, wil, home.File("wil.Pak")},
                     {1, wis, home.File("wis.Pak")},
                     {2, wzl, home.File("wzl.Pak")},
                     {3, wil, home.File("wil.Wzl")}};
        for (int compression = 0; compression < 2; ++compression) {
            for (const TCase& c : cases) {
                QString caption;
                // The second time round the targets exist: each is named before it is replaced.
                if (compression == 1)
                    editor.Prompts.Confirms.push_back(true);
                Convert(editor, c.Kind, c.Source, c.Target, compression, "neu", &caption);
                if (compression == 1)
                    QVERIFY2(
                        editor.Prompts.Questions.back().startsWith(
                            "目标文件已存在：" + QString::fromStdString(c.Target)) &&
                            editor.Prompts.Questions.back().contains(
                                QString("其中有 %1 张图片").arg(Reopen(c.Source)->ImageCount())),
                        qPrintable(editor.Prompts.Questions.back()));
                QCOMPARE(editor.Prompts.Messages.back(), QString("转换成功 ！！！"));
                auto source = Reopen(c.Source);
                auto target = Reopen(c.Target, "neu");
                QVERIFY2(target, c.Target.c_str());
                QVERIFY2(SameImages(*source, *target), c.Target.c_str());
                QCOMPARE(caption, QString("数据转换(%1/%1)").arg(source->ImageCount()));
                QVERIFY(editor.Main().ConvertDialog()->BitBtnOK()->isEnabled());
            }
        }
        // The wzl source's alpha plane survives into the Pak target.
        auto pak = Reopen(home.File("wzl.Pak"), "neu");
        int x = 0, y = 0;
        auto picture = pak->Get(0, x, y);
        QVERIFY(picture && picture->AsPng());
        QVERIFY((!editor.Doc() || !editor.Doc()->Busy()));
        // Opening the dialog again resets its caption.
        editor.Prompts.Dialogs.push_back([](QDialog& d) { return d.windowTitle() == "数据转换"; });
        QCOMPARE(editor.Main().ConvertDialog()->Open(), 1);
    }

    // The kinds that decode pictures: a Pak source opens with its listed password or asks for it,
    // and one that loses alpha asks first (no writes nothing).
    void convertsIntoWilAndWzlAndConfirmsLosses() {
        TEditorHome home;
        TEditor editor;
        const std::string wzl = home.File("a.wzl"), pak = home.File("p.pak");
        QVERIFY(MakeLibrary(t_Wzl, wzl, {{8, 6, 1, 2, 0, true}, {5, 9, -3, 4}}, 16));
        QVERIFY(MakeLibrary(t_Quillrand, pak, Sprites(3), 16, "old"));
        TfrmConvertDlg& dlg = *editor.Main().ConvertDialog();
        dlg.SetKind(6);
        QCOMPARE(dlg.height(), int(TfrmConvertDlg::kHeightCompression));
        QVERIFY(!dlg.RadioGroup1()->isHidden() && dlg.GroupBox1()->isHidden());

        editor.Prompts.Inputs = {"wrong", "old"};
        Convert(editor, 6, pak, home.File("p.Wzl"), 1, "");
        QCOMPARE(editor.Prompts.Messages.back(), QString("转换成功 ！！！"));
        // The source's password is asked in a masked field that says when one was wrong.
        QCOMPARE(editor.Prompts.InputRequests.size(), size_t(2));
        QVERIFY(editor.Prompts.InputRequests[0].Password);
        QCOMPARE(editor.Prompts.InputRequests[0].Note, QString());
        QCOMPARE(editor.Prompts.InputRequests[1].Note, QString("密码错误"));
        QVERIFY(SameImages(*Reopen(pak, "old"), *Reopen(home.File("p.Wzl"))));

        const size_t asked = editor.Prompts.Questions.size();
        editor.Prompts.Confirms.push_back(false);
        Convert(editor, 4, wzl, home.File("a.Wil"), 0, "");
        QCOMPARE(editor.Prompts.Questions.size(), asked + 1);
        QVERIFY(editor.Prompts.Questions.back().contains(QString("1 张图片的透明通道将丢失")));
        QVERIFY(!std::filesystem::exists(home.File("a.Wil")));
        QVERIFY(dlg.BitBtnOK()->isEnabled() && (!editor.Doc() || !editor.Doc()->Busy()));
    }

    void convertKeepsTheNumberingOfAWisImageWithoutPicture() {
        TEditorHome home;
        TEditor editor;
        TWisWriter writer;
        std::vector<uint8_t> pixels(16 * 4);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = uint8_t(10 + i);
        writer.AddImage(16, 4, 1, 2, pixels, false);
        writer.AddRecord(0, 200, 200, 0, 0, std::vector<uint8_t>(8, 3));
        writer.AddImage(16, 4, 5, 6, pixels, true);
        writer.Save(home.File("gap.wis"));
        Convert(editor, 1, home.File("gap.wis"), home.File("gap.Pak"), 1, "");
        QCOMPARE(editor.Prompts.Messages.back(), QString("转换成功 ！！！"));
        // An empty password field keys the target with the default password.
        auto target = Reopen(home.File("gap.Pak"), kDefaultPakPassword);
        QVERIFY(target);
        QCOMPARE(target->ImageCount(), 3);
        QCOMPARE(target->GetPoint(2), (TPoint{5, 6}));
    }

    void convertFailuresAreReportedAndWriteNothing() {
        TEditorHome home;
        TEditor editor;
        Convert(editor, 0, home.File("none.wil"), home.File("none.Pak"), 0, "");
        QVERIFY(editor.Prompts.Messages.back().startsWith(QString("转换失败 ！！！\n")));
        // The reason in Chinese, the system's own text after it.
        QVERIFY2(editor.Prompts.Messages.back().contains("none.wil：文件不存在\n(") &&
                     editor.Prompts.Messages.back().endsWith("the file does not exist)"),
                 qPrintable(editor.Prompts.Messages.back()));
        QVERIFY(!std::filesystem::exists(home.File("none.Pak")));

        // A source that is no library: an existing target stays as it was.
        WriteText(home.File("junk.wzl"), "not a library at all");
        WriteText(home.File("kept.Pak"), "old content");
        editor.Prompts.Confirms.push_back(true);
        Convert(editor, 2, home.File("junk.wzl"), home.File("kept.Pak"), 0, "");
        QVERIFY(editor.Prompts.Questions.back().contains("不是可以读取的资源文件"));
        QVERIFY(editor.Prompts.Messages.back().startsWith(QString("转换失败 ！！！")));
        QCOMPARE(ReadText(home.File("kept.Pak")), std::string("old content"));

        // A target in a folder that does not exist.
        QVERIFY(MakeLibrary(t_Wil, home.File("ok.wil"), Sprites(2), 8));
        Convert(editor, 3, home.File("ok.wil"), home.File("no/such/dir/t.Wzl"), 0, "");
        QVERIFY2(editor.Prompts.Messages.back().startsWith(QString::fromStdString(
                     "转换失败 ！！！\n" + home.File("no/such/dir/") + "：文件夹不存在")),
                 qPrintable(editor.Prompts.Messages.back()));
        QVERIFY((!editor.Doc() || !editor.Doc()->Busy()));
        QVERIFY(editor.Main().ConvertDialog()->BitBtnOK()->isEnabled());
        QCOMPARE(std::distance(std::filesystem::directory_iterator(home.Path()),
                               std::filesystem::directory_iterator()),
                 std::ptrdiff_t(5)); // junk.wzl, kept.Pak, ok.wil, ok.WIX, no
    }

    void passwordGridAddSaveAndDefault() {
        TEditorHome home;
        WriteText(home.File("Pak.txt"), "a.Pak|one\r\nD:\\b.Pak|two\r\nc.Pak|three\r\n");
        LoadPakPasswords();
        TEditor editor;
        TFrmPassword& dlg = *editor.Main().PasswordDialog();
        editor.Prompts.Files.push_back("/data/new.Pak");
        editor.Prompts.Dialogs.push_back([&](QDialog& d) {
            auto& p = static_cast<TFrmPassword&>(d);
            p.ButtonPasswordAddClick();
            return 0;
        });
        dlg.ToolButtonPassWordClick();
        QTableWidget* grid = dlg.StringGridPak();
        QCOMPARE(grid->rowCount(), 4);
        QCOMPARE(Row(grid, 1), QStringList({"1", "D:\\b.Pak", "two"}));
        QCOMPARE(Row(grid, 3), QStringList({"3", "/data/new.Pak", ""}));
        QCOMPARE(g_PakPasswords.size(), size_t(3)); // the list changes only on 保存

        // A password the list would cut short keeps the dialog open on its row; nothing is saved.
        grid->item(1, 2)->setText("t|wo");
        dlg.ButtonPasswordOKClick();
        QCOMPARE(editor.Prompts.Messages.back(),
                 QString("第 2 行：") + QString::fromUtf8(kUnlistablePasswordText));
        QCOMPARE(grid->currentRow(), 1);
        QCOMPARE(g_PakPasswords.size(), size_t(3));
        QCOMPARE(ReadText(home.File("Pak.txt")),
                 std::string("a.Pak|one\r\nD:\\b.Pak|two\r\nc.Pak|three\r\n"));
        // So does one the code page cannot hold: no library could have it.
        grid->item(1, 2)->setText("😀two");
        dlg.ButtonPasswordOKClick();
        QCOMPARE(editor.Prompts.Messages.back(), QString("第 2 行：密码含有无法保存的字符！！！"));
        QCOMPARE(g_PakPasswords.size(), size_t(3));
        grid->item(1, 2)->setText("two");

        // 保存: rows without a file are dropped, an empty password becomes the default one.
        grid->setRowCount(5);
        grid->setItem(4, 2, new QTableWidgetItem("orphan"));
        grid->item(0, 2)->setText("");
        dlg.ButtonPasswordOKClick();
        QCOMPARE(grid->rowCount(), 4);
        for (int r = 0; r < 4; ++r)
            QCOMPARE(Cell(grid, r, 0), QString::number(r));
        QCOMPARE(Row(grid, 0), QStringList({"0", "a.Pak", "quillrand"}));
        QCOMPARE(Row(grid, 3), QStringList({"3", "/data/new.Pak", "quillrand"}));
        const std::vector<TPakPassword> expected = {{"a.Pak", "quillrand"},
                                                    {"D:\\b.Pak", "two"},
                                                    {"c.Pak", "three"},
                                                    {"/data/new.Pak", "quillrand"}};
        QVERIFY(g_PakPasswords == expected);
        LoadPakPasswords();
        QVERIFY(g_PakPasswords == expected);
    }

    void passwordGridClearWithoutSaveKeepsTheFile() {
        TEditorHome home;
        const std::string text = "a.Pak|one\r\nb.Pak|two\r\n";
        WriteText(home.File("Pak.txt"), text);
        LoadPakPasswords();
        TEditor editor;
        editor.Prompts.Dialogs.push_back([](QDialog& d) {
            static_cast<TFrmPassword&>(d).ButtonPasswordClearClick();
            return 0;
        });
        editor.Main().PasswordDialog()->ToolButtonPassWordClick();
        QVERIFY(g_PakPasswords.empty());
        QCOMPARE(editor.Main().PasswordDialog()->StringGridPak()->rowCount(), 0);
        QCOMPARE(ReadText(home.File("Pak.txt")), text);
    }

    void passwordGridImportsAGbkFile() {
        TEditorHome home;
        // "补丁" in GBK.
        WriteText(home.File("list.txt"), "D:\\\xB2\xB9\xB6\xA1.Pak|pw1\r\nz.Pak\r\n");
        TEditor editor;
        TFrmPassword& dlg = *editor.Main().PasswordDialog();
        editor.Prompts.Files.push_back(QString::fromStdString(home.File("list.txt")));
        dlg.ButtonPasswordLoadFileClick();
        QCOMPARE(editor.Prompts.FileRequests.back(), QString("文本文件|*.txt"));
        QTableWidget* grid = dlg.StringGridPak();
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(Row(grid, 0), QStringList({"0", "D:\\补丁.Pak", "pw1"}));
        QCOMPARE(Row(grid, 1), QStringList({"1", "z.Pak", "quillrand"}));
        QVERIFY(!std::filesystem::exists(home.File("Pak.txt")));
    }

    void changePasswordUpdatesTheFirstMatchingEntryOnly() {
        TEditorHome home;
        const std::string path = home.Folder("patch") + "a.pak";
        QVERIFY(MakeLibrary(t_Quillrand, path, Sprites(5), 16, "alt"));
        WriteText(home.File("Pak.txt"), "b.Pak|x\r\nD:\\game\\A.PAK|alt\r\nother\\a.pak|alt\r\n");
        LoadPakPasswords();
        TEditor editor;
        Open(editor.Main(), path);
        QVERIFY(editor.Doc() && editor.Library()->Initialized());
        const std::vector<uint8_t> before = Bytes(path);
        TFrmChangePassword& dlg = *editor.Main().ChangePasswordDialog();
        editor.Prompts.Dialogs.push_back([](QDialog& d) {
            auto& c = static_cast<TFrmChangePassword&>(d);
            c.EditPassword()->setText("fresh");
            c.BitBtnOK()->click();
            return 0;
        });
        dlg.ToolButtonChangePassWordClick(*editor.Doc());
        QCOMPARE(editor.Prompts.Messages.back(), QString("修改完成！！！"));
        QCOMPARE(dlg.ProgressBar()->maximum(), 5);
        QCOMPARE(dlg.ProgressBar()->value(), 5);
        QVERIFY(Reopen(path, "fresh"));
        QVERIFY(!Reopen(path, "alt"));
        QVERIFY(Bytes(path + ".bak") == before);
        const std::vector<TPakPassword> expected = {
            {"b.Pak", "x"}, {"D:\\game\\A.PAK", "fresh"}, {"other\\a.pak", "alt"}};
        QVERIFY(g_PakPasswords == expected);
        LoadPakPasswords();
        QVERIFY(g_PakPasswords == expected);
        QVERIFY(dlg.BitBtnOK()->isEnabled());
        QVERIFY((!editor.Doc() || !editor.Doc()->Busy()));
        // The document reads the library anew with the new password.
        QCOMPARE(editor.Doc()->PassWord(), std::string("fresh"));

        // An empty field means the default password; without backup no .bak is written.
        std::filesystem::remove(path + ".bak");
        dlg.CheckBoxBack()->setChecked(false);
        dlg.EditPassword()->clear();
        dlg.BitBtnOKClick();
        WaitForJobs();
        QCOMPARE(dlg.EditPassword()->text(), QString("quillrand"));
        QVERIFY(Reopen(path, kDefaultPakPassword));
        QVERIFY(!std::filesystem::exists(path + ".bak"));
        dlg.CheckBoxBack()->setChecked(true);
    }

    void changePasswordRefusesWithoutAPakLibrary() {
        TEditorHome home;
        TEditor editor;
        TFrmChangePassword& dlg = *editor.Main().ChangePasswordDialog();
        dlg.BitBtnOKClick();
        QCOMPARE(editor.Prompts.Messages.back(), QString("请先打开一个Pak补丁！！！"));
        QVERIFY(MakeLibrary(t_Wzl, home.File("w.wzl"), Sprites(2)));
        Open(editor.Main(), home.File("w.wzl"));
        // Not offered for other kinds; asked all the same, it refuses before a password is typed.
        QVERIFY(!editor.Main().Action("ToolButtonChangePassWord")->isEnabled());
        editor.Prompts.Dialogs.push_back([](QDialog& d) {
            static_cast<TFrmChangePassword&>(d).BitBtnOKClick();
            return 0;
        });
        dlg.ToolButtonChangePassWordClick(*editor.Doc());
        QCOMPARE(editor.Prompts.Messages.back(), QString("必须是Pak补丁才可以改密码！！！"));
    }

    void failedChangeIsReportedAndKeepsFileAndBackup() {
        TEditorHome home;
        const std::string path = home.File("a.Pak");
        QVERIFY(MakeLibrary(t_Quillrand, path, Sprites(40, 32, 32), 16, "alt", 0));
        WriteText(home.File("Pak.txt"), "a.Pak|alt\r\n");
        LoadPakPasswords();
        TEditor editor;
        Open(editor.Main(), path);
        QVERIFY(editor.Doc() && editor.Library()->Initialized());
        const std::vector<uint8_t> before = Bytes(path);
        TFrmChangePassword& dlg = *editor.Main().ChangePasswordDialog();
        // The dialog works on the open document.
        editor.Prompts.Dialogs.push_back([](QDialog&) { return 0; });
        dlg.ToolButtonChangePassWordClick(*editor.Doc());

        // The backup cannot be written (a folder has its name).
        std::filesystem::create_directory(path + ".bak");
        dlg.EditPassword()->setText("fresh");
        dlg.CheckBoxBack()->setChecked(true);
        dlg.BitBtnOKClick();
        WaitForJobs();
        QVERIFY(editor.Prompts.Messages.back().startsWith(QString("密码修改失败 ！！！")));
        QVERIFY(Bytes(path) == before);
        QCOMPARE(g_PakPasswords.front().sPassWord, std::string("alt"));
        QVERIFY((!editor.Doc() || !editor.Doc()->Busy()));
        QVERIFY(dlg.BitBtnOK()->isEnabled());
        std::filesystem::remove(path + ".bak");

        // The rewrite itself fails on a full disk: the old file and an older backup stay.
        WriteText(path + ".bak", "older backup");
        dlg.CheckBoxBack()->setChecked(false);
        {
            TFileSizeLimit limit(rlim_t(before.size() / 2));
            dlg.BitBtnOKClick();
            WaitForJobs();
        }
        QVERIFY(editor.Prompts.Messages.back().startsWith(QString("密码修改失败 ！！！")));
        QVERIFY(Bytes(path) == before);
        QCOMPARE(ReadText(path + ".bak"), std::string("older backup"));
        QVERIFY(Reopen(path, "alt"));
        QCOMPARE(ReadText(home.File("Pak.txt")), std::string("a.Pak|alt\r\n"));
        // The open library still reads under the old key.
        int x = 0, y = 0;
        QVERIFY(editor.Library()->Get(39, x, y));

        // A password the list would read back cut short is refused before anything is written.
        dlg.EditPassword()->setText("fre|sh");
        dlg.BitBtnOKClick();
        WaitForJobs();
        QCOMPARE(editor.Prompts.Messages.back(),
                 QString("密码修改失败 ！！！\n") + QString::fromUtf8(kUnlistablePasswordText));
        QVERIFY(dlg.EditPassword()->text().isEmpty()); // a refused password is not kept
        QVERIFY(Bytes(path) == before);
        QCOMPARE(ReadText(home.File("Pak.txt")), std::string("a.Pak|alt\r\n"));
        dlg.EditPassword()->setText("😀fresh");
        dlg.BitBtnOKClick();
        WaitForJobs();
        QCOMPARE(editor.Prompts.Messages.back(),
                 QString("密码修改失败 ！！！\n密码含有无法保存的字符！！！"));
        QVERIFY(Bytes(path) == before);

        // The list cannot be written (a folder has its name): the library and the list change
        // together or not at all, so nothing changes.
        std::filesystem::remove(home.File("Pak.txt"));
        std::filesystem::create_directory(home.File("Pak.txt"));
        dlg.EditPassword()->setText("fresh");
        dlg.BitBtnOKClick();
        WaitForJobs();
        QVERIFY(editor.Prompts.Messages.back().startsWith(QString("密码修改失败 ！！！")));
        QVERIFY(Bytes(path) == before);
        QVERIFY(Reopen(path, "alt"));
        dlg.CheckBoxBack()->setChecked(true);
    }
};

QTEST_MAIN(TConvertPasswordTest)
#include "convert_password_test.moc"
