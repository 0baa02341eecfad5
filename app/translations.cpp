#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace velmora {

void LoadQtTranslations() {
    static bool loaded = false;
    if (loaded || !QCoreApplication::instance())
        return;
    loaded = true;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    for (const char* name : {"qtbase"}) {
        auto translator = std::make_unique<QTranslator>();
        if (!translator->load(chinese, QString::fromLatin1(name), QStringLiteral("_"), folder))
            continue;
        translator->setParent(QCoreApplication::instance());
        QCoreApplication::installTranslator(translator.release());
    }
}

} // namespace velmora
