// The interface's language: English throughout when chosen, Chinese by default, Qt's own texts
// following, the choice kept in Editor.ini for the next start.
#include "gui_support.h"

#include "app/translations.h"
#include "protection/password_text.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>

using namespace velmora;
using namespace velmora::gui_test;

namespace {

bool HasChinese(const QString& text) {
    for (const QChar c : text)
        if ((c.unicode() >= 0x3000 && c.unicode() <= 0x9fff) ||
            (c.unicode() >= 0xff00 && c.unicode() <= 0xffef))
            return true;
    return false;
}

// Every text the window and the dialogs it keeps show (titles, labels, buttons, menus, tool tips,
// column headers, list choices), with the object that shows it.
QStringList ShownTexts(QWidget& window) {
    QStringList texts;
    const auto add = [&texts](const QObject* owner, const QString& text) {
        if (!text.isEmpty())
            texts << owner->metaObject()->className() + QStringLiteral(" ") + owner->objectName() +
                         QStringLiteral(": ") + text;
    };
    QList<QWidget*> widgets = window.findChildren<QWidget*>();
    widgets << &window;
    for (const QWidget* widget : widgets) {
        if (widget->isWindow())
            add(widget, widget->windowTitle());
        add(widget, widget->toolTip());
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            add(widget, label->text());
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            add(widget, button->text());
        if (const auto* group = qobject_cast<const QGroupBox*>(widget))
            add(widget, group->title());
        if (const auto* menu = qobject_cast<const QMenu*>(widget))
            add(widget, menu->title());
        if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
            add(widget, edit->placeholderText());
        if (const auto* combo = qobject_cast<const QComboBox*>(widget))
            for (int i = 0; i < combo->count(); ++i)
                add(widget, combo->itemText(i));
        if (const auto* header = qobject_cast<const QHeaderView*>(widget)) {
            if (header->model() && !header->isHidden())
                for (int i = 0; i < header->count(); ++i)
                    add(widget, header->model()->headerData(i, header->orientation()).toString());
        }
    }
    for (const QAction* action : window.findChildren<QAction*>()) {
        add(action, action->text());
        add(action, action->toolTip());
        add(action, action->statusTip());
    }
    return texts;
}

} // namespace

class TLanguageTest : public QObject {
    Q_OBJECT
private slots:
    void chineseByDefaultEnglishWhenChosen() {
        TEditorHome home;
        // Nothing kept, and a kept value that is no language, both start in Chinese, with Qt's
        // own texts in Chinese too, whatever the system's locale (ctest runs this in English).
        for (const char* kept : {"", "fr"}) {
            if (*kept) {
                QSettings ini(QString::fromStdString(home.File("Editor.ini")),
                              QSettings::IniFormat);
                ini.setValue(QStringLiteral("language"), QString::fromLatin1(kept));
            }
            TEditor editor;
            QCOMPARE(CurrentLanguage(), TLanguage::lgChinese);
            QCOMPARE(editor.Main().ToolButton("ToolButtonOpenFile")->text(),
                     QStringLiteral("打开"));
            QDialogButtonBox box(QDialogButtonBox::Cancel);
            QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
            QCOMPARE(CoreText(kUnencodablePasswordText),
                     QString::fromUtf8(kUnencodablePasswordText));
        }

        // The menu keeps the choice and says, in the chosen language, that it applies at the
        // next start; the window stays as it is until then.
        {
            TEditor editor;
            auto* english =
                editor.Main().findChild<QAction*>(QStringLiteral("MenuLanguageEnglish"));
            QVERIFY(english);
            QVERIFY(editor.Main()
                        .findChild<QAction*>(QStringLiteral("MenuLanguageChinese"))
                        ->isChecked());
            english->trigger();
            QCOMPARE(
                editor.Prompts.Messages,
                std::vector<QString>({"The interface will be in English from the next start."}));
            QCOMPARE(SavedLanguage(), TLanguage::lgEnglish);
            QVERIFY(english->isChecked());
            QCOMPARE(editor.Main().ToolButton("ToolButtonOpenFile")->text(),
                     QStringLiteral("打开"));
        }

        // The next start is English: every text the window and its dialogs show, with a library
        // open, and the texts the lower layers hand up; Qt's buttons are English.
        const std::string path = home.File("a.wzl");
        QVERIFY(MakeLibrary(t_Wzl, path, Sprites(3)));
        {
            TEditor editor;
            QCOMPARE(CurrentLanguage(), TLanguage::lgEnglish);
            Open(editor.Main(), path);
            QVERIFY(editor.Doc());
            QStringList chinese;
            for (const QString& text : ShownTexts(editor.Main()))
                if (HasChinese(text) && !text.endsWith(QStringLiteral(": 中文")) &&
                    !text.endsWith(QStringLiteral(": Language / 语言")))
                    chinese << text;
            QVERIFY2(chinese.isEmpty(), qPrintable(chinese.join(QLatin1Char('\n'))));
            QCOMPARE(editor.Main().ToolButton("ToolButtonOpenFile")->text(),
                     QStringLiteral("Open"));
            QDialogButtonBox box(QDialogButtonBox::Cancel);
            QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
            QVERIFY(!HasChinese(CoreText(kUnencodablePasswordText)));

            // Back to Chinese, said in Chinese.
            editor.Main().findChild<QAction*>(QStringLiteral("MenuLanguageChinese"))->trigger();
            QCOMPARE(editor.Prompts.Messages.back(), QStringLiteral("下次启动时界面改为中文。"));
            QVERIFY(editor.Prompts.Unexpected.empty());
        }
        TEditor editor;
        QCOMPARE(CurrentLanguage(), TLanguage::lgChinese);
        QCOMPARE(editor.Main().ToolButton("ToolButtonOpenFile")->text(), QStringLiteral("打开"));
    }
};

QTEST_MAIN(TLanguageTest)
#include "language_test.moc"
