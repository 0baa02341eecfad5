// 导出图集 and 导入图集: reached from the batch buttons' menus, driven through scripted prompts.
#include "gui_support.h"

#include "app/dialogs/atlas_dialogs.h"
#include "core/file_stream.h"

#include <QAction>
#include <QButtonGroup>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

using namespace velmora;
using namespace velmora::gui_test;

class TAtlasDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void exportsAndImportsThroughTheBatchMenus() {
        TEditorHome home;
        TEditor editor;
        TfrmMain& main = editor.Main();
        const std::string source = home.File("s.wzl"), copy = home.File("c.wzl");
        QVERIFY(MakeLibrary(t_Wzl, source, {{8, 6, 1, 2, 0, true}, {5, 9, -3, 4}, {7, 7, 0, -9}}));
        QVERIFY(MakeLibrary(t_Wzl, copy, {}));
        // In the drop-down menus of the batch buttons.
        QAction* exportAtlas = main.Action("MenuAtlasExport");
        QAction* importAtlas = main.Action("MenuAtlasImport");
        QVERIFY(main.Action("ToolButtonSaveManyBMP")->menu()->actions().contains(exportAtlas));
        QVERIFY(main.Action("ToolButtonAddMany")->menu()->actions().contains(importAtlas));

        Open(main, source);
        const QString sheet = QString::fromStdString(home.File("sheet.png"));
        editor.Prompts.Dialogs.push_back([&](QDialog& d) {
            auto& dlg = static_cast<TfrmAtlasExportDlg&>(d);
            if (dlg.EditTo()->value() != 2)
                return -1; // the whole library is proposed
            dlg.EditSheet()->setText(sheet);
            dlg.BitBtnOKClick();
            return dlg.result();
        });
        exportAtlas->trigger();
        QVERIFY2(editor.Prompts.Messages.back().startsWith("图集导出成功"),
                 qPrintable(editor.Prompts.Messages.back()));
        QVERIFY(FileExists(home.File("sheet.json")));

        Open(main, copy);
        editor.Prompts.Dialogs.push_back([&](QDialog& d) {
            auto& dlg = static_cast<TfrmAtlasImportDlg&>(d);
            dlg.EditData()->setText(QString::fromStdString(home.File("sheet.json")));
            dlg.BitBtnOKClick();
            return dlg.result();
        });
        importAtlas->trigger();
        QVERIFY2(editor.Prompts.Messages.back().startsWith("图集导入成功"),
                 qPrintable(editor.Prompts.Messages.back()));
        QCOMPARE(editor.Library()->ImageCount(), 3);
        auto original = Reopen(source);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(editor.Library()->GetPoint(i), original->GetPoint(i));
        // The import is an undo step of its own: undoing it takes the frames back out.
        QCOMPARE(editor.Doc()->UndoName(), QString("导入图集"));
        Undo(main);
        QCOMPARE(editor.Library()->ImageCount(), 0);
        QVERIFY(!editor.Doc() || !editor.Doc()->Busy());
    }
};

QTEST_MAIN(TAtlasDialogsTest)
#include "atlas_dialogs_test.moc"
