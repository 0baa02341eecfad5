#pragma once

#include <QString>

#include <string>

class QMenu;
class QWidget;

namespace velmora {

// The languages of the editor's interface. The texts in the code are Chinese; English comes from
// translations/velmora_en.ts (built to velmora_en.qm).
enum class TLanguage { lgChinese, lgEnglish };

// The language kept in Editor.ini of the program folder; Chinese when none is kept, whatever the
// system's locale.
TLanguage SavedLanguage();
// Keeps the language in Editor.ini; the interface takes it at the next start.
void SaveLanguage(TLanguage language);

// Installs the translations of the kept language: the editor's own texts and Qt's (file dialogs,
// standard buttons), replacing those installed by an earlier call. Called as the main window is
// made, before it creates any text; nothing happens where a translation is not installed.
void LoadTranslations();
// The language LoadTranslations installed last.
TLanguage CurrentLanguage();

// A text the Qt-free layers hand up (their few texts are Chinese) in the interface's language;
// any other text, such as a system's error text, as it is.
QString CoreText(const std::string& text);

// The 语言 / Language menu: 中文 and English, the kept one checked. Choosing the other keeps it and
// says, in the chosen language, that it applies at the next start.
QMenu* CreateLanguageMenu(QWidget* parent);

} // namespace velmora
