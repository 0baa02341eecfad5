#include "app/translations.h"

#include "app/prompts.h"
#include "files/app_dir.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <QTranslator>

#include <memory>
#include <vector>

namespace velmora {

namespace {

class TLanguageMenu {
    Q_DECLARE_TR_FUNCTIONS(TLanguageMenu)
};

const QString kLanguageKey = QStringLiteral("language");

QString LanguageCode(TLanguage language) {
    return language == TLanguage::lgEnglish ? QStringLiteral("en") : QStringLiteral("zh");
}

QSettings EditorSettings() {
    return QSettings(QString::fromStdString(g_AppDir) + QStringLiteral("Editor.ini"),
                     QSettings::IniFormat);
}

// The folders that may hold velmora_en.qm: the installed one beside the program
// (<prefix>/share/velmora/translations), then the copy built into the program.
QStringList TranslationFolders() {
    return {QCoreApplication::applicationDirPath() +
                QStringLiteral("/../share/velmora/translations"),
            QStringLiteral(":/i18n")};
}

bool LoadEditorTranslation(QTranslator& translator, TLanguage language) {
    const QString name = QStringLiteral("velmora_") + LanguageCode(language);
    for (const QString& folder : TranslationFolders())
        if (translator.load(name, folder))
            return true;
    return false;
}

std::vector<QPointer<QTranslator>>& Installed() {
    static std::vector<QPointer<QTranslator>> installed;
    return installed;
}

TLanguage g_CurrentLanguage = TLanguage::lgChinese;

// A text of this file in the given language, whichever language the interface shows now.
QString TextIn(TLanguage language, const char* source) {
    QTranslator translator;
    if (language != TLanguage::lgChinese && LoadEditorTranslation(translator, language)) {
        const QString text = translator.translate("TLanguageMenu", source);
        if (!text.isEmpty())
            return text;
    }
    return QString::fromUtf8(source);
}

// The texts of the layers below the editor that reach the user, as those layers word them.
[[maybe_unused]] constexpr const char* kCoreTexts[] = {
    QT_TRANSLATE_NOOP("TCoreTexts", "密码含有无法保存的字符！！！"),
    QT_TRANSLATE_NOOP("TCoreTexts", "密码不能含有“|”或换行，也不能以空格结尾！！！"),
    QT_TRANSLATE_NOOP("TCoreTexts", "必须是Pak补丁才可以改密码！！！"),
};

} // namespace

QString CoreText(const std::string& text) {
    return QCoreApplication::translate("TCoreTexts", text.c_str());
}

TLanguage SavedLanguage() {
    return EditorSettings().value(kLanguageKey).toString() == LanguageCode(TLanguage::lgEnglish)
               ? TLanguage::lgEnglish
               : TLanguage::lgChinese;
}

void SaveLanguage(TLanguage language) {
    QSettings settings = EditorSettings();
    settings.setValue(kLanguageKey, LanguageCode(language));
    settings.sync();
}

TLanguage CurrentLanguage() {
    return g_CurrentLanguage;
}

void LoadTranslations() {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    for (QPointer<QTranslator>& translator : Installed()) {
        if (translator) {
            QCoreApplication::removeTranslator(translator);
            delete translator.data();
        }
    }
    Installed().clear();

    g_CurrentLanguage = SavedLanguage();
    const bool english = g_CurrentLanguage == TLanguage::lgEnglish;
    const QLocale locale = english ? QLocale(QLocale::English, QLocale::UnitedStates)
                                   : QLocale(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(locale);
    const auto install = [&](std::unique_ptr<QTranslator> translator) {
        translator->setParent(application);
        Installed().emplace_back(translator.get());
        QCoreApplication::installTranslator(translator.release());
    };
    if (english) {
        // Qt's own texts are English already.
        auto translator = std::make_unique<QTranslator>();
        if (LoadEditorTranslation(*translator, g_CurrentLanguage))
            install(std::move(translator));
        return;
    }
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder))
        install(std::move(translator));
}

QMenu* CreateLanguageMenu(QWidget* parent) {
    // Readable in either language, so that someone who reads only the other one finds it.
    auto* menu = new QMenu(TLanguageMenu::tr("语言 / Language"), parent);
    menu->setObjectName(QStringLiteral("MenuLanguage"));
    auto* group = new QActionGroup(menu);
    // Each language is named in its own script, in either interface.
    const struct {
        TLanguage Language;
        QString Name;
        const char* ObjectName;
    } languages[] = {{TLanguage::lgChinese, QStringLiteral("中文"), "MenuLanguageChinese"},
                     {TLanguage::lgEnglish, QStringLiteral("English"), "MenuLanguageEnglish"}};
    const TLanguage saved = SavedLanguage();
    for (const auto& entry : languages) {
        QAction* action = menu->addAction(entry.Name);
        action->setObjectName(QString::fromLatin1(entry.ObjectName));
        action->setCheckable(true);
        action->setChecked(entry.Language == saved);
        group->addAction(action);
        const TLanguage language = entry.Language;
        QObject::connect(action, &QAction::triggered, menu, [language] {
            if (language == SavedLanguage())
                return;
            SaveLanguage(language);
            Prompts().ShowMessage(
                language == TLanguage::lgEnglish
                    ? TextIn(language,
                             QT_TRANSLATE_NOOP("TLanguageMenu", "下次启动时界面改为英文。"))
                    : TextIn(language,
                             QT_TRANSLATE_NOOP("TLanguageMenu", "下次启动时界面改为中文。")));
        });
    }
    return menu;
}

} // namespace velmora
