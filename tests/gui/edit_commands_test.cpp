// The delete, offset and create commands of the editor, worked through their dialogs.
#include "gui_support.h"

#include "app/thumbnail_grid.h"
#include "app/dialogs/create_library_dialog.h"
#include "app/dialogs/delete_images_dialog.h"
#include "app/dialogs/offset_dialog.h"
#include "support/cli_support.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

#include <filesystem>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

std::vector<TPoint> Offsets(TGameImages& library) {
    std::vector<TPoint> offsets;
    for (int i = 0; i < library.ImageCount(); ++i)
        offsets.push_back(library.GetPoint(i));
    return offsets;
}

// Works the delete dialog: the range and the mode, then 确定.
std::function<int(QDialog&)> DeleteRun(int start, int end, int mode) {
    return [=](QDialog& d) {
        auto& dlg = static_cast<TfrmDelDlg&>(d);
        dlg.EditX()->setValue(start);
        dlg.EditY()->setValue(end);
        dlg.SetDeleteMode(mode);
        dlg.BitBtnOK()->click();
        return dlg.result();
    };
}

// The delete command of the open document, as the toolbar starts it.
void DeleteCommand(TEditor& editor) {
    editor.Main().DeleteDialog()->ToolButtonDelClick(*editor.Doc());
    WaitForJobs();
}

// A WIL library of ten images whose offsets tell them apart (X = i - 24), open in the editor.
struct TTenImages {
    TEditorHome Home;
    std::string Path = Home.File("ten.wil");
    TTenImages() { MakeLibrary(t_Wil, Path, Sprites(10), 16); }
};

} // namespace

class TEditCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void deleteClampsTheRangeToTheLibrary() {
        {
            TTenImages ten;
            TEditor editor;
            Open(editor.Main(), ten.Path);
            editor.Prompts.Confirms.push_back(true);
            editor.Prompts.Dialogs.push_back(DeleteRun(-3, 20, 0));
            DeleteCommand(editor);
            QCOMPARE(editor.Prompts.Messages, std::vector<QString>{"图片删除成功 ！！！"});
            QCOMPARE(editor.Library()->ImageCount(), 0);
            QCOMPARE(Reopen(ten.Path)->ImageCount(), 0);
            QCOMPARE(editor.Main().DeleteDialog()->ProgressBar()->maximum(), 10);
            QCOMPARE(editor.Main().DeleteDialog()->ProgressBar()->value(), 10);
        }
        {
            // Start 7 and end 4 become 4 .. 4: only image 4 goes.
            TTenImages ten;
            TEditor editor;
            Open(editor.Main(), ten.Path);
            editor.Prompts.Confirms.push_back(true);
            editor.Prompts.Dialogs.push_back(DeleteRun(7, 4, 0));
            DeleteCommand(editor);
            QCOMPARE(editor.Library()->ImageCount(), 9);
            std::vector<TPoint> expected;
            for (int i = 0; i < 10; ++i)
                if (i != 4)
                    expected.push_back({i - 24, 7});
            QCOMPARE(Offsets(*Reopen(ten.Path)), expected);
        }
        {
            // A range past the last image names none: nothing is deleted and nothing said.
            TTenImages ten;
            TEditor editor;
            Open(editor.Main(), ten.Path);
            editor.Prompts.Confirms.push_back(true);
            editor.Prompts.Dialogs.push_back(DeleteRun(12, 15, 0));
            DeleteCommand(editor);
            QCOMPARE(editor.Library()->ImageCount(), 10);
            QVERIFY(editor.Prompts.Messages.empty());
            QVERIFY(!editor.Doc() || !editor.Doc()->Busy());
            QVERIFY(editor.Main().DeleteDialog()->BitBtnOK()->isEnabled());
        }
    }

    void deleteOpensOnTheSelectionAndResetsIt() {
        TTenImages ten;
        TEditor editor;
        Open(editor.Main(), ten.Path);
        editor.Main().DrawGrid()->FocusCell(3, 0);
        QCOMPARE(editor.Doc()->Current(), 3);
        QPoint shown;
        editor.Prompts.Confirms.push_back(true);
        editor.Prompts.Dialogs.push_back([&](QDialog& d) {
            auto& dlg = static_cast<TfrmDelDlg&>(d);
            shown = {dlg.EditX()->value(), dlg.EditY()->value()};
            return DeleteRun(2, 5, 0)(d);
        });
        DeleteCommand(editor);
        QCOMPARE(shown, QPoint(3, 3));
        QCOMPARE(editor.Doc()->Current(), -1);
        QCOMPARE(editor.Library()->ImageCount(), 6);
        QCOMPARE(editor.Main().StatusText(2), QString("0/6"));
        QCOMPARE(editor.Main().StatusText(3), QString());
        QCOMPARE(editor.Main().DrawGrid()->RowCount(), 1);
    }

    void deleteBeforeTheSelectionShowsWhatItsCellHoldsNow() {
        TTenImages ten;
        TEditor editor;
        Open(editor.Main(), ten.Path);
        editor.Main().DrawGrid()->FocusCell(6, 0);
        editor.Prompts.Confirms.push_back(true);
        editor.Prompts.Dialogs.push_back(DeleteRun(0, 1, 0));
        DeleteCommand(editor);
        QCOMPARE(editor.Doc()->Current(), 6);
        // Image 8 of the old library (X = -16) moved into cell 6.
        QCOMPARE(editor.Main().StatusText(2), QString("7/8"));
        QCOMPARE(editor.Main().StatusText(3), QString("序号:00006 宽:16 高:12 偏移坐标:-16,7"));

        // Deleting the rest including everything past the selection leaves it past the end.
        editor.Prompts.Confirms.push_back(true);
        editor.Prompts.Dialogs.push_back(DeleteRun(0, 2, 0));
        DeleteCommand(editor);
        QCOMPARE(editor.Library()->ImageCount(), 5);
        QCOMPARE(editor.Doc()->Current(), -1);
        QCOMPARE(editor.Main().StatusText(2), QString("0/5"));
    }

    void blankingKeepsCountAndSelection() {
        TTenImages ten;
        TEditor editor;
        Open(editor.Main(), ten.Path);
        editor.Main().DrawGrid()->FocusCell(2, 0);
        editor.Prompts.Confirms.push_back(true);
        editor.Prompts.Dialogs.push_back(DeleteRun(1, 3, 1));
        DeleteCommand(editor);
        QCOMPARE(editor.Prompts.Messages, std::vector<QString>{"图片删除成功 ！！！"});
        QCOMPARE(editor.Library()->ImageCount(), 10);
        QCOMPARE(editor.Doc()->Current(), 2);
        QVERIFY(editor.Main().StatusText(2).startsWith(QString("3/10")));
        auto reopened = Reopen(ten.Path);
        QCOMPARE(reopened->ImageCount(), 10);
        int x = 0, y = 0;
        for (int i = 1; i <= 3; ++i) {
            auto picture = reopened->Get(i, x, y);
            QVERIFY(!picture || picture->Width() <= 1);
        }
        QCOMPARE(reopened->GetPoint(4), (TPoint{-20, 7}));
        // The mode is kept for the next use.
        QCOMPARE(editor.Main().DeleteDialog()->DeleteMode(), 1);
    }

    void deleteWithoutLibraryOrOnAnEmptyOneIsNotOffered() {
        TEditorHome home;
        TEditor editor;
        QVERIFY(!editor.Main().Action("ToolButtonDel")->isEnabled());
        const std::string empty = home.File("empty.wzl");
        MakeLibrary(t_Wzl, empty, {});
        Open(editor.Main(), empty);
        QVERIFY(!editor.Main().Action("ToolButtonDel")->isEnabled());
        editor.Main().Action("ToolButtonDel")->trigger();
        QVERIFY(editor.Prompts.DialogsShown.empty());
        QCOMPARE(editor.Main().StatusText(2), QString("0/0"));
    }

    void offsetDialogWritesThroughSetPoint() {
        TTenImages ten;
        TEditor editor;
        Open(editor.Main(), ten.Path);
        editor.Main().DrawGrid()->FocusCell(5, 0);
        QPoint shown;
        editor.Prompts.Dialogs.push_back([&](QDialog& d) {
            auto& dlg = static_cast<TfrmXYDlg&>(d);
            shown = {dlg.EditX()->value(), dlg.EditY()->value()};
            dlg.EditX()->setValue(-300);
            dlg.EditY()->setValue(1200);
            d.findChild<QPushButton*>("BitBtnOK")->click();
            return d.result();
        });
        editor.Main().OffsetDialog()->ToolButtonXYClick(*editor.Doc());
        QCOMPARE(shown, QPoint(-19, 7));
        QCOMPARE(editor.Prompts.Messages, std::vector<QString>{"图片坐标修改成功 ！！！"});
        QCOMPARE(Reopen(ten.Path)->GetPoint(5), (TPoint{-300, 1200}));
        QVERIFY(!editor.Doc() || !editor.Doc()->Busy());

        // Cancelled: nothing changes and nothing is said.
        editor.Prompts.Dialogs.push_back([](QDialog& d) {
            static_cast<TfrmXYDlg&>(d).EditX()->setValue(1);
            d.findChild<QPushButton*>("BitBtnClose")->click();
            return d.result();
        });
        editor.Main().OffsetDialog()->ToolButtonXYClick(*editor.Doc());
        QCOMPARE(editor.Prompts.Messages.size(), size_t(1));
        QCOMPARE(Reopen(ten.Path)->GetPoint(5), (TPoint{-300, 1200}));

        // An offset that a 16-bit field cannot hold is refused, not cut.
        editor.Prompts.Dialogs.push_back([](QDialog& d) {
            static_cast<TfrmXYDlg&>(d).EditX()->setValue(40000);
            return TfrmXYDlg::kResultOK;
        });
        editor.Main().OffsetDialog()->ToolButtonXYClick(*editor.Doc());
        QVERIFY(editor.Prompts.Messages.back().startsWith(QString("图片坐标修改失败 ！！！")));
        QCOMPARE(Reopen(ten.Path)->GetPoint(5), (TPoint{-300, 1200}));
    }

    void offsetDialogNeedsAnImageInTheCurrentCell() {
        TTenImages ten;
        TEditor editor;
        Open(editor.Main(), ten.Path);
        editor.Main().DrawGrid()->FocusCell(0, 1); // cell 10 of a 10-image library: not taken
        QCOMPARE(editor.Doc()->Current(), 0);
        editor.Doc()->Select(-1);
        QVERIFY(!editor.Main().Action("ToolButtonXY")->isEnabled());
        editor.Main().OffsetDialog()->ToolButtonXYClick(*editor.Doc());
        QVERIFY(editor.Prompts.DialogsShown.empty());
        QVERIFY(!editor.Doc() || !editor.Doc()->Busy());
    }

    void createDialogFollowsTheKind() {
        TEditorHome home;
        TEditor editor;
        TFrmCreateData& dlg = *editor.Main().CreateDialog();
        // The groups of the kind chosen, from the start: Wil has bit counts and no password.
        QVERIFY(!dlg.RadioGroupBitCount()->isHidden());
        QVERIFY(dlg.GroupBox1()->isHidden());
        dlg.SetKind(1); // WIS cannot be created: not offered, the kind stays
        QCOMPARE(dlg.Kind(), 0);
        dlg.SetKind(3);
        QVERIFY(dlg.BitBtnOK()->isEnabled() && dlg.BitBtnClose()->isEnabled());
        QVERIFY(dlg.RadioGroupBitCount()->isHidden());
        QVERIFY(!dlg.GroupBox1()->isHidden());
        dlg.SetKind(0);
        QVERIFY(!dlg.RadioGroupBitCount()->isHidden());
        QVERIFY(dlg.GroupBox1()->isHidden());
        // From Wzl to Pak the password field gets its full width.
        dlg.show();
        dlg.SetKind(2);
        dlg.SetKind(3);
        QCoreApplication::processEvents();
        QVERIFY2(dlg.EditPassWord()->width() >= 120,
                 qPrintable(QString::number(dlg.EditPassWord()->width())));
        dlg.hide();
    }

    void createProposesTheLastNameWithTheKindsExtension() {
        TEditorHome home;
        TEditor editor;
        TFrmCreateData& dlg = *editor.Main().CreateDialog();
        TFrmCreateData::SetSaveDialog2FileName({});
        const auto choose = [&](int kind, int bits, const QString& password) {
            editor.Prompts.Dialogs.push_back([=](QDialog& d) {
                auto& c = static_cast<TFrmCreateData&>(d);
                c.SetKind(kind);
                c.SetBitCountItem(bits);
                c.EditPassWord()->setText(password);
                c.BitBtnOK()->click();
                return c.result();
            });
        };

        choose(0, 2, "ignored");
        editor.Prompts.Files.push_back(QString::fromStdString(home.File("a.wil")));
        dlg.ToolButtonCreateFileClick(editor.Main(), home.Path());
        QCOMPARE(editor.Prompts.FileRequests.back(), QString("创建Wil文件"));
        QCOMPARE(editor.Prompts.Messages.back(), QString("创建成功 ！！！"));
        auto wil = Reopen(home.File("a.wil"));
        QVERIFY(wil);
        QCOMPARE(wil->BitCount(), 24);
        QCOMPARE(wil->ImageCount(), 0);

        // The Pak proposal keeps folder and name; an empty password gives the default one.
        // A cancelled save dialog ends the command silently but keeps the name it proposed.
        const size_t messages = editor.Prompts.Messages.size();
        choose(3, 2, "");
        editor.Prompts.Files.push_back(QString());
        dlg.ToolButtonCreateFileClick(editor.Main(), home.Path());
        QCOMPARE(editor.Prompts.Messages.size(), messages);
        QCOMPARE(TFrmCreateData::SaveDialog2FileName(), home.File("a.Pak"));
        choose(3, 2, "");
        editor.Prompts.Files.push_back(QString::fromStdString(home.File("a.Pak")));
        dlg.ToolButtonCreateFileClick(editor.Main(), home.Path());
        QCOMPARE(editor.Prompts.FileRequests.back(), QString("创建Pak文件"));
        QCOMPARE(editor.Prompts.Messages.back(), QString("创建成功 ！！！"));
        QVERIFY(Reopen(home.File("a.Pak"), kDefaultPakPassword));

        // A name with its extension twice is cut before the first occurrence: x.pak.pak gives x.
        choose(3, 0, "geheim");
        editor.Prompts.Files.push_back(QString::fromStdString(home.File("x.pak.pak")));
        dlg.ToolButtonCreateFileClick(editor.Main(), home.Path());
        QVERIFY(Reopen(home.File("x.pak.pak"), "geheim"));
        QVERIFY(!Reopen(home.File("x.pak.pak"), kDefaultPakPassword));
        // A password the code page cannot hold is refused before a file name is asked for.
        const size_t requests = editor.Prompts.FileRequests.size();
        choose(3, 0, "😀key");
        dlg.ToolButtonCreateFileClick(editor.Main(), home.Path());
        QCOMPARE(editor.Prompts.Messages.back(), QString("密码含有无法保存的字符！！！"));
        QCOMPARE(editor.Prompts.FileRequests.size(), requests);
        choose(2, 3, "");
        editor.Prompts.Files.push_back(QString());
        dlg.ToolButtonCreateFileClick(editor.Main(), home.Path());
        QCOMPARE(TFrmCreateData::SaveDialog2FileName(), home.File("x.Wzl"));
        choose(2, 3, "");
        editor.Prompts.Files.push_back(QString::fromStdString(home.File("x.Wzl")));
        dlg.ToolButtonCreateFileClick(editor.Main(), home.Path());
        QCOMPARE(editor.Prompts.FileRequests.back(), QString("创建Wzl文件"));
        auto wzl = Reopen(home.File("x.Wzl"));
        QVERIFY(wzl);
        QCOMPARE(wzl->ImageCount(), 0);

        // A file that cannot be written is reported as a failure.
        choose(2, 0, "");
        editor.Prompts.Files.push_back(QString::fromStdString(home.File("missing/dir/n.wzl")));
        dlg.ToolButtonCreateFileClick(editor.Main(), home.Path());
        QVERIFY(editor.Prompts.Messages.back().startsWith(QString("创建失败 ！！！")));
        QVERIFY(!editor.Doc() || !editor.Doc()->Busy());
        QVERIFY(editor.Prompts.Unexpected.empty());
    }
};

QTEST_MAIN(TEditCommandsTest)
#include "edit_commands_test.moc"
