#include "app/fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace velmora {

QString InterfaceFontFamily() {
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : {QStringLiteral("宋体"), QStringLiteral("SimSun"),
                                  QStringLiteral("WenQuanYi Micro Hei")}) {
        if (installed.contains(family, Qt::CaseInsensitive))
            return family;
    }
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    return chinese.isEmpty() ? QString() : chinese.first();
}

QFont InterfaceFont() {
    QFont font;
    const QString family = InterfaceFontFamily();
    if (!family.isEmpty())
        font.setFamilies({family, QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(12);
    return font;
}

} // namespace velmora
